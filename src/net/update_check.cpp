#include "net/update_check.h"

#include <QtGlobal>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/cp936.h"
#include "core/file_name.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/quit.h"
#include "platform/shell.h"

namespace zorva {

namespace {

namespace fs = std::filesystem;

fs::path FsPath(const Text& path) { return fs::path(path.str()); }

// Copies source over target through a file beside the target that is renamed
// over it, so a failed copy never leaves a broken target behind. With
// executable set, the owner may run the copy, which a file that arrived over
// HTTP never may on its own.
bool ReplaceFile(const Text& source, const Text& target, bool executable) {
  const fs::path from = FsPath(source);
  const fs::path to = FsPath(target);
  fs::path part = to;
  part += ".part";
  std::error_code ec;
  fs::remove(part, ec);
  if (!fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec)) {
    fs::remove(part, ec);
    return false;
  }
  if (executable) {
    fs::permissions(part, fs::perms::owner_exec | fs::perms::owner_read, fs::perm_options::add, ec);
  }
  fs::rename(part, to, ec);
  if (ec) {
    fs::remove(part, ec);
    return false;
  }
  return true;
}

}  // namespace

void ReplaceUpdater() {
  const Text delivery = LocalPath("dl/zupdate.exe");
  std::error_code ec;
  if (!fs::is_regular_file(FsPath(delivery), ec)) return;
  // A delivery that could not be moved stays where it is, so the next
  // sign-in tries again instead of losing the newer updater.
  if (ReplaceFile(delivery, LocalPath("zupdate.exe"), /*executable=*/true)) {
    fs::remove(FsPath(delivery), ec);
  }
}

UpdateCheckResult CheckProgramUpdate(QWidget* owner, ProgressBar* progress, StatusWindow* status) {
  const Text base = ServerBaseAddress();
  const Text serverReply = FetchText(requests::ServerVersion(base));
  const float serverVersion = TextToFloat(GetXmlValue(serverReply, "zorva", "", "", ""));
  const float localVersion = TextToFloat(ReadXmlValue(LocalPath("zorva.xml"), "zorva", "", "", ""));
  // Versions compare as numbers, so "2.10" is 2.1; equal versions are no
  // reason to update.
  if (!(localVersion < serverVersion)) return UpdateCheckResult::GoOn;
  if (!AskYesNo(FromUtf8("发现新版本，是否下载？"), FromUtf8("信息"), owner)) {
    return UpdateCheckResult::GoOn;
  }
  qInfo("version %s offered (installed %s): handing over to the updater",
        GetXmlValue(serverReply, "zorva", "", "", "").c_str(),
        ReadXmlValue(LocalPath("zorva.xml"), "zorva", "", "", "").c_str());
  // Only a job that arrived is handed over: an updater started without one
  // would find nothing to do, and the client would end for nothing.
  const int result =
      DownloadFile(base, requests::kProgramJobPath, WorkingDirectory(), progress, status);
  const char* failure = nullptr;
  if (result != kDownloadFinished) {
    failure = "对不起，无法下载新版本的更新任务，这次不更新。请按“登录”继续使用当前版本。";
  } else if (!StartUpdater()) {
    failure = "对不起，无法启动更新程序 zupdate.exe，这次不更新。请按“登录”继续使用当前版本。";
  }
  if (failure) {
    qWarning("program update not handed over (download result %d)", result);
    if (status) status->SetText(FromUtf8(failure));
    return UpdateCheckResult::Failed;
  }
  PostQuitMessage(1);
  return UpdateCheckResult::HandedOver;
}

bool HandOffItem(const Text& jobName) {
  // The job name becomes part of a local path.
  if (!IsPlainFileName(jobName.view())) return false;
  const Text job = LocalPath("dl/" + jobName);
  std::error_code ec;
  // A copy left by an earlier hand-off must not pass for this one's.
  fs::remove(FsPath(job), ec);
  if (DownloadFile(ServerBaseAddress(), requests::JobPath(jobName), WorkingDirectory(), nullptr,
                   nullptr) != kDownloadFinished ||
      !ReplaceFile(job, LocalPath("dl/download.xml"), /*executable=*/false)) {
    qWarning("the job %s could not be fetched; the updater is not started", jobName.c_str());
    return false;
  }
  qInfo("handing %s over to the updater", jobName.c_str());
  return StartUpdater();
}

bool StartUpdater() {
  if (StartProgram(LocalPath("zupdate.exe"))) return true;
  qWarning("the updater zupdate.exe could not be started");
  return false;
}

}  // namespace zorva
