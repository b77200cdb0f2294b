#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace zorva {

// An Ed25519 key pair's halves as raw bytes.
using PublicKey = std::array<uint8_t, 32>;
using PrivateKey = std::array<uint8_t, 32>;  // the seed the public key derives from

// One file of an update job.
struct JobFile {
  Text local;          // destination, relative to the working directory, "/"-separated
  Text url;            // path on the server, as the request sends it ("/dl/...")
  uint64_t size = 0;   // bytes
  std::string sha256;  // 64 lower-case hex digits
  bool executable = false;
};

// What the updater is asked to do: put every file in place and, when
// restart is set, start the client again afterwards. A job that restarts the
// client replaces the client's own files, so the updater waits for the
// client to end before it touches anything.
//
// A job installs one version: versionFile is the job's own file that holds
// it (the program's "zorva.xml", or an item's version file), version its
// number. The updater applies a job only over an older version, so a job
// signed long ago cannot take the working directory back.
struct UpdateJob {
  bool restart = false;
  std::vector<JobFile> files;
  Text version;
  Text versionFile;
};

// The element of a version file that holds its number: "zorva" in the
// program's "zorva.xml", "version" in an item's.
Text VersionTag(const Text& versionFile);

// The most files one job may list.
inline constexpr int kMaxJobFiles = 10000;
// The largest size one file may declare (4 GiB).
inline constexpr uint64_t kMaxJobFileSize = uint64_t{1} << 32;

// The outcome of reading a job: the job, or a message for the user (UTF-8)
// saying why it was refused.
struct JobReadResult {
  std::optional<UpdateJob> job;
  std::string error;
};

// The job file's bytes without the signature: the XML the updater reads.
// A job is written only when it reads back the same through the client's XML
// lookup; anything else (an angle bracket, a quote or a control character
// in a path, no files) gives nothing.
std::optional<std::string> ComposeJobBody(const UpdateJob& job);

// The whole job file: the body followed by its signature line.
std::string SignJobBody(std::string_view body, const PrivateKey& key);

// The signed part of a job file (everything before its signature line), or
// nothing when the file does not end in exactly one signature line.
std::optional<std::string_view> SignedPart(std::string_view file, std::string_view* signatureHex);

// Reads an unsigned job body with the client's lookup rules and the checks
// below, without any signature. A body is accepted only when it is byte for
// byte what ComposeJobBody writes for the values read, so that every job
// has one meaning whoever reads it.
JobReadResult ReadJobBody(std::string_view body);

// Checks the signature with key and reads the job. Refuses a missing or
// wrong signature, a file that does not read back as a job (values missing
// or malformed, files numbered with gaps, not in the written form), unsafe
// destinations, files listed twice and a version file the job does not
// deliver.
JobReadResult ReadSignedJob(std::string_view file, const PublicKey& key);

// Whether a destination may be written: a relative "/"-separated path with
// no empty, "." or ".." part, no backslash and no control character. Whether
// symbolic links on the way lead outside is a question for the file system,
// asked when the job is applied.
bool IsSafeDestination(const Text& local);

// The SHA-256 of bytes, as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

// Lower-case hex of bytes and back (nothing for anything but an even count
// of hex digits).
std::string ToHex(const uint8_t* bytes, size_t count);
std::optional<std::vector<uint8_t>> FromHex(std::string_view hex);

}  // namespace zorva
