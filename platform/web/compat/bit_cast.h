// std::bit_cast for the libc++ of Debian's emscripten (LLVM 13's libc++,
// which has <bit> but not yet bit_cast). Force-included into every file of
// the browser build; a newer libc++ brings its own and this adds nothing.
#pragma once

#include <version>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000 && !defined(__cpp_lib_bit_cast)
#include <type_traits>

namespace std {

template <class To, class From>
  requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
           is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}

}  // namespace std
#endif
