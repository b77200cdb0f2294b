#pragma once

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// RC4 keyed with the MD5 digest of the password bytes, applied to a whole
// file; encryption and decryption are the same transformation. Each function
// writes its progress and failure texts into the status window and returns
// true only when the destination holds the result. The destination is
// written to a temporary file and renamed only on success, readable and
// writable by its owner only.
// The result is first written beside the destination, under its name plus
// this many bytes ("." and six random characters): callers that must keep
// every created name within the file system's limits count them too.
inline constexpr int kPendingNameSuffixLength = 7;

bool EncryptFile(const Text& source, const Text& destination, const Text& password,
                 StatusWindow* status);
bool DecryptFile(const Text& source, const Text& destination, const Text& password,
                 StatusWindow* status);

}  // namespace zorva
