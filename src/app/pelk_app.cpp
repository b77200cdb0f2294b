#include "app/pelk_app.h"

#include <filesystem>
#include <system_error>

#include "net/transfer.h"
#include "platform/program_values.h"
#include "platform/quit.h"

namespace zorva {

CPelkApp::CPelkApp() = default;
CPelkApp::~CPelkApp() = default;

bool CPelkApp::InitInstance(CMainFrame::SignInGate signIn) {
  // The windowing platform needs no preparing of its own: Qt's widgets are
  // ready once the QApplication exists, and there is no component-object
  // layer to initialise (embedded web content comes with the windows that
  // need it), so start-up has no failure before the frame.
  InstallQtMessagePump();

  // The file functions take the path bytes as the system gives them, so the
  // directory is kept in those bytes.
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  SetWorkingDirectory(error ? Text() : Text(current.string()));
  // A download cut short by the end of its process leaves its temporary
  // file in the download folder; nothing else would ever remove it.
  RemoveStaleDownloadFiles(LocalPath("dl"));

  m_pMainWnd = std::make_unique<CMainFrame>(std::move(signIn));
  if (!m_pMainWnd->Create()) {
    m_pMainWnd.reset();
    return false;
  }
  m_pMainWnd->showMaximized();
  m_pMainWnd->update();
  return true;
}

int CPelkApp::ExitCode() {
  const int code = HandledQuitCode();
  return code >= 0 ? code : 0;
}

}  // namespace zorva
