#pragma once

#include <string>
#include <vector>

#include "core/status_window.h"
#include "core/text.h"

namespace zorva::test {

// Keeps every text written, in order.
class RecordingStatus : public StatusWindow {
 public:
  void SetText(const Text& text) override { texts.push_back(text); }
  void Repaint() override { ++repaints; }

  std::vector<Text> texts;
  int repaints = 0;
};

// A progress bar that keeps its state without clamping, so the number of
// steps shows in the position, and records what was done to it.
class RecordingProgress : public ProgressBar {
 public:
  void SetRange32(int from, int to) override {
    lower = from;
    upper = to;
    events.push_back("range " + std::to_string(from) + ".." + std::to_string(to));
  }
  void SetPos(int position) override {
    pos = position;
    ++setPosCalls;
    if (position == 0) events.push_back("pos 0");
  }
  int GetPos() const override { return pos; }
  void Show(bool shown) override {
    visible = shown;
    events.push_back(shown ? "show" : "hide");
  }

  int lower = -1, upper = -1, pos = -1, setPosCalls = 0;
  bool visible = false;
  std::vector<std::string> events;  // range, show/hide and resets to 0
};

}  // namespace zorva::test
