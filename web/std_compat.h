// Included before every file of the web build: Emscripten 3.1.6 (Debian 12)
// ships a libc++ without std::bit_cast, which the demo's code uses as C++20
// has it. Its compiler has the builtin the standard's version is made of.
#pragma once

#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From));
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
