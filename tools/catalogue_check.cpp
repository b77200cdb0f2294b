#include "tools/catalogue_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "controls/swf_movie.h"
#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "lessons/catalogue.h"
#include "lessons/catalogue_rules.h"
#include "lessons/page_table.h"
#include "tools/content_source.h"

namespace zorva::tool {

namespace {

using Severity = Finding::Severity;

// Records the tree the client's catalogue builder makes.
class RecordingView : public CatalogueView {
 public:
  explicit RecordingView(std::vector<ShownItem>& roots) : m_roots(roots) {}
  void SetTitle(const Text&) override {}
  void DeleteAllTreeItems() override { m_roots.clear(); }
  void AddLevel1Item(const Text& text) override { m_roots.push_back({text, -1, 0, {}}); }
  void AddLevel2Item(const Text& text) override {
    if (!m_roots.empty()) m_roots.back().children.push_back({text, -1, 0, {}});
  }
  void AddLevel3Item(const Text& text, int row) override {
    if (m_roots.empty() || m_roots.back().children.empty()) return;
    m_roots.back().children.back().children.push_back({text, row, 0, {}});
  }

 private:
  std::vector<ShownItem>& m_roots;
};

std::string Utf8(const Text& text) { return ToUtf8(text); }
std::string Quoted(const Text& text) { return "\"" + Utf8(text) + "\""; }

// The scanner's view of what the client shows, with line numbers: each
// level's taken elements, and their children.
struct ScannedItem {
  int element;
  std::vector<ScannedItem> children;
};

std::vector<int> ChildrenOf(const ScannedDocument& doc, const char* tag, int parent) {
  std::vector<int> level;
  for (int i = 0; i < static_cast<int>(doc.elements.size()); ++i)
    if (doc.elements[i].tag == tag && doc.elements[i].parent == parent) level.push_back(i);
  return level;
}

std::vector<ScannedItem> AnalyseCatalogue(const ScannedDocument& doc, const std::string& file,
                                          std::vector<Finding>& findings) {
  static const char* const kTags[] = {"sort_list", "lesson_list", "lesson"};
  static const char* const kNouns[] = {"subject", "list", "lesson"};
  std::function<std::vector<ScannedItem>(int, int)> level = [&](int depth, int parent) {
    std::vector<ScannedItem> items;
    const LevelRule rule{"title", 0, kNouns[depth]};
    for (int index :
         AnalyseLevel(doc, ChildrenOf(doc, kTags[depth], parent), rule, file, findings)) {
      items.push_back({index, depth < 2 ? level(depth + 1, index) : std::vector<ScannedItem>{}});
    }
    return items;
  };
  return level(0, -1);
}

// Copies line numbers onto the client's tree where both agree on the text.
void AttachLines(std::vector<ShownItem>& shown, const std::vector<ScannedItem>& scanned,
                 const ScannedDocument& doc, int depth) {
  for (size_t i = 0; i < shown.size() && i < scanned.size(); ++i) {
    const ScannedElement& e = doc.elements[scanned[i].element];
    const Text expected = depth < 2 ? e.Attribute("title") + "." : e.Attribute("title");
    if (shown[i].text != expected) return;
    shown[i].line = e.line;
    AttachLines(shown[i].children, scanned[i].children, doc, depth + 1);
  }
}

void LinesOfRows(const std::vector<ShownItem>& items, std::map<int, int>& lines) {
  for (const ShownItem& item : items) {
    if (item.row >= 0) lines[item.row] = item.line;
    LinesOfRows(item.children, lines);
  }
}

class Checker {
 public:
  Checker(ContentSource& source, CheckReport& report) : m_source(source), m_report(report) {}

