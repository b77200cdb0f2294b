// Times what the updater does with a job before any traffic: checking the
// signature and reading every file's values, for jobs of growing size, and
// hashing a staged file; and, in wall-clock time, putting 2,000 small files
// in place under the journal (the launcher's copy of a package's program,
// which replaces files exactly as a job does).
//
// Usage: bench_update_job
//
// Times are the CPU time of the benchmark's thread (median of 5 runs).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "updater/job_keys.h"
#include "updater/update_job.h"
#include "updater/update_run.h"

namespace {

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
double MedianSeconds(F&& run) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    const double start = ThreadSeconds();
    run();
    times.push_back(ThreadSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[2];
}

}  // namespace

int main() {
  using namespace zorva;
  PrivateKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i + 3);
  const PublicKey pub = PublicKeyOf(key);

  std::printf("%-10s %12s %14s\n", "files", "job bytes", "read ms");
  for (int files : {10, 100, 1000, kMaxJobFiles}) {
    UpdateJob job;
    job.restart = true;
    for (int i = 0; i < files; ++i) {
      const std::string name =
          "lessons/folder" + std::to_string(i % 50) + "/page" + std::to_string(i) + ".swf";
      job.files.push_back({Text(name), Text("/dl/2.1/" + name), 4096u + static_cast<unsigned>(i),
                           Sha256Hex(name), i % 7 == 0});
    }
    job.version = "2.1";
    job.versionFile = job.files.front().local;
    const std::string file = SignJobBody(ComposeJobBody(job).value(), key);
    bool ok = true;
    const double seconds =
        MedianSeconds([&] { ok = ok && ReadSignedJob(file, pub).job.has_value(); });
    std::printf("%-10d %12zu %14.2f%s\n", files, file.size(), seconds * 1e3,
                ok ? "" : "  (refused!)");
  }

  const std::string path = "/tmp/bench_update_job.bin";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 64; ++i) out << block;
  }
  const double hash = MedianSeconds([&] { (void)Sha256OfFile(path); });
  std::remove(path.c_str());
  std::printf("SHA-256 of a staged 64 MiB file: %.1f ms (%.0f MiB/s)\n", hash * 1e3, 64 / hash);

  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("bench_update_job." + std::to_string(::getpid()));
  const fs::path package = root / "package";
  const fs::path work = root / "work";
  for (int i = 0; i < 2000; ++i) {
    const fs::path file =
        package / "lessons" / std::to_string(i % 50) / (std::to_string(i) + ".swf");
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << std::string(4096, static_cast<char>('a' + i % 26));
  }
  std::ofstream(package / "zorva.xml", std::ios::binary) << "<zorva>2.1</zorva>";
  struct Quiet : UpdateView {
    void ShowStep(const std::string&) override {}
  } quiet;
  for (const char* round : {"into an empty folder", "over the same files"}) {
    if (std::string(round) == "over the same files") {
      std::ofstream(work / "zorva.xml", std::ios::binary) << "<zorva>2.0</zorva>";
    } else {
      fs::create_directories(work);
    }
    const auto start = std::chrono::steady_clock::now();
    const UpdateResult result = InstallPackageProgram(Text(work.string()), package, quiet);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("2,001 files of 4 KiB put in place %s: %.0f ms%s\n", round, ms,
                result.outcome == UpdateOutcome::Applied ? "" : "  (not applied!)");
  }
  fs::remove_all(root);
  return 0;
}
