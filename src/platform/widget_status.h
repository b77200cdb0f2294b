#pragma once

#include <QElapsedTimer>
#include <QPointer>

#include "core/status_window.h"

class QLabel;
class QProgressBar;

namespace zorva {

// A QLabel as the status window of foundation operations. Repaints asked for
// in quick succession are coalesced (at most one per ~30 ms); the text itself
// is always set, so the final state is exact.
class LabelStatusWindow : public StatusWindow {
 public:
  explicit LabelStatusWindow(QLabel* label) : m_label(label) {}
  void SetText(const Text& text) override;
  void Repaint() override;

 private:
  QPointer<QLabel> m_label;
  QElapsedTimer m_lastPaint;
};

// A QProgressBar as the progress control of the transfer, with the same
// repaint coalescing. An empty range (lower = upper, as a reply without a
// Content-Length gives) keeps the bar still and empty with the position at
// its lower bound, where QProgressBar would run its busy animation.
class WidgetProgressBar : public ProgressBar {
 public:
  explicit WidgetProgressBar(QProgressBar* bar);
  void SetRange32(int lower, int upper) override;
  void SetPos(int pos) override;
  int GetPos() const override;
  void Show(bool visible) override;
  void Repaint() override;

 private:
  QPointer<QProgressBar> m_bar;
  QElapsedTimer m_lastPaint;
  int m_lower = 0;
  int m_upper = 100;
};

}  // namespace zorva
