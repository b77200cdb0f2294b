#pragma once

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// Results of DownloadFile.
enum DownloadResult {
  kDownloadFinished = 0,     // stored (also when the local file could not be created)
  kDownloadNotHttp = 1,      // not an http:// URL, or a reply status other than 200
  kDownloadNetError = 2,     // the transfer failed on the network
  kDownloadOtherError = 3,   // any other failure (writing the local file)
};

// HTTP GET of url; the reply body as it arrived for status 200, the empty
// text for any other status or a failure before the body, what was read for
// a failure in mid-body, and "0" for a URL that is not http://. Redirects are
// not followed. The body is capped at 16 MiB.
Text FetchText(const Text& url);

// HTTP GET of base + "/" + remotePath into localDir + "/" + directory part +
// "/" + file name, writing its progress into status and progress (both
// optional). Pumps messages before every read.
int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                 ProgressBar* progress, StatusWindow* status);

// Creates every missing level of a "/"-separated path.
void MakeDirectories(const Text& path, StatusWindow* status);

}  // namespace zorva
