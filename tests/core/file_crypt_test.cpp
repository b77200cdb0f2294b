#include "core/file_crypt.h"

#include <gtest/gtest.h>
#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace zorva {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSavedPassword = "qmvra.zk418";

class RecordingStatus : public StatusWindow {
 public:
  void SetText(const Text& text) override { texts.push_back(text.str()); }
  std::vector<std::string> texts;
};

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The oracle: the whole plain text in one pass of RC4 keyed with the MD5
// digest of the password, as nettle computes it.
std::string Rc4WithMd5Key(const std::string& password, const std::string& plain) {
  md5_ctx hash;
  md5_init(&hash);
  md5_update(&hash, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&hash, sizeof digest, digest);
  arcfour_ctx cipher;
  arcfour_set_key(&cipher, sizeof digest, digest);
  std::string out(plain.size(), '\0');
  arcfour_crypt(&cipher, plain.size(), reinterpret_cast<uint8_t*>(out.data()),
                reinterpret_cast<const uint8_t*>(plain.data()));
  return out;
}

class FileCrypt : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorva-crypt-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  Text Path(const char* name) const { return Text((m_dir / name).string()); }

  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
  }

  std::string Read(const char* name) const {
    std::ifstream in(m_dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Everything in the folder, so a left-behind temporary file shows.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path m_dir;
};

TEST_F(FileCrypt, KnownAnswer) {
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_ctx hash;
  md5_init(&hash);
  md5_update(&hash, 11, reinterpret_cast<const uint8_t*>(kSavedPassword));
  md5_digest(&hash, sizeof digest, digest);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), sizeof digest)),
            "b351fb3014d15a25ba9892f84b6ebc46");

  Write("plain", "<password>012345</password>");
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), kSavedPassword, nullptr));
  EXPECT_EQ(Hex(Read("cipher")), "f648e83e5414caeea24564c0138aa0bff1459652a7b060a0d3211b");
  ASSERT_TRUE(DecryptFile(Path("cipher"), Path("back"), kSavedPassword, nullptr));
  EXPECT_EQ(Read("back"), "<password>012345</password>");
}

class RoundTrip : public FileCrypt, public ::testing::WithParamInterface<size_t> {};

TEST_P(RoundTrip, KeyStreamRunsAcrossBlocks) {
  std::string plain(GetParam(), '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 7 + i / 256);
  Write("plain", plain);

  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), "pw", nullptr));
  const std::string cipher = Read("cipher");
  EXPECT_EQ(cipher.size(), plain.size());
  EXPECT_EQ(cipher, Rc4WithMd5Key("pw", plain));

  ASSERT_TRUE(EncryptFile(Path("plain"), Path("again"), "pw", nullptr));
  EXPECT_EQ(Read("again"), cipher) << "no salt: the same input gives the same file";

  ASSERT_TRUE(DecryptFile(Path("cipher"), Path("back"), "pw", nullptr));
  EXPECT_EQ(Read("back"), plain);
  EXPECT_EQ(Read("plain"), plain) << "the source stays as it was";
}

INSTANTIATE_TEST_SUITE_P(FileCrypt, RoundTrip, ::testing::Values(0, 1, 999, 1000, 1001, 2500, 3000),
                         [](const auto& row) { return "Bytes" + std::to_string(row.param); });

TEST_F(FileCrypt, EmptyPasswordHashesNoBytes) {
  Write("plain", "abc");
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), "", nullptr));
  EXPECT_EQ(Read("cipher"), Rc4WithMd5Key("", "abc"));
}

TEST_F(FileCrypt, WrongPasswordGoesUnnoticed) {
  const std::string plain = "<password>012345</password>";
  Write("plain", plain);
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), kSavedPassword, nullptr));
  RecordingStatus status;
  EXPECT_TRUE(DecryptFile(Path("cipher"), Path("back"), "another", &status));
  EXPECT_EQ(Read("back").size(), plain.size());
  EXPECT_NE(Read("back"), plain);
  EXPECT_TRUE(status.texts.empty());
}

TEST_F(FileCrypt, EncryptReportsEveryStepInOrder) {
  Write("plain", "x");
  RecordingStatus status;
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), kSavedPassword, &status));
  EXPECT_EQ(status.texts, (std::vector<std::string>{
                              Path("plain").str(),
                              "A cryptographic provider has been acquired. \n",
                              "A hash object has been created. \n",
                              "The password has been added to the hash. \n",
                              "An encryption key is derived from the password hash. \n",
                              "Memory has been allocated for the buffer. \n",
                          }));
}

