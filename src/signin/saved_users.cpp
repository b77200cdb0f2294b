#include "signin/saved_users.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>

#include "core/codec.h"
#include "core/cp936.h"
#include "core/file_crypt.h"
#include "core/file_name.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "platform/program_values.h"

namespace zorva {

namespace {

constexpr char kUsersFile[] = "zorva_user.xml";
constexpr char kTempFile[] = "temp.tmp";
// The same fixed password protects every saved password file; the
// protection is against casual reading, the codec does the rest.
constexpr char kFilePassword[] = "qmvra.zk418";

void Say(StatusWindow* status, const Text& text) {
  if (status) status->SetText(text);
}

Text UserRecord(const Text& user, int order) {
  return "<user name=\"" + user + "\" order=\"" + IntToText(order) + "\" />";
}

Text PasswordFilePath(const Text& user) { return LocalPath(user + ".dat"); }

long MaxNameLength() {
  long max = ::pathconf(WorkingDirectory().c_str(), _PC_NAME_MAX);
  return max > 0 ? max : 255;
}

// Writes the whole content to a new file that only its owner may read. Any
// file already at path goes first, so nothing another user planted there
// (a link, a file with wider rights) is written through.
bool WriteOwnerOnly(const Text& path, const Text& content) {
  ::unlink(path.c_str());
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::string_view rest = content.view();
  bool ok = true;
  while (ok && !rest.empty()) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) rest.remove_prefix(static_cast<size_t>(n));
  }
  ok = ::close(fd) == 0 && ok;
  return ok;
}

void RemoveFile(const Text& path) { ::unlink(path.c_str()); }

// Whether a new file can be made in the working directory: every save goes
// through a file written beside its target and renamed into place.
bool WorkingDirectoryWritable() {
  std::string probe = LocalPath(".zorva-write-XXXXXX").str();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace

SavedUsersFile ParseSavedUsers(const Text& content) {
  SavedUsersFile file;
  for (int order = 1;; ++order) {
    Text name = GetXmlValue(content, "user", "order", IntToText(order), "name");
    if (name.IsEmpty()) break;
    file.names.push_back(name);
  }
  file.defaultUser = GetXmlValue(content, "default_user_name", "", "", "");
  file.autoLogin = GetXmlValue(content, "auto_login", "", "", "") == "true";
  return file;
}

SavedUsersFile LoadSavedUsers() { return ParseSavedUsers(ReadTextFile(LocalPath(kUsersFile))); }

Text ComposeSavedUsers(const std::vector<Text>& listed, const Text& user, bool autoLogin) {
  Text text;
  for (size_t i = 0; i < listed.size(); ++i) {
    text += UserRecord(listed[i], static_cast<int>(i) + 1) + "\n";
  }
  if (listed.empty() || text.Find(("name=\"" + user + "\"").view()) < 0) {
    text += UserRecord(user, static_cast<int>(listed.size()) + 1);
  }
  text += "<default_user_name>" + user + "</default_user_name>";
  text += autoLogin ? "\n<auto_login>true</auto_login>" : "\n<auto_login>false</auto_login>";
  return text;
}

bool IsPasswordFileUsable(const Text& user) {
  if (!IsPlainFileName(user.view())) return false;
  // The longest name created for a password file is the encryption's
  // pending file beside it.
  if (user.GetLength() + 4 + kPendingNameSuffixLength > MaxNameLength()) return false;
  return PasswordFilePath(user).GetLength() + kPendingNameSuffixLength < PATH_MAX;
}

void SaveUsers(const std::vector<Text>& listed, const Text& user, const Text& password,
               bool autoLogin, StatusWindow* status) {
  const Text content = ComposeSavedUsers(listed, user, autoLogin);
  if (autoLogin) {
    SavePassword(user, password, status);
  } else if (IsPasswordFileUsable(user)) {
    // Nothing reads a saved password once automatic sign-in is off, and
    // anyone who can read the folder could undo its fixed-key encryption.
    RemoveFile(PasswordFilePath(user));
  }
  const Text usersFile = LocalPath(kUsersFile);
  if (!SaveTextFile(usersFile, content, status) && status && !WorkingDirectoryWritable()) {
    status->SetText("error in saving file" + usersFile +
                    FromUtf8("（程序所在的目录不可写，无法保存用户信息）"));
  }
}

bool SavePassword(const Text& user, const Text& password, StatusWindow* status) {
  if (!IsPasswordFileUsable(user)) {
    Say(status, FromUtf8("这个用户名称不能用作文件名，无法保存自动登录所需的密码。"));
    return false;
  }
  const Text temp = LocalPath(kTempFile);
  const Text content = "<password>" + ScrambleText(password, "e") + "</password>";
  bool saved = false;
  if (!WriteOwnerOnly(temp, content)) {
    Say(status, "error in saving file" + temp);
  } else {
    saved = EncryptFile(temp, PasswordFilePath(user), kFilePassword, status);
  }
  RemoveFile(temp);
  return saved;
}

Text LoadSavedPassword(const Text& user, StatusWindow* status) {
  if (!IsPasswordFileUsable(user)) {
    Say(status, FromUtf8("这个用户名称不能用作文件名，无法读取保存的密码。"));
    return {};
  }
  const Text temp = LocalPath(kTempFile);
  // A leftover from an interrupted run must not pass for this user's
  // password.
  RemoveFile(temp);
  Text password;
  if (DecryptFile(PasswordFilePath(user), temp, kFilePassword, status)) {
    password = ScrambleText(ReadXmlValue(temp, "password", "", "", ""), "");
  }
  RemoveFile(temp);
  return password;
}

}  // namespace zorva
