#include "net/transfer.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/cp936.h"
#include "core/file_name.h"
#include "core/pump.h"
#include "core/toolkit.h"

namespace zorva {

namespace {

constexpr long kDefaultConnectMs = 10000;
constexpr long kDefaultStallSeconds = 30;
long g_connectMs = kDefaultConnectMs;
long g_stallSeconds = kDefaultStallSeconds;
long g_fetchDeadlineMs = kFetchTextDeadlineMs;
unsigned long long g_downloadCeiling = kDownloadCeiling;

// Set from a signal handler; a lock-free atomic is safe there.
std::atomic<bool> g_abortDownloads{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Temporary download files are named "." + file name + this + pid + "-" + n.
constexpr char kPartMarker[] = ".part-";

constexpr char kAgent[] = "MyProgram/1.0";
// Large receive buffers keep the callbacks (and the file writes) few.
constexpr long kReceiveBufferSize = 512 * 1024;
// Pumping, status texts and bar steps are coalesced to this interval: a
// repaint per 99 bytes would cost far more than the transfer itself.
constexpr auto kUpdateInterval = std::chrono::milliseconds(30);
constexpr int kUpdateIntervalMs = 30;

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CurlStringDeleter {
  void operator()(char* s) const { curl_free(s); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

void GlobalInit() {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
}

// A status text from the UTF-8 source.
Text Cn(const char* utf8) { return FromUtf8(utf8); }

struct ParsedUrl {
  UrlHandle url;
  Text object;  // the path with its query, as requested from the server
};

// Splits url into its parts; nothing when it is not an http:// URL with a
// host.
std::optional<ParsedUrl> ParseHttpUrl(const Text& url) {
  UrlHandle u(curl_url());
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  char* raw = nullptr;
  if (curl_url_get(u.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK) return {};
  CurlString scheme(raw);
  if (std::strcmp(scheme.get(), "http") != 0) return {};
  ParsedUrl parsed;
  if (curl_url_get(u.get(), CURLUPART_PATH, &raw, 0) == CURLUE_OK) {
    CurlString path(raw);
    parsed.object = Text(path.get());
  }
  if (curl_url_get(u.get(), CURLUPART_QUERY, &raw, 0) == CURLUE_OK) {
    CurlString query(raw);
    parsed.object = parsed.object + "?" + Text(query.get());
  }
  parsed.url = std::move(u);
  return parsed;
}

// The request headers of a transfer: its Accept header, and the two that
// keep every cache on the way (a proxy's too) from answering in the
// server's place: every reply comes fresh from the server.
HeaderList RequestHeaders(const char* accept) {
  curl_slist* list = nullptr;
  for (const char* header : {accept, "Cache-Control: no-cache", "Pragma: no-cache"}) {
    curl_slist* longer = curl_slist_append(list, header);
    if (!longer) {
      curl_slist_free_all(list);
      return nullptr;
    }
    list = longer;
  }
  return HeaderList(list);
}

// A GET request with the settings every transfer shares: the agent, the
// request headers, no redirects, http only, the time-outs, proxy from the
// environment (libcurl's default).
EasyHandle NewRequest(CURLU* url, curl_slist* headers) {
  GlobalInit();
  EasyHandle h(curl_easy_init());
  if (!h) return h;
  CURL* c = h.get();
  curl_easy_setopt(c, CURLOPT_CURLU, url);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, g_connectMs);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, g_stallSeconds);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  return h;
}

long ResponseCode(CURL* c) {
  long code = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

// ---------------------------------------------------------------- fetch

struct Fetch {
  CURL* handle = nullptr;
  std::string body;
  bool notOk = false;  // the reply's status was not 200: nothing to read

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    return static_cast<Fetch*>(self)->Take(std::string_view(data, size * count));
  }

  // Keeps the body up to the cap; returning less than was given ends the
  // transfer, which is then reported with what was kept.
  size_t Take(std::string_view data) {
    if (ResponseCode(handle) != 200) {
      notOk = true;
      return 0;
    }
    const std::string_view keep = data.substr(0, kFetchTextLimit - body.size());
    body.append(keep);
    return keep.size() == data.size() ? data.size() : 0;
  }
};

// ------------------------------------------------------------- download

bool PathExists(const Text& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const Text& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Percent-decodes a part of a URL path; nothing when it decodes to a NUL.
std::optional<std::string> Decode(std::string_view part) {
  if (part.empty()) return std::string();  // a length of 0 would mean "up to a NUL"
  int length = 0;
  CurlString raw(curl_easy_unescape(nullptr, part.data(), static_cast<int>(part.size()), &length));
  if (!raw) return {};
  std::string decoded(raw.get(), static_cast<size_t>(length));
  if (decoded.find('\0') != std::string::npos) return {};
  return decoded;
}

// The local directory part and file name of a remote path: split at its
// last "/" at position 1 or more, both percent-decoded. Nothing when the
// result would leave the local directory.
struct LocalName {
  Text directory;
  Text file;   // as the status texts and the local path use it
  Text plain;  // the same without a leading "/"
};
std::optional<LocalName> SplitRemotePath(const Text& remotePath) {
  std::string_view path = remotePath.view();
  size_t slash = path.rfind('/');
  std::string_view dirPart, filePart = path;
  if (slash != std::string_view::npos && slash >= 1) {
    dirPart = path.substr(0, slash);
    filePart = path.substr(slash + 1);
  }
  auto dir = Decode(dirPart);
  auto file = Decode(filePart);
  if (!dir || !file) return {};
  // The file name ends up in the remote path's form when it has no "/" at
  // position 1 or more (a leading "/" then stays part of it).
  std::string_view plain = *file;
  if (dirPart.empty() && !plain.empty() && plain.front() == '/') plain.remove_prefix(1);
  if (!IsPlainFileName(plain)) return {};
  std::string_view rest = *dir;
  while (!rest.empty()) {
    size_t end = rest.find('/');
    if (rest.substr(0, end) == "..") return {};
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return LocalName{Text(*dir), Text(*file), Text(plain)};
}

class Download {
 public:
  Download(ProgressBar* progress, StatusWindow* status, const std::atomic<bool>* cancel,
           unsigned long long maxBytes, DownloadFailure* failure)
      : m_progress(progress),
        m_status(status),
        m_cancel(cancel),
        m_maxBytes(maxBytes),
        m_failure(failure) {}
  ~Download() { Discard(); }

  int Run(const Text& base, const Text& remotePath, const Text& localDir);

 private:
  enum class Stop { None, NotOk, FileNotCreated, WriteFailed, TooLong, Aborted };

  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  CURLcode Perform();
  bool StartBody();
  Text ShownObject() const;
  bool Write(std::string_view data);
  bool Finish();
  void Discard();
  void Tick(bool force);
  void ShowReads(long long count);
  void Status(const Text& text) {
    if (m_status) m_status->SetText(text);
  }
  bool Cancelled() const { return m_cancel && m_cancel->load(); }

  ProgressBar* m_progress;
  StatusWindow* m_status;
  const std::atomic<bool>* m_cancel;
  unsigned long long m_maxBytes;
  DownloadFailure* m_failure;
  CURL* m_handle = nullptr;
  Text m_fileName;
  Text m_directory;
  Text m_plainName;
  Text m_target;
  Text m_object;
  std::string m_temp;
  int m_fd = -1;
  Stop m_stop = Stop::None;
  bool m_reading = false;
  unsigned long long m_received = 0;
  unsigned long long m_ceiling = 0;
  long long m_reads = 0;
  long long m_shownReads = 0;
  Clock::time_point m_lastPump;
  Clock::time_point m_lastShown;
};

int Download::Run(const Text& base, const Text& remotePath, const Text& localDir) {
  if (m_progress) {
    m_progress->SetPos(0);
    m_progress->Show(true);
    m_progress->Repaint();
  }
  std::optional<LocalName> local = SplitRemotePath(remotePath);
  if (!local) {
    const std::optional<std::string> shown = Decode(remotePath.view());
    Status(Cn("创建文件失败: ") + (shown ? Text(*shown) : remotePath));
    if (m_progress) m_progress->Show(false);
    return kDownloadOtherError;
  }
  m_fileName = local->file;
  m_plainName = local->plain;
  m_directory = localDir + "/" + local->directory;
  MakeDirectories(m_directory, m_status);
  m_target = m_directory + "/" + m_fileName;
  Status("Downloading file:" + m_fileName + " ...... ");

  std::optional<ParsedUrl> url = ParseHttpUrl(base + "/" + remotePath);
  if (!url) {
    Status("Error: can only use URLs beginning with http://");
    return kDownloadNotHttp;
  }
  m_object = url->object;
  Status("Opening Internet...");
  HeaderList headers = RequestHeaders("Accept: */*");
  EasyHandle h = headers ? NewRequest(url->url.get(), headers.get()) : nullptr;
  int result = kDownloadNetError;
  if (h) {
    m_handle = h.get();
    curl_easy_setopt(m_handle, CURLOPT_HEADERFUNCTION, &Download::OnHeader);
    curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, &Download::OnBody);
    curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, &Download::OnProgress);
    curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_handle, CURLOPT_NOPROGRESS, 0L);
    const CURLcode rc = Perform();
    m_handle = nullptr;
    switch (m_stop) {
      case Stop::NotOk:
        if (m_failure) m_failure->httpStatus = ResponseCode(h.get());
        Status(Cn("连接互联网失败。"));
        return kDownloadNotHttp;
      case Stop::FileNotCreated:
        result = kDownloadFinished;
        break;
      case Stop::WriteFailed:
        Tick(true);
        result = kDownloadOtherError;
        break;
      case Stop::TooLong:
      case Stop::Aborted:
        if (m_failure) {
          m_failure->networkError =
              m_stop == Stop::TooLong ? "reply longer than its length" : "aborted";
        }
        if (m_reading) Tick(true);
        Status(Cn("发生互联网错误. "));
        break;
      case Stop::None:
        if (rc == CURLE_OK && m_reading) {
          result = Finish() ? kDownloadFinished : kDownloadOtherError;
        } else {
          if (m_failure) m_failure->networkError = curl_easy_strerror(rc);
          if (m_reading) Tick(true);
          Status(Cn("发生互联网错误. "));
        }
        break;
    }
  } else {
    Status(Cn("发生互联网错误. "));
  }
  Discard();
  if (m_progress) m_progress->Show(false);
  return result;
}

// Runs the transfer through a multi handle so that messages are pumped
// while the server is silent too, not only when bytes arrive.
CURLcode Download::Perform() {
  if (g_abortDownloads) {
    m_stop = Stop::Aborted;
    return CURLE_ABORTED_BY_CALLBACK;
  }
  MultiHandle multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), m_handle) != CURLM_OK)
    return CURLE_OUT_OF_MEMORY;
  CURLcode result = CURLE_OK;
  bool done = false;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_RECV_ERROR;
      break;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    if (g_abortDownloads) {
      m_stop = Stop::Aborted;
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kUpdateIntervalMs, nullptr);
    if (m_reading) Tick(false);
  }
  curl_multi_remove_handle(multi.get(), m_handle);
  return result;
}

