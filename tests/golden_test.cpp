// Recorded sessions of the driver with their exact output: any change to the
// physics, the judgement or the replay shows up here as a changed bit. After
// a deliberate change, rerun with TAVOREN_UPDATE_GOLDEN=1 and review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/driver/driver.h"

namespace tavoren::headless {
namespace {

namespace fs = std::filesystem;

fs::path ScriptDir() { return fs::path(TAVOREN_SOURCE_DIR) / "tests" / "data" / "scripts"; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ScriptDir())) {
    if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, OutputMatchesTheRecording) {
  const fs::path script = ScriptDir() / (GetParam() + ".txt");
  const fs::path expected = ScriptDir() / (GetParam() + ".out");
  std::vector<Command> commands;
  ParseError error;
  ASSERT_TRUE(ParseScript(ReadFile(script), commands, error)) << error.message;
  std::string out, err;
  ASSERT_EQ(RunScript(commands, out, err), 0) << err;
  if (std::getenv("TAVOREN_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(expected, std::ios::binary) << out;
    GTEST_SKIP() << "recorded " << expected;
  }
  ASSERT_TRUE(fs::exists(expected)) << expected;
  EXPECT_EQ(out, ReadFile(expected));
}

INSTANTIATE_TEST_SUITE_P(Scripts, Golden, ::testing::ValuesIn(ScriptNames()),
                         [](const auto& param) { return param.param; });

}  // namespace
}  // namespace tavoren::headless
