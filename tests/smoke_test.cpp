#include <gtest/gtest.h>

#include "tools/headless/driver.h"

namespace tavoren::headless {
namespace {

std::string RunText(const std::string& text) {
  std::vector<Command> script;
  ParseError error;
  EXPECT_TRUE(ParseScript(text, script, error)) << error.message;
  std::string out, err;
  RunScript(script, out, err);
  return out;
}

TEST(Smoke, RackSettles) {
  const std::string out = RunText("clock 1234\nshow\nsettle\nstate\n");
  EXPECT_NE(out.find("settled 40"), std::string::npos) << out;
}

}  // namespace
}  // namespace tavoren::headless
