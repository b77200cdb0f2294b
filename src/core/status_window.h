#pragma once

#include "core/text.h"

namespace zorva {

// A line of text in the calling dialog into which foundation operations
// write progress and failure texts. Optional wherever it is taken: a null
// pointer means "show nothing".
class StatusWindow {
 public:
  virtual ~StatusWindow() = default;
  // Replaces the whole text.
  virtual void SetText(const Text& text) = 0;
  // Paints the current text now, for callers that block the event loop next.
  virtual void Repaint() {}
};

// A standard progress control, driven the way the transfer drives it.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetRange32(int lower, int upper) = 0;
  virtual void SetPos(int pos) = 0;
  virtual int GetPos() const = 0;
  virtual void Show(bool visible) = 0;
  virtual void Repaint() {}
};

}  // namespace zorva
