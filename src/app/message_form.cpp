#include "app/message_form.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/dialog_units.h"
#include "ui_message_form.h"

namespace zorva {

message_form::message_form(QWidget* parent) : QDialog(parent) {
  Ui::message_form ui;
  ui.setupUi(this);
  MapDialogUnits(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace zorva