// The requested object as status texts show it: without its leading "/",
// percent-decoded like every other name they show.
Text Download::ShownObject() const {
  const Text object = m_object.Mid(1);
  const std::optional<std::string> decoded = Decode(object.view());
  return decoded ? Text(*decoded) : object;
}

size_t Download::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* d = static_cast<Download*>(self);
  const size_t n = size * count;
  std::string_view line(data, n);
  if (line != "\r\n" && line != "\n") return n;
  const long code = ResponseCode(d->m_handle);
  if (code < 200) return n;  // an interim reply; the real one follows
  if (code != 200) {
    d->m_stop = Stop::NotOk;
    return 0;
  }
  return d->StartBody() ? n : 0;
}

// The reply is 200: announce it, size the bar, create the file and start
// the reads.
bool Download::StartBody() {
  Status(Cn("连接互联网成功. "));
  int contentLength = 0;
  m_ceiling = g_downloadCeiling;
  curl_header* header = nullptr;
  if (curl_easy_header(m_handle, "Content-Length", 0, CURLH_HEADER, -1, &header) == CURLHE_OK) {
    contentLength = TextToInt(Text(header->value));
    // A declared length bounds the body; libcurl keeps to it unless the
    // reply is chunked as well.
    char* end = nullptr;
    errno = 0;
    const unsigned long long declared = std::strtoull(header->value, &end, 10);
    if (errno == 0 && end != header->value && declared < m_ceiling) m_ceiling = declared;
    // A declared length beyond the caller's limit fails before any byte.
    if (m_maxBytes != 0 && errno == 0 && end != header->value && declared > m_maxBytes) {
      if (m_failure) m_failure->longerThanAllowed = true;
      m_stop = Stop::WriteFailed;
      return false;
    }
  }
  Status(Cn("正在下载文件: ") + m_fileName);
  if (m_progress) {
    m_progress->SetRange32(0, contentLength / 100);
    m_progress->SetPos(0);
  }
  // The body goes to a file beside the target and replaces it only when
  // complete. The name keeps to a length every file system takes.
  if (!IsDirectory(m_target)) {
    const std::string prefix = m_directory.str() + "/." + m_plainName.str().substr(0, 100) +
                               kPartMarker + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
      std::string candidate = prefix + std::to_string(attempt);
      m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (m_fd >= 0) {
        m_temp = candidate;
      } else if (errno != EEXIST) {
        break;
      }
    }
  }
  if (m_fd < 0) {
    Status(Cn("创建文件失败: ") + ShownObject());
    m_stop = Stop::FileNotCreated;
    return false;
  }
  Status(Cn("正在从互联网读取数据......"));
  m_reading = true;
  Tick(true);
  return true;
}

