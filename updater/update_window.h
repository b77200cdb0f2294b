#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <atomic>
#include <memory>

#include "platform/widget_status.h"
#include "updater/update_run.h"

class QPushButton;

namespace zorva {

// The updater's small window: what it is doing (the file being fetched),
// the transfer's status line, a progress bar and "取消". It only shows; the
// work is ApplyUpdateJob's. Cancel and closing the window set the flag.
class UpdateWindow : public QWidget, public UpdateView {
 public:
  explicit UpdateWindow(std::atomic<bool>* cancel);
  ~UpdateWindow() override;

  void ShowStep(const std::string& text) override;
  ProgressBar* Progress() override { return m_progress.get(); }
  StatusWindow* Status() override { return m_status.get(); }
  // Greys out "取消" once there is nothing left to cancel.
  void Done();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::atomic<bool>* m_cancel;
  QLabel* m_step;
  QLabel* m_statusLabel;
  QProgressBar* m_bar;
  QPushButton* m_cancelButton;
  std::unique_ptr<LabelStatusWindow> m_status;
  std::unique_ptr<WidgetProgressBar> m_progress;
};

// The same on a terminal: each step on a line of its own, the transfer's
// progress as a percentage every tenth.
class TerminalView : public UpdateView, public ProgressBar {
 public:
  void ShowStep(const std::string& text) override;
  ProgressBar* Progress() override { return this; }

  void SetRange32(int lower, int upper) override;
  void SetPos(int pos) override;
  int GetPos() const override { return m_pos; }
  void Show(bool) override {}

 private:
  int m_lower = 0;
  int m_upper = 0;
  int m_pos = 0;
  int m_shownTenth = -1;
};

}  // namespace zorva
