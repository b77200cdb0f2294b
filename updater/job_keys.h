#pragma once

#include <optional>
#include <string>

#include "updater/update_job.h"

namespace zorva {

// The key the updater trusts, built in from the build's
// ZORVA_UPDATE_PUBLIC_KEY or ZORVA_DEMO_UPDATE_KEY; nothing when the build
// was given neither.
const std::optional<PublicKey>& BuiltInPublicKey();

// Whether the built-in key is the demo key, whose private half is published.
bool BuiltInKeyIsDemo();

// One line naming the key this build trusts, for --version and the log.
std::string TrustedKeyDescription();

// Why a build without a key refuses a job, and how to build one in (UTF-8).
std::string NoKeyMessage();

// A public key from its 64 hex digits; nothing for anything else.
std::optional<PublicKey> ParsePublicKey(std::string_view hex);

// The public half of a private key.
PublicKey PublicKeyOf(const PrivateKey& key);

// Reads a private key file: lines starting with "#" and blank lines are
// skipped; the first other line holds the 64 hex digits of the key. Nothing
// (and a message in error) when the file cannot be read or holds no key.
std::optional<PrivateKey> ReadPrivateKeyFile(const std::string& path, std::string* error);

// A fresh private key from the system's random source; nothing when that
// source fails.
std::optional<PrivateKey> GeneratePrivateKey();

}  // namespace zorva
