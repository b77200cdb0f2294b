#include "platform/qt_text.h"

#include "core/cp936.h"

namespace zorva {

QString ToQString(const Text& text) { return QString::fromStdString(ToUtf8(text)); }

Text FromQString(const QString& s) { return FromUtf8(s.toStdString()); }

}  // namespace zorva
