#include "platform/shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include "platform/qt_text.h"

namespace zorva {

void ShellOpenDocument(const Text& pathOrUrl) {
  QString target = ToQString(pathOrUrl);
  QUrl url = target.startsWith("http://") || target.startsWith("https://")
                 ? QUrl(target)
                 : QUrl::fromLocalFile(target);
  QDesktopServices::openUrl(url);
}

bool StartProgram(const Text& program, const Text& parameters) {
  return QProcess::startDetached(ToQString(program),
                                 QProcess::splitCommand(ToQString(parameters)));
}

}  // namespace zorva
