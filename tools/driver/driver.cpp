#include "tools/driver/driver.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/web/page_events.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace tavoren::headless {

namespace fs = std::filesystem;

std::string HexDouble(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  std::string s = (bits >> 63) ? "-" : "";
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0x7FF) return s + (mantissa ? "nan" : "inf");
  int exponent;
  char lead;
  if (biased == 0) {
    if (mantissa == 0) return s + "0x0p+0";
    lead = '0';
    exponent = -1022;
  } else {
    lead = '1';
    exponent = biased - 1023;
  }
  s += "0x";
  s += lead;
  if (mantissa != 0) {
    static const char* digits = "0123456789abcdef";
    std::string frac;
    for (int shift = 48; shift >= 0; shift -= 4) frac += digits[(mantissa >> shift) & 0xF];
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    s += '.';
    s += frac;
  }
  s += 'p';
  s += exponent < 0 ? '-' : '+';
  s += std::to_string(exponent < 0 ? -exponent : exponent);
  return s;
}

namespace {

// A JSON string: UTF-8 passed through, quotes, backslashes and control
// characters escaped.
std::string JsonString(std::string_view text) {
  std::string s = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      s += escape;
    } else {
      s += c;
    }
  }
  return s + "\"";
}

// A colour as CSS writes it, "#rrggbb".
std::string CssColour(TColor c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFFu, (c >> 8) & 0xFFu, (c >> 16) & 0xFFu);
  return JsonString(text);
}

// {"name": value, ...} over (name, already formatted value) pairs.
std::string JsonObject(std::initializer_list<std::pair<const char*, std::string>> fields,
                       const std::string& indent = "  ") {
  std::string s = "{";
  const char* separator = "\n";
  for (const auto& [name, value] : fields) {
    s += separator + indent + "  " + JsonString(name) + ": " + value;
    separator = ",\n";
  }
  return s + "\n" + indent + "}";
}

std::string JsonPair(int a, int b) {
  return "[" + std::to_string(a) + ", " + std::to_string(b) + "]";
}

}  // namespace

std::string Describe() {
  using std::to_string;
  std::string balls = "[", rack = "[";
  for (int i = 0; i < 10; ++i) {
    balls += (i ? ", " : "") + CssColour(colors::kBall[i]);
    rack += (i ? ", " : "") + JsonPair(kRackLayout[i].X, kRackLayout[i].Y);
  }
  balls += "]";
  rack += "]";
  namespace web = tavoren::web;
  return JsonObject(
             {
                 {"client", JsonObject({{"width", to_string(kClientWidth)},
                                        {"height", to_string(kClientHeight)},
                                        {"panelTop", to_string(kPanelTop)}},
                                       "  ")},
                 {"panel", JsonObject({{"border", to_string(kPanelBorder)},
                                       {"fontPixels", to_string(kPanelFontPixels)}},
                                      "  ")},
                 {"colours", JsonObject({{"cloth", CssColour(colors::kCloth)},
                                         {"spot", CssColour(colors::kSpot)},
                                         {"rail", CssColour(colors::kRail)},
                                         {"pocket", CssColour(colors::kPocket)},
                                         {"strip", CssColour(colors::kStrip)},
                                         {"white", CssColour(colors::kWhite)},
                                         {"red", CssColour(colors::kRed)},
                                         {"black", CssColour(colors::kBlack)},
                                         {"buttonFace", CssColour(colors::kButtonFace)},
                                         {"balls", balls}},
                                        "  ")},
                 {"footSpot", JsonPair(table::kFootSpotX, table::kFootSpotY)},
                 {"rack", rack},
                 {"messages", JsonObject({{"title", JsonString(msg::kTitle)},
                                          {"aiming", JsonString(msg::kAiming)},
                                          {"strike", JsonString(msg::kStrike)},
                                          {"scratch", JsonString(msg::kScratch)},
                                          {"wrongFirst", JsonString(msg::kWrongFirst)},
                                          {"noCushion", JsonString(msg::kNoCushion)},
                                          {"cleared", JsonString(msg::kCleared)},
                                          {"nineBall", JsonString(msg::kNineBall)},
                                          {"undone", JsonString(msg::kUndone)}},
                                         "  ")},
                 {"keys", JsonObject({{"back", to_string(vk::kBack)},
                                      {"return", to_string(vk::kReturn)},
                                      {"escape", to_string(vk::kEscape)},
                                      {"home", to_string(vk::kHome)}},
                                     "  ")},
                 {"pageEvents", JsonObject({{"none", to_string(web::kNone)},
                                            {"key", to_string(web::kKey)},
                                            {"pointerDown", to_string(web::kPointerDown)},
                                            {"pointerMove", to_string(web::kPointerMove)},
                                            {"visible", to_string(web::kVisible)}},
                                           "  ")},
                 {"pageModifiers", JsonObject({{"shift", to_string(web::modifier::kShift)},
                                               {"alt", to_string(web::modifier::kAlt)},
                                               {"ctrl", to_string(web::modifier::kCtrl)}},
                                              "  ")},
             },
             "") +
         "\n";
}

