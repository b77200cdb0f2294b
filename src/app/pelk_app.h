#pragma once

#include <memory>

#include "app/main_frame.h"

namespace zorva {

// Start-up: records the working directory, hooks the foundations' message
// pump into the Qt event loop and creates the main frame, which signs the
// user in before it is ever shown.
class CPelkApp {
 public:
  CPelkApp();
  ~CPelkApp();

  // True when the frame is up and the event loop is to run; false when the
  // program is to end at once with ExitCode(). Needs the QApplication.
  bool InitInstance(CMainFrame::SignInGate signIn = {});

  // The exit code of a program that ends during start-up: the code of a
  // quit request handled on the way (the update hand-off ends with 1), else 0.
  static int ExitCode();

  CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

 private:
  std::unique_ptr<CMainFrame> m_pMainWnd;
};

}  // namespace zorva
