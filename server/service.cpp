#include "server/service.h"

#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "core/cp936.h"
#include "core/text.h"
#include "server/accounts.h"
#include "server/registration_page.h"
#include "server/request_log.h"

namespace zorva::server {

namespace {

constexpr const char* kProbePath = "/testinternet.txt";
constexpr const char* kProbeBody = "your internet is ok!";
constexpr const char* kXml = "text/xml";
constexpr size_t kMaxSuggestionBytes = 2000;
constexpr size_t kFileChunk = 64 * 1024;

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return out;
}

void Reply(httplib::Response& res, int status, const std::string& body, const char* type) {
  res.status = status;
  res.set_content(body, type);
}

std::string Param(const httplib::Request& req, const char* key) {
  return req.has_param(key) ? req.get_param_value(key) : std::string();
}

bool IsDecimal(std::string_view text, size_t maxDigits) {
  return !text.empty() && text.size() <= maxDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// UTF-8 from a browser form to the code page 936 bytes the client sends;
// nothing when the text holds a character code page 936 lacks.
std::optional<std::string> FormToCp936(const std::string& utf8) {
  Text converted = FromUtf8(utf8);
  if (ToUtf8(converted) != utf8) return std::nullopt;
  return converted.str();
}

// A lesson's page list is the reply to the lesson request, which checks the
// user first; the file route does not hand it out. The file a request
// resolves to decides, links followed, whatever the spelling of the path.
bool IsPageList(const std::filesystem::path& resolved) {
  return resolved.filename() == "pages.xml";
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

Service::Service(Database& db, ContentFolder content, std::string prefix)
    : m_db(db), m_content(std::move(content)), m_prefix(NormalizePrefix(prefix)) {}

std::string Service::NormalizePrefix(std::string_view prefix) {
  std::string folded = FoldSlashes(prefix);
  while (folded.size() > 1 && folded.back() == '/') folded.pop_back();
  return folded == "/" ? std::string() : folded;
}

void Service::Attach(httplib::Server& server) {
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
  server.Get(".*", handler);
  server.Post(".*", handler);
  server.set_payload_max_length(64 * 1024);
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Reply(res, 500, "<error>internal error</error>", kXml);
      });
  server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    LogRequest(req.method, req.target.empty() ? req.path : req.target, res.status);
  });
}

void Service::Handle(const httplib::Request& req, httplib::Response& res) {
  if (req.target.size() > kMaxTargetBytes) {
    Reply(res, 414, "<error>request too long</error>", kXml);
    return;
  }
  if (req.path.find('\0') != std::string::npos) {
    Reply(res, 400, "<error>bad path</error>", kXml);
    return;
  }
  std::string path = FoldSlashes(req.path);
  if (!m_prefix.empty()) {
    if (path == m_prefix) {
      path = "/";
    } else if (path.compare(0, m_prefix.size() + 1, m_prefix + "/") == 0) {
      path = path.substr(m_prefix.size());
    }
  }
  const std::string lower = AsciiLower(path);

  if (req.method == "POST") {
    if (lower == "/reg.asp") {
      HandleRegistration(req, res);
    } else {
      Reply(res, 405, "<error>method not allowed</error>", kXml);
    }
    return;
  }
  if (path == kProbePath) {
    Reply(res, 200, kProbeBody, "text/plain");
  } else if (lower == "/handler.asp") {
    HandleHandlerPage(req, res);
  } else if (lower == "/reg.asp") {
    Reply(res, 200, RegistrationPage("", false, ""), "text/html; charset=utf-8");
  } else {
    HandleFile(path, res, false);
  }
}

void Service::HandleHandlerPage(const httplib::Request& req, httplib::Response& res) {
  const std::string action = Param(req, "action");
  if (action == "login") {
    HandleSignIn(req, res);
  } else if (action == "lesson") {
    HandleLesson(req, res);
  } else if (action == "save_suggest") {
    HandleSuggestion(req, res);
  } else {
    Reply(res, 400, "<error>unknown action</error>", kXml);
  }
}

void Service::HandleSignIn(const httplib::Request& req, httplib::Response& res) {
  const std::string user = Param(req, "user");
  const std::string password = Param(req, "password");
  if (user.empty() || password.empty()) {
    Reply(res, 400,
          "<user_login>error</user_login><message>user and password are required</message>", kXml);
    return;
  }
  auto record = CheckSignIn(m_db, user, password);
  if (!record) {
    Reply(res, 200, "<user_login>error</user_login>", kXml);
    return;
  }
  Reply(res, 200, "<user_login>ok</user_login><user_type>" + record->type + "</user_type>", kXml);
}

