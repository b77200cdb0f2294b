#include "lessons/catalogue_search.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

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

void CatalogueSearch::Remember() {
  m_subjects.clear();
  auto node = [](QTreeWidgetItem* item) {
    Node n;
    n.item = item;
    n.wasExpanded = item->isExpanded();
    n.hidden = item->isHidden();
    return n;
  };
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    Node subject = node(m_tree->topLevelItem(i));
    for (int j = 0; j < subject.item->childCount(); ++j) {
      Node list = node(subject.item->child(j));
      for (int k = 0; k < list.item->childCount(); ++k) {
        Node lesson = node(list.item->child(k));
        lesson.folded = FoldLatinCase(lesson.item->text(0));
        list.children.push_back(std::move(lesson));
      }
      subject.children.push_back(std::move(list));
    }
    m_subjects.push_back(std::move(subject));
  }
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
  auto want = [&changes](Node& node, bool hidden, bool expanded) {
    node.wantHidden = hidden;
    node.wantExpanded = expanded;
    changes |= node.hidden != hidden ||
               (node.item->childCount() > 0 && node.item->isExpanded() != expanded);
  };
  for (Node& subject : m_subjects) {
    bool subjectShown = false;
    for (Node& list : subject.children) {
      bool listShown = false;
      for (Node& lesson : list.children) {
        const bool match = needle.isEmpty() || lesson.folded.contains(needle);
        want(lesson, !match, lesson.wasExpanded);
        listShown |= match;
        matches += match ? 1 : 0;
      }
      if (needle.isEmpty())
        want(list, false, list.wasExpanded);
      else
        want(list, !listShown, listShown);
      subjectShown |= listShown;
    }
    if (needle.isEmpty())
      want(subject, false, subject.wasExpanded);
    else
      want(subject, !subjectShown, subjectShown);
  }
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
  auto apply = [this](Node& node) {
    SetHidden(node, node.wantHidden);
    if (node.item->childCount() > 0) node.item->setExpanded(node.wantExpanded);
  };
  for (Node& subject : m_subjects) {
    apply(subject);
    for (Node& list : subject.children) {
      apply(list);
      for (Node& lesson : list.children) apply(lesson);
    }
  }
  m_tree->setUpdatesEnabled(true);
}

QTreeWidgetItem* CatalogueSearch::SelectFirstMatch() {
  if (!m_open || m_field->text().isEmpty()) return nullptr;
  for (Node& subject : m_subjects)
    for (Node& list : subject.children)
      for (Node& lesson : list.children) {
        if (lesson.hidden) continue;
        m_tree->setCurrentItem(lesson.item);
        m_tree->scrollToItem(lesson.item);
        m_tree->setFocus(Qt::OtherFocusReason);
        return lesson.item;
      }
  return nullptr;
}

void CatalogueSearch::Restore() {
  m_tree->setUpdatesEnabled(false);
  for (Node& subject : m_subjects) {
    SetHidden(subject, false);
    for (Node& list : subject.children) {
      SetHidden(list, false);
      for (Node& lesson : list.children) SetHidden(lesson, false);
    }
  }
  m_tree->setCurrentItem(m_previousCurrent);
  m_tree->clearSelection();
  for (QTreeWidgetItem* item : m_previousSelection) item->setSelected(true);
  // After the selection, whose change expands the caret item: the
  // expansion comes back exactly as it was.
  for (Node& subject : m_subjects) {
    subject.item->setExpanded(subject.wasExpanded);
    for (Node& list : subject.children) {
      list.item->setExpanded(list.wasExpanded);
      for (Node& lesson : list.children) lesson.item->setExpanded(lesson.wasExpanded);
    }
  }
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
