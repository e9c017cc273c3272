// file_version FILE KEY...: prints "KEY=value" in UTF-8 for each KEY of the
// Japanese version block of FILE (\StringFileInfo\041104B0\KEY), read as
// Windows reads it for Explorer's properties and Task Manager. Status 1 when
// FILE has no version block or a KEY is missing, 2 on a wrong command line.
// tests/packages/run.sh compiles it with MinGW and runs it under Wine.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n - 1));
  return utf8;
}

bool Write(const std::string& text) {
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                   &written, nullptr) &&
         written == text.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  if (size == 0) return 1;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, block.data())) return 1;
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + argv[i];
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &length) || length == 0 ||
        !Write(Utf8(argv[i]) + "=" + Utf8(static_cast<const wchar_t*>(value)) + "\n")) {
      status = 1;
    }
  }
  return status;
}
