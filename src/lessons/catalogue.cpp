#include "lessons/catalogue.h"

#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "core/xml_index.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/message_box.h"
#include "platform/program_values.h"

namespace zorva {

namespace {

// Answers the builder's questions to one document (the catalogue, one
// level 1 element's text or one level 2 element's text).
class Questions {
 public:
  Questions(const Text& document, CatalogueLookup lookup) : m_lookup(lookup) {
    if (lookup == CatalogueLookup::Indexed)
      m_index.emplace(document);
    else
      m_document = document;
  }

  // The result attribute of the tag's element with that order; the element
  // text when result is empty.
  Text Ask(const char* tag, int order, const char* result) const {
    const Text number = IntToText(order);
    if (m_lookup == CatalogueLookup::Indexed) return m_index->Value(tag, "order", number, result);
    return GetXmlValue(m_document, tag, "order", number, result);
  }

 private:
  CatalogueLookup m_lookup;
  std::optional<XmlIndex> m_index;
  Text m_document;
};

}  // namespace

void BuildCatalogue(const Text& catalogue, CatalogueView& view, EntryTable& entries,
                    CatalogueLookup lookup) {
  const Questions level1(catalogue, lookup);
  for (int i = 1;; ++i) {
    const Text sortTitle = level1.Ask("sort_list", i, "title");
    if (sortTitle.IsEmpty()) break;
    view.AddLevel1Item(sortTitle + ".");
    const Questions level2(level1.Ask("sort_list", i, ""), lookup);
    for (int j = 1;; ++j) {
      const Text listTitle = level2.Ask("lesson_list", j, "title");
      if (listTitle.IsEmpty()) break;
      view.AddLevel2Item(listTitle + ".");
      const Questions level3(level2.Ask("lesson_list", j, ""), lookup);
      for (int k = 1;; ++k) {
        CatalogueEntry entry;
        entry.title = level3.Ask("lesson", k, "title");
        entry.dir = level3.Ask("lesson", k, "dir");
        entry.type = level3.Ask("lesson", k, "type");
        entry.fileName = level3.Ask("lesson", k, "file_name");
        if (entry.title.IsEmpty()) break;
        view.AddLevel3Item(entry.title, entries.Count());
        entries.Append(std::move(entry));
      }
    }
  }
}

void LoadCatalogue(CatalogueView& view, EntryTable& entries, CatalogueLookup lookup) {
  view.SetTitle(FromUtf8("正在读取课程列表......"));
  view.DeleteAllTreeItems();
  entries.Clear();
  const Text catalogue = FetchText(requests::Catalogue(ServerBaseAddress()));
  BuildCatalogue(catalogue, view, entries, lookup);
  view.SetTitle(FromUtf8("主窗口"));
}

int ResolveSelectedItem(std::optional<int> selectedRow, const EntryTable& entries, QWidget* owner) {
  if (!selectedRow) {
    ShowMessage(
        FromUtf8("您没有选择课程或游戏等项目！请在列表中选择第三级别的项目.如果列表没有显示，"
                 "请点击“应用列表”按钮来显示列表"),
        owner);
    return -1;
  }
  const int row = *selectedRow >= 0 && *selectedRow < entries.Count() ? *selectedRow : -1;
  if (row < 0)
    ShowMessage(FromUtf8("您没有选择课程或游戏等项目！请在列表中选择第三级别的项目"), owner);
  return row;
}

}  // namespace zorva
