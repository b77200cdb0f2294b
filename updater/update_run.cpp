#include "updater/update_run.h"

#include <nettle/sha2.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "core/pump.h"
#include "net/server_selection.h"
#include "net/transfer.h"
#include "platform/program_values.h"

namespace zorva {

namespace {

namespace fs = std::filesystem;

UpdateResult Outcome(UpdateOutcome outcome, std::string message) {
  return {outcome, std::move(message), false};
}

UpdateResult CancelledResult() {
  return Outcome(UpdateOutcome::Cancelled, "更新已取消，没有修改任何文件。");
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return bytes;
}

// Whether path lies inside root (both absolute and without symbolic links).
bool IsInside(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (p == path.end() || *p != *r) return false;
  }
  return p != path.end();
}

// Waits until the process pid has ended, pumping messages so the window
// stays alive and cancel can be pressed. Returns false when cancelled.
bool WaitForProcessEnd(pid_t pid, const std::atomic<bool>& cancel) {
  // A pidfd names the process itself, so a number reused by a new process
  // after the client ended does not keep the wait going.
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0 && errno == ESRCH) return true;
  for (;;) {
    PumpMessages();
    if (cancel.load()) {
      if (fd >= 0) ::close(fd);
      return false;
    }
    if (fd >= 0) {
      pollfd one{fd, POLLIN, 0};
      if (::poll(&one, 1, 50) > 0) {
        ::close(fd);
        return true;
      }
    } else {
      // No pidfd on this system: ask for the process by number.
      if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
      ::usleep(50 * 1000);
    }
  }
}

// The one regular file a download left under dir.
std::optional<fs::path> DownloadedFile(const fs::path& dir) {
  std::error_code ec;
  std::optional<fs::path> found;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_symlink(ec)) return {};
    if (it->is_regular_file(ec)) {
      if (found) return {};
      found = it->path();
    }
  }
  if (ec) return {};
  return found;
}

void SetExecutable(const fs::path& path, bool executable, std::error_code& ec) {
  const fs::perms now = fs::status(path, ec).permissions();
  if (ec) return;
  fs::perms exec = fs::perms::none;
  if ((now & fs::perms::owner_read) != fs::perms::none) exec |= fs::perms::owner_exec;
  if ((now & fs::perms::group_read) != fs::perms::none) exec |= fs::perms::group_exec;
  if ((now & fs::perms::others_read) != fs::perms::none) exec |= fs::perms::others_exec;
  if (executable) {
    fs::permissions(path, exec, fs::perm_options::add, ec);
  } else {
    fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::remove, ec);
  }
}

// Putting the files in place, undone step by step when anything fails.
class Installation {
 public:
  Installation(fs::path work, fs::path backups)
      : m_work(std::move(work)), m_backups(std::move(backups)) {}

  // Moves staged to work/local, keeping what was there under the backup
  // folder. False when it failed; what this step did is undone already.
  bool Place(const Text& local, const fs::path& staged, std::string* error) {
    const fs::path target = m_work / local.str();
    std::error_code ec;
    if (!CreateParents(target.parent_path(), ec)) {
      *error = "无法创建文件夹 " + target.parent_path().string() + "：" + ec.message();
      return false;
    }
    Step step{target, {}, false};
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
      step.backup = m_backups / std::to_string(m_steps.size());
      fs::rename(target, step.backup, ec);
      if (ec) {
        *error = "无法移开原有的文件 " + local.str() + "：" + ec.message();
        return false;
      }
      step.hadOld = true;
    }
    fs::rename(staged, target, ec);
    if (ec) {
      *error = "无法放入文件 " + local.str() + "：" + ec.message();
      if (step.hadOld) fs::rename(step.backup, target, ec);
      return false;
    }
    m_steps.push_back(std::move(step));
    return true;
  }

  // Puts every old file back and removes the folders this installation made.
  // Returns false when something could not be put back (it stays in the
  // backup folder, which the caller then keeps).
  bool Undo() {
    bool whole = true;
    std::error_code ec;
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
      if (it->hadOld) {
        fs::rename(it->backup, it->target, ec);
        if (ec) whole = false;
      } else {
        fs::remove(it->target, ec);
        if (ec) whole = false;
      }
    }
    m_steps.clear();
    for (auto it = m_createdDirs.rbegin(); it != m_createdDirs.rend(); ++it) fs::remove(*it, ec);
    m_createdDirs.clear();
    return whole;
  }

 private:
  struct Step {
    fs::path target;
    fs::path backup;
    bool hadOld;
  };

  // Creates the missing folders from the working directory down, remembering
  // each so that an undo removes them again.
  bool CreateParents(const fs::path& dir, std::error_code& ec) {
    fs::path at = m_work;
    const fs::path relative = dir.lexically_relative(m_work);
    for (const fs::path& part : relative) {
      if (part == ".") continue;
      at /= part;
      if (fs::is_directory(at, ec)) continue;
      if (!fs::create_directory(at, ec)) {
        if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
        return false;
      }
      m_createdDirs.push_back(at);
    }
    return true;
  }

  fs::path m_work;
  fs::path m_backups;
  std::vector<Step> m_steps;
  std::vector<fs::path> m_createdDirs;
};

