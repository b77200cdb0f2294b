#include "updater/update_job.h"

#include <nettle/base16.h>
#include <nettle/eddsa.h>
#include <nettle/sha2.h>

#include <cctype>
#include <charconv>
#include <set>

#include "core/file_name.h"
#include "core/toolkit.h"
#include "core/xml_index.h"

namespace zorva {

namespace {

constexpr std::string_view kSignatureOpen = "<signature>";
constexpr std::string_view kSignatureClose = "</signature>";
constexpr size_t kSignatureHexLength = 2 * ED25519_SIGNATURE_SIZE;

bool IsLowerHex(std::string_view s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<uint64_t> ParseDecimal(const Text& text) {
  const std::string_view s = text.view();
  if (s.empty() || s.size() > 20) return {};
  for (char c : s) {
    if (c < '0' || c > '9') return {};
  }
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return {};
  return value;
}

// A path may sit in an element only when it cannot end the element or a tag
// early, or start a comment the lookup would remove.
bool FitsAttribute(const Text& value) {
  for (char c : value.view()) {
    if (c == '"' || c == '<' || c == '>' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool IsSafeServerPath(const Text& url) {
  if (url.GetLength() < 2 || url[0] != '/') return false;
  for (char c : url.view()) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7f || c == '"' || c == '<' || c == '>' || c == '\\') return false;
  }
  return true;
}

// The lookups go through an index, which answers exactly as GetXmlValue does
// without rescanning the job from its start for every value of every file.
Text Attribute(const XmlIndex& body, int order, const char* name) {
  return body.Value("file", "order", Text::Format("%d", order), name);
}

// The paths are element contents, not attributes: the lookup finds an
// attribute by its name anywhere in the tag, so a path holding "size" or
// "url" would be mistaken for that attribute; an element's content ends
// only at its closing tag, which a path cannot hold.
Text PathElement(const XmlIndex& body, int order, const char* tag) {
  return body.Value(tag, "order", Text::Format("%d", order), "");
}

JobReadResult Refuse(std::string message) { return {std::nullopt, std::move(message)}; }

// Reads the job the body describes, with the client's lookup rules. (A Text
// ends at a NUL byte, so the caller refuses bodies holding one.)
JobReadResult ParseJobBody(const Text& document) {
  const XmlIndex body(document);
  UpdateJob job;
  job.version = body.Value("version");
  // "version" would match "<version_file" too: the canonical form puts the
  // version first, so the first match is the right one.
  job.versionFile = body.Value("version_file");
  const Text restart = body.Value("restart");
  if (restart == "1") {
    job.restart = true;
  } else if (!(restart == "0")) {
    return Refuse("更新任务的格式不正确：缺少 restart 值（应为 0 或 1）。");
  }
  const std::optional<uint64_t> count = ParseDecimal(body.Value("count"));
  if (!count || *count < 1 || *count > static_cast<uint64_t>(kMaxJobFiles)) {
    return Refuse("更新任务的格式不正确：缺少文件数目 count，或数目不在 1 到 10000 之间。");
  }
  std::set<std::string> destinations;
  for (int order = 1; order <= static_cast<int>(*count); ++order) {
    const std::string which = "第 " + std::to_string(order) + " 个文件";
    JobFile file;
    file.local = PathElement(body, order, "local");
    file.url = PathElement(body, order, "url");
    const std::optional<uint64_t> size = ParseDecimal(Attribute(body, order, "size"));
    file.sha256 = Attribute(body, order, "sha256").str();
    const Text executable = Attribute(body, order, "executable");
    if (file.local.IsEmpty() && file.url.IsEmpty()) {
      return Refuse("更新任务的格式不正确：" + which + "不存在（文件数目为 " +
                    std::to_string(*count) + "）。");
    }
    if (!size || *size > kMaxJobFileSize) {
      return Refuse("更新任务的格式不正确：" + which + "的大小 size 无效。");
    }
    file.size = *size;
    if (file.sha256.size() != 64 || !IsLowerHex(file.sha256)) {
      return Refuse("更新任务的格式不正确：" + which + "的 sha256 不是 64 位十六进制数。");
    }
    if (executable == "1") {
      file.executable = true;
    } else if (!(executable == "0")) {
      return Refuse("更新任务的格式不正确：" + which + "的 executable 应为 0 或 1。");
    }
    if (!IsSafeServerPath(file.url)) {
      return Refuse("更新任务的格式不正确：" + which + "的服务器路径 url 无效。");
    }
    if (!IsSafeDestination(file.local)) {
      return Refuse("更新任务中的目标路径不安全（必须是工作目录内的相对路径）：" +
                    file.local.str());
    }
    job.files.push_back(std::move(file));
  }
  if (!PathElement(body, static_cast<int>(*count) + 1, "local").IsEmpty() ||
      !Attribute(body, static_cast<int>(*count) + 1, "size").IsEmpty()) {
    return Refuse("更新任务的格式不正确：列出的文件多于文件数目 count。");
  }
  // One destination per file, and none inside another's place: the second
  // would overwrite the first, or need a folder where a file goes.
  for (const JobFile& file : job.files) {
    const std::string& local = file.local.str();
    if (!destinations.insert(local).second) {
      return Refuse("更新任务中的目标路径重复：" + local);
    }
  }
  for (const std::string& local : destinations) {
    auto next = destinations.upper_bound(local);
    if (next != destinations.end() && next->compare(0, local.size() + 1, local + "/") == 0) {
      return Refuse("更新任务中的目标路径互相冲突：" + local + " 与 " + *next);
    }
  }
  if (TextToFloat(job.version) <= 0) {
    return Refuse("更新任务没有写明它安装的版本 version（应为大于 0 的数）。");
  }
  if (!destinations.count(job.versionFile.str())) {
    return Refuse("更新任务的版本文件 version_file（" + job.versionFile.str() +
                  "）不是它的文件之一。");
  }
  return {std::move(job), {}};
}

bool SameJob(const UpdateJob& a, const UpdateJob& b) {
  if (a.restart != b.restart || a.files.size() != b.files.size() || !(a.version == b.version) ||
      !(a.versionFile == b.versionFile)) {
    return false;
  }
  for (size_t i = 0; i < a.files.size(); ++i) {
    const JobFile& x = a.files[i];
    const JobFile& y = b.files[i];
    if (!(x.local == y.local) || !(x.url == y.url) || x.size != y.size || x.sha256 != y.sha256 ||
        x.executable != y.executable) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsSafeDestination(const Text& local) {
  const std::string_view path = local.view();
  // Control bytes are refused too: a destination is shown to the user and
  // written to the log.
  for (char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7f) return false;
  }
  return IsPlainRelativePath(path);
}

std::optional<std::string> ComposeJobBody(const UpdateJob& job) {
  if (job.files.empty() || job.files.size() > static_cast<size_t>(kMaxJobFiles)) return {};
  std::string body = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<zupdate_job>\r\n";
  if (!FitsAttribute(job.version) || !FitsAttribute(job.versionFile)) return {};
  body += std::string("<restart>") + (job.restart ? "1" : "0") + "</restart>\r\n";
  body += "<version>" + job.version.str() + "</version>\r\n";
  body += "<version_file>" + job.versionFile.str() + "</version_file>\r\n";
  body += "<count>" + std::to_string(job.files.size()) + "</count>\r\n";
  int order = 0;
  for (const JobFile& file : job.files) {
    if (!FitsAttribute(file.local) || !FitsAttribute(file.url)) return {};
    const std::string number = std::to_string(++order);
    body += "<file order=\"" + number + "\" size=\"" + std::to_string(file.size) + "\" sha256=\"" +
            file.sha256 + "\" executable=\"" + (file.executable ? "1" : "0") + "\"/>\r\n";
    body += "<local order=\"" + number + "\">" + file.local.str() + "</local>\r\n";
    body += "<url order=\"" + number + "\">" + file.url.str() + "</url>\r\n";
  }
  body += "</zupdate_job>\r\n";
  JobReadResult readBack = ParseJobBody(Text(body));
  if (!readBack.job || !SameJob(*readBack.job, job)) return {};
  return body;
}

std::string SignJobBody(std::string_view body, const PrivateKey& key) {
  PublicKey pub;
  ed25519_sha512_public_key(pub.data(), key.data());
  uint8_t signature[ED25519_SIGNATURE_SIZE];
  ed25519_sha512_sign(pub.data(), key.data(), body.size(),
                      reinterpret_cast<const uint8_t*>(body.data()), signature);
  return std::string(body) + std::string(kSignatureOpen) + ToHex(signature, sizeof signature) +
         std::string(kSignatureClose) + "\r\n";
}

std::optional<std::string_view> SignedPart(std::string_view file, std::string_view* signatureHex) {
  const size_t open = file.rfind(kSignatureOpen);
  if (open == std::string_view::npos) return {};
  std::string_view rest = file.substr(open + kSignatureOpen.size());
  const std::string_view hex = rest.substr(0, kSignatureHexLength);
  rest.remove_prefix(hex.size());
  if (rest.substr(0, kSignatureClose.size()) != kSignatureClose) return {};
  rest.remove_prefix(kSignatureClose.size());
  if (!(rest.empty() || rest == "\n" || rest == "\r\n")) return {};
  if (signatureHex) *signatureHex = hex;
  return file.substr(0, open);
}

JobReadResult ReadSignedJob(std::string_view file, const PublicKey& key) {
  std::string_view hex;
  const std::optional<std::string_view> signedPart = SignedPart(file, &hex);
  if (!signedPart) {
    return Refuse(file.find(kSignatureOpen) == std::string_view::npos
                      ? "更新任务没有签名。"
                      : "更新任务的签名行不完整或格式不正确。");
  }
  const std::optional<std::vector<uint8_t>> signature =
      hex.size() == kSignatureHexLength && IsLowerHex(hex) ? FromHex(hex) : std::nullopt;
  if (!signature || !ed25519_sha512_verify(key.data(), signedPart->size(),
                                           reinterpret_cast<const uint8_t*>(signedPart->data()),
                                           signature->data())) {
    return Refuse("更新任务的签名无效：它不是用本程序信任的密钥签署的，或者签署后被修改过。");
  }
  return ReadJobBody(*signedPart);
}

JobReadResult ReadJobBody(std::string_view body) {
  if (body.find('\0') != std::string_view::npos) {
    return Refuse("更新任务的格式不正确：含有 NUL 字节。");
  }
  JobReadResult read = ParseJobBody(Text(body));
  if (!read.job) return read;
  // Anything the writer would not have written (a name that merely contains
  // a tag or attribute name, a value in an unexpected place, other
  // whitespace) could be read differently by another reader.
  const std::optional<std::string> canonical = ComposeJobBody(*read.job);
  if (!canonical || *canonical != body) {
    return Refuse("更新任务的格式不正确：它与更新任务的标准写法不一致。");
  }
  return read;
}

Text VersionTag(const Text& versionFile) {
  return versionFile == "zorva.xml" ? Text("zorva") : Text("version");
}

std::string Sha256Hex(std::string_view bytes) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  return ToHex(digest, sizeof digest);
}

std::string ToHex(const uint8_t* bytes, size_t count) {
  std::string hex(BASE16_ENCODE_LENGTH(count), '\0');
  base16_encode_update(hex.data(), count, bytes);
  return hex;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return {};
  for (char c : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
  }
  std::vector<uint8_t> bytes(BASE16_DECODE_LENGTH(hex.size()));
  base16_decode_ctx ctx;
  base16_decode_init(&ctx);
  size_t length = bytes.size();
  if (!base16_decode_update(&ctx, &length, bytes.data(), hex.size(), hex.data()) ||
      !base16_decode_final(&ctx)) {
    return {};
  }
  bytes.resize(length);
  return bytes;
}

}  // namespace zorva
