#pragma once

#include "core/text.h"

class QWidget;

namespace zorva {

// Play on a catalogue entry that is a program of its own (any type other
// than "lesson"), with the entry's file_name. A missing program, or an older
// one the user agrees to replace, is handed to the updater; otherwise the
// program is started in the working directory with the signed-in user's
// name and password as parameters, and the client does not wait for it.
// A file_name that is not one plain file name is refused with a message.
// The message box and the question are owned by owner.
void PlayProgramItem(const Text& fileName, QWidget* owner);

}  // namespace zorva