// A staging folder of this run under "dl/", removed when the run ends
// unless told to keep it.
class Staging {
 public:
  explicit Staging(const fs::path& dl) {
    std::string pattern = (dl / "update-XXXXXX").string();
    if (::mkdtemp(pattern.data())) m_dir = pattern;
  }
  ~Staging() {
    std::error_code ec;
    if (!m_dir.empty() && !m_keep) fs::remove_all(m_dir, ec);
  }
  bool Ok() const { return !m_dir.empty(); }
  const fs::path& Dir() const { return m_dir; }
  void Keep() { m_keep = true; }

 private:
  fs::path m_dir;
  bool m_keep = false;
};

// Refuses destinations that the file system would send outside the working
// directory (through a symbolic link) or that are folders.
std::optional<std::string> CheckDestinations(const UpdateJob& job, const fs::path& work) {
  std::error_code ec;
  const fs::path root = fs::canonical(work, ec);
  if (ec) return "无法读取工作目录 " + work.string() + "：" + ec.message();
  for (const JobFile& file : job.files) {
    // The staging folders are the updater's own; a file put there would be
    // removed with them.
    if (file.local.view().starts_with("dl/update-")) {
      return "更新任务中的目标路径位于更新程序的临时文件夹中：" + file.local.str();
    }
    const fs::path target = work / file.local.str();
    // The parent folder as the file system resolves it; the file itself may
    // be a link, which the rename replaces without following.
    const fs::path parent = fs::weakly_canonical(target.parent_path(), ec);
    if (ec || !(parent == root || IsInside(parent, root))) {
      return "更新任务中的目标路径经符号链接指向工作目录以外：" + file.local.str();
    }
    if (fs::is_directory(fs::symlink_status(target, ec))) {
      return "更新任务中的目标路径是一个文件夹：" + file.local.str();
    }
  }
  return {};
}

Text LastPart(const Text& path) {
  const size_t slash = path.view().rfind('/');
  return slash == std::string_view::npos ? path : path.Mid(static_cast<int>(slash) + 1);
}

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  sha256_ctx ctx;
  sha256_init(&ctx);
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    sha256_update(&ctx, static_cast<size_t>(in.gcount()), reinterpret_cast<uint8_t*>(buffer));
  }
  if (in.bad()) return {};
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  return ToHex(digest, sizeof digest);
}

