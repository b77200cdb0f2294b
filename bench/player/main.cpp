// Figures of the web movie player, run on a real display (the bench_player
// target runs it under Xvfb): the time from process start to the first
// frame of the first movie, the median time from LoadMovie to the first
// reported frame once the player is warm, the proportional memory (PSS) of
// the whole process tree idle and while playing, and the CPU the tree uses
// while playing, where they go (each process's share, the page's script
// heap and WebAssembly memory, the CPU of each thread by name), and the page
// switch as the lesson's one-second tick sees it: from the tick that loads
// the next page to that page's first frame. zorva-server serves the sample
// content on the loopback and the figures use its six-page lesson; without
// it, a lesson of generated pages (12 fps, 3 s each, a square moving over a
// coloured stage).
//
// Usage: bench_player [ZORVA_SERVER [CONTENT_DIR]]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
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
constexpr int kSwitches = 8;

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

// Memory the tree wrote to itself (heaps, WebAssembly memory, the picture):
// of the figures here the one that least depends on what else runs on the
// machine.
double TreeDirtyMiB() {
  double mib = 0;
  for (int pid : ProcessTree()) mib += RollupMiB(pid, "Private_Dirty");
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

// The tree's PSS by kind of memory: "files 120, C heap 75, other 95,
// shared 3". Files are the program's and libraries' code and data mapped
// from disk (mostly the web engine's, shared between its processes); the C
// heap is the C library allocator's main heap and its per-thread pools
// (anonymous mappings that start on a 64 MiB boundary, as glibc places
// them); other is the rest of the anonymous memory: the script heap, the
// WebAssembly memory, compiled code and the engine's own allocators.
std::string PssByKind() {
  std::map<std::string, double> kinds;
  for (int pid : ProcessTree()) {
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::string line, kind;
    while (std::getline(smaps, line)) {
      const std::string first = line.substr(0, line.find(' '));
      if (!first.empty() && first.back() != ':') {  // a mapping's header, not one of its fields
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, name;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, name);
        const unsigned long long start = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
        if (name == "[heap]" || (name.empty() && start % (64ull << 20) == 0)) {
          kind = "C heap";
        } else if (name.rfind("/memfd:", 0) == 0 || name.rfind("/dev/shm", 0) == 0 ||
                   name.find("(deleted)") != std::string::npos) {
          kind = "shared";
        } else if (!name.empty() && name[0] == '/') {
          kind = "files";
        } else {
          kind = "other";
        }
      } else if (line.rfind("Pss:", 0) == 0) {
        kinds[kind] += std::stod(line.substr(4)) / 1024;
      }
    }
  }
  std::string out;
  for (const char* kind : {"files", "C heap", "other", "shared"}) {
    if (!out.empty()) out += ", ";
    out += std::string(kind) + " " + std::to_string(static_cast<int>(kinds[kind] + 0.5));
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

// CPU seconds used so far by each thread of the tree, by process and
// thread name.
std::map<std::pair<int, std::string>, double> ThreadCpu() {
  std::map<std::pair<int, std::string>, double> cpu;
  for (int pid : ProcessTree()) {
    std::error_code error;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      std::ifstream stat(task.path() / "stat");
      std::string text((std::istreambuf_iterator<char>(stat)), {});
      const size_t open = text.find('('), close = text.rfind(')');
      if (open == std::string::npos || close == std::string::npos) continue;
      std::string name = text.substr(open + 1, close - open - 1);
      // Numbered pools ("ThreadPoolForeg", "Chrome_ChildIOT") count as one.
      while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back())))
        name.pop_back();
      std::istringstream rest(text.substr(close + 2));
      std::string field;
      double ticks = 0;
      for (int i = 3; i <= 15; ++i) {
        rest >> field;
        if (i == 14 || i == 15) ticks += std::stod(field);
      }
      cpu[{pid, name}] += ticks / sysconf(_SC_CLK_TCK);
    }
  }
  return cpu;
}

