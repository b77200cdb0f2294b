#pragma once

#include <vector>

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// Who signed in on this computer, kept in the working directory:
// "zorva_user.xml" lists the user names in the order of their first sign-in,
// the last user and whether that user signs in automatically; "<user>.dat"
// holds the scrambled password of a user who does, encrypted.

struct SavedUsersFile {
  std::vector<Text> names;  // in file order
  Text defaultUser;
  bool autoLogin = false;
};

// Reads the users file; a missing or foreign file gives an empty list.
SavedUsersFile LoadSavedUsers();
SavedUsersFile ParseSavedUsers(const Text& content);

// The users file after user signed in, given the names already listed.
// Each listed record ends in a line feed; a new user's record follows them
// without one; then the default user and, after a line feed, the auto-login
// flag. Names are written as typed, without escaping. The search for a known
// name is a plain byte search, so a name differing in letter case is new.
Text ComposeSavedUsers(const std::vector<Text>& listed, const Text& user, bool autoLogin);

// Whether "<user>.dat" is one plain file name in the working directory (the
// user name is a plain file name), and within the file system's name and path
// lengths, counting the transient name the encryption writes beside it.
// Any other name never becomes a path.
bool IsPasswordFileUsable(const Text& user);

// Saves the users file, and with autoLogin the password file too. Progress
// and failures go to status; the users file is written even when the
// password could not be saved.
void SaveUsers(const std::vector<Text>& listed, const Text& user, const Text& password,
               bool autoLogin, StatusWindow* status);

// Writes "<user>.dat": the scrambled password, encrypted through the
// transient "temp.tmp". Both files are readable by their owner only, and
// "temp.tmp" is gone afterwards whatever happened. Returns whether the file
// was written.
bool SavePassword(const Text& user, const Text& password, StatusWindow* status);

// The password saved for user, decrypted and decoded (the codec keeps only
// lower-case letters and digits, so it may differ from what was typed); the
// empty text when there is none or it cannot be read.
Text LoadSavedPassword(const Text& user, StatusWindow* status);

}  // namespace zorva