UpdateResult ApplyUpdateJob(const UpdateOptions& options, UpdateView& view,
                            const std::atomic<bool>& cancel) {
  const fs::path work = options.workDir.str();
  const fs::path dl = work / "dl";

  view.ShowStep("正在检查更新任务……");
  const std::optional<std::string> jobBytes = ReadWholeFile(work / kJobFile);
  if (!jobBytes) {
    return Outcome(UpdateOutcome::Refused,
                   "找不到更新任务 " + (work / kJobFile).string() + "，没有修改任何文件。");
  }
  JobReadResult read = ReadSignedJob(*jobBytes, options.key);
  if (!read.job) return Outcome(UpdateOutcome::Refused, read.error + "没有修改任何文件。");
  const UpdateJob& job = *read.job;
  if (std::optional<std::string> error = CheckDestinations(job, work)) {
    return Outcome(UpdateOutcome::Refused, *error + "。没有修改任何文件。");
  }

  // A restarting job replaces the client's own files: the client ends
  // right after handing over, and nothing is touched before it has.
  if (job.restart && options.clientPid > 0) {
    view.ShowStep("正在等待 Zorva 退出……");
    if (!WaitForProcessEnd(options.clientPid, cancel)) return CancelledResult();
  }

  view.ShowStep("正在连接服务器……");
  SelectServer();
  const Text base = ServerBaseAddress();
  if (cancel.load()) return CancelledResult();
  if (base.IsEmpty()) {
    return Outcome(UpdateOutcome::Failed, "无法连接服务器，没有修改任何文件。请稍后再试。");
  }

  Staging staging(dl);
  if (!staging.Ok()) {
    return Outcome(UpdateOutcome::Failed, "无法在 " + dl.string() + " 中创建临时文件夹。");
  }
  std::vector<fs::path> staged;
  const int total = static_cast<int>(job.files.size());
  for (int i = 0; i < total; ++i) {
    const JobFile& file = job.files[static_cast<size_t>(i)];
    view.ShowStep("正在下载 " + LastPart(file.local).str() + "（" + std::to_string(i + 1) + "/" +
                  std::to_string(total) + "）");
    const fs::path into = staging.Dir() / "files" / std::to_string(i + 1);
    // A body longer than the job says is cut off at once: it could not be
    // the file, and a server must not fill the disk.
    const int result = DownloadFile(base, file.url, Text(into.string()), view.Progress(),
                                    view.Status(), &cancel, std::max<uint64_t>(file.size, 1));
    if (cancel.load()) return CancelledResult();
    std::optional<fs::path> got = result == kDownloadFinished ? DownloadedFile(into) : std::nullopt;
    if (!got) {
      return Outcome(UpdateOutcome::Failed,
                     "下载 " + file.url.str() + " 失败（或者它比更新任务写明的 " +
                         std::to_string(file.size) + " 字节更长），没有修改任何文件。请稍后再试。");
    }
    std::error_code ec;
    const uintmax_t size = fs::file_size(*got, ec);
    if (ec || size != file.size) {
      return Outcome(UpdateOutcome::Refused, "下载的文件 " + file.local.str() +
                                                 " 大小不符：更新任务写明 " +
                                                 std::to_string(file.size) + " 字节，收到 " +
                                                 (ec ? std::string("?") : std::to_string(size)) +
                                                 " 字节。没有修改任何文件。");
    }
    const std::optional<std::string> hash = Sha256OfFile(got->string());
    if (!hash || *hash != file.sha256) {
      return Outcome(UpdateOutcome::Refused, "下载的文件 " + file.local.str() +
                                                 " 与更新任务的 SHA-256 不符。没有修改任何文件。");
    }
    SetExecutable(*got, file.executable, ec);
    if (ec) {
      return Outcome(UpdateOutcome::Failed,
                     "无法设置 " + file.local.str() + " 的权限：" + ec.message());
    }
    staged.push_back(*got);
  }

  const fs::path backups = staging.Dir() / "old";
  std::error_code ec;
  fs::create_directory(backups, ec);
  Installation installation(work, backups);
  std::string error;
  for (int i = 0; i < total && error.empty(); ++i) {
    const JobFile& file = job.files[static_cast<size_t>(i)];
    view.ShowStep("正在安装 " + LastPart(file.local).str() + "（" + std::to_string(i + 1) + "/" +
                  std::to_string(total) + "）");
    PumpMessages();
    if (cancel.load()) break;
    installation.Place(file.local, staged[static_cast<size_t>(i)], &error);
  }
  if (!error.empty() || cancel.load()) {
    if (!installation.Undo()) {
      // What could not be put back stays where the user can find it.
      staging.Keep();
      return Outcome(UpdateOutcome::Failed,
                     error + "\n部分原有文件未能恢复，它们保存在 " + backups.string() + "。");
    }
    if (error.empty()) return CancelledResult();
    return Outcome(UpdateOutcome::Failed, error + "\n原有文件已全部恢复。");
  }
  UpdateResult done{UpdateOutcome::Applied, {}, job.restart};
  return done;
}

}  // namespace zorva
