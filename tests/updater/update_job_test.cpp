// The job file: what the tool writes reads back, and the reader refuses
// every file that is not exactly a job signed with the trusted key.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>

#include "core/xml.h"
#include "updater/job_keys.h"
#include "updater/update_job.h"

namespace zorva {
namespace {

const PrivateKey kKey = [] {
  PrivateKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
  return key;
}();
const PrivateKey kOtherKey = [] {
  PrivateKey key = kKey;
  key[0] ^= 1;
  return key;
}();

const std::string kHash(64, 'a');

UpdateJob SampleJob() {
  UpdateJob job;
  job.restart = true;
  job.files.push_back(
      {"zorva.xml", "/dl/2.1/zorva.xml", 18, Sha256Hex("<zorva>2.1</zorva>"), false});
  // Names the lookup could mistake for attribute names or values.
  job.files.push_back(
      {"help/size url local order.htm", "/dl/2.1/help/size%20url.htm", 0, kHash, false});
  job.files.push_back({"games/shuzi.exe", "/dl/shuzi.exe", 1234567, kHash, true});
  job.version = "2.1";
  job.versionFile = "zorva.xml";
  return job;
}

std::string SignedSample() { return SignJobBody(ComposeJobBody(SampleJob()).value(), kKey); }

// A body written by hand around one file line, for what the tool never writes.
std::string HandBody(const std::string& local, const std::string& size = "3",
                     const std::string& count = "1", const std::string& extra = "") {
  return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<zupdate_job>\r\n<restart>0</restart>\r\n"
         "<version>1.0</version>\r\n<version_file>" +
         local + "</version_file>\r\n<count>" + count + "</count>\r\n<file order=\"1\" size=\"" +
         size + "\" sha256=\"" + kHash + "\" executable=\"0\"/>\r\n<local order=\"1\">" + local +
         "</local>\r\n<url order=\"1\">/dl/x</url>\r\n" + extra + "</zupdate_job>\r\n";
}

TEST(UpdateJob, WhatTheToolWritesReadsBackWithTheTrustedKey) {
  const JobReadResult read = ReadSignedJob(SignedSample(), PublicKeyOf(kKey));
  ASSERT_TRUE(read.job) << read.error;
  const UpdateJob expected = SampleJob();
  EXPECT_TRUE(read.job->restart);
  EXPECT_EQ(read.job->version, Text("2.1"));
  EXPECT_EQ(read.job->versionFile, Text("zorva.xml"));
  ASSERT_EQ(read.job->files.size(), expected.files.size());
  for (size_t i = 0; i < expected.files.size(); ++i) {
    const JobFile& got = read.job->files[i];
    const JobFile& want = expected.files[i];
    EXPECT_EQ(got.local, want.local);
    EXPECT_EQ(got.url, want.url);
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.sha256, want.sha256);
    EXPECT_EQ(got.executable, want.executable);
  }
}

TEST(UpdateJob, TheClientsLookupSeesTheSameValues) {
  // Support inspects jobs with zorva-tool xml-value, which is this lookup.
  const Text file(SignedSample());
  EXPECT_EQ(GetXmlValue(file, "restart", "", "", ""), "1");
  EXPECT_EQ(GetXmlValue(file, "local", "order", "2", ""), "help/size url local order.htm");
  EXPECT_EQ(GetXmlValue(file, "file", "order", "3", "size"), "1234567");
  EXPECT_EQ(GetXmlValue(file, "file", "order", "3", "executable"), "1");
  EXPECT_EQ(GetXmlValue(file, "signature", "", "", "").GetLength(), 128);
}

TEST(UpdateJob, SigningAgainGivesTheSameFile) {
  const std::string file = SignedSample();
  EXPECT_EQ(SignJobBody(SignedPart(file, nullptr).value(), kKey), file);
}

struct BadFile {
  const char* name;
  std::string file;
  const char* errorPart;  // a piece of the message the user sees
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

class RefusedJob : public ::testing::TestWithParam<BadFile> {};

TEST_P(RefusedJob, IsRefusedWithAReason) {
  const JobReadResult read = ReadSignedJob(GetParam().file, PublicKeyOf(kKey));
  EXPECT_FALSE(read.job);
  EXPECT_NE(read.error.find(GetParam().errorPart), std::string::npos) << read.error;
}

std::vector<BadFile> BadFiles() {
  const std::string good = SignedSample();
  const std::string body(SignedPart(good, nullptr).value());
  std::string flipped = good;
  flipped[body.find("1234567")] = '2';
  std::string upperHex = good;
  for (size_t i = body.size() + 11; i < body.size() + 11 + 128; ++i) {
    upperHex[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upperHex[i])));
  }
  auto signedBody = [](const std::string& b) { return SignJobBody(b, kKey); };
  // The sample body with one piece replaced: what a reader matching names
  // by substring would read differently from what it seems to say.
  auto edited = [&](const std::string& from, const std::string& to) {
    std::string b = body;
    const size_t at = b.find(from);
    return at == std::string::npos ? std::string("(not found: ") + from + ")"
                                   : signedBody(b.replace(at, from.size(), to));
  };
  return {
      {"Unsigned", body, "没有签名"},
      {"Empty", "", "没有签名"},
      {"TruncatedInTheSignature", good.substr(0, good.size() - 40), "签名行不完整"},
      {"TruncatedInTheBody", good.substr(0, body.size() / 2), "没有签名"},
      {"BodyCutButSignatureKept", good.substr(0, 40) + good.substr(body.size()), "签名无效"},
      {"SignedWithAnotherKey", SignJobBody(body, kOtherKey), "签名无效"},
      {"ChangedAfterSigning", flipped, "签名无效"},
      {"SignatureInCapitals", upperHex, "签名无效"},
      {"BytesAfterTheSignature", good + "<count>1</count>", "签名行不完整"},
      {"ParentLevel", signedBody(HandBody("../zorva.xml")), "不安全"},
      {"ParentLevelInside", signedBody(HandBody("help/../../x")), "不安全"},
      {"Absolute", signedBody(HandBody("/etc/passwd")), "不安全"},
      {"EmptyPart", signedBody(HandBody("help//x")), "不安全"},
      {"CurrentLevel", signedBody(HandBody("./x")), "不安全"},
      {"Backslash", signedBody(HandBody("..\\x")), "不安全"},
      {"NoDestination", signedBody(HandBody("")), "不安全"},
      {"SizeNotANumber", signedBody(HandBody("x", "12a")), "大小"},
      {"SizeNegative", signedBody(HandBody("x", "-1")), "大小"},
      {"SizeBeyondAnyFile", signedBody(HandBody("x", "99999999999999999999")), "大小"},
      {"CountHigherThanTheFiles", signedBody(HandBody("x", "3", "2")), "不存在"},
      {"CountLowerThanTheFiles",
       signedBody(HandBody("x", "3", "1",
                           "<file order=\"2\" size=\"1\" sha256=\"" + kHash +
                               "\" executable=\"0\"/>\r\n<local order=\"2\">y</local>\r\n")),
       "多于"},
      {"NoCount", signedBody(HandBody("x", "3", "")), "count"},
      // Read by substring, each of these would say something other than it
      // seems; only the one written form is accepted.
      {"AnAttributeWhoseNameEndsInAnother",
       edited("<file order=\"3\" size", "<file order=\"3\" xsize=\"999\" size"), "标准写法"},
      {"ATagWhoseNameStartsWithAnother",
       edited("<local order=\"1\">", "<localx order=\"1\">evil.sh</localx>\r\n<local order=\"1\">"),
       "更新任务"},
      {"ATagHiddenInAnAttribute",
       edited("<restart>1</restart>", "<restart note=\"<restart>0</restart>\">1</restart>"),
       "标准写法"},
      {"OtherLineEnds", signedBody(std::string(body).replace(body.find("\r\n"), 2, "\n")),
       "标准写法"},
      {"NoVersion", edited("<version>2.1</version>", "<version></version>"), "version"},
      {"AVersionFileTheJobDoesNotDeliver",
       edited("<version_file>zorva.xml</version_file>", "<version_file>other.xml</version_file>"),
       "版本文件"},
      {"TheSameDestinationTwice",
       signedBody(HandBody("x", "3", "2",
                           "<file order=\"2\" size=\"1\" sha256=\"" + kHash +
                               "\" executable=\"0\"/>\r\n<local order=\"2\">x</local>\r\n"
                               "<url order=\"2\">/dl/y</url>\r\n")),
       "重复"},
      {"AFileWhereAnotherNeedsAFolder",
       signedBody(HandBody("x", "3", "2",
                           "<file order=\"2\" size=\"1\" sha256=\"" + kHash +
                               "\" executable=\"0\"/>\r\n<local order=\"2\">x/y</local>\r\n"
                               "<url order=\"2\">/dl/y</url>\r\n")),
       "冲突"},
  };
}

