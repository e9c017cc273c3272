// The pieces of tavoren-headless that tests use too: the exact state block,
// the hexadecimal double format, and the PNG picture of the client area.
#pragma once

#include <string>

#include "platform/headless/headless.h"

namespace tavoren::headless {

// A double in C's %a form as glibc prints it ("0x1.9p+8", "0x0p+0",
// "-0x1p-1074"), the same bytes on every system.
std::string HexDouble(double v);

// The state block: see the README for the format.
std::string StateBlock(HeadlessPlatform& platform);

// The client area as RGB pixels, 1016 x 500, panel rows in the panel colour.
std::vector<unsigned char> ClientAreaRgb(const Framebuffer& fb);

// Writes the client area as a PNG file; false when it cannot be written.
bool WriteFramePng(const Framebuffer& fb, const std::string& file);

// Runs a parsed script and writes everything it reports to out; frame errors
// go to err. Returns the exit status: 0, or 1 when a frame failed.
int RunScript(const std::vector<Command>& script, std::string& out, std::string& err);

}  // namespace tavoren::headless