  void Run() {
    m_report.source = m_source.Describe();
    const Fetched catalogue = m_source.Catalogue();
    const std::string file = m_source.CatalogueFile();
    m_report.catalogueRead = catalogue.ok;
    if (!catalogue.ok) {
      Add(Severity::Error, file, 0,
          "no catalogue: " + catalogue.failure + "; the tree stays empty");
      return;
    }
    const Text text(catalogue.bytes);
    RecordingView view(m_report.tree);
    BuildCatalogue(text, view, m_report.entries);

    const ScannedDocument doc = ScanElements(text, {"sort_list", "lesson_list", "lesson"});
    for (const ScannedElement& e : doc.commented)
      Add(Severity::Warning, file, e.line,
          "<" + e.tag.str() + "> " + Quoted(e.Attribute("title")) +
              " stands inside a comment: the client never sees it");
    for (const ScannedElement& e : doc.elements)
      if (e.tag != "lesson" && !e.closed)
        Add(Severity::Warning, file, e.line,
            "<" + e.tag.str() + "> " + Quoted(e.Attribute("title")) +
                " has no closing tag: the client does not take the elements inside it as its own");
    const std::vector<ScannedItem> scanned = AnalyseCatalogue(doc, file, m_report.findings);
    AttachLines(m_report.tree, scanned, doc, 0);
    LinesOfRows(m_report.tree, m_rowLines);

    if (m_report.tree.empty())
      Add(Severity::Error, file, 0, "the catalogue shows no items: the tree stays empty");
    CheckDuplicateTitles(file);
    // The catalogue's own findings in the file's order, before the lessons'.
    std::stable_sort(m_report.findings.begin(), m_report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });

    m_report.lessonsChecked = m_source.CanReadPageLists();
    const EntryTable& entries = m_report.entries;
    for (int row = 0; row < entries.Count(); ++row) {
      if (entries.Row(row).type == "lesson") {
        if (m_report.lessonsChecked) CheckLesson(row);
      } else {
        CheckProgramItem(row);
      }
    }
  }

 private:
  void Add(Severity severity, std::string file, int line, std::string message) {
    m_report.findings.push_back({severity, std::move(file), line, std::move(message)});
  }

  std::string RowName(int row) const {
    return "row " + std::to_string(row) + " " + Quoted(m_report.entries.Row(row).title);
  }

  // The client plays each tree item by its own row, so a repeated title
  // plays the right entry; but two items alike in the tree may still leave
  // a user unsure which is which.
  void CheckDuplicateTitles(const std::string& file) {
    const EntryTable& entries = m_report.entries;
    for (int row = 0; row < entries.Count(); ++row) {
      const int first = entries.FindTitle(entries.Row(row).title);
      if (first == row) continue;
      Add(Severity::Warning, file, m_rowLines[row],
          RowName(row) + " has the title of row " + std::to_string(first) +
              ": each plays its own entry, but the tree shows two items alike");
    }
  }

  void CheckLesson(int row) {
    const CatalogueEntry& entry = m_report.entries.Row(row);
    CheckedLesson lesson;
    lesson.row = row;
    const std::string file = m_source.PageListFile(entry.dir);
    const Fetched reply = m_source.PageList(entry.dir);
    if (!reply.ok) {
      Add(Severity::Error, file, 0, RowName(row) + ": no page list: " + reply.failure);
      m_report.lessons.push_back(std::move(lesson));
      return;
    }
    lesson.pageListRead = true;
    const Text text(reply.bytes);
    // The pages exactly as the client reads them.
    const PageTable pages = ReadPageList(text);
    for (int i = 0; i < pages.Count(); ++i)
      lesson.pages.push_back({pages.Row(i).name, pages.Row(i).delay, 0});
    const ScannedDocument doc = ScanElements(text, {"file"});
    std::vector<Finding> found;
    const std::vector<int> taken =
        AnalyseLevel(doc, ChildrenOf(doc, "file", -1), {"name", kMaxPageGaps, "page"}, file, found);
    for (Finding& f : found) {
      f.message = RowName(row) + ": " + f.message;
      m_report.findings.push_back(std::move(f));
    }
    if (taken.size() == lesson.pages.size())
      for (size_t i = 0; i < taken.size(); ++i) lesson.pages[i].line = doc.elements[taken[i]].line;
    if (lesson.pages.empty())
      Add(Severity::Error, file, 0,
          RowName(row) + ": the page list holds no pages: the lesson ends at once");

    for (size_t i = 0; i < lesson.pages.size(); ++i)
      CheckPage(row, file, i, lesson.pages[i], taken, doc);
    m_report.lessons.push_back(std::move(lesson));
  }

