#pragma once

#include <memory>

#include <QDialog>

#include "feedback/suggestion_flow.h"
#include "platform/interval_timer.h"

namespace Ui {
class say_to_us_form;
}

namespace zorva {

// The suggestion dialog: a category, a text of at most 50 double-byte
// characters, and "保存" to send them to the service. A counter timer keeps
// the characters still allowed on show and cuts text that is too long. The
// logic lives in SuggestionFlow; the dialog shows it. exec() gives 1 after a
// successful save and 0 otherwise.
class say_to_us_form : public QDialog, private SuggestionView {
  Q_OBJECT

 public:
  // The counter runs on `timer`; by default a real timer on the event loop.
  explicit say_to_us_form(QWidget* parent = nullptr, std::unique_ptr<IntervalTimer> timer = {});
  ~say_to_us_form() override;

  // The handler of "保存".
  void Save() { m_flow.Save(); }

 public slots:
  void done(int result) override;

 private:
  // SuggestionView
  Text SuggestionText() const override;
  void SetSuggestionText(const Text& text) override;
  void FocusSuggestionText() override;
  int SelectedCategory() const override;
  void SetCounterText(const Text& text) override;
  void SetExplanationText(const Text& text) override;
  void StopCounterTimer() override { m_timer->Stop(); }
  QWidget* MessageOwner() override { return this; }
  void EndWithOk() override { accept(); }

  std::unique_ptr<Ui::say_to_us_form> m_ui;
  std::unique_ptr<IntervalTimer> m_timer;
  SuggestionFlow m_flow;
};

}  // namespace zorva
