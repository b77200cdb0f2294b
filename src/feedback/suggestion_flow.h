#pragma once

#include "core/text.h"

class QWidget;

namespace zorva {

// What the suggestion logic asks of the suggestion dialog. The dialog
// implements it; tests may drive the logic through a plain object instead.
class SuggestionView {
 public:
  virtual ~SuggestionView() = default;

  // The suggestion as code page 936 bytes, each line break as carriage
  // return + line feed (the way it is counted and sent).
  virtual Text SuggestionText() const = 0;
  // Replaces the suggestion (line breaks as above); the caret stays where it
  // was, or at the end when the text got shorter than that.
  virtual void SetSuggestionText(const Text& text) = 0;
  virtual void FocusSuggestionText() = 0;

  // The chosen category's position in the list, or -1 when none is chosen.
  virtual int SelectedCategory() const = 0;

  virtual void SetCounterText(const Text& text) = 0;
  virtual void SetExplanationText(const Text& text) = 0;

  // The counter timer (2000 ms).
  virtual void StopCounterTimer() = 0;
  // Owner of the message boxes.
  virtual QWidget* MessageOwner() = 0;
  // Ends the dialog with OK.
  virtual void EndWithOk() = 0;
};

// The suggestion dialog's logic: the counter that keeps the text within its
// limit, and saving the suggestion with the service.
class SuggestionFlow {
 public:
  // The most a suggestion may hold and the least it must, in bytes (50 and 5
  // double-byte characters).
  static constexpr int kMaxBytes = 100;
  static constexpr int kMinBytes = 10;
  static constexpr int kCounterPeriodMs = 2000;

  explicit SuggestionFlow(SuggestionView& view) : m_view(view) {}

  // One tick of the counter: cuts the text to kMaxBytes and shows how many
  // double-byte characters are still allowed.
  void CounterTick();

  // The handler of "保存": checks the input, sends the suggestion and ends
  // the dialog when the service took it.
  void Save();

  // The first `count` bytes of text, without a character that the cut would
  // split: a lone lead byte or a carriage return without its line feed is
  // dropped too.
  static Text CutToBytes(const Text& text, int count);

 private:
  SuggestionView& m_view;
};

}  // namespace zorva
