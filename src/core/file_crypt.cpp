#include "core/file_crypt.h"

#include <fcntl.h>
#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace zorva {

namespace {

// The source is read in blocks of this size; the key stream runs on across
// blocks, so the block size does not show in the result.
constexpr size_t kBlockSize = 1000;

void Say(StatusWindow* status, const Text& text) {
  if (status) status->SetText(text);
}

class ScopedFile {
 public:
  explicit ScopedFile(FILE* file) : m_file(file) {}
  ~ScopedFile() {
    if (m_file) std::fclose(m_file);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FILE* get() const { return m_file; }

 private:
  FILE* m_file;
};

// The destination is written to a file beside it (owner read and write
// only, as mkstemp creates it) and renamed over it only when every byte has
// been written, so a failed run leaves an existing destination as it was.
class PendingFile {
 public:
  explicit PendingFile(const Text& destination) : m_destination(destination.str()) {
    // A directory cannot be replaced by a file: refuse it here, where a
    // plain open of the destination would have failed too.
    struct stat info {};
    if (::stat(m_destination.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    m_tempPath = m_destination + ".XXXXXX";
    static_assert(sizeof(".XXXXXX") - 1 == kPendingNameSuffixLength);
    int fd = ::mkstemp(m_tempPath.data());
    if (fd < 0) {
      m_tempPath.clear();
      return;
    }
    m_file = ::fdopen(fd, "wb");
    if (!m_file) ::close(fd);
  }

  ~PendingFile() {
    if (m_file) std::fclose(m_file);
    if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
  }

  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool IsOpen() const { return m_file != nullptr; }

  bool Write(const uint8_t* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, m_file) == count;
  }

  // Flushes the bytes to disk and puts the file in the destination's place.
  bool Commit() {
    FILE* file = m_file;
    m_file = nullptr;
    bool ok = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(m_tempPath.c_str(), m_destination.c_str()) != 0) return false;
    m_tempPath.clear();
    return true;
  }

 private:
  std::string m_destination;
  std::string m_tempPath;
  FILE* m_file = nullptr;
};

// The RC4 key is the 16-byte MD5 digest of the password bytes.
void KeyFromPassword(const Text& password, arcfour_ctx* cipher) {
  md5_ctx hash;
  md5_init(&hash);
  md5_update(&hash, static_cast<size_t>(password.GetLength()),
             reinterpret_cast<const uint8_t*>(password.c_str()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&hash, sizeof digest, digest);
  arcfour_set_key(cipher, sizeof digest, digest);
  explicit_bzero(digest, sizeof digest);
  explicit_bzero(&hash, sizeof hash);
}

// What a run says when one of its steps fails.
struct FailureTexts {
  const char* read;
  const char* write;
};

// Runs the key stream over the whole source into the destination and puts
// the destination in place.
bool Transform(FILE* source, PendingFile& destination, arcfour_ctx* cipher,
               const FailureTexts& failures, StatusWindow* status) {
  std::array<uint8_t, kBlockSize> buffer;
  bool ok = true;
  while (ok && !std::feof(source)) {
    size_t count = std::fread(buffer.data(), 1, buffer.size(), source);
    if (std::ferror(source)) {
      Say(status, failures.read);
      ok = false;
      break;
    }
    arcfour_crypt(cipher, count, buffer.data(), buffer.data());
    if (!destination.Write(buffer.data(), count)) {
      Say(status, failures.write);
      ok = false;
    }
  }
  explicit_bzero(buffer.data(), buffer.size());
  explicit_bzero(cipher, sizeof *cipher);
  if (!ok) return false;
  if (!destination.Commit()) {
    Say(status, failures.write);
    return false;
  }
  return true;
}

}  // namespace

bool EncryptFile(const Text& source, const Text& destination, const Text& password,
                 StatusWindow* status) {
  Say(status, source);
  ScopedFile in(std::fopen(source.c_str(), "rb"));
  if (!in.get()) {
    Say(status, "Error opening source plaintext file!");
    return false;
  }
  PendingFile out(destination);
  if (!out.IsOpen()) {
    Say(status, "Error opening destination ciphertext file!");
    return false;
  }
  // The steps of the key set-up cannot fail here; their progress texts are
  // what callers and users know from every run.
  Say(status, "A cryptographic provider has been acquired. \n");
  Say(status, "A hash object has been created. \n");
  Say(status, "The password has been added to the hash. \n");
  arcfour_ctx cipher;
  KeyFromPassword(password, &cipher);
  Say(status, "An encryption key is derived from the password hash. \n");
  Say(status, "Memory has been allocated for the buffer. \n");
  return Transform(in.get(), out, &cipher,
                   {"Error reading plaintext!\n", "Error writing ciphertext."}, status);
}

bool DecryptFile(const Text& source, const Text& destination, const Text& password,
                 StatusWindow* status) {
  ScopedFile in(std::fopen(source.c_str(), "rb"));
  if (!in.get()) {
    Say(status, "Error opening ciphertext file!");
    return false;
  }
  PendingFile out(destination);
  if (!out.IsOpen()) {
    Say(status, "Error opening plaintext file!");
    return false;
  }
  arcfour_ctx cipher;
  KeyFromPassword(password, &cipher);
  return Transform(in.get(), out, &cipher,
                   {"Error reading ciphertext!", "Error writing plaintext!"}, status);
}

}  // namespace zorva