size_t Download::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* d = static_cast<Download*>(self);
  const size_t n = size * count;
  if (!d->m_reading) return 0;
  // The caller's own limit (a job's declared size) fails the file; the
  // transfer's ceiling fails it as a network error.
  if (d->m_maxBytes != 0 && d->m_received + n > d->m_maxBytes) {
    if (d->m_failure) d->m_failure->longerThanAllowed = true;
    d->m_stop = Stop::WriteFailed;
    return 0;
  }
  if (n > d->m_ceiling - d->m_received) {
    d->m_stop = Stop::TooLong;
    return 0;
  }
  if (!d->Write(std::string_view(data, n))) {
    d->m_stop = Stop::WriteFailed;
    return 0;
  }
  d->m_received += n;
  d->m_reads = static_cast<long long>(d->m_received / kDownloadReadSize);
  d->Tick(false);
  return d->Cancelled() ? 0 : n;
}

int Download::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* d = static_cast<Download*>(self);
  if (g_abortDownloads) {
    d->m_stop = Stop::Aborted;
    return 1;
  }
  if (d->m_reading) d->Tick(false);
  return d->Cancelled() ? 1 : 0;
}

bool Download::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(m_fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The body has ended: count the last short read and the empty one, show the
// final state and put the file in place.
bool Download::Finish() {
  m_reads = static_cast<long long>(m_received / kDownloadReadSize) +
            (m_received % kDownloadReadSize != 0 ? 1 : 0) + 1;
  Tick(true);
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
    // The body arrived but cannot be put in place: say so, not "finished".
    Status(Cn("创建文件失败: ") + ShownObject());
    return false;
  }
  m_temp.clear();
  Status(Cn("完成下载文件:") + m_fileName);
  return true;
}

