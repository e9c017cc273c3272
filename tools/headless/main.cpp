// tavoren-headless [SCRIPT]: plays the game from a timeline of input (the
// file, or standard input) and prints what the script asks for.
#include <cstdio>
#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tools/headless/driver.h"

namespace {

// Reads the whole stream; false on a read error (a directory, an I/O error),
// so that an unreadable script is never taken for an empty one.
bool ReadAll(std::FILE* in, std::string& out) {
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) out.append(buffer, n);
  return std::ferror(in) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavoren::headless;
  std::ios::sync_with_stdio(false);
#ifdef _WIN32
  // The output is compared byte for byte with other systems' and scripts may
  // come through a pipe: no newline translation either way.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (argc > 2) {
    std::cerr << "usage: tavoren-headless [SCRIPT]\n";
    return 2;
  }
  std::string source;
  if (argc == 2) {
    std::FILE* in = std::fopen(argv[1], "rb");
    const bool ok = in != nullptr && ReadAll(in, source);
    if (in != nullptr) std::fclose(in);
    if (!ok) {
      std::cerr << "tavoren-headless: cannot read " << argv[1] << "\n";
      return 2;
    }
  } else if (!ReadAll(stdin, source)) {
    std::cerr << "tavoren-headless: cannot read standard input\n";
    return 2;
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
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  std::cerr << err;
  if (!written) {
    std::cerr << "tavoren-headless: cannot write standard output\n";
    return 1;
  }
  return status;
}
