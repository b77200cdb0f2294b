#pragma once

#include "core/text.h"

namespace zorva {

// Every request URL the client sends to the service, built from the server
// base address. Values put into a query or a path are percent-encoded as
// their code page 936 bytes (unreserved characters stay), and every password
// is scrambled anew for each request. Nothing else builds these URLs.
namespace requests {

Text Probe(const Text& base);  // "/testinternet.txt"
Text SignIn(const Text& base, const Text& user, const Text& password);
Text Registration(const Text& base);                   // "/reg.asp"
Text ServerVersion(const Text& base);                  // "/zorva.xml"
Text ItemVersion(const Text& base, const Text& versionFile);  // "/" + versionFile
Text Catalogue(const Text& base);                      // "//lesson//lesson_list.xml"
Text Lesson(const Text& base, const Text& user, const Text& password, const Text& dir);
Text LessonPage(const Text& base, const Text& dir, const Text& page);
Text Suggestion(const Text& base, const Text& user, const Text& password, const Text& category,
                const Text& content);
Text Announcement(const Text& base);  // "/gonggao.htm"

// Remote paths for DownloadFile (which joins base + "/" + path).
inline const char kProgramJobPath[] = "/dl/download.xml";
// "/dl/" + a job file name (a program item's is "download_" + base name + ".xml").
Text JobPath(const Text& jobName);

// Percent-encodes bytes for a query value or a path segment.
Text Encode(const Text& value);
// Percent-encodes each segment of a path; the "/" between them stays.
Text EncodePath(const Text& path);

}  // namespace requests
}  // namespace zorva
