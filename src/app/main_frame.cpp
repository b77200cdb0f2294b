#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMenu>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "app/message_form.h"
#include "controls/artwork.h"
#include "core/cp936.h"
#include "core/toolkit.h"
#include "feedback/gonggao_form.h"
#include "feedback/say_to_us_form.h"
#include "lessons/lesson_form.h"
#include "platform/message_box.h"
#include "platform/owner_modal.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "platform/quit.h"
#include "platform/shell.h"
#include "platform/window_frame.h"
#include "signin/login_form.h"
#include "ui_main_frame.h"

namespace zorva {

namespace {

int RunLoginDialog() {
  Clogin_form dialog;
  return dialog.exec();
}

lesson_form* NewLessonForm() { return new (std::nothrow) lesson_form; }

// The commands of the seven toolbar buttons after the second separator. No
// window handles them, so they stay disabled.
constexpr int kUnhandledCommands[] = {32873, 32859, 32782, 32805, 32800, 32872, 32870};

}  // namespace

CMainFrame::CMainFrame(SignInGate signIn, LessonFormFactory makeLessonForm)
    : m_ui(std::make_unique<Ui::CMainFrame>()),
      m_signIn(signIn ? std::move(signIn) : SignInGate(RunLoginDialog)),
      m_makeLessonForm(makeLessonForm ? std::move(makeLessonForm)
                                      : LessonFormFactory(NewLessonForm)) {
  m_ui->setupUi(this);
  setWindowIcon(ProgramIcon());
  // The client area of a multiple-document frame: the windows that join
  // the frame later sit over it.
  setCentralWidget(new QMdiArea(this));
  // The creation rectangle covers the screen's free area, so the frame looks
  // the same where no window manager acts on the request to maximise it.
  if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());

  struct Bound {
    QAction* action;
    int command;
  };
  const auto bind = [this](const Bound& item) {
    item.action->setData(item.command);
    connect(item.action, &QAction::triggered, this, [this, c = item.command] { OnCommand(c); });
  };
  for (const Bound& item :
       {Bound{m_ui->menuLearning, kCommandLearning},
        Bound{m_ui->menuSuggestion, kCommandSuggestion}, Bound{m_ui->menuExit, kCommandExit},
        Bound{m_ui->menuHelpPage, kCommandHelp}}) {
    bind(item);
  }
  int image = 0;
  for (const Bound& item :
       {Bound{m_ui->toolLearning, kCommandLearning}, Bound{m_ui->toolHelp, kCommandHelp},
        Bound{m_ui->toolSuggestion, kCommandSuggestion}, Bound{m_ui->toolExit, kCommandExit}}) {
    bind(item);
    item.action->setIcon(QIcon(ToolbarImage(image++)));
  }
  QAction* unhandled[] = {m_ui->tool32873, m_ui->tool32859, m_ui->tool32782, m_ui->tool32805,
                          m_ui->tool32800, m_ui->tool32872, m_ui->tool32870};
  for (size_t i = 0; i < std::size(unhandled); ++i) {
    unhandled[i]->setData(kUnhandledCommands[i]);
    unhandled[i]->setIcon(QIcon(ToolbarImage(image++)));
    unhandled[i]->setEnabled(false);
  }
}

CMainFrame::~CMainFrame() { delete m_pLessonForm; }

Text CMainFrame::TitleText() {
  CToolkit toolkit;
  const Text version = toolkit.ReadXmlValue(LocalPath("zorva.xml"), "zorva", "", "", "");
  return FromUtf8("Zorva学习娱乐空间 版本") + version;
}

bool CMainFrame::Create() {
  setWindowTitle(ToQString(TitleText()));
  SetToolbarTexts();
  SizeToolbarButtons();

  if (m_signIn() != 1) return false;

  ShowLoadingMessage();
  // The windows of the working program come up while the loading message
  // is on screen.
  CreateLessonWindow();
  CreateAnnouncementWindow();
  if (m_pMessageForm) m_pMessageForm->close();
  KeepOwnedWindowsAbove(*this);
  return true;
}

void CMainFrame::ShowLoadingMessage() {
  m_pMessageForm = new message_form(this);
  ShowNow(*m_pMessageForm);
}

void CMainFrame::CreateLessonWindow() {
  m_pLessonForm = m_makeLessonForm();
  if (!m_pLessonForm) {
    ShowMessage("Error Creating Dialog Object");
    return;
  }
  if (!m_pLessonForm->Create(this)) {
    // The object stays with the frame, which deletes it on closing.
    ShowMessage("Error creating Dialog");
    return;
  }
  // Centred on the screen by its outer rectangle, once its frame is known.
  PlaceByOuterRectangle(*m_pLessonForm, [form = m_pLessonForm.data()](const QMargins& frame) {
    QScreen* screen = form->screen();
    if (!screen || frame.isNull()) return;
    QRect outer(QPoint(0, 0), form->size().grownBy(frame));
    outer.moveCenter(screen->availableGeometry().center());
    form->move(outer.topLeft());
  });
  m_pLessonForm->show();
}

