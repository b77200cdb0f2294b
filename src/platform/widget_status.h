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
// repaint coalescing.
class WidgetProgressBar : public ProgressBar {
 public:
  explicit WidgetProgressBar(QProgressBar* bar) : m_bar(bar) {}
  void SetRange32(int lower, int upper) override;
  void SetPos(int pos) override;
  int GetPos() const override;
  void Show(bool visible) override;
  void Repaint() override;

 private:
  QPointer<QProgressBar> m_bar;
  QElapsedTimer m_lastPaint;
};

}  // namespace zorva