  void CheckPage(int row, const std::string& file, size_t index, const CheckedPage& page,
                 const std::vector<int>& taken, const ScannedDocument& doc) {
    const CatalogueEntry& entry = m_report.entries.Row(row);
    const std::string what =
        RowName(row) + ": page " + std::to_string(index + 1) + " " + Quoted(page.name);
    if (index < taken.size()) {
      const Text written = doc.elements[taken[index]].Attribute("name");
      if (written.Find(".html") >= 0)
        Add(Severity::Warning, file, page.line,
            what + " is written " + Quoted(written) + ": the client plays it as the movie " +
                Quoted(page.name));
    }
    const bool advert = IsAdvertisementPage(page.name);
    if (!page.delay.IsEmpty() && TextToInt(page.delay) < 0) {
      if (advert)
        Add(Severity::Error, file, page.line,
            what +
                " is an advertisement page with a negative delay: neither the delay nor the page "
                "buttons ever move the lesson on");
      else
        Add(Severity::Warning, file, page.line,
            what +
                " has a negative delay: it stays until 下一页 or 上一页 is pressed; nothing else "
                "moves the lesson on");
    }

    const Fetched movie = m_source.Movie(entry.dir, page.name);
    if (!movie.ok) {
      Add(Severity::Error, file, page.line, what + ": movie " + movie.failure);
      return;
    }
    const std::optional<SwfMovie> swf = ReadSwfMovie(movie.bytes);
    if (!swf) {
      Add(Severity::Error, file, page.line, what + ": malformed movie: the player cannot read it");
      return;
    }
    if (swf->actionScript3)
      Add(Severity::Warning, file, page.line,
          what +
              " is an ActionScript 3 movie: it reports no frames to the player, so the page "
              "ends by its delay rule as if it were over");
  }

  void CheckProgramItem(int row) {
    const CatalogueEntry& entry = m_report.entries.Row(row);
    const std::string file = m_source.CatalogueFile();
    const int line = m_rowLines[row];
    const std::string what = RowName(row) + " (type " + Quoted(entry.type) + ")";
    const Text& x = entry.fileName;
    const std::optional<ProgramItemFiles> files = ProgramItemNames(x);
    if (!files) {
      Add(Severity::Error, file, line,
          what + ": file_name " + Quoted(x) +
              " is not a plain file name: the client will not start it");
      return;
    }
    if (files->baseName.IsEmpty()) {
      Add(Severity::Error, file, line,
          what + ": file_name " + Quoted(x) +
              " has no base name before its extension: its version file would be " +
              Quoted(files->versionFile));
      return;
    }
    const Fetched version = m_source.ItemVersion(files->versionFile);
    if (!version.ok)
      Add(Severity::Error, file, line,
          what + ": no version file " + Quoted(files->versionFile) + ": " + version.failure);
    else if (GetXmlValue(Text(version.bytes), "version", "", "", "").IsEmpty())
      Add(Severity::Error, file, line,
          what + ": the version file " + Quoted(files->versionFile) +
              " holds no <version> element");
    const Fetched job = m_source.ItemJob(files->jobFile);
    if (!job.ok)
      Add(Severity::Error, file, line,
          what + ": no updater job file " + Quoted("dl/" + files->jobFile) + ": " + job.failure);
  }

  ContentSource& m_source;
  CheckReport& m_report;
  std::map<int, int> m_rowLines;
};

}  // namespace

int CheckReport::Count(Finding::Severity severity) const {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                        [&](const Finding& f) { return f.severity == severity; }));
}

CheckReport CheckCatalogue(ContentSource& source) {
  CheckReport report;
  Checker(source, report).Run();
  return report;
}

}  // namespace zorva::tool
