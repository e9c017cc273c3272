// The pieces of tavoren-headless that tests use too: the exact state block,
// the hexadecimal double format, the PNG picture of the client area and the
// run of a script with its report written as it is made.
#pragma once

#include <string>
#include <string_view>

#include "platform/headless/headless.h"

namespace tavoren::headless {

// A double in C's %a form as glibc prints it ("0x1.9p+8", "0x0p+0", and the
// negated smallest subnormal as "-0x0.0000000000001p-1022"), the same bytes on
// every system.
std::string HexDouble(double v);

// The state block: see the README for the format.
std::string StateBlock(HeadlessPlatform& platform);

// The program's fixed facts as one JSON object, for the page's build and
// the tests in other languages: the client size, the panel's border and
// font, the colours, the rack, the messages, the keys and the page's event
// codes. See the README for the fields.
std::string Describe();

// Writes the client area as a PNG file, whole or not at all: the picture
// goes to a new file beside the target, which replaces the target only once
// every byte has been written and the file closed. Only a regular file (or
// no file yet) can be replaced. On failure returns false and says why.
bool WriteFramePng(const Framebuffer& fb, const std::string& file, std::string* why = nullptr);

// Where the driver's report goes, piece by piece as it is made.
class Output {
 public:
  virtual ~Output() = default;
  // Both return false once anything could not be written.
  virtual bool Write(std::string_view text) = 0;
  virtual bool Flush() = 0;
};

// A C stream: standard output or standard error.
class StreamOutput final : public Output {
 public:
  explicit StreamOutput(std::FILE* stream) : stream_(stream) {}
  bool Write(std::string_view text) override;
  bool Flush() override;

 private:
  std::FILE* stream_;
  bool failed_ = false;
};

// Runs a parsed script. What it reports goes to out, flushed after every
// settle line and every state block; errors go to err. A frame that cannot
// be written, or a report that cannot, ends the run at once. Returns the exit
// status: 0, or 1 when the run ended on such a failure.
int RunScript(const std::vector<Command>& script, Output& out, Output& err);

// The same, collecting everything in two strings (for tests).
int RunScript(const std::vector<Command>& script, std::string& out, std::string& err);

}  // namespace tavoren::headless
