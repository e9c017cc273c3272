// tavoren-headless [SCRIPT]: plays the game from a timeline of input (the
// file, or standard input) and prints what the script asks for.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/headless/driver.h"

int main(int argc, char** argv) {
  using namespace tavoren::headless;
  std::ios::sync_with_stdio(false);
  if (argc > 2) {
    std::cerr << "usage: tavoren-headless [SCRIPT]\n";
    return 2;
  }
  std::string source;
  if (argc == 2) {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
      std::cerr << "tavoren-headless: cannot read " << argv[1] << "\n";
      return 2;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    source = ss.str();
  } else {
    std::ostringstream ss;
    ss << std::cin.rdbuf();
    source = ss.str();
  }
  std::vector<Command> script;
  ParseError error;
  if (!ParseScript(source, script, error)) {
    std::cerr << "tavoren-headless: line " << error.line << ": " << error.message << ": "
              << error.text << "\n";
    return 2;
  }
  std::string out, err;
  const int status = RunScript(script, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::cerr << err;
  return status;
}
