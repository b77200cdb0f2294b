#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorva {

// An open file descriptor, closed with its owner.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd();
  Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int Get() const { return m_fd; }
  bool Ok() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Opens the folder name inside the folder at, never through a symbolic link.
Fd OpenFolder(int at, const std::string& name);

// A path that reaches the open folder fd itself, whatever its name now is.
std::string FolderPath(int fd);

// The folder of a "/"-separated destination inside the working directory,
// opened one level at a time from work and never through a symbolic link,
// so that a folder swapped for a link on the way is refused, not followed.
// Fails with errno (ELOOP or ENOTDIR for a link or a file on the way,
// ENOENT for a missing level).
Fd OpenDestinationFolder(int work, const std::string& local);

// The last part of a "/"-separated path.
std::string FileNamePart(const std::string& local);

// One replacement as the journal records it: the destination, and whether
// it had an old file, kept as the staging folder's "old/<number>" while the
// run lasts.
struct JournalEntry {
  int number = 0;
  bool hadOld = false;
  std::string local;
};

// What a run is about to do to the working directory, written into its
// staging folder before the first change: the folders it creates and every
// replacement. A run that ends before it could remove the journal (a kill,
// a power loss) is rolled back from it at the next start.
struct Journal {
  std::vector<std::string> createdFolders;  // top-down
  std::vector<JournalEntry> entries;        // in the order of replacement
};

// Writes the journal whole and durably into the staging folder; false when
// it could not.
bool WriteJournal(int staging, const Journal& journal);

// The journal of a staging folder; nothing when it has none.
std::optional<Journal> ReadJournal(int staging);

// Removes the journal: the run is committed. False when it could not.
bool RemoveJournal(int staging);

// Puts back what the journal describes: every old file from "old/" over its
// destination, every destination without an old file removed, the created
// folders removed again when empty. Steps that never happened are skipped,
// so it works at whatever point the run stopped. False when something could
// not be put back.
bool RollBack(int work, int staging, const Journal& journal);

// Finishes what interrupted runs left in work's "dl/": each staging folder
// that no running updater holds is rolled back from its journal, if any,
// and removed. Returns how many runs were rolled back; a message naming
// what could not be put back goes into problem.
int RecoverInterruptedRuns(int work, std::string* problem);
// The same for the working directory at workDir (0 when it cannot be opened).
int RecoverInterruptedRuns(const std::string& workDir, std::string* problem);

// Removes a folder and everything in it, never following a link.
void RemoveTree(int at, const std::string& name);

}  // namespace zorva
