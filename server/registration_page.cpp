#include "server/registration_page.h"

namespace zorva::server {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string RegistrationPage(std::string_view messageUtf8, bool isError,
                             std::string_view nameUtf8) {
  std::string page = R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>注册新用户</title>
<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 28em; }
label { display: block; margin: 0.8em 0; }
input { display: block; width: 100%; padding: 0.3em; box-sizing: border-box; }
.error { color: #b00020; }
.ok { color: #006400; }
.hint { color: #555; font-size: 90%; }
</style>
</head>
<body>
<h1>注册新用户</h1>
)";
  if (!messageUtf8.empty()) {
    page += std::string("<p id=\"message\" class=\"") + (isError ? "error" : "ok") + "\">" +
            HtmlEscape(messageUtf8) + "</p>\n";
  }
  page += R"(<form method="post" action="reg.asp" accept-charset="utf-8">
<label>用户名称<input name="user" maxlength="16" autofocus value=")";
  page += HtmlEscape(nameUtf8);
  page += R"("></label>
<label>密码<input type="password" name="password" maxlength="64"></label>
<label>再次输入密码<input type="password" name="password2" maxlength="64"></label>
<button type="submit">注册</button>
</form>
<p class="hint">密码请使用字母和数字；登录时不区分大小写。</p>
</body>
</html>
)";
  return page;
}

}  // namespace zorva::server
