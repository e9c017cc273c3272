#include "platform/headless/script.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace tavoren::headless {

namespace {

struct Syntax {
  std::string_view name;
  Op op;
  int numbers;          // how many numbers it takes
  bool optionalNumber;  // settle's cap may be left out
  std::int64_t lo, hi;  // range of each number
  bool takesFile;
};

constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();

constexpr Syntax kSyntax[] = {
    {"clock", Op::Clock, 1, false, 0, 4294967295LL, false},
    {"show", Op::Show, 0, false, 0, 0, false},
    {"key", Op::Key, 1, false, 0, 65535, false},
    {"press", Op::Press, 2, false, kIntMin, kIntMax, false},
    {"press-right", Op::PressRight, 2, false, kIntMin, kIntMax, false},
    {"drag", Op::Drag, 2, false, kIntMin, kIntMax, false},
    {"move", Op::Move, 2, false, kIntMin, kIntMax, false},
    {"paint", Op::Paint, 0, false, 0, 0, false},
    {"close", Op::Close, 0, false, 0, 0, false},
    {"wait", Op::Wait, 1, false, 0, kIntMax, false},
    {"settle", Op::Settle, 1, true, 0, kIntMax, false},
    {"state", Op::State, 0, false, 0, 0, false},
    {"frame", Op::Frame, 0, false, 0, 0, true},
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string_view> SplitWords(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !IsSpace(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

// The length of the UTF-8 sequence at the start of s that encodes a
// printable character, or 0: overlong forms, surrogates, C1 controls, code
// points past U+10FFFF and the invisible format characters (zero-width
// spaces and joiners, direction marks and overrides, the byte-order mark)
// are not printable.
std::size_t PrintableUtf8(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  std::size_t n;
  std::uint32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i) & 0x3Fu);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp <= 0x9F) return 0;
  const bool invisible = (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
                         (cp >= 0x2060 && cp <= 0x2069) || cp == 0xFEFF;
  if (invisible) return 0;
  return n;
}

bool ParseNumber(std::string_view word, std::int64_t lo, std::int64_t hi, std::int64_t& out,
                 std::string& why) {
  std::string_view digits = word;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec == std::errc::invalid_argument || end != digits.data() + digits.size()) {
    why = "not a decimal integer: " + Quoted(word);
    return false;
  }
  if (ec == std::errc::result_out_of_range || value < lo || value > hi) {
    why = "number out of range (" + std::to_string(lo) + " to " + std::to_string(hi) +
          "): " + Quoted(word);
    return false;
  }
  out = value;
  return true;
}

bool ParseLine(std::string_view body, int lineNo, std::vector<Command>& out, std::string& why) {
  const std::vector<std::string_view> words = SplitWords(body);
  if (words.empty()) return true;
  for (const Syntax& syntax : kSyntax) {
    if (words[0] != syntax.name) continue;
    Command c;
    c.op = syntax.op;
    c.line = lineNo;
    if (syntax.takesFile) {
      if (words.size() < 2) {
        why = "missing file name";
        return false;
      }
      // The file name is the rest of the line, so it may contain spaces.
      const std::size_t at = static_cast<std::size_t>(words[1].data() - body.data());
      std::string_view rest = body.substr(at);
      while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
      c.file = std::string(rest);
      out.push_back(std::move(c));
      return true;
    }
    const std::size_t given = words.size() - 1;
    const std::size_t wanted = static_cast<std::size_t>(syntax.numbers);
    if (given > wanted) {
      why = "too many arguments";
      return false;
    }
    if (given < wanted && !(syntax.optionalNumber && given == 0)) {
      why = "missing argument";
      return false;
    }
    if (syntax.op == Op::Settle && given == 0) c.a = kDefaultSettleCap;
    std::int64_t* slots[2] = {&c.a, &c.b};
    for (std::size_t k = 0; k < given; ++k) {
      if (!ParseNumber(words[k + 1], syntax.lo, syntax.hi, *slots[k], why)) return false;
    }
    out.push_back(std::move(c));
    return true;
  }
  why = "unknown command: " + Quoted(words[0]);
  return false;
}

}  // namespace

std::string Quoted(std::string_view text, std::size_t maxChars) {
  static const char* hex = "0123456789abcdef";
  std::string q = "\"";
  std::size_t i = 0, chars = 0;
  while (i < text.size() && chars < maxChars) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    ++chars;
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c == '\t') {
      q += "\\t";
    } else if (c == '\r') {
      q += "\\r";
    } else if (c == '\n') {
      q += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      q += static_cast<char>(c);
    } else if (const std::size_t n = c >= 0x80 ? PrintableUtf8(text.substr(i)) : 0; n > 0) {
      q.append(text.substr(i, n));
      i += n;
      continue;
    } else {
      q += "\\x";
      q += hex[c >> 4];
      q += hex[c & 0xF];
    }
    ++i;
  }
  q += '"';
  if (i < text.size()) q += "... (" + std::to_string(text.size()) + " bytes)";
  return q;
}

bool ParseScript(std::string_view source, std::vector<Command>& out, ParseError& error) {
  out.clear();
  // Some editors start a UTF-8 file with a byte-order mark; it is no command.
  if (source.starts_with("\xEF\xBB\xBF")) source.remove_prefix(3);
  int lineNo = 0;
  std::size_t pos = 0;
  while (pos < source.size()) {
    std::size_t end = source.find('\n', pos);
    if (end == std::string_view::npos) end = source.size();
    const std::string_view line = source.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    std::string_view body = line;
    if (const std::size_t hash = body.find('#'); hash != std::string_view::npos) {
      body = body.substr(0, hash);
    }
    std::string why;
    if (!ParseLine(body, lineNo, out, why)) {
      error.line = lineNo;
      error.text = std::string(line);
      if (!error.text.empty() && error.text.back() == '\r') error.text.pop_back();
      error.message = why;
      out.clear();
      return false;
    }
  }
  return true;
}

}  // namespace tavoren::headless
