#pragma once

#include <functional>

#include "core/text.h"

class QWidget;

namespace zorva {

enum class MessageBoxStyle {
  Exclamation,  // OK button, exclamation icon, the application's name as caption
  YesNo,        // Yes and No buttons, no icon, the given caption
};

// Shows a message: OK and the exclamation icon, captioned with the
// application's name (the executable's file name).
void ShowMessage(const Text& text, QWidget* owner = nullptr);

// Asks a Yes/No question; true for Yes.
bool AskYesNo(const Text& text, const Text& caption, QWidget* owner = nullptr);

// Tests answer message boxes instead of a user: the handler gets the style,
// text and caption and returns true for Yes/OK. An empty handler restores
// the real boxes.
using MessageBoxHandler =
    std::function<bool(MessageBoxStyle style, const Text& text, const Text& caption)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace zorva
