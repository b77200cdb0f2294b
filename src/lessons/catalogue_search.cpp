#include "lessons/catalogue_search.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

#include <algorithm>
#include <functional>

namespace zorva {

QString FoldLatinCase(QString text) {
  for (QChar& c : text)
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  return text;
}

namespace {

// A key that types text into the tree's search rather than driving the tree:
// a printable character without Ctrl, Alt or Meta. A blank is the pause key
// and so never opens the search.
bool TypesText(const QKeyEvent* key) {
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = key->text();
  if (text.isEmpty() || text == u" ") return false;
  for (QChar c : text)
    if (!c.isPrint()) return false;
  return true;
}

}  // namespace

CatalogueSearch::CatalogueSearch(QTreeWidget* tree)
    : QObject(tree), m_tree(tree), m_field(new QLineEdit(tree->parentWidget())) {
  m_field->setObjectName("catalogueSearch");
  m_field->setClearButtonEnabled(true);
  m_field->hide();
  m_tree->installEventFilter(this);
  m_field->installEventFilter(this);
  connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) { Narrow(text); });
  connect(m_field, &QLineEdit::returnPressed, this, [this] { SelectFirstMatch(); });
}

CatalogueSearch::~CatalogueSearch() = default;

template <typename Visit>
void CatalogueSearch::VisitRows(std::vector<Node>& rows, const Visit& visit) {
  for (Node& row : rows) {
    VisitRows(row.children, visit);
    visit(row);
  }
}

void CatalogueSearch::Remember() {
  // Subjects, their lists and the lists' lessons: three levels.
  const std::function<Node(QTreeWidgetItem*, int)> remember = [&](QTreeWidgetItem* item,
                                                                  int level) {
    Node n;
    n.item = item;
    n.wasExpanded = item->isExpanded();
    n.hidden = item->isHidden();
    n.lesson = level == 2;
    if (n.lesson) n.folded = FoldLatinCase(item->text(0));
    for (int i = 0; level < 2 && i < item->childCount(); ++i)
      n.children.push_back(remember(item->child(i), level + 1));
    return n;
  };
  m_subjects.clear();
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
    m_subjects.push_back(remember(m_tree->topLevelItem(i), 0));
  m_previousCurrent = m_tree->currentItem();
  m_previousSelection = m_tree->selectedItems();
}

void CatalogueSearch::Open(const QString& text) {
  if (!m_open) {
    Remember();
    m_open = true;
    m_tree->setVisible(true);
    // The field takes the top of the tree's place; the tree moves down.
    m_treeGeometry = m_tree->geometry();
    const int height = m_field->sizeHint().height();
    m_field->setGeometry(m_treeGeometry.x(), m_treeGeometry.y(), m_treeGeometry.width(), height);
    m_tree->setGeometry(m_treeGeometry.adjusted(0, height, 0, 0));
    m_field->show();
    m_field->raise();
  }
  m_field->setText(text);
  m_field->setFocus(Qt::ShortcutFocusReason);
  Narrow(text);
}

void CatalogueSearch::SetHidden(Node& node, bool hidden) {
  if (node.hidden == hidden) return;
  node.hidden = hidden;
  node.item->setHidden(hidden);
}

int CatalogueSearch::Narrow(const QString& text) {
  if (!m_open) return 0;
  const QString needle = FoldLatinCase(text);
  // First what each row should be, then only the rows that change: a
  // keystroke that changes nothing costs no layout at all.
  int matches = 0;
  bool changes = false;
  VisitRows(m_subjects, [&](Node& node) {
    bool hidden = false;
    bool expanded = node.wasExpanded;
    if (node.lesson) {
      const bool match = needle.isEmpty() || node.folded.contains(needle);
      hidden = !match;
      matches += match ? 1 : 0;
    } else if (!needle.isEmpty()) {
      // A subject or list shows, opened, when something under it matches.
      const bool shown = std::any_of(node.children.begin(), node.children.end(),
                                     [](const Node& child) { return !child.wantHidden; });
      hidden = !shown;
      expanded = shown;
    }
    node.wantHidden = hidden;
    node.wantExpanded = expanded;
    changes |= node.hidden != hidden ||
               (node.item->childCount() > 0 && node.item->isExpanded() != expanded);
  });
  if (changes) Apply();
  // A selection the narrowing hides would be played unseen: let it go.
  if (QTreeWidgetItem* current = m_tree->currentItem()) {
    for (QTreeWidgetItem* up = current; up; up = up->parent()) {
      if (up->isHidden()) {
        m_tree->setCurrentItem(nullptr);
        m_tree->clearSelection();
        break;
      }
    }
  }
  return needle.isEmpty() ? 0 : matches;
}

void CatalogueSearch::Apply() {
  // Hiding or expanding thousands of rows one by one would lay the tree out
  // each time. Marking a row's hidden state (even unchanged) makes the tree
  // put its layout off until all are done.
  m_tree->setUpdatesEnabled(false);
  if (!m_subjects.empty()) m_subjects.front().item->setHidden(m_subjects.front().hidden);
  VisitRows(m_subjects, [this](Node& node) {
    SetHidden(node, node.wantHidden);
    if (node.item->childCount() > 0) node.item->setExpanded(node.wantExpanded);
  });
  m_tree->setUpdatesEnabled(true);
}

QTreeWidgetItem* CatalogueSearch::SelectFirstMatch() {
  if (!m_open || m_field->text().isEmpty()) return nullptr;
  QTreeWidgetItem* first = nullptr;
  VisitRows(m_subjects, [&first](Node& node) {
    if (!first && node.lesson && !node.hidden) first = node.item;
  });
  if (!first) return nullptr;
  m_tree->setCurrentItem(first);
  m_tree->scrollToItem(first);
  m_tree->setFocus(Qt::OtherFocusReason);
  return first;
}

void CatalogueSearch::Restore() {
  m_tree->setUpdatesEnabled(false);
  VisitRows(m_subjects, [this](Node& node) { SetHidden(node, false); });
  m_tree->setCurrentItem(m_previousCurrent);
  m_tree->clearSelection();
  for (QTreeWidgetItem* item : m_previousSelection) item->setSelected(true);
  // After the selection, whose change expands the caret item: the
  // expansion comes back exactly as it was.
  VisitRows(m_subjects, [](Node& node) { node.item->setExpanded(node.wasExpanded); });
  m_tree->setUpdatesEnabled(true);
}

void CatalogueSearch::Close() {
  if (!m_open) return;
  m_open = false;
  Restore();
  m_subjects.clear();
  m_field->clear();
  m_field->hide();
  m_tree->setGeometry(m_treeGeometry);
  m_tree->setFocus(Qt::OtherFocusReason);
}

bool CatalogueSearch::eventFilter(QObject* watched, QEvent* event) {
  // The field belongs to the tree: it goes when a lesson or the "应用列表"
  // button hides the tree, and comes back with it.
  if (watched == m_tree && (event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
    m_field->setVisible(m_open && event->type() == QEvent::Show);
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == m_field) {
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    if (key->key() == Qt::Key_Down) {
      m_tree->setFocus(Qt::OtherFocusReason);
      return true;
    }
    return false;
  }
  if (watched == m_tree) {
    if (key->key() == Qt::Key_Escape && m_open) {
      Close();
      return true;
    }
    if (TypesText(key)) {
      Open(m_open ? m_field->text() + key->text() : key->text());
      return true;
    }
  }
  return false;
}

}  // namespace zorva
