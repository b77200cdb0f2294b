#pragma once

#include <QMainWindow>

#include <QPointer>

#include <functional>

#include "core/text.h"

class QAction;
class QToolBar;

namespace Ui {
class CMainFrame;
}

namespace zorva {

class gonggao_form;
class lesson_form;
class message_form;

// The main frame: menu and toolbar 127, the title with the local version,
// and the order in which the sign-in, the loading message and the windows
// of the signed-in user come before the frame is shown. The frame owns the
// windows it creates.
class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The commands of the menu and the toolbar.
  enum Command {
    kCommandLearning = 32862,
    kCommandSuggestion = 32858,
    kCommandExit = 57665,
    kCommandHelp = 57670,
  };

  // Runs the sign-in and answers its result: 1 after a successful sign-in.
  using SignInGate = std::function<int()>;

  // Makes the lesson window's object: null when it cannot be allocated.
  using LessonFormFactory = std::function<lesson_form*()>;

  // The default gate runs the login dialog modally; the default factory
  // makes a plain lesson window.
  explicit CMainFrame(SignInGate signIn = {}, LessonFormFactory makeLessonForm = {});
  ~CMainFrame() override;

  // The creation sequence, run before the frame is ever shown: the title,
  // the toolbar, the sign-in, then the loading message. False when the
  // frame cannot go on (sign-in not OK); the program then ends and nothing
  // of the frame has been shown.
  bool Create();

  // "Zorva学习娱乐空间 版本" followed directly by the version in the local
  // version file (nothing when the file is missing or unreadable).
  static Text TitleText();

  QToolBar* ToolBar() const;
  // The menu item for a command, or null.
  QAction* MenuAction(int command) const;
  message_form* LoadingMessage() const { return m_pMessageForm; }
  // The lesson window; null until created, and again once it is gone.
  lesson_form* LessonForm() const;
  gonggao_form* AnnouncementWindow() const { return m_pGonggaoForm; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnCommand(int command);
  void OnLearning();
  void OnSuggestion();
  void OnHelp();
  void SetToolbarTexts();
  void SizeToolbarButtons();
  void ShowLoadingMessage();
  void CreateLessonWindow();
  void CreateAnnouncementWindow();

  std::unique_ptr<Ui::CMainFrame> m_ui;
  SignInGate m_signIn;
  LessonFormFactory m_makeLessonForm;
  message_form* m_pMessageForm = nullptr;
  // Guarded: the window's hidden "关闭" destroys it on its own.
  QPointer<lesson_form> m_pLessonForm;
  gonggao_form* m_pGonggaoForm = nullptr;
};

}  // namespace zorva
