#pragma once

#include "core/status_window.h"
#include "core/text.h"

class QWidget;

namespace zorva {

// Moves a newly delivered updater ("dl/zupdate.exe") into place
// ("zupdate.exe") in the working directory.
void ReplaceUpdater();

enum class UpdateCheckResult {
  GoOn,        // no update, or the user declined: the sign-in continues
  HandedOver,  // the updater has the job; the client is ending
  Failed,      // the user accepted but the hand-off failed; status says why
};

// Compares the local version with the server's; when the server's is higher
// and the user agrees, downloads the program job file, starts the updater and
// posts the quit request with exit code 1 (HandedOver). When the job does not
// arrive or the updater does not start, the client stays (Failed) with the
// reason in status.
UpdateCheckResult CheckProgramUpdate(QWidget* owner, ProgressBar* progress, StatusWindow* status);

// Has the updater fetch one item: downloads "dl/download_<item>.xml", copies
// it over "dl/download.xml" and starts the updater. The client keeps running.
// False (and the updater not started) when the job did not arrive, could not
// be put in place, or the updater could not be started.
bool HandOffItem(const Text& jobName);

// Starts working directory + "/zupdate.exe"; false when it could not.
bool StartUpdater();

}  // namespace zorva
