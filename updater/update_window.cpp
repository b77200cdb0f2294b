#include "updater/update_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace zorva {

UpdateWindow::UpdateWindow(std::atomic<bool>* cancel) : m_cancel(cancel) {
  setWindowTitle(QString::fromUtf8("Zorva 更新"));
  setFixedWidth(420);
  auto* layout = new QVBoxLayout(this);
  m_step = new QLabel(this);
  m_statusLabel = new QLabel(this);
  m_bar = new QProgressBar(this);
  m_bar->setTextVisible(false);
  m_cancelButton = new QPushButton(QString::fromUtf8("取消"), this);
  layout->addWidget(m_step);
  layout->addWidget(m_statusLabel);
  layout->addWidget(m_bar);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(m_cancelButton);
  layout->addLayout(row);
  m_status = std::make_unique<LabelStatusWindow>(m_statusLabel);
  m_progress = std::make_unique<WidgetProgressBar>(m_bar);
  // Space cancels straight away: the button is the only thing to press.
  m_cancelButton->setFocus();
  connect(m_cancelButton, &QPushButton::clicked, this, [this] {
    m_cancel->store(true);
    m_cancelButton->setEnabled(false);
    m_step->setText(QString::fromUtf8("正在取消……"));
  });
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::ShowStep(const std::string& text) {
  qInfo("%s", text.c_str());
  m_step->setText(QString::fromUtf8(text.c_str()));
  m_step->repaint();
}

void UpdateWindow::Done() { m_cancelButton->setEnabled(false); }

void UpdateWindow::closeEvent(QCloseEvent* event) {
  // Closing is cancelling; the window goes when the run has undone its work.
  m_cancel->store(true);
  m_cancelButton->setEnabled(false);
  event->ignore();
}

void TerminalView::ShowStep(const std::string& text) {
  qInfo("%s", text.c_str());
  m_shownTenth = -1;
}

void TerminalView::SetRange32(int lower, int upper) {
  m_lower = lower;
  m_upper = upper;
  m_shownTenth = -1;
}

void TerminalView::SetPos(int pos) {
  m_pos = pos;
  if (m_upper <= m_lower) return;
  const long long done = std::min<long long>(pos - m_lower, m_upper - m_lower);
  const int tenth = static_cast<int>(done * 10 / (m_upper - m_lower));
  if (tenth == m_shownTenth) return;
  m_shownTenth = tenth;
  std::fprintf(stderr, "  %d%%\n", tenth * 10);
}

}  // namespace zorva
