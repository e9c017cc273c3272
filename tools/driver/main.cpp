// tavoren-headless [SCRIPT]: plays the game from a timeline of input (the
// file, or standard input) and prints what the script asks for.
// tavoren-headless --version: prints the program's version.
// tavoren-headless --describe: prints the program's fixed facts as JSON.
// tavoren-headless --help: prints the usage.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "tools/driver/driver.h"
#ifdef _WIN32
#include "platform/win32/wide.h"
#endif

namespace {

// Reads the whole stream; false on a read error (a directory, an I/O error),
// so that an unreadable script is never taken for an empty one.
bool ReadAll(std::FILE* in, std::string& out) {
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) out.append(buffer, n);
  return std::ferror(in) == 0;
}

#ifdef _WIN32
std::string ToUtf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n - 1));
  return utf8;
}
#endif

// Opens a file given by its UTF-8 name for reading.
std::FILE* OpenForReading(const std::string& name) {
#ifdef _WIN32
  return _wfopen(tavoren::win32::WidenUtf8(name.c_str()).c_str(), L"rb");
#else
  return std::fopen(name.c_str(), "rb");
#endif
}

int Run(const std::vector<std::string>& argv) {
  using namespace tavoren::headless;
  const std::size_t argc = argv.size();
  std::ios::sync_with_stdio(false);
#ifdef _WIN32
  // The output is compared byte for byte with other systems' and scripts may
  // come through a pipe: no newline translation either way.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  constexpr const char* kUsage =
      "usage: tavoren-headless [SCRIPT | --describe | --help | --version]\n";
  if (argc > 2) {
    std::cerr << kUsage;
    return 2;
  }
  if (argc == 2 && argv[1] == "--help") {
    std::cout << kUsage
              << "Plays the game from a script (the file SCRIPT, or standard input) and\n"
                 "prints what the script asks for. See tavoren-headless(1).\n";
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  if (argc == 2 && argv[1] == "--version") {
    std::cout << "tavoren-headless " TAVOREN_VERSION "\n";
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  if (argc == 2 && argv[1] == "--describe") {
    std::cout << Describe();
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  std::string source;
  if (argc == 2) {
    std::FILE* in = OpenForReading(argv[1]);
    const bool ok = in != nullptr && ReadAll(in, source);
    if (in != nullptr) std::fclose(in);
    if (!ok) {
      std::cerr << "tavoren-headless: cannot read " << Quoted(argv[1], 400) << "\n";
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
              << Quoted(error.text) << "\n";
    return 2;
  }
  // The report goes out as it is made; a failed write ends the run.
  StreamOutput out(stdout), err(stderr);
  std::cerr.flush();
  return RunScript(script, out, err);
}

}  // namespace

#ifdef _WIN32
// Windows hands main() its arguments in the ANSI code page, which cannot hold
// every file name: take them as UTF-16 and carry them on as UTF-8.
int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
#endif
