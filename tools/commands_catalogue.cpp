// check-catalogue: the catalogue as the client shows it, and everything the
// client would hide or get wrong without saying so.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

#include "core/cp936.h"
#include "tools/catalogue_check.h"
#include "tools/command.h"
#include "tools/content_source.h"

namespace zorva::tool {

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
QString Q(const Text& text) { return QString::fromStdString(ToUtf8(text)); }

const char* SeverityName(Finding::Severity severity) {
  return severity == Finding::Severity::Error ? "error" : "warning";
}

void PrintItems(const std::vector<ShownItem>& items, const CheckReport& report, int depth) {
  for (const ShownItem& item : items) {
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    if (item.row >= 0) {
      const CatalogueEntry& entry = report.entries.Row(item.row);
      line += "row " + std::to_string(item.row) + "  " + ToUtf8(item.text) + "  [" +
              ToUtf8(entry.type) + " " +
              ToUtf8(entry.type == "lesson" ? entry.dir : entry.fileName);
      for (const CheckedLesson& lesson : report.lessons)
        if (lesson.row == item.row && lesson.pageListRead)
          line += ", " + std::to_string(lesson.pages.size()) +
                  (lesson.pages.size() == 1 ? " page" : " pages");
      line += "]";
    } else {
      line += ToUtf8(item.text);
    }
    std::printf("%s\n", line.c_str());
    PrintItems(item.children, report, depth + 1);
  }
}

void PrintText(const CheckReport& report) {
  std::printf("catalogue of %s\n", report.source.c_str());
  PrintItems(report.tree, report, 1);
  if (report.catalogueRead && !report.lessonsChecked)
    std::printf("lessons not checked: the lesson request needs --user and --password\n");
  for (const Finding& f : report.findings) {
    std::string where = f.file;
    if (f.line > 0) where += ":" + std::to_string(f.line);
    std::printf("%s: %s: %s\n", SeverityName(f.severity), where.c_str(), f.message.c_str());
  }
  const int errors = report.Count(Finding::Severity::Error);
  const int warnings = report.Count(Finding::Severity::Warning);
  std::printf("%d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s", warnings,
              warnings == 1 ? "" : "s");
}

QJsonArray ItemsJson(const std::vector<ShownItem>& items, const CheckReport& report) {
  QJsonArray out;
  for (const ShownItem& item : items) {
    QJsonObject o{{"text", Q(item.text)}, {"line", item.line}};
    if (item.row >= 0) {
      const CatalogueEntry& entry = report.entries.Row(item.row);
      o["row"] = item.row;
      o["dir"] = Q(entry.dir);
      o["type"] = Q(entry.type);
      o["file_name"] = Q(entry.fileName);
    } else {
      o["children"] = ItemsJson(item.children, report);
    }
    out.append(o);
  }
  return out;
}

void PrintJson(const CheckReport& report) {
  QJsonArray lessons;
  for (const CheckedLesson& lesson : report.lessons) {
    QJsonArray pages;
    for (const CheckedPage& page : lesson.pages)
      pages.append(
          QJsonObject{{"name", Q(page.name)}, {"delay_time", Q(page.delay)}, {"line", page.line}});
    QJsonObject o{{"row", lesson.row}, {"page_list_read", lesson.pageListRead}};
    if (lesson.pageListRead) o["pages"] = pages;
    lessons.append(o);
  }
  QJsonArray findings;
  for (const Finding& f : report.findings)
    findings.append(QJsonObject{{"severity", SeverityName(f.severity)},
                                {"file", Q(f.file)},
                                {"line", f.line},
                                {"message", Q(f.message)}});
  const QJsonObject root{{"source", Q(report.source)},
                         {"catalogue_read", report.catalogueRead},
                         {"tree", ItemsJson(report.tree, report)},
                         {"lessons_checked", report.lessonsChecked},
                         {"lessons", lessons},
                         {"findings", findings},
                         {"errors", report.Count(Finding::Severity::Error)},
                         {"warnings", report.Count(Finding::Severity::Warning)}};
  const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

int CheckCatalogueCommand(const std::vector<std::string>& args) {
  std::string base, user, password;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if ((a == "--user" || a == "--password") && i + 1 < args.size()) {
      (a == "--user" ? user : password) = args[++i];
    } else if (a.rfind("--", 0) == 0 || !base.empty()) {
      return UsageError("check-catalogue");
    } else {
      base = a;
    }
  }
  if (base.empty() || user.empty() != password.empty()) return UsageError("check-catalogue");

  const bool server = base.rfind("http://", 0) == 0;
  if (!server && base.find("://") != std::string::npos) {
    std::fprintf(stderr,
                 "zorva-tool: check-catalogue: %s: the client talks to http:// servers only\n",
                 base.c_str());
    return 2;
  }
  while (server && base.size() > 7 && base.back() == '/') base.pop_back();
  std::unique_ptr<ContentSource> source =
      server ? MakeServerSource(Text(base), Text(user), Text(password)) : MakeFolderSource(base);
  const CheckReport report = CheckCatalogue(*source);
  if (json)
    PrintJson(report);
  else
    PrintText(report);
  std::fflush(stdout);
  return report.Count(Finding::Severity::Error) > 0 ? 1 : 0;
}

}  // namespace

std::vector<Command> CatalogueCommands() {
  return {
      {"check-catalogue", "check-catalogue BASE [--user NAME --password PASSWORD] [--json]",
       "show the catalogue as the client does and what it hides",
       "Reads the catalogue from a server base address (http://...) or from a content\n"
       "folder laid out as zorva-server serves it, builds it with the client's own\n"
       "code and prints the tree as the client shows it, each lesson with its row in\n"
       "the entry table. Then it warns, with the line in the file, about everything the\n"
       "client hides or gets wrong without a word: elements after a gap in the order\n"
       "numbers, orders with leading zeros or signs, an empty title that ends a list,\n"
       "lessons that share a title (only the first plays from the tree), subjects and\n"
       "lists without a closing tag, catalogue elements inside comments.\n"
       "For each lesson it reads the page list (from a server through the lesson\n"
       "request, which needs --user and --password) and checks it: no pages, pages\n"
       "after more than ten missing orders, \".html\" names, movies that are missing,\n"
       "unreadable or malformed, ActionScript 3 movies, negative delays. Each program\n"
       "item needs a plain file name, a version file and an updater job file.\n"
       "--json prints the same as one JSON object. Exit code 0 without errors, 1 with.",
       CheckCatalogueCommand},
  };
}

}  // namespace zorva::tool
