#include "platform/owner_modal.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace zorva {

namespace {

// Disables the owner's own controls (its menu bar, tool bars and client area)
// but not the windows it owns, which disabling the owner itself would
// disable with it; and refuses to let the owner close while it is blocked.
class OwnerBlock : public QObject {
 public:
  explicit OwnerBlock(QWidget& owner) : m_owner(&owner) {
    for (QWidget* part : owner.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (part->isWindow() || !part->isEnabled()) continue;
      part->setEnabled(false);
      m_disabled.emplace_back(part);
    }
    owner.installEventFilter(this);
  }
  ~OwnerBlock() override {
    for (const QPointer<QWidget>& part : m_disabled)
      if (part) part->setEnabled(true);
    if (m_owner) m_owner->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_owner && event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    return false;
  }

 private:
  QPointer<QWidget> m_owner;
  std::vector<QPointer<QWidget>> m_disabled;
};

}  // namespace

int ExecModalToOwner(QDialog& dialog, QWidget& owner) {
  OwnerBlock block(owner);
  dialog.setWindowModality(Qt::NonModal);
  // Kept above the owner by the window manager, as an owned dialog is.
  dialog.winId();
  if (QWindow* window = dialog.windowHandle()) window->setTransientParent(owner.windowHandle());

  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  if (dialog.isVisible()) loop.exec(QEventLoop::DialogExec);
  return dialog.result();
}

}  // namespace zorva
