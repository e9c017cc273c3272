#include "tools/headless/driver.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8
#include <stb/stb_image_write.h>

namespace tavoren::headless {

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

std::string StateBlock(HeadlessPlatform& platform) {
  TForm1& f = platform.Form();
  std::string s;
  s += "state t=" + std::to_string(platform.Now()) + " clock=" +
       std::to_string(platform.ClockReading()) + "\n";
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

bool WriteFramePng(const Framebuffer& fb, const std::string& file) {
  const std::vector<unsigned char> rgb = ClientAreaRgb(fb);
  return stbi_write_png(file.c_str(), kClientWidth, kClientHeight, 3, rgb.data(),
                        kClientWidth * 3) != 0;
}

namespace {

class PrintingObserver final : public Observer {
 public:
  PrintingObserver(HeadlessPlatform& platform, std::string& out, std::string& err)
      : platform_(platform), out_(out), err_(err) {}
  void OnSettle(bool settled, std::int64_t elapsedMs) override {
    out_ += (settled ? "settled " : "unsettled ") + std::to_string(elapsedMs) + "\n";
  }
  void OnState() override { out_ += StateBlock(platform_); }
  void OnFrame(const std::string& file) override {
    if (!WriteFramePng(platform_.Form().Canvas, file)) {
      err_ += "tavoren-headless: cannot write frame " + file + "\n";
      failed = true;
    }
  }
  bool failed = false;

 private:
  HeadlessPlatform& platform_;
  std::string& out_;
  std::string& err_;
};

}  // namespace

int RunScript(const std::vector<Command>& script, std::string& out, std::string& err) {
  // The form holds a hundred snapshots and the framebuffer: keep it off the stack.
  auto platform = std::make_unique<HeadlessPlatform>();
  PrintingObserver observer(*platform, out, err);
  platform->Run(script, &observer);
  return observer.failed ? 1 : 0;
}

}  // namespace tavoren::headless
