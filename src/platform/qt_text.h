#pragma once

#include <QString>

#include "core/text.h"

namespace zorva {

// Where a widget shows or reads text: code page 936 <-> Qt strings.
// Characters code page 936 cannot hold become "?".
QString ToQString(const Text& text);
Text FromQString(const QString& s);

}  // namespace zorva
