// The movies fetched ahead, from a real zorva-server.
#include "controls/movie_cache.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "controls/movie_loader.h"
#include "support/server_process.h"

namespace zorva {
namespace {

class MovieCacheTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "movie_cache_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }

  void SetUp() override {
    dir = std::filesystem::path(::testing::TempDir()) / "movie_cache_content" / "lesson" / "d" /
          "0010";
    std::filesystem::create_directories(dir);
    for (const char* page : {"a.swf", "b.swf", "c.swf"}) Write(page, std::string("movie ") + page);
    test::ServerProcess::Options options;
    options.contentDir = dir.parent_path().parent_path().parent_path().string();
    server = std::make_unique<test::ServerProcess>(options);
  }

  void Write(const char* page, const std::string& bytes) {
    std::ofstream(dir / page, std::ios::binary) << bytes;
  }
  Text Url(const char* page) const { return Text(server->BaseUrl()) + "/lesson/d/0010/" + page; }

  // What a loader handed the fetch gives.
  static MovieCache::Bytes Arrive(QFuture<MovieCache::Bytes> fetch) {
    MovieLoader loader;
    bool done = false;
    MovieCache::Bytes bytes;
    loader.Watch(std::move(fetch), [&](MovieCache::Bytes b) {
      bytes = std::move(b);
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    return bytes;
  }

  std::filesystem::path dir;
  std::unique_ptr<test::ServerProcess> server;
  MovieCache cache;
};

TEST_F(MovieCacheTest, ExpectedMovieArrivesFromTheFetchAheadOnce) {
  cache.Expect({Url("a.swf")});
  std::optional<QFuture<MovieCache::Bytes>> fetch = cache.Take(Url("a.swf"));
  ASSERT_TRUE(fetch);
  fetch->waitForFinished();
  // Gone from the server since: the bytes come from the fetch ahead.
  std::filesystem::remove(dir / "a.swf");
  EXPECT_EQ(Arrive(*fetch), std::optional<std::string>("movie a.swf"));
  EXPECT_FALSE(cache.Take(Url("a.swf"))) << "taken once";
  EXPECT_EQ(cache.Size(), 0u);
}

TEST_F(MovieCacheTest, MovieNotExpectedIsNotThere) {
  cache.Expect({Url("a.swf")});
  EXPECT_FALSE(cache.Take(Url("b.swf")));
  EXPECT_EQ(cache.Size(), 1u);
}

TEST_F(MovieCacheTest, ANewListDropsTheOthersAndKeepsTheBound) {
  cache.Expect({Url("a.swf"), Url("b.swf")});
  cache.Expect({Url("b.swf"), Url("c.swf"), Url("a.swf")});
  EXPECT_EQ(cache.Size(), MovieCache::kMovies);
  EXPECT_FALSE(cache.Take(Url("a.swf"))) << "beyond the bound";
  std::optional<QFuture<MovieCache::Bytes>> b = cache.Take(Url("b.swf"));
  ASSERT_TRUE(b);
  EXPECT_EQ(Arrive(*b), std::optional<std::string>("movie b.swf"));
  // A new lesson: nothing of the last one stays.
  cache.Expect({});
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_FALSE(cache.Take(Url("c.swf")));
}

TEST_F(MovieCacheTest, FailedFetchAheadArrivesAsNothing) {
  cache.Expect({Url("missing.swf")});
  std::optional<QFuture<MovieCache::Bytes>> fetch = cache.Take(Url("missing.swf"));
  ASSERT_TRUE(fetch);
  EXPECT_EQ(Arrive(*fetch), std::nullopt);
}

}  // namespace
}  // namespace zorva