// The threads that used the most CPU between two samples, as percentages
// of one core: "client/VizCompositorTh 6, renderer/CrRendererMain 5, ...".
std::string TopThreads(const std::map<std::pair<int, std::string>, double>& before,
                       const std::map<std::pair<int, std::string>, double>& after, double seconds) {
  std::map<std::string, double> byName;
  for (const auto& [key, cpu] : after) {
    auto it = before.find(key);
    byName[Role(key.first) + "/" + key.second] += cpu - (it == before.end() ? 0 : it->second);
  }
  std::vector<std::pair<double, std::string>> sorted;
  for (const auto& [name, cpu] : byName) sorted.emplace_back(-cpu, name);
  std::sort(sorted.begin(), sorted.end());
  std::string out;
  for (size_t i = 0; i < sorted.size() && i < 8; ++i) {
    const int percent = static_cast<int>(-100 * sorted[i].first / seconds + 0.5);
    if (percent < 1) break;
    if (!out.empty()) out += ", ";
    out += sorted[i].second + " " + std::to_string(percent);
  }
  return out;
}

// Notes every WebAssembly memory the page creates, so the benchmark can
// weigh it; runs in the page before its own scripts.
constexpr char kWasmWatch[] = R"(
(() => {
  const memories = [];
  window.zorvaBenchMemories = memories;
  const note = (result) => {
    const instance = result.instance || result;
    for (const value of Object.values((instance && instance.exports) || {}))
      if (value instanceof WebAssembly.Memory) memories.push(value);
    return result;
  };
  for (const name of ["instantiate", "instantiateStreaming"]) {
    const real = WebAssembly[name];
    if (real) WebAssembly[name] = function (...args) { return real.apply(this, args).then(note); };
  }
})();
)";

// The program runs in Qt's event loop, which sleeps until the browser posts
// it work; QTest's waits poll and sleep 10 ms between rounds, which delays
// every task the browser hands to this thread. The benchmark waits as the
// program does: in an event loop, looking at the condition every 2 ms.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  look.start(2);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