struct FailureCase {
  const char* name;
  bool encrypt;
  const char* source;              // name in the test folder; "plain" exists
  const char* destination;         // name in the test folder
  std::vector<std::string> texts;  // "<source>" stands for the source path
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << (c.encrypt ? "encrypt " : "decrypt ") << c.source << " -> " << c.destination;
}

class Failure : public FileCrypt, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, ReportsAndLeavesTheDestinationAlone) {
  const FailureCase& c = GetParam();
  Write("plain", "secret");
  Write("kept", "an older saved file");
  fs::create_directory(m_dir / "folder");
  const std::vector<std::string> before = Names();

  RecordingStatus status;
  bool ok = c.encrypt ? EncryptFile(Path(c.source), Path(c.destination), "pw", &status)
                      : DecryptFile(Path(c.source), Path(c.destination), "pw", &status);
  EXPECT_FALSE(ok);
  std::vector<std::string> expected = c.texts;
  for (std::string& t : expected) {
    if (t == "<source>") t = Path(c.source).str();
  }
  EXPECT_EQ(status.texts, expected);
  EXPECT_EQ(Read("kept"), "an older saved file");
  EXPECT_EQ(Names(), before) << "no file created, none left behind";
}

const char* const kEncryptSteps[] = {
    "A cryptographic provider has been acquired. \n",
    "A hash object has been created. \n",
    "The password has been added to the hash. \n",
    "An encryption key is derived from the password hash. \n",
    "Memory has been allocated for the buffer. \n",
};

std::vector<std::string> EncryptStepsThen(const char* failure) {
  std::vector<std::string> texts = {"<source>"};
  texts.insert(texts.end(), std::begin(kEncryptSteps), std::end(kEncryptSteps));
  texts.push_back(failure);
  return texts;
}

INSTANTIATE_TEST_SUITE_P(
    FileCrypt, Failure,
    ::testing::Values(
        FailureCase{"EncryptMissingSource",
                    true,
                    "missing",
                    "kept",
                    {"<source>", "Error opening source plaintext file!"}},
        FailureCase{
            "DecryptMissingSource", false, "missing", "kept", {"Error opening ciphertext file!"}},
        FailureCase{"EncryptIntoMissingFolder",
                    true,
                    "plain",
                    "nowhere/kept",
                    {"<source>", "Error opening destination ciphertext file!"}},
        FailureCase{"DecryptIntoMissingFolder",
                    false,
                    "plain",
                    "nowhere/kept",
                    {"Error opening plaintext file!"}},
        FailureCase{"EncryptOverAFolder",
                    true,
                    "plain",
                    "folder",
                    {"<source>", "Error opening destination ciphertext file!"}},
        FailureCase{
            "DecryptOverAFolder", false, "plain", "folder", {"Error opening plaintext file!"}},
        // A folder opens as a file but cannot be read: the run fails after
        // the destination was opened, and the older file must survive.
        FailureCase{"EncryptUnreadableSource", true, "folder", "kept",
                    EncryptStepsThen("Error reading plaintext!\n")},
        FailureCase{
            "DecryptUnreadableSource", false, "folder", "kept", {"Error reading ciphertext!"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(FileCrypt, DestinationIsReadableByItsOwnerOnly) {
  Write("plain", "secret");
  Write("cipher", "older");
  fs::permissions(m_dir / "cipher", fs::perms(0644));
  const mode_t oldMask = ::umask(0);
  const bool encrypted = EncryptFile(Path("plain"), Path("cipher"), "pw", nullptr);
  const bool decrypted = DecryptFile(Path("cipher"), Path("back"), "pw", nullptr);
  ::umask(oldMask);
  ASSERT_TRUE(encrypted);
  ASSERT_TRUE(decrypted);
  for (const char* name : {"cipher", "back"}) {
    struct stat info {};
    ASSERT_EQ(::stat((m_dir / name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"back", "cipher", "plain"}));
}

TEST_F(FileCrypt, ReplacesAnExistingDestinationAndWorksInPlace) {
  Write("plain", "new content");
  Write("cipher", "a much longer older content that must not survive");
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("cipher"), "pw", nullptr));
  EXPECT_EQ(Read("cipher"), Rc4WithMd5Key("pw", "new content"));

  ASSERT_TRUE(DecryptFile(Path("cipher"), Path("cipher"), "pw", nullptr));
  EXPECT_EQ(Read("cipher"), "new content");
}

}  // namespace
}  // namespace zorva
