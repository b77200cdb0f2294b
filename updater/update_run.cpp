#include "updater/update_run.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>
#include <vector>

#include "core/pump.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "net/server_selection.h"
#include "net/transfer.h"
#include "platform/program_values.h"
#include "updater/job_keys.h"
#include "updater/update_files.h"

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

// This run's staging folder under "dl/", locked for as long as the run
// lasts (so that another updater's recovery leaves it alone) and removed
// when the run ends, unless told to keep it.
class Staging {
 public:
  explicit Staging(int dl) : m_dl(dl) {
    for (int attempt = 0; attempt < 100 && !m_dir.Ok(); ++attempt) {
      uint8_t random[6];
      if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return;
      const std::string name = "update-" + ToHex(random, sizeof random);
      if (::mkdirat(dl, name.c_str(), 0700) != 0) {
        if (errno == EEXIST) continue;
        return;
      }
      m_dir = OpenFolder(dl, name);
      m_name = name;
    }
    if (m_dir.Ok() && ::flock(m_dir.Get(), LOCK_EX | LOCK_NB) != 0) m_dir = Fd();
  }
  ~Staging() {
    if (m_dir.Ok() && !m_keep) RemoveTree(m_dl, m_name);
  }
  bool Ok() const { return m_dir.Ok(); }
  int Dir() const { return m_dir.Get(); }
  std::string Name() const { return "dl/" + m_name; }
  void Keep() { m_keep = true; }

 private:
  int m_dl;
  Fd m_dir;
  std::string m_name;
  bool m_keep = false;
};

// How a destination's folder path looks before anything is changed: the
// folders still missing, or why it cannot be written.
struct DestinationCheck {
  std::vector<std::string> missingFolders;
  bool hasOld = false;
  std::string error;
};

