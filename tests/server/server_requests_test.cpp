// The stand-in server's public requests, over loopback against the real
// binary: the probe, the content folder, the prefix mount, refusals of
// anything outside the folder, bad input and the request log.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "core/xml.h"
#include "server/server_test_util.h"
#include "support/server_process.h"

namespace zorva::test {
namespace {

namespace fs = std::filesystem;

const std::string kProbeBody = "your internet is ok!";

// A scratch folder: content/ inside it is served, secret.txt beside it must
// never be.
class ScratchContent {
 public:
  ScratchContent() {
    char pattern[] = "/tmp/zorva-content-XXXXXX";
    m_dir = mkdtemp(pattern);
    fs::create_directories(Content() / "lesson" / "real" / "0010");
    fs::create_directories(Content() / "dl");
    Write(m_dir / "secret.txt", "top secret");
    Write(Content() / "zorva.xml", "<zorva>2.1</zorva>");
    Write(Content() / "testinternet.txt", "something else\r\n");
    Write(Content() / "dl" / "zupdate.exe", std::string("MZ\0\x01\xff", 5));
    Write(Content() / ".hidden", "hidden");
    Write(Content() / "lesson" / "real" / "0010" / "p1.swf", "FWS");
    Write(Content() / "lesson" / "real" / "0010" / "pages.xml", "<pages>page list</pages>");
    fs::create_symlink(Content() / "lesson" / "real" / "0010" / "pages.xml",
                       Content() / "shortcut.xml");
    fs::create_directory_symlink(m_dir, Content() / "escape");
    fs::create_symlink(m_dir / "secret.txt", Content() / "secret.xml");
    // A link that stays inside the folder is fine.
    fs::create_directory_symlink(Content() / "lesson" / "real", Content() / "lesson" / "alias");
  }
  ~ScratchContent() {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  fs::path Content() const { return m_dir / "content"; }

 private:
  static void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  fs::path m_dir;
};

ServerProcess::Options WithContent(const ScratchContent& scratch, std::string prefix = "") {
  ServerProcess::Options options;
  options.contentDir = scratch.Content().string();
  options.prefix = std::move(prefix);
  return options;
}

TEST(ServerProbe, AnswersExactlyEvenWhenTheContentHoldsAnotherProbeFile) {
  ScratchContent scratch;
  ServerProcess server(WithContent(scratch));
  auto res = ClientFor(server.Port())->Get("/testinternet.txt");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, kProbeBody);
}

// Each file of the sample content answers byte for byte at its request path.
struct FileCase {
  const char* name;
  const char* requestPath;
  const char* file;  // relative to the content folder
  const char* contentType;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class ServerSampleFiles : public testing::TestWithParam<FileCase> {};

TEST_P(ServerSampleFiles, ServedByteForByte) {
  const FileCase& c = GetParam();
  ServerProcess server;
  auto res = ClientFor(server.Port())->Get(c.requestPath);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  std::string expected = ReadFileBytes(server.ContentDir() + "/" + c.file);
  ASSERT_FALSE(expected.empty()) << c.file;
  EXPECT_EQ(res->body, expected);
  EXPECT_EQ(res->get_header_value("Content-Type"), c.contentType);
  // Only movies are open to other origins: the player page loads from them.
  const bool movie = std::string(c.contentType) == "application/x-shockwave-flash";
  EXPECT_EQ(res->get_header_value("Access-Control-Allow-Origin"), movie ? "*" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerSampleFiles,
    testing::Values(
        FileCase{"ServerVersion", "/zorva.xml", "zorva.xml", "text/xml"},
        FileCase{"ProgramJob", "/dl/download.xml", "dl/download.xml", "text/xml"},
        FileCase{"ItemJob", "/dl/download_shuzi.xml", "dl/download_shuzi.xml", "text/xml"},
        FileCase{"ItemVersion", "/shuzi.xml", "shuzi.xml", "text/xml"},
        FileCase{"CatalogueWithDoubleSlashes", "//lesson//lesson_list.xml",
                 "lesson/lesson_list.xml", "text/xml"},
        FileCase{"LessonMovie", "/lesson/pinyin_shengmu/0010/page01.swf",
                 "lesson/pinyin_shengmu/0010/page01.swf", "application/x-shockwave-flash"},
        FileCase{"CompressedLessonMovie", "/lesson/pinyin_yunmu/0010/page01.swf",
                 "lesson/pinyin_yunmu/0010/page01.swf", "application/x-shockwave-flash"},
        FileCase{"ItemProgram", "/dl/shuzi.exe", "dl/shuzi.exe", "application/octet-stream"},
        FileCase{"Announcement", "/gonggao.htm", "gonggao.htm", "text/html"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerSampleContent, CatalogueIsCodePage936WithLessonsAndAProgramItem) {
  ServerProcess server;
  auto res = ClientFor(server.Port())->Get("//lesson//lesson_list.xml");
  ASSERT_TRUE(res);
  Text catalogue(res->body);
  EXPECT_EQ(GetXmlValue(catalogue, "sort_list", "order", "1", "title"), FromUtf8("语文"));
  Text second = GetXmlValue(catalogue, "sort_list", "order", "2", "");
  Text games = GetXmlValue(second, "lesson_list", "order", "2", "");
  EXPECT_EQ(GetXmlValue(games, "lesson", "order", "1", "type"), Text("game"));
  EXPECT_EQ(GetXmlValue(games, "lesson", "order", "1", "file_name"), Text("shuzi.exe"));
  // The program item's version file and job file exist under the names the
  // client derives from its file name.
  EXPECT_EQ(
      GetXmlValue(Text(ClientFor(server.Port())->Get("/shuzi.xml")->body), "version", "", "", ""),
      Text("1.0"));
  EXPECT_EQ(ClientFor(server.Port())->Get("/dl/download_shuzi.xml")->status, 200);
  // The server's version equals the client's, so the demo offers no update.
  EXPECT_EQ(
      GetXmlValue(Text(ClientFor(server.Port())->Get("/zorva.xml")->body), "zorva", "", "", ""),
      Text("2.0"));
}

TEST(ServerContentFolder, ServesTheUpdaterAndFilesBehindLinksThatStayInside) {
  ScratchContent scratch;
  ServerProcess server(WithContent(scratch));
  auto client = ClientFor(server.Port());
  auto updater = client->Get("/dl/zupdate.exe");
  ASSERT_TRUE(updater);
  EXPECT_EQ(updater->status, 200);
  EXPECT_EQ(updater->body, std::string("MZ\0\x01\xff", 5));
  auto aliased = client->Get("/lesson/alias/0010/p1.swf");
  ASSERT_TRUE(aliased);
  EXPECT_EQ(aliased->status, 200);
  EXPECT_EQ(aliased->body, "FWS");
}

// Targets that try to leave the content folder, sent raw so that no client
// cleans them on the way.
class ServerRefusesEscapes : public testing::TestWithParam<const char*> {};

TEST_P(ServerRefusesEscapes, NeverServesOutsideTheFolder) {
  ScratchContent scratch;
  ServerProcess server(WithContent(scratch));
  std::string response = RawGet(server.Port(), GetParam());
  int status = RawStatus(response);
  EXPECT_GE(status, 400) << response;
  EXPECT_EQ(response.find("top secret"), std::string::npos) << response;
  // Still alive and well.
  EXPECT_EQ(ClientFor(server.Port())->Get("/testinternet.txt")->body, kProbeBody);
}

INSTANTIATE_TEST_SUITE_P(Traversal, ServerRefusesEscapes,
                         testing::Values("/../secret.txt", "/lesson/../../secret.txt",
                                         "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt",
                                         "/lesson/..%2f..%2fsecret.txt", "/..%5csecret.txt",
                                         "/escape/secret.txt", "/secret.xml", "/zorva.xml%00.txt",
                                         "/.hidden", "/lesson", "/", "/./zorva.xml/.."));

// A page list goes out only as the reply to the lesson request: no
// spelling of its path and no link to it serves it as a file.
struct PageListCase {
  const char* name;
  const char* method;
  const char* target;
};

void PrintTo(const PageListCase& c, std::ostream* os) { *os << c.name; }

class ServerHidesPageLists : public testing::TestWithParam<PageListCase> {};

TEST_P(ServerHidesPageLists, NeverAsAFile) {
  ScratchContent scratch;
  ServerProcess server(WithContent(scratch, "/xinxi50"));
  const std::string response = RawRequest(server.Port(), GetParam().method, GetParam().target);
  EXPECT_EQ(RawStatus(response), 404) << response;
  EXPECT_EQ(response.find("page list"), std::string::npos) << response;
  EXPECT_EQ(response.find("Content-Length: 24"), std::string::npos) << response;
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, ServerHidesPageLists,
    testing::Values(PageListCase{"Plain", "GET", "/lesson/real/0010/pages.xml"},
                    PageListCase{"TrailingSlash", "GET", "/lesson/real/0010/pages.xml/"},
                    PageListCase{"TwoTrailingSlashes", "GET", "/lesson/real/0010/pages.xml//"},
                    PageListCase{"EncodedTrailingSlash", "GET", "/lesson/real/0010/pages.xml%2F"},
                    PageListCase{"EncodedName", "GET", "/lesson/real/0010/%70ages.xml"},
                    PageListCase{"Head", "HEAD", "/lesson/real/0010/pages.xml/"},
                    PageListCase{"ThroughALinkedFolder", "GET", "/lesson/alias/0010/pages.xml"},
                    PageListCase{"LinkToAPageList", "GET", "/shortcut.xml"},
                    PageListCase{"UnderThePrefix", "GET", "/xinxi50/lesson/real/0010/pages.xml/"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerPrefix, ServesEverythingAtTheRootAndUnderThePrefix) {
  ScratchContent scratch;
  ServerProcess server(WithContent(scratch, "/xinxi50"));
  EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(server.Port()) + "/xinxi50");
  auto client = ClientFor(server.Port());
  for (const char* path :
       {"/xinxi50/testinternet.txt", "/testinternet.txt", "/xinxi50//testinternet.txt"}) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->body, kProbeBody) << path;
  }
  for (const char* path : {"/xinxi50/zorva.xml", "/zorva.xml", "//xinxi50//zorva.xml"}) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path;
    EXPECT_EQ(res->body, "<zorva>2.1</zorva>") << path;
  }
  // A look-alike is not the prefix.
  EXPECT_EQ(client->Get("/xinxi50zorva.xml")->status, 404);
}

TEST(ServerListeners, EveryListenerAnswers) {
  ServerProcess::Options options;
  options.listeners = 3;
  ServerProcess server(options);
  ASSERT_NE(server.Port(2), 0);
  for (int i = 0; i < 3; ++i) {
    auto res = ClientFor(server.Port(i))->Get("/testinternet.txt");
    ASSERT_TRUE(res) << i;
    EXPECT_EQ(res->body, kProbeBody);
  }
}

TEST(ServerLifecycle, EndsCleanlyOnSigterm) {
  ServerProcess server;
  int status = server.Stop();
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

struct BadRequestCase {
  const char* name;
  std::string target;
  int status;
  const char* bodyPart;
};

void PrintTo(const BadRequestCase& c, std::ostream* os) { *os << c.name; }

class ServerBadInput : public testing::TestWithParam<BadRequestCase> {};

TEST_P(ServerBadInput, CleanErrorReplyAndTheServerGoesOn) {
  const BadRequestCase& c = GetParam();
  ServerProcess server;
  std::string response = RawGet(server.Port(), c.target);
  EXPECT_EQ(RawStatus(response), c.status) << response;
  EXPECT_NE(response.find(c.bodyPart), std::string::npos) << response;
  EXPECT_EQ(ClientFor(server.Port())->Get("/testinternet.txt")->body, kProbeBody);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerBadInput,
    testing::Values(
        BadRequestCase{"UnknownAction", "/Handler.asp?action=delete_all", 400, "unknown action"},
        BadRequestCase{"NoAction", "/handler.asp", 400, "unknown action"},
        BadRequestCase{"SignInWithoutPassword", "/Handler.asp?user=demo&action=login", 400,
                       "<user_login>error</user_login>"},
        BadRequestCase{"LessonWithoutDir",
                       "/handler.asp?user=demo&password=x&lesson_id=0010&action=lesson", 400,
                       "<lesson>error</lesson>"},
        BadRequestCase{"SuggestionWithoutContent",
                       "/Handler.asp?user=demo&password=x&action=save_suggest&type=1", 400,
                       "<save_static>error</save_static>"},
        BadRequestCase{"SuggestionWithWordType",
                       "/Handler.asp?user=demo&password=x&action=save_suggest&type=abc&content=hi",
                       400, "<save_static>error</save_static>"},
        BadRequestCase{"OversizedQuery",
                       "/Handler.asp?action=login&user=" + std::string(10000, 'a'), 414, ""},
        BadRequestCase{"MissingFile", "/nothing.xml", 404, "not found"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerBadInput, PostElsewhereThanRegistrationIsRefused) {
  ServerProcess server;
  auto res = ClientFor(server.Port())->Post("/Handler.asp", "action=login", "text/plain");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 405);
}

// A connected socket to the server, for clients that misbehave.
class RawConnection {
 public:
  explicit RawConnection(int port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawConnection() { close(m_fd); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return m_connected; }
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  void EndSending() { shutdown(m_fd, SHUT_WR); }
  // Everything until the server closes (or a generous minute passes).
  std::string ReadAll() {
    timeval wait{60, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = recv(m_fd, buffer, sizeof buffer, 0)) > 0) out.append(buffer, n);
    return out;
  }

 private:
  int m_fd;
  bool m_connected = false;
};

// A client that sends its request and then shuts down its sending side
// still gets the whole reply.
TEST(ServerHostileClients, HalfClosedRequestGetsItsReply) {
  ServerProcess server;
  for (int i = 0; i < 5; ++i) {
    RawConnection c(server.Port());
    ASSERT_TRUE(c.Send("GET /testinternet.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
    c.EndSending();
    const std::string reply = c.ReadAll();
    EXPECT_EQ(RawStatus(reply), 200) << i;
    EXPECT_TRUE(reply.ends_with("\r\n\r\n" + kProbeBody)) << reply;
  }
}

// Clients that hold a connection without finishing their request neither
// keep others waiting nor hold their connection past the head's deadline.
TEST(ServerHostileClients, UnfinishedRequestsNeitherBlockOthersNorStay) {
  ServerProcess server;
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 40; ++i) {
    slow.push_back(std::make_unique<RawConnection>(server.Port()));
    ASSERT_TRUE(slow.back()->Send("GET /testinternet.txt HTTP/1.1\r\nHo"));
  }
  auto res = ClientFor(server.Port())->Get("/testinternet.txt");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, kProbeBody);
  // The deadline ends the unfinished one with 408.
  EXPECT_EQ(RawStatus(slow.front()->ReadAll()), 408);
}

TEST(ServerHostileClients, PostWithoutALengthIsRefused) {
  ServerProcess server;
  RawConnection c(server.Port());
  ASSERT_TRUE(c.Send("POST /reg.asp HTTP/1.1\r\nHost: x\r\n\r\nuser=a&password=b"));
  EXPECT_EQ(RawStatus(c.ReadAll()), 411);
}

// Sends head and then filler until the server stops taking it; the server
// must answer long before all of it went out.
struct FloodCase {
  const char* name;
  std::string head;
  std::string filler;
  int status;
};

void PrintTo(const FloodCase& c, std::ostream* os) { *os << c.name; }

class ServerFloods : public testing::TestWithParam<FloodCase> {};

TEST_P(ServerFloods, RefusedAsItArrives) {
  const FloodCase& c = GetParam();
  ServerProcess server;
  RawConnection conn(server.Port());
  ASSERT_TRUE(conn.Connected());
  constexpr size_t kOffered = 64u << 20;
  size_t sent = 0;
  std::thread sender([&] {
    if (!conn.Send(c.head)) return;
    while (sent < kOffered && conn.Send(c.filler)) sent += c.filler.size();
    conn.EndSending();
  });
  const std::string reply = conn.ReadAll();
  sender.join();
  EXPECT_EQ(RawStatus(reply), c.status) << reply.substr(0, 200);
  // What the socket buffers hold is all that went out after the refusal.
  EXPECT_LT(sent, 32u << 20);
  EXPECT_EQ(ClientFor(server.Port())->Get("/testinternet.txt")->body, kProbeBody);
}

std::string Chunks() {
  std::string chunk = "4000\r\n" + std::string(0x4000, 'a') + "\r\n";
  std::string out;
  while (out.size() < (1u << 20)) out += chunk;
  return out;
}

std::string HeaderLines() {
  std::string out;
  while (out.size() < (1u << 20)) out += "X-Filler: abcdefghijklmnop\r\n";
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerFloods,
    testing::Values(FloodCase{"ChunkedBodyPastTheLimit",
                              "POST /reg.asp HTTP/1.1\r\nHost: x\r\nContent-Type: "
                              "application/x-www-form-urlencoded\r\nTransfer-Encoding: "
                              "chunked\r\n\r\n",
                              Chunks(), 400},
                    FloodCase{"EndlessHeaders", "GET /testinternet.txt HTTP/1.1\r\nHost: x\r\n",
                              HeaderLines(), 431}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerLog, OneLinePerRequestWithoutThePassword) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  const std::string scrambled = Scramble("demo123");
  auto client = ClientFor(server.Port());
  auto res = client->Get("/Handler.asp?user=demo&password=" + Encode(scrambled) + "&action=login");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  // A password key written in escapes is still the password.
  client->Get("/Handler.asp?user=demo&pass%77ord=" + Encode(scrambled) + "&action=login");
  client->Get("/nothing.xml");
  server.Stop();
  std::string log = server.LogText();
  const std::string masked = "GET /Handler.asp?user=demo&password=***&action=login 200\n";
  size_t first = log.find(masked);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find(masked, first + 1), std::string::npos) << log;
  EXPECT_NE(log.find("GET /nothing.xml 404\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(scrambled), std::string::npos) << log;
  EXPECT_EQ(log.find(Encode(scrambled)), std::string::npos) << log;
}

}  // namespace
}  // namespace zorva::test
