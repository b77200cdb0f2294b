#include "platform/log_file.h"

#include <QDateTime>
#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace zorva {

namespace {

constexpr long kMaxLogBytes = 1L << 20;

std::mutex g_mutex;
FILE* g_file = nullptr;
std::string g_path;
std::string g_program;
bool g_debug = false;

void OpenLog() {
  struct stat st;
  if (::stat(g_path.c_str(), &st) == 0 && st.st_size > kMaxLogBytes) {
    std::rename(g_path.c_str(), (g_path + ".1").c_str());
  }
  g_file = std::fopen(g_path.c_str(), "ae");
}

const char* LevelName(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return "debug";
    case QtInfoMsg:
      return "info";
    case QtWarningMsg:
      return "warning";
    case QtCriticalMsg:
      return "error";
    case QtFatalMsg:
      return "fatal";
  }
  return "?";
}

void WriteLine(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg && !g_debug) return;
  const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + " " +
                          QByteArray(g_program.c_str()) + "[" +
                          QByteArray::number(static_cast<qint64>(::getpid())) + "] " +
                          LevelName(type) + ": " + message.toUtf8() + "\n";
  std::lock_guard lock(g_mutex);
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  if (g_file) {
    if (std::ftell(g_file) > kMaxLogBytes) {
      std::fclose(g_file);
      OpenLog();
    }
    if (g_file) {
      std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), g_file);
      std::fflush(g_file);
    }
  }
  if (type == QtFatalMsg) std::abort();
}

}  // namespace

void InstallLogFile(const char* dir, const char* program) {
  {
    std::lock_guard lock(g_mutex);
    const char* detail = std::getenv(kLogDetailVariable);
    g_debug = detail && *detail && std::strcmp(detail, "0") != 0;
    g_program = program;
    g_path = std::string(dir) + (std::strcmp(dir, "/") == 0 ? "" : "/") + kLogFileName;
    if (g_file) std::fclose(g_file);
    OpenLog();
  }
  qInstallMessageHandler(WriteLine);
}

}  // namespace zorva
