#include "platform/widget_status.h"

#include <algorithm>

#include <QLabel>
#include <QProgressBar>

#include "platform/qt_text.h"

namespace zorva {

namespace {

constexpr qint64 kRepaintIntervalMs = 30;

// True when a repaint is due; restarts the interval.
bool RepaintDue(QElapsedTimer& last) {
  if (last.isValid() && last.elapsed() < kRepaintIntervalMs) return false;
  last.start();
  return true;
}

}  // namespace

void LabelStatusWindow::SetText(const Text& text) {
  if (m_label) m_label->setText(ToQString(text));
}

void LabelStatusWindow::Repaint() {
  if (m_label && RepaintDue(m_lastPaint)) m_label->repaint();
}

void WidgetProgressBar::SetRange32(int lower, int upper) {
  if (m_bar) m_bar->setRange(lower, upper);
}

void WidgetProgressBar::SetPos(int pos) {
  // A progress control keeps its position inside the range; QProgressBar
  // would ignore an out-of-range value instead.
  if (!m_bar) return;
  m_bar->setValue(std::clamp(pos, m_bar->minimum(), m_bar->maximum()));
}

int WidgetProgressBar::GetPos() const { return m_bar ? m_bar->value() : 0; }

void WidgetProgressBar::Show(bool visible) {
  if (m_bar) m_bar->setVisible(visible);
}

void WidgetProgressBar::Repaint() {
  if (m_bar && RepaintDue(m_lastPaint)) m_bar->repaint();
}

}  // namespace zorva
