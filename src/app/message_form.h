#pragma once

#include <QDialog>

namespace zorva {

// The loading message: a top-most pop-up centred on the screen that says
// the program is loading. It has nothing of its own beyond its template.
class message_form : public QDialog {
  Q_OBJECT

 public:
  explicit message_form(QWidget* parent = nullptr);
};

}  // namespace zorva
