#pragma once

class QDialog;
class QWidget;

namespace zorva {

// Runs `dialog` until it ends, blocking `owner` alone, the way a dialog that
// is modal to one window behaves: the owner's own controls take no input and
// its close box does nothing, while the windows the owner owns (and every
// other window) stay usable. Qt's window modality cannot do this, since it
// blocks the owned windows with their owner. The dialog shows above the
// owner. Returns the dialog's result; a quit request ends the wait too.
int ExecModalToOwner(QDialog& dialog, QWidget& owner);

}  // namespace zorva
