#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// Results of DownloadFile.
enum DownloadResult {
  kDownloadFinished = 0,    // stored (also when the local file could not be created)
  kDownloadNotHttp = 1,     // not an http:// URL, or a reply status other than 200
  kDownloadNetError = 2,    // the transfer failed on the network
  kDownloadOtherError = 3,  // any other failure (writing the local file)
};

// The most FetchText keeps of a body; the rest is not read.
inline constexpr size_t kFetchTextLimit = 16u << 20;

// The pieces FetchText reads the body in.
inline constexpr size_t kFetchTextPiece = 29;

// How long FetchText may take in all. It blocks the user-interface thread
// without pumping, so a server that keeps a reply trickling in must not hold
// the program for ever; what arrived by then counts as read up to a failure.
inline constexpr long kFetchTextDeadlineMs = 60000;

// The most a download stores when the reply declares no Content-Length; a
// body past it, or past its declared length, fails as a network error.
inline constexpr unsigned long long kDownloadCeiling = 4ull << 30;

// The bytes counted as one read of a download (the read counter and the
// progress bar move once per such read, and once more for the final empty
// read).
inline constexpr int kDownloadReadSize = 99;

// HTTP GET of url; the reply body as it arrived for status 200, the empty
// text for any other status or a failure before the body, what was read for
// a failure in mid-body, and "0" for a URL that is not http:// (nothing is
// sent then). Redirects are not followed. The body is capped at
// kFetchTextLimit. The body is taken in pieces of kFetchTextPiece bytes, each
// up to its first NUL byte: a Text holds none, so a NUL byte drops the rest
// of its piece and the body goes on with the next one.
// transferFailed, when given, is set when the transfer ended in an error
// (no connection, a reset or a stall, the deadline, the cap) rather than at
// the end of a reply; a reply with a status other than 200 is no failure.
Text FetchText(const Text& url, bool* transferFailed = nullptr);

// The same GET with the body exactly as it arrived, NUL bytes included (up
// to the same cap), for callers that must see every byte: the server probe
// accepts one exact body and nothing after it.
std::string FetchBody(const Text& url, bool* transferFailed = nullptr);

// HTTP GET of base + "/" + remotePath into localDir + "/" + directory part +
// "/" + file name, where the remote path is split at its last "/" at
// position 1 or more. The remote path is a URL path: its directory part and
// file name are percent-decoded for the local file, which must stay inside
// localDir (no ".." level, a plain file name), else nothing is sent and the
// result is kDownloadOtherError. The file is written beside under another
// name and renamed into place when complete, so a failed download leaves an
// existing file untouched. Progress goes into status and progress (both
// optional); messages are pumped while the body arrives, also while the
// server is silent, and status and bar updates are coalesced to one every
// ~30 ms with the final state exact. "完成下载文件:" is shown only once the
// file is in place.
int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                 ProgressBar* progress, StatusWindow* status);

// The same download, ended early when cancel becomes true (set by a handler
// the pump runs, or by a signal handler): the transfer stops at its next
// step, at least once a second even when the server sends nothing, the
// partial file is removed and the result is kDownloadNetError. A body that
// grows beyond maxBytes (0: no limit) is stopped as well, so a server cannot
// fill the disk; its result is kDownloadOtherError.
// When failure is given, a download that did not finish says there why: the
// reply's HTTP status when it was not 200, libcurl's text for a network
// error, or that the body grew beyond maxBytes.
struct DownloadFailure {
  long httpStatus = 0;
  std::string networkError;
  bool longerThanAllowed = false;
};
int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                 ProgressBar* progress, StatusWindow* status, const std::atomic<bool>* cancel,
                 unsigned long long maxBytes = 0, DownloadFailure* failure = nullptr);

// Creates every missing level of a "/"-separated path (the search for "/"
// starts at position 1). The status window always ends with "完成创建目录!".
void MakeDirectories(const Text& path, StatusWindow* status);

// Time-outs of every transfer: connecting, and how long a transfer may move
// less than one byte per second before it fails as a network error. The
// defaults are 10 s and 30 s; tests shorten them.
void SetTransferTimeouts(long connectMs, long stallSeconds);
// The FetchText deadline and the download ceiling (tests shorten them).
void SetTransferLimits(long fetchDeadlineMs, unsigned long long downloadCeiling);
// Back to the defaults: time-outs and limits.
void ResetTransferTimeouts();

// Makes every running download and every later one fail at once as a
// network error, which removes its temporary file. Safe to call from a
// signal handler; for programs that are about to end.
void AbortDownloads();

// Removes the temporary files that downloads into directory left behind
// when their process ended before them (their process no longer runs).
// Files of running processes and every other file stay.
void RemoveStaleDownloadFiles(const Text& directory);

}  // namespace zorva