DestinationCheck CheckDestination(int work, const std::string& local) {
  DestinationCheck check;
  Fd at(::dup(work));
  size_t start = 0;
  for (;;) {
    const size_t slash = local.find('/', start);
    const std::string part =
        local.substr(start, slash == std::string::npos ? slash : slash - start);
    struct stat st;
    const bool exists = at.Ok() && ::fstatat(at.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (slash == std::string::npos) {
      if (exists && S_ISDIR(st.st_mode)) {
        check.error = "更新任务中的目标路径是一个文件夹：" + local;
      }
      check.hasOld = exists;
      return check;
    }
    if (!exists) {
      check.missingFolders.push_back(local.substr(0, slash));
      at = Fd();
    } else if (S_ISLNK(st.st_mode)) {
      check.error = "更新任务中的目标路径经过符号链接，可能指向工作目录以外：" + local;
      return check;
    } else if (!S_ISDIR(st.st_mode)) {
      check.error = "更新任务中的目标路径需要一个文件夹，那里却是一个文件：" + local;
      return check;
    } else {
      at = OpenFolder(at.Get(), part);
      if (!at.Ok()) {
        check.error = "无法打开目标路径的文件夹：" + local + "：" + std::strerror(errno);
        return check;
      }
    }
    start = slash + 1;
  }
}

// Refuses destinations that the file system would send outside the working
// directory (through a symbolic link) or that are folders, before any
// traffic; the same is asked again, from folder handles, when each file is
// put in place.
std::optional<std::string> CheckDestinations(const UpdateJob& job, int work) {
  for (const JobFile& file : job.files) {
    // The staging folders are the updater's own; a file put there would be
    // removed with them.
    if (file.local.view().starts_with("dl/update-")) {
      return "更新任务中的目标路径位于更新程序的临时文件夹中：" + file.local.str();
    }
    const DestinationCheck check = CheckDestination(work, file.local.str());
    if (!check.error.empty()) return check.error;
  }
  return {};
}

// Puts every staged file ("new/<n>" in the staging folder) in place, the
// version file last. Each old file first gets a second link in "old/", so the
// destination never goes missing; the journal written before the first
// change lets a later start roll back a run that was killed. On a failure or
// cancel this run rolls back itself.
UpdateResult InstallStaged(const UpdateJob& job, int work, Staging& staging, UpdateView& view,
                           const std::atomic<bool>& cancel) {
  std::vector<size_t> order;
  for (size_t i = 0; i < job.files.size(); ++i) {
    if (!(job.files[i].local == job.versionFile)) order.push_back(i);
  }
  for (size_t i = 0; i < job.files.size(); ++i) {
    if (job.files[i].local == job.versionFile) order.push_back(i);
  }
  Journal journal;
  std::set<std::string> folders;
  for (size_t i : order) {
    const std::string local = job.files[i].local.str();
    DestinationCheck check = CheckDestination(work, local);
    if (!check.error.empty())
      return Outcome(UpdateOutcome::Refused, check.error + "。没有修改任何文件。");
    for (std::string& folder : check.missingFolders) {
      if (folders.insert(folder).second) journal.createdFolders.push_back(std::move(folder));
    }
    journal.entries.push_back({static_cast<int>(i + 1), check.hasOld, local});
  }
  const int stagingDir = staging.Dir();
  // The staged files' bytes reach the disk before any of them replaces an
  // old file, so a power loss cannot leave an empty file in place.
  ::syncfs(stagingDir);
  if (::mkdirat(stagingDir, "old", 0700) != 0 || !WriteJournal(stagingDir, journal)) {
    return Outcome(UpdateOutcome::Failed, "无法在 " + staging.Name() + " 中写入更新记录：" +
                                              std::strerror(errno) + "。没有修改任何文件。");
  }
  const Fd old = OpenFolder(stagingDir, "old");
  const Fd fresh = OpenFolder(stagingDir, "new");
  std::string error;
  for (const std::string& folder : journal.createdFolders) {
    Fd parent = OpenDestinationFolder(work, folder);
    if (!parent.Ok() || ::mkdirat(parent.Get(), FileNamePart(folder).c_str(), 0755) != 0) {
      error = "无法创建文件夹 " + folder + "：" + std::strerror(errno);
      break;
    }
  }
  const int total = static_cast<int>(journal.entries.size());
  for (int step = 0; step < total && error.empty(); ++step) {
    const JournalEntry& entry = journal.entries[static_cast<size_t>(step)];
    view.ShowStep("正在安装 " + FileNamePart(entry.local) + "（" + std::to_string(step + 1) + "/" +
                  std::to_string(total) + "）");
    PumpMessages();
    if (cancel.load()) break;
    const std::string number = std::to_string(entry.number);
    const std::string name = FileNamePart(entry.local);
    // Opened level by level now, not when the job was checked: a folder
    // swapped for a link meanwhile is refused here.
    const Fd parent = OpenDestinationFolder(work, entry.local);
    if (!parent.Ok()) {
      error = "无法打开 " + entry.local + " 所在的文件夹（" + std::strerror(errno) +
              "），它可能在下载时被换成了符号链接";
    } else if (entry.hadOld &&
               ::linkat(parent.Get(), name.c_str(), old.Get(), number.c_str(), 0) != 0) {
      error = "无法保留原有的文件 " + entry.local + "：" + std::strerror(errno);
    } else if (::renameat(fresh.Get(), number.c_str(), parent.Get(), name.c_str()) != 0) {
      error = "无法放入文件 " + entry.local + "：" + std::strerror(errno);
    }
  }
  if (error.empty() && !cancel.load()) {
    view.ShowStep("正在完成更新……");
    ::syncfs(work);
    if (RemoveJournal(stagingDir)) return {UpdateOutcome::Applied, {}, job.restart};
    error = "无法结束更新记录：" + std::string(std::strerror(errno));
  }
  if (!RollBack(work, stagingDir, journal)) {
    // The journal and the old files stay; the next start tries again.
    staging.Keep();
    return Outcome(UpdateOutcome::Failed, error + "\n部分原有文件未能恢复，它们保存在 " +
                                              staging.Name() + "，下次启动更新程序时会再次恢复。");
  }
  RemoveJournal(stagingDir);
  if (error.empty()) return CancelledResult();
  return Outcome(UpdateOutcome::Failed, error + "\n原有文件已全部恢复。");
}

// Why a download failed, in the user's words.
std::string TransferFailure(const JobFile& file, int result, const DownloadFailure& why) {
  std::string reason;
  if (why.longerThanAllowed) {
    reason = "它比更新任务写明的 " + std::to_string(file.size) + " 字节更长";
  } else if (why.httpStatus != 0) {
    reason = "服务器答复 HTTP " + std::to_string(why.httpStatus);
  } else if (!why.networkError.empty()) {
    reason = "网络错误：" + why.networkError;
  } else {
    reason = "错误代码 " + std::to_string(result);
  }
  return "下载 " + file.url.str() + " 失败（" + reason + "），没有修改任何文件。请稍后再试。";
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
  const std::string workName = options.workDir.str();
  const Fd work(::open(workName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!work.Ok()) {
    return Outcome(UpdateOutcome::Failed,
                   "无法打开工作目录 " + workName + "：" + std::strerror(errno));
  }
  std::string problem;
  if (RecoverInterruptedRuns(work.Get(), &problem) > 0) {
    qWarning("an interrupted update was rolled back");
  }
  if (!problem.empty()) {
    return Outcome(UpdateOutcome::Failed, "上次中断的更新未能完全恢复，原有文件保存在 " + problem +
                                              "。请先处理它，再重新更新。");
  }

  view.ShowStep("正在检查更新任务……");
  const Fd dl = OpenFolder(work.Get(), "dl");
  struct stat st;
  if (!dl.Ok() || ::fstatat(dl.Get(), "download.xml", &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Outcome(UpdateOutcome::Refused,
                   "找不到更新任务 " + workName + "/" + kJobFile + "，没有修改任何文件。");
  }
  Staging staging(dl.Get());
  if (!staging.Ok()) {
    return Outcome(UpdateOutcome::Failed, "无法在 " + workName + "/dl 中创建临时文件夹。");
  }
  // A job is used once: it leaves "dl/download.xml" now, whatever comes of
  // it, and goes with the staging folder.
  if (::renameat(dl.Get(), "download.xml", staging.Dir(), "job.xml") != 0) {
    return Outcome(UpdateOutcome::Failed,
                   "无法取走更新任务 " + workName + "/" + kJobFile + "：" + std::strerror(errno));
  }
  const std::optional<std::string> jobBytes = ReadWholeFile(FolderPath(staging.Dir()) + "/job.xml");
  if (!jobBytes) {
    return Outcome(UpdateOutcome::Refused, "无法读取更新任务，没有修改任何文件。");
  }
  if (!options.key) return Outcome(UpdateOutcome::Refused, NoKeyMessage() + "没有修改任何文件。");
  JobReadResult read = ReadSignedJob(*jobBytes, *options.key);
  if (!read.job) return Outcome(UpdateOutcome::Refused, read.error + "没有修改任何文件。");
  const UpdateJob& job = *read.job;
  const Text installed = ReadXmlValue(options.workDir + "/" + job.versionFile,
                                      VersionTag(job.versionFile), "", "", "");
  if (!(TextToFloat(job.version) > TextToFloat(installed))) {
    return Outcome(UpdateOutcome::Refused,
                   "更新任务安装的版本 " + job.version.str() + " 不比已安装的版本 " +
                       (installed.IsEmpty() ? std::string("0") : installed.str()) + "（" +
                       job.versionFile.str() + "）新，没有修改任何文件。");
  }
  if (std::optional<std::string> error = CheckDestinations(job, work.Get())) {
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

  // Downloads go through the staging folder's handle, so they land in it
  // whatever its path now leads to.
  const std::string stagingPath = FolderPath(staging.Dir());
  if (::mkdirat(staging.Dir(), "new", 0700) != 0) {
    return Outcome(UpdateOutcome::Failed, "无法在 " + staging.Name() + " 中创建文件夹。");
  }
  const int total = static_cast<int>(job.files.size());
  for (int i = 0; i < total; ++i) {
    const JobFile& file = job.files[static_cast<size_t>(i)];
    view.ShowStep("正在下载 " + LastPart(file.local).str() + "（" + std::to_string(i + 1) + "/" +
                  std::to_string(total) + "）");
    const fs::path into = fs::path(stagingPath) / "files" / std::to_string(i + 1);
    // A body longer than the job says is cut off at once: it could not be
    // the file, and a server must not fill the disk.
    DownloadFailure why;
    const int result = DownloadFile(base, file.url, Text(into.string()), view.Progress(),
                                    view.Status(), &cancel, std::max<uint64_t>(file.size, 1), &why);
    if (cancel.load()) return CancelledResult();
    std::optional<fs::path> got = result == kDownloadFinished ? DownloadedFile(into) : std::nullopt;
    if (!got) return Outcome(UpdateOutcome::Failed, TransferFailure(file, result, why));
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
    fs::rename(*got, fs::path(stagingPath) / "new" / std::to_string(i + 1), ec);
    if (ec) {
      return Outcome(UpdateOutcome::Failed,
                     "无法在临时文件夹中保存 " + file.local.str() + "：" + ec.message());
    }
  }
  return InstallStaged(job, work.Get(), staging, view, cancel);
}

UpdateResult InstallPackageProgram(const Text& workDir, const std::string& packageDir,
                                   UpdateView& view) {
  const std::string workName = workDir.str();
  const Fd work(::open(workName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!work.Ok()) {
    return Outcome(UpdateOutcome::Failed,
                   "无法打开工作目录 " + workName + "：" + std::strerror(errno));
  }
  const Text packageVersion =
      ReadXmlValue(Text(packageDir + "/" + kProgramVersionFile), "zorva", "", "", "");
  const Text userVersion = ReadXmlValue(workDir + "/" + kProgramVersionFile, "zorva", "", "", "");
  struct stat st;
  const bool hasClient = ::fstatat(work.Get(), "zorva", &st, AT_SYMLINK_NOFOLLOW) == 0;
  // The client's own rule: versions compare as numbers. A per-user copy that
  // an update made newer than the package stays.
  if (hasClient && !(TextToFloat(packageVersion) > TextToFloat(userVersion))) {
    return Outcome(UpdateOutcome::Refused, "the working directory's program (" + userVersion.str() +
                                               ") is not older than the package's (" +
                                               packageVersion.str() + ")");
  }
  UpdateJob job;
  job.version = packageVersion;
  job.versionFile = kProgramVersionFile;
  std::error_code ec;
  std::vector<fs::path> sources;
  for (auto it = fs::recursive_directory_iterator(packageDir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const fs::path relative = it->path().lexically_relative(packageDir);
    job.files.push_back({Text(relative.generic_string()), Text(), 0, {}, false});
    sources.push_back(it->path());
  }
  if (ec || job.files.empty() ||
      std::none_of(job.files.begin(), job.files.end(),
                   [](const JobFile& f) { return f.local == kProgramVersionFile; })) {
    return Outcome(UpdateOutcome::Failed, "the package's program folder " + packageDir +
                                              " cannot be read or has no " + kProgramVersionFile);
  }
  if (!OpenFolder(work.Get(), "dl").Ok()) ::mkdirat(work.Get(), "dl", 0755);
  const Fd dl = OpenFolder(work.Get(), "dl");
  if (!dl.Ok()) {
    return Outcome(UpdateOutcome::Failed, "无法创建 " + workName + "/dl：" + std::strerror(errno));
  }
  Staging staging(dl.Get());
  if (!staging.Ok() || ::mkdirat(staging.Dir(), "new", 0700) != 0) {
    return Outcome(UpdateOutcome::Failed, "无法在 " + workName + "/dl 中创建临时文件夹。");
  }
  const fs::path fresh = fs::path(FolderPath(staging.Dir())) / "new";
  for (size_t i = 0; i < sources.size(); ++i) {
    view.ShowStep("正在复制 " + job.files[i].local.str());
    const fs::path into = fresh / std::to_string(i + 1);
    fs::copy_file(sources[i], into, ec);
    if (!ec) fs::permissions(into, fs::status(sources[i], ec).permissions(), ec);
    if (ec) {
      return Outcome(UpdateOutcome::Failed,
                     "无法复制 " + sources[i].string() + "：" + ec.message());
    }
  }
  return InstallStaged(job, work.Get(), staging, view, std::atomic<bool>(false));
}

}  // namespace zorva