void Service::HandleLesson(const httplib::Request& req, httplib::Response& res) {
  const std::string user = Param(req, "user");
  const std::string password = Param(req, "password");
  const std::string lessonId = Param(req, "lesson_id");
  const std::string lessonDir = Param(req, "lesson_dir");
  if (user.empty() || password.empty() || lessonId.empty() || lessonDir.empty()) {
    Reply(res, 400,
          "<lesson>error</lesson><message>user, password, lesson_id and lesson_dir are "
          "required</message>",
          kXml);
    return;
  }
  if (!ContentFolder::IsPlainName(lessonId) || !ContentFolder::IsPlainName(lessonDir)) {
    Reply(res, 400, "<lesson>error</lesson><message>bad lesson name</message>", kXml);
    return;
  }
  if (!CheckSignIn(m_db, user, password)) {
    Reply(res, 403, "<lesson>error</lesson><message>wrong user or password</message>", kXml);
    return;
  }
  auto pages = m_content.Resolve("/lesson/" + lessonDir + "/" + lessonId + "/pages.xml");
  if (!pages) {
    Reply(res, 404, "<lesson>error</lesson><message>no such lesson</message>", kXml);
    return;
  }
  HandleFile("/lesson/" + lessonDir + "/" + lessonId + "/pages.xml", res, true);
}

void Service::HandleSuggestion(const httplib::Request& req, httplib::Response& res) {
  const std::string user = Param(req, "user");
  const std::string password = Param(req, "password");
  const std::string type = Param(req, "type");
  const std::string content = Param(req, "content");
  if (user.empty() || password.empty() || content.empty() || !IsDecimal(type, 3)) {
    Reply(res, 400,
          "<save_static>error</save_static><message>user, password, a numeric type and content "
          "are required</message>",
          kXml);
    return;
  }
  if (content.size() > kMaxSuggestionBytes) {
    Reply(res, 413, "<save_static>error</save_static><message>content too long</message>", kXml);
    return;
  }
  if (!CheckSignIn(m_db, user, password)) {
    Reply(res, 200, "<save_static>error</save_static>", kXml);
    return;
  }
  if (!m_db.AddSuggestion(user, type, content)) {
    Reply(res, 500, "<save_static>error</save_static><message>cannot store</message>", kXml);
    return;
  }
  Reply(res, 200, "<save_static>ok</save_static>", kXml);
}

void Service::HandleRegistration(const httplib::Request& req, httplib::Response& res) {
  const char* kHtml = "text/html; charset=utf-8";
  const std::string nameUtf8 = Trim(Param(req, "user"));
  const std::string password = Param(req, "password");
  const std::string again = Param(req, "password2");

  auto refuse = [&](int status, const char* message) {
    Reply(res, status, RegistrationPage(message, true, nameUtf8), kHtml);
  };
  if (nameUtf8.empty()) return refuse(400, "请填写用户名称。");
  if (password.empty()) return refuse(400, "请填写密码。");
  if (req.has_param("password2") && password != again) {
    return refuse(400, "两次输入的密码不一致，请重新输入。");
  }
  auto name = FormToCp936(nameUtf8);
  if (!name) return refuse(400, "用户名称中有无法使用的字符，请换一个名称。");

  // The client sends the password as code page 936 bytes; a character that
  // code page lacks reaches the server as "?" there as well.
  switch (RegisterUser(m_db, *name, FromUtf8(password).str(), "")) {
    case RegisterResult::Added:
      Reply(res, 200,
            RegistrationPage("注册成功！用户“" + nameUtf8 + "”现在可以在程序中登录了。", false, ""),
            kHtml);
      return;
    case RegisterResult::Taken:
      return refuse(409, "这个用户名称已经有人使用了，请换一个。");
    case RegisterResult::EmptyName:
      return refuse(400, "请填写用户名称。");
    case RegisterResult::EmptyPassword:
      return refuse(400, "请填写密码。");
    case RegisterResult::NameTooLong:
      return refuse(400, "用户名称太长了（最多16个汉字或32个字母）。");
    case RegisterResult::PasswordTooLong:
      return refuse(400, "密码太长了（最多64个字符）。");
    case RegisterResult::BadName:
      return refuse(400, "用户名称中有无法使用的字符，请换一个名称。");
    case RegisterResult::Failed:
      break;
  }
  refuse(500, "服务器暂时无法保存，请稍后再试。");
}

void Service::HandleFile(const std::string& path, httplib::Response& res, bool pageListAllowed) {
  auto file = m_content.Resolve(path);
  if (file && !pageListAllowed && IsPageList(*file)) file.reset();
  std::error_code ec;
  const auto size = file ? std::filesystem::file_size(*file, ec) : 0;
  auto stream = file && !ec ? std::make_shared<std::ifstream>(*file, std::ios::binary) : nullptr;
  if (!stream || !*stream) {
    Reply(res, 404, "not found", "text/plain");
    return;
  }
  res.status = 200;
  // A movie may load further files relative to its own address; the player
  // page that runs it has another origin, so movies allow every origin.
  const std::string type = ContentFolder::ContentType(*file);
  if (type == "application/x-shockwave-flash") res.set_header("Access-Control-Allow-Origin", "*");
  res.set_content_provider(static_cast<size_t>(size), type,
                           [stream](size_t offset, size_t length, httplib::DataSink& sink) {
                             std::vector<char> buffer(std::min(length, kFileChunk));
                             stream->seekg(static_cast<std::streamoff>(offset));
                             stream->read(buffer.data(),
                                          static_cast<std::streamsize>(buffer.size()));
                             std::streamsize got = stream->gcount();
                             if (got <= 0) return false;
                             return sink.write(buffer.data(), static_cast<size_t>(got));
                           });
}

}  // namespace zorva::server
