// The server's pure helpers where a fault would leak a password or miss a
// prefix.

#include <gtest/gtest.h>

#include "server/password_hash.h"
#include "server/request_log.h"
#include "server/service.h"

namespace zorva::server {
namespace {

struct LogCase {
  const char* name;
  std::string target;
  std::string logged;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LoggableTargetRows : public testing::TestWithParam<LogCase> {};

TEST_P(LoggableTargetRows, MasksPasswordsAndKeepsTheLineIntact) {
  EXPECT_EQ(LoggableTarget(GetParam().target), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Log, LoggableTargetRows,
    testing::Values(
        LogCase{"NoQuery", "/zorva.xml", "/zorva.xml"},
        LogCase{"PasswordInTheMiddle", "/Handler.asp?user=a&password=5010203&action=login",
                "/Handler.asp?user=a&password=***&action=login"},
        LogCase{"PasswordFirstAndLast", "/h?password=1&x=2&password=3",
                "/h?password=***&x=2&password=***"},
        LogCase{"EncodedKey", "/h?pass%77ord=123", "/h?password=***"},
        // The service's parser takes %uXXXX escapes too.
        LogCase{"UnicodeEscapedFirstLetter", "/h?%u0070assword=123&a=1", "/h?password=***&a=1"},
        LogCase{"UnicodeEscapedInside", "/h?p%u0061ssword=123", "/h?password=***"},
        LogCase{"RegistrationRepeat", "/reg.asp?user=a&password2=x&password=y",
                "/reg.asp?user=a&password2=***&password=***"},
        LogCase{"LeadingEquals", "/h?=password=5010203", "/h?password=***"},
        LogCase{"EmptyPassword", "/h?password=&a=1", "/h?password=***&a=1"},
        LogCase{"SimilarKeysStay", "/h?old_password=1&passwords=2",
                "/h?old_password=1&passwords=2"},
        LogCase{"RawBytesEscaped", std::string("/a b\r\n\xC4\xE3?c=\x01"),
                "/a%20b%0D%0A%C4%E3?c=%01"},
        LogCase{"PercentEscapesKept", "/%2e%2e?c=%E4", "/%2e%2e?c=%E4"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReducePassword, KeepsWhatTheCodecCarries) {
  EXPECT_EQ(ReducePassword("Demo123"), "demo123");
  EXPECT_EQ(ReducePassword("a-b c!"), "a?b?c?");
  EXPECT_EQ(ReducePassword("\xC4\xE3z"), "??z");
}

TEST(PasswordHash, SaltedAndVerified) {
  PasswordHash a, b;
  ASSERT_TRUE(HashPassword("demo123", &a));
  ASSERT_TRUE(HashPassword("demo123", &b));
  EXPECT_NE(a.salt, b.salt);
  EXPECT_NE(a.hash, b.hash);
  EXPECT_TRUE(VerifyPassword("demo123", a));
  EXPECT_FALSE(VerifyPassword("demo124", a));
  EXPECT_FALSE(VerifyPassword("", a));
}

TEST(NormalizePrefix, OneLeadingSlashNoTrailingSlash) {
  EXPECT_EQ(Service::NormalizePrefix(""), "");
  EXPECT_EQ(Service::NormalizePrefix("/"), "");
  EXPECT_EQ(Service::NormalizePrefix("xinxi50"), "/xinxi50");
  EXPECT_EQ(Service::NormalizePrefix("//xinxi50//"), "/xinxi50");
  EXPECT_EQ(Service::NormalizePrefix("/a//b/"), "/a/b");
}

}  // namespace
}  // namespace zorva::server
