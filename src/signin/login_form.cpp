#include "signin/login_form.h"

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QShowEvent>
#include <QTimerEvent>

#include "controls/artwork.h"
#include "platform/dialog_units.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "platform/shell.h"
#include "ui_login_form.h"

namespace zorva {

namespace {

const QColor kBackground(228, 239, 255);
const QColor kFrame(100, 0, 255);
constexpr int kCountdownPeriodMs = 1000;

// The status texts take two lines of the status line. Fonts with tall line
// spacing (the CJK ones) would lose the second line, so the line's font
// shrinks until two lines fit.
void FitTwoLines(QLabel* label) {
  QFont font = label->font();
  int pixels = QFontInfo(font).pixelSize();
  while (pixels > 9 && 2 * QFontMetrics(font).lineSpacing() > label->height()) {
    font.setPixelSize(--pixels);
  }
  label->setFont(font);
}

}  // namespace

Clogin_form::Clogin_form(QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::login_form>()),
      m_statusWindow(nullptr),
      m_progress(nullptr),
      m_flow(*this) {
  m_ui->setupUi(this);
  MapDialogUnits(this);
  m_statusWindow = LabelStatusWindow(m_ui->statusLine);
  m_progress = WidgetProgressBar(m_ui->progress);

  // An overlapped window of its own (taskbar button), with a sizing border,
  // minimise and close boxes, that stays above other windows. The template
  // asks for no centring: it opens at the top-left corner.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::WindowStaysOnTopHint);
  move(0, 0);
  setWindowIcon(ProgramIcon());
  m_ui->banner->setPixmap(LoginBanner());

  for (CStaticEx* label :
       {m_ui->labelUser, m_ui->labelPassword, m_ui->statusLine, m_ui->labelAutoLogin}) {
    label->SetBackgroundColor(kBackground);
  }
  m_ui->labelAutoLogin->SetNotify(true);
  FitTwoLines(m_ui->statusLine);

  m_ui->signInButton->m_bShowIcon = true;
  m_ui->signInButton->SetIcon(kSignInIconId);
  m_ui->cancelButton->m_bShowIcon = true;
  m_ui->cancelButton->SetIcon(kCancelIconId);

  connect(m_ui->signInButton, &QPushButton::clicked, this, &Clogin_form::SignIn);
  connect(m_ui->cancelButton, &QPushButton::clicked, this, &Clogin_form::reject);
  connect(m_ui->registerButton, &QPushButton::clicked, this,
          [this] { m_flow.OpenRegistrationPage(); });
  connect(m_ui->helpButton, &QPushButton::clicked, this, &Clogin_form::OpenHelpPage);
  connect(m_ui->labelAutoLogin, &CStaticEx::clicked, this, &Clogin_form::ToggleAutoLogin);

  m_flow.LoadSavedUsers();
}

Clogin_form::~Clogin_form() { StopCountdown(); }

void Clogin_form::SignIn() { m_flow.SignIn(); }

void Clogin_form::EnableInputControls(bool enable) {
  // Qt moves the focus off a widget as it is disabled (here onto the check
  // box, where a typed blank would toggle automatic sign-in); enabling the
  // controls again brings it back to where it was.
  if (!enable && !m_focusBeforeDisabling) m_focusBeforeDisabling = focusWidget();
  m_ui->userName->setEnabled(enable);
  m_ui->password->setEnabled(enable);
  m_ui->signInButton->setEnabled(enable);
  m_ui->cancelButton->setEnabled(enable);
  m_ui->registerButton->setEnabled(enable);
  if (enable && m_focusBeforeDisabling) {
    m_focusBeforeDisabling->setFocus();
    m_focusBeforeDisabling = nullptr;
  }
}

void Clogin_form::reject() { done(2); }

void Clogin_form::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  // A 1-pixel frame inset 15 pixels left and right, 65 from the top and 50
  // from the bottom; the rectangle's right and bottom edges are exclusive.
  const QRect frame(QPoint(15, 65), QPoint(width() - 15 - 1, height() - 50 - 1));
  if (frame.isValid()) {
    painter.setPen(QPen(kFrame, 1));
    painter.setBrush(kBackground);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
  }
}

void Clogin_form::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only when the dialog is shown, not when the window system shows it
  // again (a restore from the taskbar): the user's focus stays put then.
  if (!event->spontaneous()) m_ui->password->setFocus();
}

void Clogin_form::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_countdownTimer) {
    QDialog::timerEvent(event);
    return;
  }
  m_flow.CountdownTick();
}

Text Clogin_form::UserName() const { return FromQString(m_ui->userName->currentText()); }

void Clogin_form::SetUserName(const Text& name) { m_ui->userName->setEditText(ToQString(name)); }

std::vector<Text> Clogin_form::SavedUserNames() const {
  std::vector<Text> names;
  for (int i = 0; i < m_ui->userName->count(); ++i) {
    names.push_back(FromQString(m_ui->userName->itemText(i)));
  }
  return names;
}

void Clogin_form::InsertSavedUserName(int index, const Text& name) {
  m_ui->userName->insertItem(index, ToQString(name));
}

Text Clogin_form::Password() const { return FromQString(m_ui->password->text()); }

void Clogin_form::SetPassword(const Text& password) {
  m_ui->password->setText(ToQString(password));
}

void Clogin_form::SelectWholePassword() { m_ui->password->selectAll(); }

bool Clogin_form::AutoLoginChecked() const { return m_ui->autoLogin->isChecked(); }

void Clogin_form::SetAutoLoginChecked(bool checked) { m_ui->autoLogin->setChecked(checked); }

void Clogin_form::FocusUserName() { m_ui->userName->setFocus(); }

void Clogin_form::FocusPassword() { m_ui->password->setFocus(); }

void Clogin_form::RepaintStatusLine() {
  // Not the coalescing repaint of the status window: the next step blocks,
  // and this text must be on screen while it does.
  m_ui->statusLine->show();
  m_ui->statusLine->repaint();
}

void Clogin_form::StartCountdown() {
  if (m_countdownTimer == 0) m_countdownTimer = startTimer(kCountdownPeriodMs);
}

void Clogin_form::StopCountdown() {
  if (m_countdownTimer == 0) return;
  killTimer(m_countdownTimer);
  m_countdownTimer = 0;
}

void Clogin_form::EndWithOk() { done(QDialog::Accepted); }

void Clogin_form::OpenHelpPage() { ShellOpenDocument(LocalPath("help/help.htm")); }

void Clogin_form::ToggleAutoLogin() { m_ui->autoLogin->setChecked(!m_ui->autoLogin->isChecked()); }

}  // namespace zorva
