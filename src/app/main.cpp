#include <QApplication>

#include "app/pelk_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zorva::CPelkApp pelk;
  if (!pelk.InitInstance()) return zorva::CPelkApp::ExitCode();
  return app.exec();
}
