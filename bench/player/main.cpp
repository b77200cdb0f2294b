// Figures of the web movie player, run on a real display (the bench_player
// target runs it under Xvfb): the time from process start to the first
// frame of the first movie, the median time from LoadMovie to the first
// reported frame once the player is warm, the proportional memory (PSS) of
// the whole process tree idle and while playing, and the CPU the tree uses
// while playing. zorva-server serves the sample content on the loopback and
// the figures use its six-page lesson; without it, a lesson of generated
// pages (12 fps, 3 s each, a square moving over a coloured stage).
//
// Usage: bench_player [ZORVA_SERVER [CONTENT_DIR]]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_server.h"
#include "controls/ruffle_player.h"
#include "controls/shockwave_flash.h"
#include "controls/web_engine.h"
#include "support/swf_writer.h"

namespace {

using zorva::bench::StartServer;

constexpr char kSampleLesson[] = "shizi_bihua";
constexpr int kWarmLoads = 12;
constexpr int kPlaySeconds = 15;

// Milliseconds since this process started, from the kernel's record.
double SinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) rest >> field;  // field 22: start time in ticks since boot
  const double startMs = std::stod(field) * 1000.0 / sysconf(_SC_CLK_TCK);
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6 - startMs;
}

// The server is the service's stand-in, not part of the client: its
// process is left out of the client's figures.
int g_serverPid = 0;

// This process and every process below it, but the server.
std::vector<int> ProcessTree() {
  std::multimap<int, int> children;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
    bool ok = false;
    const int pid = entry.toInt(&ok);
    if (!ok) continue;
    std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    if (text.empty()) continue;
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    children.emplace(parent, pid);
  }
  std::vector<int> tree{static_cast<int>(getpid())};
  for (size_t i = 0; i < tree.size(); ++i) {
    auto [from, to] = children.equal_range(tree[i]);
    for (auto it = from; it != to; ++it) {
      if (it->second != g_serverPid) tree.push_back(it->second);
    }
  }
  return tree;
}

// What a process of the tree is: "client" for this one, else its web
// engine role ("renderer", "zygote", "utility", ...).
// Renderers are forked from a zygote and keep its command line: a zygote's
// child is a renderer.
std::string CommandRole(int pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline");
  std::string cmdline((std::istreambuf_iterator<char>(file)), {});
  const size_t at = cmdline.find("--type=");
  if (at == std::string::npos) return "other";
  return cmdline.substr(at + 7, cmdline.find('\0', at) - at - 7);
}

int Parent(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  if (text.empty()) return 0;
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string state;
  int parent = 0;
  rest >> state >> parent;
  return parent;
}

std::string Role(int pid) {
  if (pid == getpid()) return "client";
  const std::string role = CommandRole(pid);
  if (role == "zygote" && CommandRole(Parent(pid)) == "zygote") return "renderer";
  return role;
}

// One field of a process's memory summary ("Pss", "Private_Dirty", ...).
double RollupMiB(int pid, const std::string& field) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(rollup, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024;
  }
  return 0;
}

double PssMiB(int pid) { return RollupMiB(pid, "Pss"); }

double TreePssMiB() {
  double mib = 0;
  for (int pid : ProcessTree()) mib += PssMiB(pid);
  return mib;
}

// Memory no other process shares. PSS also charges a share of the web
// engine's libraries, which moves with how many other programs on the
// machine map them; this does not.
double TreePrivateMiB() {
  double mib = 0;
  for (int pid : ProcessTree()) {
    mib += RollupMiB(pid, "Private_Clean") + RollupMiB(pid, "Private_Dirty");
  }
  return mib;
}

// PSS by role, "client 180, renderer 200, ...".
std::string PssByRole() {
  std::map<std::string, double> roles;
  for (int pid : ProcessTree()) roles[Role(pid)] += PssMiB(pid);
  std::string out;
  for (const auto& [role, mib] : roles) {
    if (!out.empty()) out += ", ";
    out += role + " " + std::to_string(static_cast<int>(mib + 0.5));
  }
  return out;
}

