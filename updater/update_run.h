#pragma once

#include <sys/types.h>

#include <atomic>
#include <optional>
#include <string>

#include "core/status_window.h"
#include "core/text.h"
#include "updater/update_job.h"

namespace zorva {

// What the updater shows while it works: a window, or lines on a terminal.
class UpdateView {
 public:
  virtual ~UpdateView() = default;
  // What is happening now, one line (UTF-8): the file being fetched, the
  // wait for the client, putting files in place.
  virtual void ShowStep(const std::string& text) = 0;
  // The current file's download, driven as the transfer drives it
  // (optional).
  virtual ProgressBar* Progress() { return nullptr; }
  virtual StatusWindow* Status() { return nullptr; }
};

enum class UpdateOutcome {
  Applied,    // every file is in place
  Refused,    // the job or a file was not acceptable; nothing was changed
  Failed,     // a download or putting the files in place failed; nothing was changed
  Cancelled,  // the user cancelled; nothing was changed
};

struct UpdateResult {
  UpdateOutcome outcome = UpdateOutcome::Failed;
  std::string message;   // for the user (UTF-8); empty when applied
  bool restart = false;  // the job asks for the client to be started again
};

struct UpdateOptions {
  Text workDir;                  // the working directory, without trailing slash
  std::optional<PublicKey> key;  // the key the job must be signed with; none refuses every job
  pid_t clientPid = 0;           // the client that handed over, waited for before a restarting job
};

// The job's location in the working directory.
inline constexpr char kJobFile[] = "dl/download.xml";

// Applies the signed job in workDir + "/dl/download.xml". First it rolls
// back what an interrupted earlier run left (see RecoverInterruptedRuns).
// The job is used once: it moves into this run's staging folder under "dl/"
// before it is read, whatever the outcome. The run checks the job, refuses
// one whose version is not newer than the installed one, waits for the
// client when the job restarts it, selects a server, downloads every file
// into the staging folder, verifies each size and SHA-256, and only then
// puts the files in place, the job's version file last, from folder handles
// (never through a symbolic link) and under a journal. Any failure or cancel
// rolls back; a run that did not apply leaves the working directory as it
// was, but for the job it used up.
UpdateResult ApplyUpdateJob(const UpdateOptions& options, UpdateView& view,
                            const std::atomic<bool>& cancel);

// The program's version file, in the working directory and in a package.
inline constexpr char kProgramVersionFile[] = "zorva.xml";

// Puts an installed package's program (every file under packageDir: the
// client, the updater, the player's files, the help page, and its version
// file "zorva.xml", put in place last) into the working directory, crash-safely
// as a job's files, when the working directory has no client yet or the
// package's version is newer than the working directory's (compared as the
// client compares versions). Applied when copied; Refused, with the reason,
// when the working directory's program is current; Failed when the copy
// failed (rolled back). Files the package does not hold (the user's own)
// are never touched.
UpdateResult InstallPackageProgram(const Text& workDir, const std::string& packageDir,
                                   UpdateView& view);

// The SHA-256 of a file's bytes as 64 lower-case hex digits; nothing when it
// cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace zorva
