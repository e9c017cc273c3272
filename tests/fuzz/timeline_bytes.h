// Turns arbitrary bytes into a timeline script for the headless program, so
// that a coverage-guided fuzzer can steer keys, mouse input and time. Every
// byte string gives a valid script; the keys and shows in it are announced
// to the checker (see timeline_check.h).
//
// Layout: four bytes of clock reading for the first rack, then commands,
// each an opcode byte followed by its operands. Missing bytes read as zero.
// The script's time (waits and settle caps) is limited so that one input
// never runs for long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/timeline_check.h"

namespace tavoren::timeline {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

constexpr std::int64_t kBytesTimeLimit = 45'000;  // virtual ms per input
constexpr int kBytesCommandLimit = 300;

// A pointer position: a selector byte picks the region, more bytes the place.
inline void BytesPoint(ByteReader& in, std::int64_t& x, std::int64_t& y) {
  const std::uint8_t region = in.U8();
  switch (region % 5) {
    case 0:  // anywhere in or near the window
      x = in.U16() % 1100 - 40;
      y = in.U16() % 560 - 30;
      return;
    case 1:  // the spin disc
      x = 880 + in.U8() % 100;
      y = 240 + static_cast<std::int8_t>(in.U8());
      return;
    case 2:  // the power bar
      x = 980 + in.U8() % 40;
      y = in.U16() % 520 - 10;
      return;
    case 3:  // the cloth
      x = 40 + in.U16() % 801;
      y = 40 + in.U16() % 401;
      return;
    default:  // anywhere at all
      x = static_cast<std::int32_t>(in.U32());
      y = static_cast<std::int32_t>(in.U32());
      return;
  }
}

inline Script ScriptFromBytes(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  Script s;
  s.Line("clock " + std::to_string(in.U32()));
  s.Show();
  s.Line("settle 1000");
  std::int64_t time = 1'000;
  for (int n = 0; n < kBytesCommandLimit && !in.AtEnd() && time < kBytesTimeLimit; ++n) {
    const std::uint8_t op = in.U8();
    std::int64_t x = 0, y = 0;
    switch (op % 16) {
      case 0:
      case 1: s.Key(vk::kBack); break;
      case 2:
      case 3: s.Key(vk::kReturn); break;
      case 4: s.Key(vk::kHome); break;
      case 5: {
        std::uint16_t code = in.U16();
        if (code == vk::kEscape) code = 0;  // Esc would only end the run
        s.Key(code);
        break;
      }
      case 6:
        BytesPoint(in, x, y);
        s.Line("press " + std::to_string(x) + " " + std::to_string(y));
        break;
      case 7:
        BytesPoint(in, x, y);
        s.Line("drag " + std::to_string(x) + " " + std::to_string(y));
        break;
      case 8:
        BytesPoint(in, x, y);
        s.Line("press-right " + std::to_string(x) + " " + std::to_string(y));
        break;
      case 9:
        BytesPoint(in, x, y);
        s.Line("move " + std::to_string(x) + " " + std::to_string(y));
        break;
      case 10: s.Line("paint"); break;
      case 11:
      case 12: {
        const std::int64_t ms = in.U8() * 20;  // up to about 5 s
        s.Line("wait " + std::to_string(ms));
        time += ms;
        break;
      }
      case 13: {
        const std::int64_t cap = in.U8() * 100;  // up to about 25 s
        s.Line("settle " + std::to_string(cap));
        time += cap;
        break;
      }
      case 14: s.Line("clock " + std::to_string(in.U32())); break;
      default: s.Show(); break;
    }
  }
  return s;
}

}  // namespace tavoren::timeline