INSTANTIATE_TEST_SUITE_P(UpdateJob, RefusedJob, ::testing::ValuesIn(BadFiles()),
                         [](const testing::TestParamInfo<BadFile>& row) {
                           return std::string(row.param.name);
                         });

TEST(UpdateJob, TheToolWritesNoJobItCouldNotReadBack) {
  for (const char* local : {"a\"b", "a<b", "a>b", "../x", "a\nb"}) {
    UpdateJob job;
    job.files.push_back({local, "/dl/x", 1, kHash, false});
    job.version = "1";
    job.versionFile = local;
    EXPECT_FALSE(ComposeJobBody(job)) << local;
  }
  EXPECT_FALSE(ComposeJobBody(UpdateJob{}));
}

TEST(UpdateJob, KeyFilesSkipCommentsAndRefuseShortKeys) {
  const std::string dir = ::testing::TempDir();
  const std::string good = dir + "/good.key";
  const std::string bad = dir + "/bad.key";
  {
    std::ofstream(good) << "# demo only\n\n" << ToHex(kKey.data(), kKey.size()) << "\r\n";
    std::ofstream(bad) << "# demo only\n" << ToHex(kKey.data(), 31) << "\n";
  }
  std::string error;
  EXPECT_EQ(ReadPrivateKeyFile(good, &error), kKey);
  EXPECT_FALSE(ReadPrivateKeyFile(bad, &error));
  EXPECT_FALSE(ReadPrivateKeyFile(dir + "/missing.key", &error));
}

}  // namespace
}  // namespace zorva
