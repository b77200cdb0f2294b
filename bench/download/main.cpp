// Times DownloadFile against curl on the same 64 MiB file served by
// zorva-server on the loopback, in the same run.
//
// Usage: bench_download [ZORVA_SERVER [ROUNDS]]   (default: the built
// zorva-server, 3 rounds)
//
// DownloadFile runs as the login dialog runs it: a QApplication (offscreen
// unless QT_QPA_PLATFORM says otherwise) with the Qt message pump installed,
// a shown QLabel as status window and a shown QProgressBar, through the
// widget adapters. curl runs as "curl -s -o FILE URL", its process start
// included. Each figure is the best of the rounds, the two alternating so
// that both see the same machine.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_server.h"
#include "net/transfer.h"
#include "platform/quit.h"
#include "platform/widget_status.h"

namespace {

using zorva::bench::StartServer;

constexpr qint64 kFileSize = 64LL << 20;
constexpr double kMiB = 1024.0 * 1024.0;

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteSample(const QString& path) {
  std::string bytes(static_cast<size_t>(kFileSize), '\0');
  std::mt19937_64 random(20240607);
  for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const uint64_t v = random();
    std::memcpy(&bytes[i], &v, 8);
  }
  std::ofstream out(path.toStdString(), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

double MiBPerSecond(qint64 nanoseconds) { return kFileSize / kMiB / (nanoseconds / 1e9); }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zorva::InstallQtMessagePump();

  const QString exe = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(ZORVA_SERVER_EXE);
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  QTemporaryDir temp;
  const QString content = temp.filePath("content");
  if (!temp.isValid() || !QDir().mkpath(content) || !WriteSample(content + "/big.bin")) {
    std::fprintf(stderr, "bench_download: cannot write the sample file in %s\n",
                 qPrintable(temp.path()));
    return 1;
  }
  QProcess server;
  const QString base = StartServer(server, exe, content, temp.filePath("zorva.db"));
  if (base.isEmpty()) {
    std::fprintf(stderr, "bench_download: %s did not start\n", qPrintable(exe));
    return 1;
  }
  const std::string expected = ReadAll(content + "/big.bin");

  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* label = new QLabel(&window);
  auto* bar = new QProgressBar(&window);
  label->setMinimumWidth(400);
  layout->addWidget(label);
  layout->addWidget(bar);
  window.show();
  zorva::LabelStatusWindow status(label);
  zorva::WidgetProgressBar progress(bar);

  const QString downloadDir = temp.filePath("client");
  const QString curlFile = temp.filePath("curl.bin");
  qint64 bestClient = -1, bestCurl = -1;
  for (int round = 0; round < rounds; ++round) {
    QFile::remove(curlFile);
    QElapsedTimer timer;
    timer.start();
    const int curlExit = QProcess::execute("curl", {"-s", "-o", curlFile, base + "/big.bin"});
    const qint64 curlNs = timer.nsecsElapsed();
    if (curlExit != 0 || ReadAll(curlFile) != expected) {
      std::fprintf(stderr, "bench_download: curl failed (exit %d)\n", curlExit);
      return 1;
    }

    QFile::remove(downloadDir + "/big.bin");
    timer.restart();
    const int result =
        zorva::DownloadFile(zorva::Text(base.toStdString()), "big.bin",
                            zorva::Text(downloadDir.toStdString()), &progress, &status);
    const qint64 clientNs = timer.nsecsElapsed();
    if (result != zorva::kDownloadFinished || ReadAll(downloadDir + "/big.bin") != expected) {
      std::fprintf(stderr, "bench_download: DownloadFile failed (result %d)\n", result);
      return 1;
    }
    std::printf("round %d: DownloadFile %8.1f MiB/s   curl %8.1f MiB/s\n", round + 1,
                MiBPerSecond(clientNs), MiBPerSecond(curlNs));
    bestClient = bestClient < 0 ? clientNs : std::min(bestClient, clientNs);
    bestCurl = bestCurl < 0 ? curlNs : std::min(bestCurl, curlNs);
  }
  server.terminate();
  server.waitForFinished(5000);

  const double client = MiBPerSecond(bestClient);
  const double curl = MiBPerSecond(bestCurl);
  std::printf("64 MiB from zorva-server on the loopback, best of %d:\n", rounds);
  std::printf("  DownloadFile (QLabel + QProgressBar, Qt pump): %8.1f MiB/s\n", client);
  std::printf("  curl -s -o:                                    %8.1f MiB/s\n", curl);
  std::printf("  ratio: %.1f %% of curl (target: at least 25 %%)\n", 100.0 * client / curl);
  std::printf("  final status: %s\n", qPrintable(label->text()));
  std::printf("  final bar: %d of %d..%d\n", bar->value(), bar->minimum(), bar->maximum());
  return 0;
}
