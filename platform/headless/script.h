// The timeline language of the headless layer: one command per line, in
// virtual milliseconds. Used by tavoren-headless and by the tests.
//
//   clock N | show | key N | press X Y | press-right X Y | drag X Y | move X Y
//   paint | close | wait N | settle [N] | state | frame FILE
//
// Blank lines and everything after '#' are ignored; numbers are decimal. A
// UTF-8 byte-order mark at the very start of the script is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavoren::headless {

enum class Op {
  Clock,
  Show,
  Key,
  Press,
  PressRight,
  Drag,
  Move,
  Paint,
  Close,
  Wait,
  Settle,
  State,
  Frame
};

struct Command {
  Op op = Op::State;
  std::int64_t a = 0, b = 0;  // the numbers, where the command has them
  std::string file;           // frame's file name
  int line = 0;               // line number in the script, from 1
};

struct ParseError {
  int line = 0;
  std::string text;     // the offending line as written
  std::string message;  // what is wrong with it; words of the line in it are Quoted
};

// Text from a script or a command line made fit for an error message: in
// double quotes, with quotes, backslashes, control bytes and bytes that are
// not UTF-8 escaped (\", \\, \t, \r, \n, \xHH), and cut after maxChars
// characters, the cut marked by "..." and the full length in bytes.
std::string Quoted(std::string_view text, std::size_t maxChars = 120);

constexpr std::int64_t kDefaultSettleCap = 600000;

// Parses a whole script. On the first bad line returns false and fills error;
// nothing is run from a script that does not parse.
bool ParseScript(std::string_view source, std::vector<Command>& out, ParseError& error);

}  // namespace tavoren::headless
