#include "updater/job_keys.h"

#include <nettle/eddsa.h>
#include <sys/random.h>

#include <cstring>
#include <fstream>

namespace zorva {

namespace {

template <typename Key>
std::optional<Key> KeyFromHex(std::string_view hex) {
  if (hex.size() != 2 * sizeof(Key)) return {};
  const std::optional<std::vector<uint8_t>> bytes = FromHex(hex);
  if (!bytes || bytes->size() != sizeof(Key)) return {};
  Key key;
  std::memcpy(key.data(), bytes->data(), key.size());
  return key;
}

}  // namespace

const std::optional<PublicKey>& BuiltInPublicKey() {
  // The build checks the key's form: an updater gets a key or none.
  static const std::optional<PublicKey> key = ParsePublicKey(ZORVA_UPDATE_PUBLIC_KEY);
  return key;
}

bool BuiltInKeyIsDemo() { return ZORVA_UPDATE_KEY_IS_DEMO != 0; }

std::string TrustedKeyDescription() {
  if (!BuiltInPublicKey()) return "update key: none built in (every update job is refused)";
  return std::string("update key: ") + ZORVA_UPDATE_PUBLIC_KEY +
         (BuiltInKeyIsDemo() ? " (demo key, not for real installations)" : "");
}

std::string NoKeyMessage() {
  return "这个版本的更新程序没有内置更新密钥，因此不接受任何更新任务。"
         "要内置密钥，请用 zorva-tool make-key 生成密钥，"
         "再以 cmake -DZORVA_UPDATE_PUBLIC_KEY=<公钥> 重新构建"
         "（仅供演示和测试：-DZORVA_DEMO_UPDATE_KEY=ON）。";
}

std::optional<PublicKey> ParsePublicKey(std::string_view hex) { return KeyFromHex<PublicKey>(hex); }

PublicKey PublicKeyOf(const PrivateKey& key) {
  PublicKey pub;
  ed25519_sha512_public_key(pub.data(), key.data());
  return pub;
}

std::optional<PrivateKey> ReadPrivateKeyFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read the key file " + path;
    return {};
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::optional<PrivateKey> key = KeyFromHex<PrivateKey>(line);
    if (!key && error) *error = "the key file " + path + " does not hold 64 hex digits";
    return key;
  }
  if (error) *error = "the key file " + path + " holds no key";
  return {};
}

std::optional<PrivateKey> GeneratePrivateKey() {
  PrivateKey key;
  size_t done = 0;
  while (done < key.size()) {
    const ssize_t n = getrandom(key.data() + done, key.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    done += static_cast<size_t>(n);
  }
  return key;
}

}  // namespace zorva
