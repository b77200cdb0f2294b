#include "platform/shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>

#include "platform/qt_text.h"

namespace zorva {

namespace {

// Local paths hold the bytes the file system gave (the working directory)
// and go back to it in that encoding, not as code page 936 text.
QString FromPathBytes(const Text& path) {
  return QFile::decodeName(QByteArray(path.c_str(), path.GetLength()));
}

// The environment the program was started with, taken before main() runs:
// the settings it makes for its own web engine (the renderer, OpenGL, the
// memory allocator of its helper processes) are not for the programs it
// starts.
const QProcessEnvironment g_startEnvironment = QProcessEnvironment::systemEnvironment();

}  // namespace

void ShellOpenDocument(const Text& pathOrUrl) {
  const std::string_view bytes = pathOrUrl.view();
  const bool web = bytes.starts_with("http://") || bytes.starts_with("https://");
  QDesktopServices::openUrl(web ? QUrl(ToQString(pathOrUrl))
                                : QUrl::fromLocalFile(FromPathBytes(pathOrUrl)));
}

bool StartProgram(const Text& program, const Text& parameters) {
  QProcess process;
  process.setProgram(FromPathBytes(program));
  process.setArguments(QProcess::splitCommand(ToQString(parameters)));
  process.setProcessEnvironment(g_startEnvironment);
  return process.startDetached();
}

}  // namespace zorva