std::string StateBlock(HeadlessPlatform& platform) {
  TForm1& f = platform.Form();
  std::string s;
  s += "state t=" + std::to_string(platform.Now()) +
       " clock=" + std::to_string(platform.ClockReading()) + "\n";
  s += std::string("mode ") + (f.TimerForCycle.Enabled() ? "running" : "aiming") + "\n";
  const std::string panel = f.PanelForMsg.Caption();
  s += panel.empty() ? "panel\n" : "panel " + panel + "\n";
  s += "history last=" + std::to_string(f.HistoryLast) + " pos=" + std::to_string(f.HistoryPos) +
       "\n";
  s += "target " + std::to_string(f.TargetBall) + "\n";
  s += "flags first_contact_seen=" + std::to_string(int{f.FirstContactSeen}) +
       " legal_first_hit=" + std::to_string(int{f.LegalFirstHit}) +
       " cushion_hit=" + std::to_string(int{f.CushionHit}) + "\n";
  s += "settings spin_x=" + HexDouble(f.SpinX) + " spin_y=" + HexDouble(f.SpinY) +
       " aim_x=" + HexDouble(f.AimX) + " aim_y=" + HexDouble(f.AimY) +
       " power=" + HexDouble(f.Power) + "\n";
  for (int i = 0; i < 10; ++i) {
    const TBall& b = f.Balls[i];
    s += "ball " + std::to_string(i) + " on_table=" + std::to_string(int{b.OnTable}) +
         " x=" + HexDouble(b.X) + " y=" + HexDouble(b.Y) + " vx=" + HexDouble(b.VX) +
         " vy=" + HexDouble(b.VY) + " roll_x=" + HexDouble(b.RollX) +
         " roll_y=" + HexDouble(b.RollY) + " side_spin=" + HexDouble(b.SideSpin) + "\n";
  }
  s += "end\n";
  return s;
}

namespace {

// The client area as RGB pixels, 1016 x 500, panel rows in the panel colour.
std::vector<unsigned char> ClientAreaRgb(const Framebuffer& fb) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(kClientWidth) * kClientHeight * 3);
  std::size_t k = 0;
  for (int y = 0; y < kClientHeight; ++y) {
    for (int x = 0; x < kClientWidth; ++x) {
      const TColor c = y < kPanelTop ? fb.Pixel(x, y) : colors::kButtonFace;
      rgb[k++] = static_cast<unsigned char>(c & 0xFF);
      rgb[k++] = static_cast<unsigned char>((c >> 8) & 0xFF);
      rgb[k++] = static_cast<unsigned char>((c >> 16) & 0xFF);
    }
  }
  return rgb;
}

// A file name as the driver takes every name: UTF-8, on every system.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// What stands at path: nothing, a regular file, or something else (a
// directory, a device, a pipe), which a frame must never replace.
enum class Existing { None, File, Other };

Existing WhatIsAt(const fs::path& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) return Existing::None;
  return fs::is_regular_file(st) ? Existing::File : Existing::Other;
}

std::string LastError() {
  const int e = errno;
  return e != 0 ? std::strerror(e) : "write failed";
}

