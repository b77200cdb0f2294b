#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <vector>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace zorva {

// Latin capitals A-Z as small letters; every other character as it is, so
// Chinese text matches only as typed.
QString FoldLatinCase(QString text);

// Finding an entry in a long catalogue: a search field above the catalogue
// tree narrows the tree to the lesson-level items whose title holds the
// text, with their parents. The tree keeps its items (they are only hidden),
// so a selection made on the narrowed tree is the same item as on the full
// one and resolves and plays exactly alike. Closing the search brings back
// the whole tree with the expansion and selection it had when the search
// opened.
class CatalogueSearch : public QObject {
  Q_OBJECT

 public:
  // The field goes into the tree's parent; typing a character while the tree
  // has the focus opens it with that character.
  explicit CatalogueSearch(QTreeWidget* tree);
  ~CatalogueSearch() override;

  bool IsOpen() const { return m_open; }
  // Shows the field over the top of the tree (and the tree, when hidden),
  // remembers the tree's expansion and selection, gives the field the focus
  // and narrows to text.
  void Open(const QString& text = QString());
  // Narrows the tree to the matches of text; the empty text shows the whole
  // tree as it was when the search opened. Answers the number of matches.
  int Narrow(const QString& text);
  // Selects the first match in tree order and gives the tree the focus;
  // nullptr when nothing matches.
  QTreeWidgetItem* SelectFirstMatch();
  // Hides the field and restores the whole tree, its expansion and its
  // selection; the tree gets the focus.
  void Close();

  QLineEdit* Field() const { return m_field; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Node {
    QTreeWidgetItem* item = nullptr;
    bool lesson = false;  // a lesson-level item, the only kind that matches
    QString folded;       // lesson-level items: the title as matched
    bool wasExpanded = false;
    bool hidden = false;
    bool wantHidden = false;
    bool wantExpanded = false;
    std::vector<Node> children;
  };
  // Calls visit on every remembered row, each after its children, so rows
  // come in tree order among their level and a parent sees its children
  // done.
  template <typename Visit>
  static void VisitRows(std::vector<Node>& rows, const Visit& visit);
  void Remember();
  void SetHidden(Node& node, bool hidden);
  // Gives every row its wanted hidden and expanded state.
  void Apply();
  void Restore();

  QTreeWidget* m_tree;
  QLineEdit* m_field;
  bool m_open = false;
  QRect m_treeGeometry;
  QTreeWidgetItem* m_previousCurrent = nullptr;
  QList<QTreeWidgetItem*> m_previousSelection;
  std::vector<Node> m_subjects;  // the tree as it was when the search opened
};

}  // namespace zorva