// The machine's load averages, printed beside the figures: on a busy
// machine every figure here grows.
std::string Load() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// CPU seconds used so far by the processes of the tree that still run.
std::map<int, double> TreeCpu() {
  std::map<int, double> cpu;
  for (int pid : ProcessTree()) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    if (text.empty()) continue;
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15; ++i) {
      rest >> field;
      if (i == 14 || i == 15) ticks += std::stod(field);
    }
    cpu[pid] = ticks / sysconf(_SC_CLK_TCK);
  }
  return cpu;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  zorva::PrepareWebEngine();
  QApplication app(argc, argv);
  const QString exe = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(ZORVA_SERVER_EXE);

  QTemporaryDir temp;
  QString content = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(ZORVA_SAMPLE_CONTENT);
  QString lesson = kSampleLesson;
  QStringList pages =
      QDir(content + "/lesson/" + lesson + "/0010").entryList({"*.swf"}, QDir::Files, QDir::Name);
  if (pages.isEmpty()) {
    content = temp.filePath("content");
    lesson = "bench";
    for (int page = 1; page <= 6; ++page) pages << QString("page%1.swf").arg(page);
  }
  const QString dir = temp.filePath("content/lesson/bench/0010");
  QDir().mkpath(dir);
  for (int page = 1; page <= 6 && lesson == "bench"; ++page) {
    zorva::test::SwfSpec spec;
    spec.frameRate = 12;
    spec.frames = 36;
    spec.stopFrames = {35};
    spec.width = 760;
    spec.height = 456;
    spec.background = 0x203040 + page * 0x101010;
    spec.kind = zorva::test::SwfKind::Zlib;
    std::ofstream(QString("%1/page%2.swf").arg(dir).arg(page).toStdString(), std::ios::binary)
        << zorva::test::MakeSwf(spec);
  }
  QProcess server;
  const QString base = StartServer(server, exe, content, temp.filePath("zorva.db"));
  if (base.isEmpty()) {
    std::fprintf(stderr, "bench_player: %s did not start\n", qPrintable(exe));
    return 1;
  }
  g_serverPid = static_cast<int>(server.processId());
  std::printf("load average at start: %s\n", Load().c_str());
  const int kPages = static_cast<int>(pages.size());
  std::printf("lesson: %s, %d pages\n", qPrintable(lesson), kPages);
  // Pages counted from 1.
  auto url = [&](int page) {
    return zorva::Text(QString("%1/lesson/%2/0010/%3")
                           .arg(base, lesson, pages[(page - 1) % kPages])
                           .toStdString());
  };

  if (!zorva::RufflePlayer::Available()) {
    std::fprintf(stderr, "bench_player: the web player cannot run here\n");
    return 1;
  }
  auto* ruffle = new zorva::RufflePlayer;
  zorva::CShockwaveflash1 control(std::unique_ptr<zorva::MoviePlayer>(ruffle), nullptr);
  control.resize(837, 556);  // the lesson window's player
  control.show();

  bool reported = false;
  QObject::connect(ruffle, &zorva::RufflePlayer::frameReported,
                   [&reported](int) { reported = true; });
  auto waitFirstFrame = [&] { return QTest::qWaitFor([&] { return reported; }, 60000); };

  control.LoadMovie(0, url(1));
  // The page up and its channel answering; the rest of the wait is Ruffle
  // compiling its core and showing the movie.
  if (QTest::qWaitFor([&] { return ruffle->PageReady(); }, 60000)) {
    std::printf("page ready after process start: %.0f ms\n", SinceProcessStart());
  }
  if (!waitFirstFrame()) {
    std::fprintf(stderr, "bench_player: the first movie never showed\n");
    return 1;
  }
  std::printf("first frame after process start: %.0f ms\n", SinceProcessStart());

  std::vector<double> warm;
  for (int i = 0; i < kWarmLoads; ++i) {
    QTest::qWait(300);
    reported = false;
    QElapsedTimer timer;
    timer.start();
    control.LoadMovie(0, url(2 + i % (kPages - 1)));
    if (!waitFirstFrame()) {
      std::fprintf(stderr, "bench_player: a movie never showed\n");
      return 1;
    }
    warm.push_back(timer.nsecsElapsed() / 1e6);
  }
  std::printf("warm LoadMovie to first frame: median %.0f ms (min %.0f, max %.0f, %d loads)\n",
              Median(warm), *std::min_element(warm.begin(), warm.end()),
              *std::max_element(warm.begin(), warm.end()), kWarmLoads);

  // Idle: the page up, no movie.
  control.LoadMovie(0, zorva::Text(base.toStdString() + "/lesson/none/0010/none.swf"));
  QTest::qWait(3000);
  std::printf("PSS of the process tree, idle: %.0f MiB (%s); private %.0f MiB\n", TreePssMiB(),
              PssByRole().c_str(), TreePrivateMiB());

  // Playing the lesson page after page, as the lesson timer would.
  int page = 1;
  control.LoadMovie(0, url(page));
  QTest::qWait(1000);
  const std::map<int, double> before = TreeCpu();
  QElapsedTimer wall;
  wall.start();
  double peak = 0;
  std::string peakRoles;
  std::vector<double> samples, privateSamples;
  while (wall.elapsed() < kPlaySeconds * 1000) {
    QTest::qWait(250);
    if (!control.IsPlaying()) control.LoadMovie(0, url(page = page % kPages + 1));
    const double now = TreePssMiB();
    samples.push_back(now);
    privateSamples.push_back(TreePrivateMiB());
    if (now > peak) {
      peak = now;
      peakRoles = PssByRole();
    }
  }
  const std::map<int, double> after = TreeCpu();
  const double seconds = wall.nsecsElapsed() / 1e9;
  double used = 0;
  std::map<std::string, double> byRole;
  for (const auto& [pid, cpu] : after) {
    auto it = before.find(pid);
    const double share = cpu - (it == before.end() ? 0 : it->second);
    used += share;
    byRole[Role(pid)] += share;
  }
  std::string roles;
  for (const auto& [role, cpu] : byRole) {
    if (!roles.empty()) roles += ", ";
    roles += role + " " + std::to_string(static_cast<int>(100 * cpu / seconds + 0.5));
  }
  std::printf("PSS of the process tree, playing: %.0f MiB highest seen (%s), median %.0f MiB; "
              "private %.0f MiB highest seen\n",
              peak, peakRoles.c_str(), Median(samples),
              *std::max_element(privateSamples.begin(), privateSamples.end()));
  std::printf("CPU of the process tree, playing: %.0f%% of one core over %d s (%s)\n",
              100.0 * used / seconds, kPlaySeconds, roles.c_str());

  // The announcement window: another web view on the shared profile, with
  // a page of the service's. Ideally it shares the player's renderer.
  {
    QWebEngineView announcements;
    announcements.setPage(new QWebEnginePage(zorva::SharedWebProfile(), &announcements));
    announcements.resize(400, 300);
    announcements.show();
    bool loaded = false;
    QObject::connect(&announcements, &QWebEngineView::loadFinished,
                     [&loaded](bool) { loaded = true; });
    announcements.load(QUrl(base + "/gonggao.htm"));
    QTest::qWaitFor([&] { return loaded; }, 30000);
    QTest::qWait(2000);
    int renderers = 0;
    for (int pid : ProcessTree()) renderers += Role(pid) == "renderer";
    std::printf("PSS with an announcement view open too: %.0f MiB (%s; %d renderer%s)\n",
                TreePssMiB(), PssByRole().c_str(), renderers, renderers == 1 ? "" : "s");
  }
  std::printf("load average at end: %s\n", Load().c_str());
  server.terminate();
  server.waitForFinished(5000);
  return 0;
}