struct PngBytes {
  unsigned char* data = nullptr;
  int size = 0;
  ~PngBytes() { STBIW_FREE(data); }
};

}  // namespace

bool WriteFramePng(const Framebuffer& fb, const std::string& file, std::string* why) {
  const auto fail = [&](const std::string& reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  if (file.empty()) return fail("no file name");
  const fs::path target = PathOf(file);
  if (WhatIsAt(target) == Existing::Other) return fail("not a regular file");
  const std::vector<unsigned char> rgb = ClientAreaRgb(fb);
  PngBytes png;
  png.data = stbi_write_png_to_mem(rgb.data(), kClientWidth * 3, kClientWidth, kClientHeight, 3,
                                   &png.size);
  if (png.data == nullptr || png.size <= 0) return fail("out of memory");
  // A name beside the target that nothing uses yet.
  std::string part;
  for (int n = 0;; ++n) {
    part = file + ".part" + (n > 0 ? std::to_string(n) : "");
    if (WhatIsAt(PathOf(part)) == Existing::None) break;
    if (n == 99) return fail("no free name for the partial file " + part);
  }
  const fs::path partPath = PathOf(part);
  errno = 0;
  std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
  if (!out) return fail("cannot create " + part + ": " + LastError());
  errno = 0;
  out.write(reinterpret_cast<const char*>(png.data), png.size);
  out.flush();
  std::string reason = out ? "" : LastError();
  errno = 0;
  out.close();
  if (!out && reason.empty()) reason = LastError();
  std::error_code ec;
  if (!reason.empty()) {
    fs::remove(partPath, ec);
    return fail(reason);
  }
  fs::rename(partPath, target, ec);
  if (ec) {
    reason = ec.message();
    fs::remove(partPath, ec);
    return fail(reason);
  }
  return true;
}

bool StreamOutput::Write(std::string_view text) {
  if (failed_) return false;
  failed_ = std::fwrite(text.data(), 1, text.size(), stream_) != text.size();
  return !failed_;
}

bool StreamOutput::Flush() {
  if (!failed_) failed_ = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
  return !failed_;
}

namespace {

class StringOutput final : public Output {
 public:
  explicit StringOutput(std::string& text) : text_(text) {}
  bool Write(std::string_view text) override {
    text_.append(text);
    return true;
  }
  bool Flush() override { return true; }

 private:
  std::string& text_;
};

// Reports each answer as soon as it is made; the first failure stops the run.
class PrintingObserver final : public Observer {
 public:
  PrintingObserver(HeadlessPlatform& platform, Output& out, Output& err)
      : platform_(platform), out_(out), err_(err) {}
  void OnSettle(bool settled, std::int64_t elapsedMs) override {
    Report((settled ? "settled " : "unsettled ") + std::to_string(elapsedMs) + "\n");
  }
  void OnState() override { Report(StateBlock(platform_)); }
  void OnFrame(const std::string& file) override {
    std::string why;
    if (!WriteFramePng(platform_.Form().Canvas, file, &why)) {
      Fail("tavoren-headless: cannot write frame " + Quoted(file, 400) + ": " + why + "\n");
    }
  }
  bool failed = false;

 private:
  void Report(const std::string& text) {
    if (!out_.Write(text) || !out_.Flush()) {
      Fail("tavoren-headless: cannot write standard output\n");
    }
  }
  void Fail(const std::string& message) {
    err_.Write(message);
    err_.Flush();
    failed = true;
    platform_.Stop();
  }

  HeadlessPlatform& platform_;
  Output& out_;
  Output& err_;
};

}  // namespace

int RunScript(const std::vector<Command>& script, Output& out, Output& err) {
  // The form holds a hundred snapshots and the framebuffer: keep it off the stack.
  auto platform = std::make_unique<HeadlessPlatform>();
  PrintingObserver observer(*platform, out, err);
  platform->Run(script, &observer);
  return observer.failed ? 1 : 0;
}

int RunScript(const std::vector<Command>& script, std::string& out, std::string& err) {
  StringOutput outText(out), errText(err);
  return RunScript(script, outText, errText);
}

}  // namespace tavoren::headless
