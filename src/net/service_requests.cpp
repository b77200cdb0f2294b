#include "net/service_requests.h"

#include <curl/curl.h>

#include <memory>

#include "core/codec.h"

namespace zorva::requests {

namespace {

// The scrambled password, made anew for every request.
Text Scrambled(const Text& password) { return Encode(ScrambleText(password, "e")); }

Text Credentials(const Text& user, const Text& password) {
  return "user=" + Encode(user) + "&password=" + Scrambled(password);
}

}  // namespace

Text Encode(const Text& value) {
  if (value.IsEmpty()) return {};
  std::unique_ptr<char, decltype(&curl_free)> escaped(
      curl_easy_escape(nullptr, value.c_str(), value.GetLength()), &curl_free);
  return escaped ? Text(escaped.get()) : Text();
}

Text EncodePath(const Text& path) {
  Text encoded;
  int start = 0;
  for (int slash = path.Find('/'); slash >= 0; slash = path.Find('/', start)) {
    encoded += Encode(path.Mid(start, slash - start)) + "/";
    start = slash + 1;
  }
  return encoded + Encode(path.Mid(start));
}

Text Probe(const Text& base) { return base + "/testinternet.txt"; }

Text SignIn(const Text& base, const Text& user, const Text& password) {
  return base + "/Handler.asp?" + Credentials(user, password) + "&action=login";
}

Text Registration(const Text& base) { return base + "/reg.asp"; }

Text ServerVersion(const Text& base) { return base + "/zorva.xml"; }

Text ItemVersion(const Text& base, const Text& versionFile) {
  return base + "/" + Encode(versionFile);
}

Text Catalogue(const Text& base) { return base + "//lesson//lesson_list.xml"; }

Text Lesson(const Text& base, const Text& user, const Text& password, const Text& dir) {
  return base + "/handler.asp?" + Credentials(user, password) +
         "&lesson_id=0010&lesson_dir=" + Encode(dir) + "&action=lesson";
}

Text LessonPage(const Text& base, const Text& dir, const Text& page) {
  return base + "/lesson/" + EncodePath(dir) + "/0010/" + EncodePath(page);
}

Text Suggestion(const Text& base, const Text& user, const Text& password, const Text& category,
                const Text& content) {
  return base + "/Handler.asp?" + Credentials(user, password) +
         "&action=save_suggest&type=" + Encode(category) + "&content=" + Encode(content);
}

Text Announcement(const Text& base) { return base + "/gonggao.htm"; }

Text JobPath(const Text& jobName) { return "/dl/" + Encode(jobName); }

}  // namespace zorva::requests
