// UTF-8 to UTF-16 for the wide-character API of Windows: the panel's texts,
// the window title, the driver's file names. Invalid UTF-8 becomes U+FFFD.
#pragma once

#include <windows.h>

#include <string>

namespace tavoren::win32 {

inline std::wstring WidenUtf8(const char* utf8) {
  if (utf8 == nullptr || *utf8 == '\0') return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n - 1));  // the terminating zero
  return wide;
}

}  // namespace tavoren::win32
