#include "platform/shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>

#include <optional>

#include "platform/qt_text.h"

namespace zorva {

namespace {

// Local paths hold the bytes the file system gave (the working directory)
// and go back to it in that encoding, not as code page 936 text.
QString FromPathBytes(const Text& path) {
  return QFile::decodeName(QByteArray(path.c_str(), path.GetLength()));
}

std::optional<QProcessEnvironment>& ProgramEnvironment() {
  static std::optional<QProcessEnvironment> kept;
  return kept;
}

}  // namespace

void KeepEnvironmentForPrograms() { ProgramEnvironment() = QProcessEnvironment::systemEnvironment(); }

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
  if (ProgramEnvironment()) process.setProcessEnvironment(*ProgramEnvironment());
  return process.startDetached();
}

}  // namespace zorva