void Download::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
  m_temp.clear();
}

// Pumps messages and shows the read counter and the bar, each at most once
// per interval. The first read shows at once on its own and force shows
// the final count, so every text appears and the final state is exact.
void Download::Tick(bool force) {
  const Clock::time_point now = Clock::now();
  if (force || now - m_lastPump >= kUpdateInterval) {
    PumpMessages();
    m_lastPump = Clock::now();
  }
  if (m_reads == m_shownReads) return;
  if (m_shownReads == 0) {
    ShowReads(1);
  }
  if (m_reads == m_shownReads) return;
  if (!force && now - m_lastShown < kUpdateInterval) return;
  ShowReads(m_reads);
}

// Moves the counter text and the bar on to count reads, as that many
// single steps would.
void Download::ShowReads(long long count) {
  const long long steps = count - m_shownReads;
  m_shownReads = count;
  m_lastShown = Clock::now();
  if (m_status) {
    m_status->SetText(Cn("正在从互联网读取数据......") + IntToText(static_cast<int>(count)));
    m_status->Repaint();
  }
  if (m_progress) {
    m_progress->SetPos(m_progress->GetPos() + static_cast<int>(steps));
    m_progress->Repaint();
  }
}

}  // namespace

std::string FetchBody(const Text& url, bool* transferFailed) {
  bool failed = true;
  struct Report {
    bool* to;
    const bool& failed;
    ~Report() {
      if (to) *to = failed;
    }
  } report{transferFailed, failed};

  std::optional<ParsedUrl> parsed = ParseHttpUrl(url);
  if (!parsed) {
    failed = false;
    return "0";
  }
  HeaderList headers = RequestHeaders("Accept: text/*");
  EasyHandle h = headers ? NewRequest(parsed->url.get(), headers.get()) : nullptr;
  if (!h) return {};
  Fetch fetch;
  fetch.handle = h.get();
  curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &Fetch::OnBody);
  curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &fetch);
  curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, g_fetchDeadlineMs);
  const CURLcode rc = curl_easy_perform(h.get());
  failed = rc != CURLE_OK && !fetch.notOk;
  if (ResponseCode(h.get()) != 200) return {};
  return std::move(fetch.body);
}

