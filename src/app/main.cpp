#include <QApplication>

#include "app/pelk_app.h"
#include "controls/web_engine.h"

int main(int argc, char** argv) {
  zorva::PrepareWebEngine();
  QApplication app(argc, argv);
  zorva::CPelkApp pelk;
  if (!pelk.InitInstance()) return zorva::CPelkApp::ExitCode();
  return app.exec();
}
