#include "lessons/program_items.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include <QDebug>

#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "lessons/catalogue_rules.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "net/update_check.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/shell.h"

namespace zorva {

namespace {

// The launch parameters, plain and unquoted; they begin with a blank.
Text ProgramParameters(const SignInValues& user) {
  return " user_name=" + user.userName + " user_password=" + user.password;
}

void Launch(const Text& program) {
  if (!StartProgram(program, ProgramParameters(SignedIn()))) {
    // The user is not told, but whoever looks into a failed start finds it
    // here; the parameters stay out of the log, as they hold the password.
    qWarning("zorva: could not start the program item %s", program.c_str());
  }
}

// Hands the item to the updater, or says why it could not.
void FetchItem(const Text& jobName, QWidget* owner) {
  if (!HandOffItem(jobName)) {
    ShowMessage(
        FromUtf8("无法获取这个项目：更新任务没有下载成功，或者更新程序无法启动。请稍后再试。"),
        owner);
  }
}

}  // namespace

void PlayProgramItem(const Text& fileName, QWidget* owner) {
  // The catalogue comes from the network, so its file_name becomes a path or
  // a program to start only when it is one plain file name.
  const std::optional<ProgramItemFiles> files = ProgramItemNames(fileName);
  if (!files) {
    ShowMessage(FromUtf8("无法启动这个项目：它在课程列表中的文件名不是一个有效的文件名！"), owner);
    return;
  }
  const Text program = LocalPath(files->program);

  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::path(program.str()), ec)) {
    FetchItem(files->jobFile, owner);
    return;
  }
  const Text serverReply =
      FetchText(requests::ItemVersion(ServerBaseAddress(), files->versionFile));
  const float serverVersion = TextToFloat(GetXmlValue(serverReply, "version", "", "", ""));
  const float localVersion =
      TextToFloat(ReadXmlValue(LocalPath(files->versionFile), "version", "", "", ""));
  // Versions compare as numbers ("2.10" is 2.1); only a strictly newer one
  // is offered.
  if (serverVersion > localVersion &&
      AskYesNo(FromUtf8("发现新版本，是否下载?在下载完毕后重新按播放按钮来运行"), FromUtf8("信息"),
               owner)) {
    FetchItem(files->jobFile, owner);
    return;
  }
  Launch(program);
}

}  // namespace zorva
