// Programs started from the catalogue get the environment kept for them, not
// the settings the program made later for its own web engine.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace zorva {
namespace {

TEST(StartProgram, PassesTheEnvironmentKeptForPrograms) {
  const auto out = std::filesystem::path(::testing::TempDir()) / "started_env.txt";
  std::filesystem::remove(out);
  ASSERT_NE(std::getenv("PATH"), nullptr);
  setenv("ZORVA_SET_BEFORE", "1", 1);
  KeepEnvironmentForPrograms();
  setenv("ZORVA_SET_AFTER_START", "1", 1);
  const std::string command = "-c \"env > " + out.string() + ".part && mv " + out.string() +
                              ".part " + out.string() + "\"";
  ASSERT_TRUE(StartProgram("/bin/sh", Text(command)));
  for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream file(out);
  ASSERT_TRUE(file) << "the started program wrote nothing";
  std::stringstream lines;
  lines << file.rdbuf();
  const std::string env = "\n" + lines.str();
  EXPECT_NE(env.find("\nPATH=" + std::string(std::getenv("PATH")) + "\n"), std::string::npos) << env;
  EXPECT_NE(env.find("\nZORVA_SET_BEFORE=1\n"), std::string::npos);
  EXPECT_EQ(env.find("\nZORVA_SET_AFTER_START="), std::string::npos);
}

TEST(StartProgram, MissingProgramIsReported) {
  EXPECT_FALSE(StartProgram("/nonexistent/program"));
}

}  // namespace
}  // namespace zorva
