#include "updater/update_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace zorva {

namespace {

constexpr char kJournal[] = "journal";
constexpr char kJournalPart[] = "journal.part";
constexpr char kJournalHeader[] = "zupdate journal 1";

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::optional<std::string> ReadAll(int at, const char* name) {
  Fd fd(::openat(at, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Ok()) return {};
  std::string bytes;
  char buffer[1 << 14];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

bool Exists(int at, const std::string& name) {
  struct stat st;
  return ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The folder holding local, or the working directory itself for a name
// without a folder; for rolling back, where a missing folder means nothing
// of this run is inside it.
Fd ParentFolder(int work, const std::string& local) {
  const size_t slash = local.rfind('/');
  if (slash == std::string::npos) return Fd(::dup(work));
  return OpenDestinationFolder(work, local);
}

}  // namespace

Fd::~Fd() {
  if (m_fd >= 0) ::close(m_fd);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

Fd OpenFolder(int at, const std::string& name) {
  return Fd(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::string FolderPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

Fd OpenDestinationFolder(int work, const std::string& local) {
  Fd at(::dup(work));
  size_t start = 0;
  for (;;) {
    const size_t slash = local.find('/', start);
    if (slash == std::string::npos) return at;
    Fd next = OpenFolder(at.Get(), local.substr(start, slash - start));
    if (!next.Ok()) return next;
    at = std::move(next);
    start = slash + 1;
  }
}

std::string FileNamePart(const std::string& local) {
  const size_t slash = local.rfind('/');
  return slash == std::string::npos ? local : local.substr(slash + 1);
}

bool WriteJournal(int staging, const Journal& journal) {
  std::string text = std::string(kJournalHeader) + "\n";
  for (const std::string& folder : journal.createdFolders) text += "d " + folder + "\n";
  for (const JournalEntry& entry : journal.entries) {
    text += "f " + std::to_string(entry.number) + " " + (entry.hadOld ? "1" : "0") + " " +
            entry.local + "\n";
  }
  text += "end\n";
  Fd fd(
      ::openat(staging, kJournalPart, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.Ok() || !WriteAll(fd.Get(), text) || ::fsync(fd.Get()) != 0) return false;
  // Whole or absent: a journal cut short by a kill would roll back too little.
  if (::renameat(staging, kJournalPart, staging, kJournal) != 0) return false;
  return ::fsync(staging) == 0;
}

std::optional<Journal> ReadJournal(int staging) {
  const std::optional<std::string> text = ReadAll(staging, kJournal);
  if (!text) return {};
  std::istringstream in(*text);
  std::string line;
  if (!std::getline(in, line) || line != kJournalHeader) return {};
  Journal journal;
  bool ended = false;
  while (std::getline(in, line)) {
    if (line == "end") {
      ended = true;
      break;
    }
    if (line.starts_with("d ")) {
      journal.createdFolders.push_back(line.substr(2));
    } else if (line.starts_with("f ")) {
      std::istringstream fields(line.substr(2));
      JournalEntry entry;
      int hadOld = 0;
      fields >> entry.number >> hadOld;
      fields.get();
      std::getline(fields, entry.local);
      if (!fields && !fields.eof()) return {};
      entry.hadOld = hadOld == 1;
      journal.entries.push_back(std::move(entry));
    } else {
      return {};
    }
  }
  if (!ended) return {};
  return journal;
}

bool RemoveJournal(int staging) {
  if (::unlinkat(staging, kJournal, 0) != 0 && errno != ENOENT) return false;
  return ::fsync(staging) == 0;
}

bool RollBack(int work, int staging, const Journal& journal) {
  bool whole = true;
  Fd old = OpenFolder(staging, "old");
  for (auto it = journal.entries.rbegin(); it != journal.entries.rend(); ++it) {
    const std::string backup = std::to_string(it->number);
    const std::string name = FileNamePart(it->local);
    Fd parent = ParentFolder(work, it->local);
    if (!parent.Ok()) {
      // No folder, so nothing of this run is there; only an old file that
      // has a backup would be lost.
      if (it->hadOld && old.Ok() && Exists(old.Get(), backup)) whole = false;
      continue;
    }
    if (it->hadOld) {
      // The backup is a second link to the old file, made before the new one
      // replaced it; without one, the destination was never touched.
      if (old.Ok() && Exists(old.Get(), backup) &&
          ::renameat(old.Get(), backup.c_str(), parent.Get(), name.c_str()) != 0) {
        whole = false;
      }
    } else if (::unlinkat(parent.Get(), name.c_str(), 0) != 0 && errno != ENOENT) {
      whole = false;
    }
    ::fsync(parent.Get());
  }
  for (auto it = journal.createdFolders.rbegin(); it != journal.createdFolders.rend(); ++it) {
    Fd parent = ParentFolder(work, *it);
    if (parent.Ok()) ::unlinkat(parent.Get(), FileNamePart(*it).c_str(), AT_REMOVEDIR);
  }
  return whole;
}

int RecoverInterruptedRuns(const std::string& workDir, std::string* problem) {
  const Fd work(::open(workDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return work.Ok() ? RecoverInterruptedRuns(work.Get(), problem) : 0;
}

void RemoveTree(int at, const std::string& name) {
  Fd dir = OpenFolder(at, name);
  if (!dir.Ok()) {
    ::unlinkat(at, name.c_str(), 0);
    return;
  }
  DIR* stream = ::fdopendir(::dup(dir.Get()));
  if (stream) {
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(stream)) {
      const std::string child = entry->d_name;
      if (child != "." && child != "..") names.push_back(child);
    }
    ::closedir(stream);
    for (const std::string& child : names) {
      if (::unlinkat(dir.Get(), child.c_str(), 0) != 0) RemoveTree(dir.Get(), child);
    }
  }
  ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
}

int RecoverInterruptedRuns(int work, std::string* problem) {
  Fd dl = OpenFolder(work, "dl");
  if (!dl.Ok()) return 0;
  std::vector<std::string> folders;
  if (DIR* stream = ::fdopendir(::dup(dl.Get()))) {
    while (dirent* entry = ::readdir(stream)) {
      const std::string name = entry->d_name;
      if (name.starts_with("update-")) folders.push_back(name);
    }
    ::closedir(stream);
  }
  int rolledBack = 0;
  for (const std::string& name : folders) {
    Fd staging = OpenFolder(dl.Get(), name);
    if (!staging.Ok()) continue;
    // A running updater holds its own folder locked.
    if (::flock(staging.Get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (const std::optional<Journal> journal = ReadJournal(staging.Get())) {
      ++rolledBack;
      if (!RollBack(work, staging.Get(), *journal)) {
        // Kept, so the old files in it are not lost and the next start
        // tries again.
        if (problem) *problem = "dl/" + name;
        continue;
      }
      RemoveJournal(staging.Get());
    }
    RemoveTree(dl.Get(), name);
  }
  return rolledBack;
}

}  // namespace zorva