lesson_form* CMainFrame::LessonForm() const { return m_pLessonForm; }

void CMainFrame::CreateAnnouncementWindow() {
  // Placed against the bottom right of the frame's rectangle as it is now,
  // before the frame is shown maximised.
  const QRect frame = frameGeometry();
  QRect place(frame.x() + frame.width() - 350, frame.y() + frame.height() - 300, 400, 300);
  // A frame as large as the screen would leave the window's right part, and
  // the page's buttons there, off the screen: it is kept on the screen.
  if (QScreen* screen = QGuiApplication::screenAt(frame.center())) {
    const QRect area = screen->availableGeometry();
    place.moveRight(std::min(place.right(), area.right()));
    place.moveBottom(std::min(place.bottom(), area.bottom()));
    place.moveLeft(std::max(place.left(), area.left()));
    place.moveTop(std::max(place.top(), area.top()));
  }
  m_pGonggaoForm = new gonggao_form(this);
  // The place is the window's outer rectangle, caption and border included.
  PlaceByOuterRectangle(*m_pGonggaoForm, [form = m_pGonggaoForm, place](const QMargins& frame) {
    form->Place(place.marginsRemoved(frame));
  });
  m_pGonggaoForm->show();
}

QToolBar* CMainFrame::ToolBar() const { return m_ui->toolBar; }

QAction* CMainFrame::MenuAction(int command) const {
  for (QAction* action :
       {m_ui->menuLearning, m_ui->menuSuggestion, m_ui->menuExit, m_ui->menuHelpPage})
    if (action->data().toInt() == command) return action;
  return nullptr;
}

void CMainFrame::SetToolbarTexts() {
  m_ui->toolLearning->setText(QStringLiteral("学习及娱乐"));
  m_ui->toolHelp->setText(QStringLiteral("Help"));
  m_ui->toolSuggestion->setText(QStringLiteral("给我们提建议"));
  m_ui->toolExit->setText(QStringLiteral("退出"));
}

void CMainFrame::SizeToolbarButtons() {
  // Every button, separators included, gets the size of the largest entry
  // plus 10 pixels of width, so that the labelled buttons line up evenly.
  QToolBar* bar = m_ui->toolBar;
  bar->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
  const QList<QAction*> entries = bar->actions();
  int width = 0;
  int height = 0;
  for (qsizetype i = entries.size() - 1; i >= 0; --i) {
    QWidget* entry = bar->widgetForAction(entries[i]);
    if (!entry) continue;
    const QSize hint = entry->sizeHint();
    width = std::max(width, hint.width());
    height = std::max(height, hint.height());
  }
  for (QAction* action : entries) {
    if (action->isSeparator()) continue;
    if (QWidget* button = bar->widgetForAction(action)) button->setFixedSize(width + 10, height);
  }
}

void CMainFrame::OnCommand(int command) {
  switch (command) {
    case kCommandLearning:
      OnLearning();
      break;
    case kCommandSuggestion:
      OnSuggestion();
      break;
    case kCommandExit:
      close();
      break;
    case kCommandHelp:
      OnHelp();
      break;
    default:
      break;
  }
}

// The learning item is enabled but has no effect: the lesson window is
// always there once the frame shows.
void CMainFrame::OnLearning() {}

// The suggestion dialog has no owner of its own and blocks the frame only:
// the lesson window and the announcement stay usable while it is open. How
// it ended makes no difference here.
void CMainFrame::OnSuggestion() {
  say_to_us_form dialog;
  ExecModalToOwner(dialog, *this);
}

void CMainFrame::OnHelp() { ShellOpenDocument(LocalPath("help/help.htm")); }

void CMainFrame::closeEvent(QCloseEvent* event) {
  // The windows the frame created go with it.
  delete m_pMessageForm;
  m_pMessageForm = nullptr;
  // The announcement window goes before the lesson window.
  delete m_pGonggaoForm;
  m_pGonggaoForm = nullptr;
  // The lesson window may have a handler on the stack below this one (a
  // download pumps messages), so it goes once control is back in the event
  // loop, or with the frame, whichever comes first.
  if (m_pLessonForm) {
    m_pLessonForm->hide();
    m_pLessonForm->deleteLater();
  }
  event->accept();
  PostQuitMessage(0);
}

}  // namespace zorva
