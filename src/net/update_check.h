#pragma once

#include "core/status_window.h"
#include "core/text.h"

class QWidget;

namespace zorva {

// Moves a newly delivered updater ("dl/zupdate.exe") into place
// ("zupdate.exe") in the working directory.
void ReplaceUpdater();

enum class UpdateCheckResult { GoOn, HandedOver };

// Compares the local version with the server's; when the server's is higher
// and the user agrees, downloads the program job file, starts the updater and
// posts the quit request with exit code 1 (HandedOver).
UpdateCheckResult CheckProgramUpdate(QWidget* owner, ProgressBar* progress, StatusWindow* status);

// Has the updater fetch one item: downloads "dl/download_<item>.xml", copies
// it over "dl/download.xml" and starts the updater. The client keeps running.
void HandOffItem(const Text& jobName);

// Starts working directory + "/zupdate.exe".
void StartUpdater();

}  // namespace zorva