Text FetchText(const Text& url, bool* transferFailed) {
  const std::string body = FetchBody(url, transferFailed);
  Text text;
  for (size_t at = 0; at < body.size(); at += kFetchTextPiece) {
    text.Append(std::string_view(body).substr(at, kFetchTextPiece));  // stops at a NUL
  }
  return text;
}

int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                 ProgressBar* progress, StatusWindow* status) {
  return DownloadFile(base, remotePath, localDir, progress, status, nullptr, 0, nullptr);
}

int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                 ProgressBar* progress, StatusWindow* status, const std::atomic<bool>* cancel,
                 unsigned long long maxBytes, DownloadFailure* failure) {
  PumpingScope scope;
  Download download(progress, status, cancel, maxBytes, failure);
  return download.Run(base, remotePath, localDir);
}

void MakeDirectories(const Text& path, StatusWindow* status) {
  auto fail = [status](const char* utf8) {
    if (!status) return;
    status->SetText(Cn(utf8));
    status->SetText(Cn("完成创建目录!"));
  };
  int pos = 1;
  for (;;) {
    const int p = path.Find('/', pos);
    if (p < 0) break;
    const Text prefix = path.Left(p);
    if (!PathExists(prefix) && ::mkdir(prefix.c_str(), 0777) != 0) {
      fail("创建目录失败!");
      return;
    }
    pos = p + 1;
  }
  if (!PathExists(path) && ::mkdir(path.c_str(), 0777) != 0) {
    fail("创建目录时发生错误!");
    return;
  }
  if (status) status->SetText(Cn("完成创建目录!"));
}

void SetTransferTimeouts(long connectMs, long stallSeconds) {
  g_connectMs = connectMs;
  g_stallSeconds = stallSeconds;
}

void SetTransferLimits(long fetchDeadlineMs, unsigned long long downloadCeiling) {
  g_fetchDeadlineMs = fetchDeadlineMs;
  g_downloadCeiling = downloadCeiling;
}

void ResetTransferTimeouts() {
  SetTransferTimeouts(kDefaultConnectMs, kDefaultStallSeconds);
  SetTransferLimits(kFetchTextDeadlineMs, kDownloadCeiling);
}

void AbortDownloads() { g_abortDownloads = true; }

void RemoveStaleDownloadFiles(const Text& directory) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), &::closedir);
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    // "." + name + ".part-" + pid + "-" + attempt, as StartBody makes them.
    const std::string_view name = entry->d_name;
    const size_t marker = name.rfind(kPartMarker);
    if (name.size() < 2 || name.front() != '.' || marker == std::string_view::npos || marker == 0)
      continue;
    const std::string_view tail = name.substr(marker + std::strlen(kPartMarker));
    const size_t dash = tail.find('-');
    const std::string_view pidText = tail.substr(0, dash);
    const std::string_view attempt = dash == std::string_view::npos ? "" : tail.substr(dash + 1);
    auto digits = [](std::string_view t) {
      return !t.empty() && t.size() <= 9 && t.find_first_not_of("0123456789") == t.npos;
    };
    if (!digits(pidText) || !digits(attempt)) continue;
    const pid_t pid = static_cast<pid_t>(std::atol(std::string(pidText).c_str()));
    // A process that still runs may still be writing it.
    if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
  }
}

}  // namespace zorva
