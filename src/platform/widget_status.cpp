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

WidgetProgressBar::WidgetProgressBar(QProgressBar* bar) : m_bar(bar) {
  if (bar) {
    m_lower = bar->minimum();
    m_upper = bar->maximum();
  }
}

void WidgetProgressBar::SetRange32(int lower, int upper) {
  m_lower = lower;
  m_upper = std::max(lower, upper);
  if (!m_bar) return;
  // QProgressBar shows a busy indicator for an empty range; one more step
  // with the position held at the lower bound draws the still, empty bar.
  m_bar->setRange(m_lower, m_upper > m_lower ? m_upper : m_lower + 1);
  m_bar->setValue(m_lower);
}

void WidgetProgressBar::SetPos(int pos) {
  // A progress control keeps its position inside the range; QProgressBar
  // would ignore an out-of-range value instead.
  if (!m_bar) return;
  m_bar->setValue(std::clamp(pos, m_lower, m_upper));
}

int WidgetProgressBar::GetPos() const {
  return m_bar ? std::clamp(m_bar->value(), m_lower, m_upper) : 0;
}

void WidgetProgressBar::Show(bool visible) {
  if (m_bar) m_bar->setVisible(visible);
}

void WidgetProgressBar::Repaint() {
  if (m_bar && RepaintDue(m_lastPaint)) m_bar->repaint();
}

}  // namespace zorva
