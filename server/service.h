#pragma once

#include <string>

#include "server/content_folder.h"
#include "server/database.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace zorva::server {

// Longest request target (path and query) the service reads.
constexpr size_t kMaxTargetBytes = 8192;

// The stand-in service: the probe, the handler page (sign-in, lesson page
// lists, suggestions), the registration page and the files of the content
// folder, at the root and, with a prefix, also under the prefix.
class Service {
 public:
  Service(Database& db, ContentFolder content, std::string prefix);

  // Routes every request of the server here and logs each one on stderr.
  void Attach(httplib::Server& server);

  // "/xinxi50" from "xinxi50/", "/xinxi50", "//xinxi50"; "" for "" or "/".
  static std::string NormalizePrefix(std::string_view prefix);

 private:
  void Handle(const httplib::Request& req, httplib::Response& res);
  void HandleHandlerPage(const httplib::Request& req, httplib::Response& res);
  void HandleSignIn(const httplib::Request& req, httplib::Response& res);
  void HandleLesson(const httplib::Request& req, httplib::Response& res);
  void HandleSuggestion(const httplib::Request& req, httplib::Response& res);
  void HandleRegistration(const httplib::Request& req, httplib::Response& res);
  // The file at path in the content folder; a page list only when allowed.
  void HandleFile(const std::string& path, httplib::Response& res, bool pageListAllowed);

  Database& m_db;
  ContentFolder m_content;
  std::string m_prefix;
};

}  // namespace zorva::server
