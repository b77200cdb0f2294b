#include "platform/message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/qt_text.h"

namespace zorva {

namespace {

MessageBoxHandler g_handler;

QString ApplicationName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace

void ShowMessage(const Text& text, QWidget* owner) {
  if (g_handler) {
    g_handler(MessageBoxStyle::Exclamation, text, FromQString(ApplicationName()));
    return;
  }
  QMessageBox box(QMessageBox::Warning, ApplicationName(), ToQString(text), QMessageBox::Ok, owner);
  box.exec();
}

bool AskYesNo(const Text& text, const Text& caption, QWidget* owner) {
  if (g_handler) return g_handler(MessageBoxStyle::YesNo, text, caption);
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text),
                  QMessageBox::Yes | QMessageBox::No, owner);
  return box.exec() == QMessageBox::Yes;
}

void SetMessageBoxHandler(MessageBoxHandler handler) { g_handler = std::move(handler); }

}  // namespace zorva
