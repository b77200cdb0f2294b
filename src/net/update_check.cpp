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
  // The updater is started even when the job file could not be fetched: the
  // download has already told the user in the status line, and the updater
  // is the one that knows how to recover.
  qInfo("version %s offered (installed %s): handing over to the updater",
        GetXmlValue(serverReply, "zorva", "", "", "").c_str(),
        ReadXmlValue(LocalPath("zorva.xml"), "zorva", "", "", "").c_str());
  DownloadFile(base, requests::kProgramJobPath, WorkingDirectory(), progress, status);
  StartUpdater();
  PostQuitMessage(1);
  return UpdateCheckResult::HandedOver;
}

void HandOffItem(const Text& jobName) {
  // The job name becomes part of a local path.
  if (!IsPlainFileName(jobName.view())) return;
  DownloadFile(ServerBaseAddress(), requests::JobPath(jobName), WorkingDirectory(), nullptr,
               nullptr);
  ReplaceFile(LocalPath("dl/" + jobName), LocalPath("dl/download.xml"), /*executable=*/false);
  qInfo("handing %s over to the updater", jobName.c_str());
  StartUpdater();
}

void StartUpdater() {
  if (!StartProgram(LocalPath("zupdate.exe")))
    qWarning("the updater zupdate.exe could not be started");
}

}  // namespace zorva
