#include "feedback/say_to_us_form.h"

#include <QTextCursor>

#include "platform/dialog_units.h"
#include "platform/qt_text.h"
#include "ui_say_to_us_form.h"

namespace zorva {

say_to_us_form::say_to_us_form(QWidget* parent, std::unique_ptr<IntervalTimer> timer)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::say_to_us_form>()),
      m_timer(timer ? std::move(timer) : MakeQtIntervalTimer()),
      m_flow(*this) {
  m_ui->setupUi(this);
  MapDialogUnits(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  // Nothing is chosen until the user picks a category.
  m_ui->categoryList->setCurrentIndex(-1);

  connect(m_ui->saveButton, &QPushButton::clicked, this, &say_to_us_form::Save);
  connect(m_ui->cancelButton, &QPushButton::clicked, this, &say_to_us_form::reject);

  m_timer->Start(SuggestionFlow::kCounterPeriodMs, [this] { m_flow.CounterTick(); });
}

say_to_us_form::~say_to_us_form() { m_timer->Stop(); }

void say_to_us_form::done(int result) {
  // An ended dialog counts no more, whether or not it is destroyed yet.
  m_timer->Stop();
  QDialog::done(result);
}

Text say_to_us_form::SuggestionText() const {
  Text text = FromQString(m_ui->suggestionText->toPlainText());
  text.Replace("\n", "\r\n");
  return text;
}

void say_to_us_form::SetSuggestionText(const Text& text) {
  Text shown = text;
  shown.Replace("\r\n", "\n");
  QPlainTextEdit* box = m_ui->suggestionText;
  const int caret = box->textCursor().position();
  box->setPlainText(ToQString(shown));
  QTextCursor cursor = box->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.setPosition(std::min(caret, cursor.position()));
  box->setTextCursor(cursor);
}

void say_to_us_form::FocusSuggestionText() { m_ui->suggestionText->setFocus(); }

int say_to_us_form::SelectedCategory() const { return m_ui->categoryList->currentIndex(); }

void say_to_us_form::SetCounterText(const Text& text) { m_ui->counter->setText(ToQString(text)); }

void say_to_us_form::SetExplanationText(const Text& text) {
  m_ui->explanation->setText(ToQString(text));
}

}  // namespace zorva