void Run(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

// The page's script heap in use and the WebAssembly memory it holds, in
// MiB, as the page reports them: "script heap 9, WebAssembly 40".
std::string PageMemory(QWebEnginePage* page) {
  QString answer;
  page->runJavaScript(
      "JSON.stringify([performance.memory ? performance.memory.usedJSHeapSize : 0,"
      " (window.zorvaBenchMemories || []).reduce((s, m) => s + m.buffer.byteLength, 0)])",
      [&answer](const QVariant& v) { answer = v.toString(); });
  if (!RunUntil([&] { return !answer.isEmpty(); }, 5000)) return "page did not answer";
  const QStringList parts = answer.mid(1, answer.size() - 2).split(',');
  if (parts.size() != 2) return "page did not answer";
  return QString("script heap %1, WebAssembly %2")
      .arg(parts[0].toDouble() / (1 << 20), 0, 'f', 0)
      .arg(parts[1].toDouble() / (1 << 20), 0, 'f', 0)
      .toStdString();
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
  {
    QWebEngineScript watch;
    watch.setName("wasm-watch");
    watch.setSourceCode(kWasmWatch);
    watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watch.setWorldId(QWebEngineScript::MainWorld);
    zorva::SharedWebProfile()->scripts()->insert(watch);
  }
  auto* ruffle = new zorva::RufflePlayer;
  zorva::CShockwaveflash1 control(std::unique_ptr<zorva::MoviePlayer>(ruffle), nullptr);
  control.resize(837, 556);  // the lesson window's player
  control.show();

  bool reported = false;
  QObject::connect(ruffle, &zorva::RufflePlayer::frameReported,
                   [&reported](int) { reported = true; });
  auto waitFirstFrame = [&] { return RunUntil([&] { return reported; }, 60000); };

  control.LoadMovie(0, url(1));
  // The page up and its channel answering; the rest of the wait is Ruffle
  // compiling its core and showing the movie.
  if (RunUntil([&] { return ruffle->PageReady(); }, 60000)) {
    std::printf("page ready after process start: %.0f ms\n", SinceProcessStart());
  }
  if (!waitFirstFrame()) {
    std::fprintf(stderr, "bench_player: the first movie never showed\n");
    return 1;
  }
  std::printf("first frame after process start: %.0f ms\n", SinceProcessStart());

  std::vector<double> warm;
  for (int i = 0; i < kWarmLoads; ++i) {
    Run(300);
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
  Run(3000);
  std::printf("PSS of the process tree, idle: %.0f MiB (%s); private %.0f MiB\n", TreePssMiB(),
              PssByRole().c_str(), TreePrivateMiB());
  std::printf("  written by the tree itself, idle: %.0f MiB\n", TreeDirtyMiB());
  std::printf("  by kind, idle: %s MiB\n", PssByKind().c_str());
  std::printf("  the page idle: %s MiB\n", PageMemory(ruffle->page()).c_str());

  // Playing the lesson page after page, as the lesson timer would: first
  // the CPU, with nothing else going on in this process (reading every
  // process's memory map costs more CPU than the player itself), then the
  // memory, sampled four times a second.
  int page = 1;
  control.LoadMovie(0, url(page));
  Run(1000);
  const std::map<int, double> before = TreeCpu();
  const auto threadsBefore = ThreadCpu();
  QElapsedTimer wall;
  wall.start();
  while (wall.elapsed() < kPlaySeconds * 1000) {
    Run(250);
    if (!control.IsPlaying()) control.LoadMovie(0, url(page = page % kPages + 1));
  }
  const std::map<int, double> after = TreeCpu();
  const auto threadsAfter = ThreadCpu();
  const double seconds = wall.nsecsElapsed() / 1e9;
  double peak = 0;
  std::string peakRoles;
  std::vector<double> samples, privateSamples, dirtySamples;
  QElapsedTimer sampling;
  sampling.start();
  while (sampling.elapsed() < kPlaySeconds * 1000) {
    Run(250);
    if (!control.IsPlaying()) control.LoadMovie(0, url(page = page % kPages + 1));
    const double now = TreePssMiB();
    samples.push_back(now);
    privateSamples.push_back(TreePrivateMiB());
    dirtySamples.push_back(TreeDirtyMiB());
    if (now > peak) {
      peak = now;
      peakRoles = PssByRole();
    }
  }
  const std::string pagePlaying = PageMemory(ruffle->page());
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
  std::printf(
      "PSS of the process tree, playing: %.0f MiB highest seen (%s), median %.0f MiB; "
      "private %.0f MiB highest seen\n",
      peak, peakRoles.c_str(), Median(samples),
      *std::max_element(privateSamples.begin(), privateSamples.end()));
  std::printf("  written by the tree itself, playing: %.0f MiB highest seen\n",
              *std::max_element(dirtySamples.begin(), dirtySamples.end()));
  std::printf("  the page playing: %s MiB\n", pagePlaying.c_str());
  std::printf("CPU of the process tree, playing: %.0f%% of one core over %d s (%s)\n",
              100.0 * used / seconds, kPlaySeconds, roles.c_str());
  std::printf("  busiest threads, %% of one core: %s\n",
              TopThreads(threadsBefore, threadsAfter, seconds).c_str());

  // Page switches as the lesson's tick makes them: a tick every second; the
  // tick after a page's first frame loads the next page, plays it and names
  // the page after it, as the playback does. The figure is the time from that tick to the new
  // page's first frame.
  {
    std::vector<double> switches;
    QElapsedTimer sinceTick;
    bool shown = true;
    int next = 1;
    const QMetaObject::Connection watch =
        QObject::connect(ruffle, &zorva::RufflePlayer::frameReported, [&](int) {
          if (!shown) switches.push_back(sinceTick.nsecsElapsed() / 1e6);
          shown = true;
        });
    for (int tick = 0; tick < 2 * kSwitches + 2 && static_cast<int>(switches.size()) < kSwitches;
         ++tick) {
      Run(1000);
      if (!shown) continue;
      shown = false;
      sinceTick.start();
      control.LoadMovie(0, url(next = next % kPages + 1));
      control.Play();
      control.NextMovies({url(next % kPages + 1)});
    }
    QObject::disconnect(watch);
    if (!switches.empty()) {
      std::printf(
          "page switch, from the tick that loads the page to its first frame: median %.0f ms "
          "(min %.0f, max %.0f, %zu switches)\n",
          Median(switches), *std::min_element(switches.begin(), switches.end()),
          *std::max_element(switches.begin(), switches.end()), switches.size());
    }
  }

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
    if (!RunUntil([&] { return loaded; }, 30000)) std::fprintf(stderr, "bench_player: no announcement page\n");
    Run(2000);
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
