// The catalogue search on a tree built as the lesson window builds its own:
// narrowing, the first match, restoring the whole tree.
#include "lessons/catalogue_search.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>

#include <string>
#include <vector>

#include "lessons_test_env.h"

namespace zorva {
namespace {

// subject. > list. > lessons, as the catalogue builder lays them out.
struct Subject {
  const char* title;
  std::vector<std::pair<const char*, std::vector<const char*>>> lists;
};

const std::vector<Subject> kCatalogue = {
    {"语文.", {{"拼音.", {"认识声母", "认识韵母"}}, {"识字.", {"基本笔画"}}}},
    {"English.", {{"Letters.", {"ABC song", "Small abc", "Big Words"}}, {"abc drills.", {}}}},
    {"数学.", {{"加减法.", {"十以内的加法", "十以内的减法"}}}},
};

class CatalogueSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::EnsureApplication(); }
  void SetUp() override {
    m_window.resize(400, 500);
    m_tree = new QTreeWidget(&m_window);
    m_tree->setHeaderHidden(true);
    m_tree->setGeometry(10, 40, 200, 400);
    for (const Subject& s : kCatalogue) {
      auto* subject = new QTreeWidgetItem(QStringList(QString::fromUtf8(s.title)));
      m_tree->addTopLevelItem(subject);
      for (const auto& [title, lessons] : s.lists) {
        auto* list = new QTreeWidgetItem(subject, QStringList(QString::fromUtf8(title)));
        for (const char* lesson : lessons)
          new QTreeWidgetItem(list, QStringList(QString::fromUtf8(lesson)));
      }
    }
    m_search = new CatalogueSearch(m_tree);
    m_window.show();
    m_tree->setFocus();
  }

  QTreeWidgetItem* Find(const char* text) const {
    auto found = m_tree->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  }

  // Every item not hidden, its own or by a parent, in tree order, with
  // lesson items only under expanded parents.
  std::vector<std::string> Shown() const {
    std::vector<std::string> shown;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
      bool visible = true;
      for (QTreeWidgetItem* up = *it; up; up = up->parent())
        visible = visible && !up->isHidden() && (up == *it || up->isExpanded());
      if (visible) shown.push_back((*it)->text(0).toStdString());
    }
    return shown;
  }

  QWidget m_window;
  QTreeWidget* m_tree = nullptr;
  CatalogueSearch* m_search = nullptr;
};

struct NarrowCase {
  const char* name;
  const char* typed;
  std::vector<std::string> shown;
};

class Narrowing : public CatalogueSearchTest, public ::testing::WithParamInterface<NarrowCase> {};

TEST_P(Narrowing, ShowsMatchingLessonsWithTheirParents) {
  m_search->Open(QString::fromUtf8(GetParam().typed));
  EXPECT_EQ(Shown(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Search, Narrowing,
    ::testing::Values(
        // Latin letters in either case; the list titled "abc drills." holds no
        // lesson and a subject or list title never matches by itself.
        NarrowCase{"LatinIgnoresCase", "aBc", {"English.", "Letters.", "ABC song", "Small abc"}},
        NarrowCase{"ChineseAsTyped", "减法", {"数学.", "加减法.", "十以内的减法"}},
        NarrowCase{"SeveralLessonsOfOneList", "认识", {"语文.", "拼音.", "认识声母", "认识韵母"}},
        NarrowCase{"ListTitleAloneDoesNotMatch", "drills", {}},
        NarrowCase{"FullStopOfUpperLevelsDoesNotMatch", ".", {}},
        NarrowCase{"NothingMatches", "xyz", {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CatalogueSearchTest, TypingInTheTreeOpensTheSearchWithThatText) {
  QTest::keyClicks(m_tree, "Wo");
  ASSERT_TRUE(m_search->IsOpen());
  EXPECT_TRUE(m_search->Field()->isVisible());
  EXPECT_EQ(m_search->Field()->text(), "Wo");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"English.", "Letters.", "Big Words"}));
  // The field stands above the tree, which moved down to make room.
  EXPECT_LE(m_search->Field()->geometry().bottom(), m_tree->geometry().top());
  EXPECT_EQ(m_search->Field()->geometry().top(), 40);
}

TEST_F(CatalogueSearchTest, EnterSelectsTheFirstMatchInTreeOrder) {
  m_search->Open("abc");
  QTest::keyClick(m_search->Field(), Qt::Key_Return);
  EXPECT_EQ(m_tree->currentItem(), Find("ABC song"));
  EXPECT_EQ(m_window.focusWidget(), m_tree);
}

TEST_F(CatalogueSearchTest, EscapeRestoresTheWholeTreeWithItsExpansionAndSelection) {
  Find("English.")->setExpanded(true);
  Find("Letters.")->setExpanded(true);
  Find("数学.")->setExpanded(true);  // its list stays collapsed
  m_tree->setCurrentItem(Find("Small abc"));
  const std::vector<std::string> before = Shown();

  m_search->Open("减法");
  EXPECT_EQ(m_tree->currentItem(), nullptr) << "a hidden selection is not kept";
  QTest::keyClick(m_search->Field(), Qt::Key_Return);
  EXPECT_EQ(m_tree->currentItem(), Find("十以内的减法"));
  QTest::keyClick(m_tree, Qt::Key_Escape);

  EXPECT_FALSE(m_search->IsOpen());
  EXPECT_FALSE(m_search->Field()->isVisible());
  EXPECT_EQ(m_tree->geometry(), QRect(10, 40, 200, 400));
  EXPECT_EQ(Shown(), before);
  EXPECT_FALSE(Find("加减法.")->isExpanded());
  EXPECT_EQ(m_tree->currentItem(), Find("Small abc"));
  EXPECT_EQ(m_tree->selectedItems(), QList<QTreeWidgetItem*>{Find("Small abc")});
}

TEST_F(CatalogueSearchTest, EmptyTextShowsTheWholeTreeWhileTheFieldStaysOpen) {
  m_search->Open("abc");
  m_search->Field()->clear();
  QTest::keyClick(m_search->Field(), Qt::Key_A);
  QTest::keyClick(m_search->Field(), Qt::Key_Backspace);
  EXPECT_TRUE(m_search->IsOpen());
  EXPECT_EQ(Shown(), (std::vector<std::string>{"语文.", "English.", "数学."}));
}

TEST_F(CatalogueSearchTest, SelectionOnTheNarrowedTreeIsTheSameItem) {
  QTreeWidgetItem* item = Find("十以内的加法");
  m_search->Open("加法");
  m_search->SelectFirstMatch();
  EXPECT_EQ(m_tree->currentItem(), item);
  EXPECT_EQ(m_tree->currentItem()->text(0), QString::fromUtf8("十以内的加法"));
}

}  // namespace
}  // namespace zorva
