// tavoren-headless: the script parser, the timeline and its ticks, settle,
// the state block and its hexadecimal doubles, PNG frames, exit statuses
// and repeatability, through the library and through the built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "platform/web/page_events.h"
#include "tests/support.h"
#include "tools/driver/driver.h"

namespace tavoren::headless {
namespace {

namespace fs = std::filesystem;

const std::string kAimingText = msg::kAiming;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A fresh directory of its own for each test (ctest runs them in parallel).
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("tavoren-" + std::string(info->name()) + "-" +
                                         std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// --- Running the library -----------------------------------------------------

std::vector<Command> Parse(const std::string& text) { return testing::Script(text); }

std::string Output(const std::string& text) {
  std::string out, err;
  EXPECT_EQ(RunScript(Parse(text), out, err), 0) << err;
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The state blocks of an output, each as its lines from "state ..." to "end".
std::vector<std::vector<std::string>> StateBlocks(const std::string& out) {
  std::vector<std::vector<std::string>> blocks;
  bool inside = false;
  for (const std::string& line : Lines(out)) {
    if (line.rfind("state ", 0) == 0) {
      blocks.emplace_back();
      inside = true;
    }
    if (inside) blocks.back().push_back(line);
    if (line == "end") inside = false;
  }
  return blocks;
}

// The lines of an output that are not inside a state block.
std::vector<std::string> ReportLines(const std::string& out) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const std::string& line : Lines(out)) {
    if (line.rfind("state ", 0) == 0) inside = true;
    if (!inside) lines.push_back(line);
    if (line == "end") inside = false;
  }
  return lines;
}

// --- Running the program -----------------------------------------------------

struct ProgramResult {
  int status = -1;
  std::string out, err;
};

#if defined(_WIN32)
#define REQUIRE_POSIX_SHELL() GTEST_SKIP() << "runs the program through a POSIX shell"
#else
#define REQUIRE_POSIX_SHELL() (void)0
#endif

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line; its exit status, or -1 when it did not exit.
int ShellStatus(const std::string& command) {
  const int raw = std::system(command.c_str());
#if defined(_WIN32)
  return raw;
#else
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

// Runs tavoren-headless in `dir` with the given arguments (already quoted)
// and, if `input` is given, that text on standard input.
ProgramResult RunProgram(const ScratchDir& dir, const std::string& args,
                         const std::string* input = nullptr) {
  ProgramResult r;
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt", in = dir / "stdin.txt";
  std::string command = "cd " + Quote(dir.Path().string()) + " && " + Quote(TAVOREN_HEADLESS_BIN);
  if (!args.empty()) command += " " + args;
  if (input != nullptr) {
    WriteFile(in, *input);
    command += " < " + Quote(in.string());
  } else {
    command += " < /dev/null";
  }
  command += " > " + Quote(out.string()) + " 2> " + Quote(err.string());
  r.status = ShellStatus(command);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

ProgramResult RunProgramOnScript(const ScratchDir& dir, const std::string& script) {
  const fs::path file = dir / "script.txt";
  WriteFile(file, script);
  return RunProgram(dir, Quote(file.string()));
}

// ---------------------------------------------------------------------------
// Parser

struct BadScript {
  const char* script;
  int line;
  const char* text;
};

const BadScript kBadScripts[] = {
    {"state\nshow\njump 5\n", 3, "jump 5"},
    {"state\nwait\n", 2, "wait"},
    {"state\nkey\n", 2, "key"},
    {"state\npress 10\n", 2, "press 10"},
    {"state\ndrag\n", 2, "drag"},
    {"state\nframe\n", 2, "frame"},
    {"state\nkey # 13\n", 2, "key # 13"},
    {"state\nkey 65536\n", 2, "key 65536"},
    {"state\nkey -1\n", 2, "key -1"},
    {"state\nclock 4294967296\n", 2, "clock 4294967296"},
    {"state\nclock -1\n", 2, "clock -1"},
    {"state\nwait -1\n", 2, "wait -1"},
    {"state\nsettle -5\n", 2, "settle -5"},
    {"state\nwait 99999999999999999999999\n", 2, "wait 99999999999999999999999"},
    {"state\nwait 10x\n", 2, "wait 10x"},
    {"state\nwait 1.5\n", 2, "wait 1.5"},
    {"state\nkey 0x0D\n", 2, "key 0x0D"},
    {"state\nkey 13 13\n", 2, "key 13 13"},
    {"state\npress 1 2 3\n", 2, "press 1 2 3"},
    {"state\nsettle 5 5\n", 2, "settle 5 5"},
    {"state\nshow now\n", 2, "show now"},
    {"state\nSTATE\n", 2, "STATE"},
    {"state\n\n# fine so far\n  \npaint\nwaiting 5\n", 6, "waiting 5"},
};

TEST(ScriptParser, ReportsTheFirstBadLine) {
  for (const BadScript& bad : kBadScripts) {
    std::vector<Command> script;
    ParseError error;
    EXPECT_FALSE(ParseScript(bad.script, script, error)) << bad.text;
    EXPECT_EQ(error.line, bad.line) << bad.text;
    EXPECT_EQ(error.text, bad.text);
    EXPECT_FALSE(error.message.empty()) << bad.text;
    EXPECT_TRUE(script.empty()) << bad.text;
  }
}

TEST(ScriptParser, ByteOrderMarkOnlyAtTheVeryStart) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(Output(bom + "clock 9\r\nshow\r\nsettle\r\nstate\r\n"),
            Output("clock 9\nshow\nsettle\nstate\n"));
  EXPECT_EQ(Parse(bom + "# a comment first\nshow\n").size(), 1u);
  EXPECT_TRUE(Parse(bom).empty());
  struct Case {
    std::string script;
    int line;
  } bad[] = {{"show\n" + bom + "settle\n", 2},
             {bom + bom + "show\n", 1},
             {" " + bom + "show\n", 1},
             {"show " + bom + "\n", 1}};
  for (const Case& c : bad) {
    std::vector<Command> script;
    ParseError error;
    ASSERT_FALSE(ParseScript(c.script, script, error)) << Quoted(c.script);
    EXPECT_EQ(error.line, c.line) << Quoted(c.script);
    // The mark shows in the message rather than hiding in it.
    const std::string shown = error.message + ": " + Quoted(error.text);
    EXPECT_NE(shown.find("\\xef\\xbb\\xbf"), std::string::npos) << shown;
  }
}

TEST(Quoted, EscapesWhatATerminalWouldNotShowAsText) {
  EXPECT_EQ(Quoted("key 65536"), "\"key 65536\"");
  EXPECT_EQ(Quoted(std::string("a\0b", 3)), "\"a\\x00b\"");
  EXPECT_EQ(Quoted("cr\rlf\ntab\t"), "\"cr\\rlf\\ntab\\t\"");
  EXPECT_EQ(Quoted("\x1b[2Jgone\x7f"), "\"\\x1b[2Jgone\\x7f\"");
  EXPECT_EQ(Quoted("say \"hi\" \\o/"), "\"say \\\"hi\\\" \\\\o/\"");
  // Printable UTF-8 stays as it is; broken or invisible sequences do not.
  EXPECT_EQ(Quoted("ショット"), "\"ショット\"");
  EXPECT_EQ(Quoted("\x80x\xC3"), "\"\\x80x\\xc3\"");
  EXPECT_EQ(Quoted("\xC0\x80"), "\"\\xc0\\x80\"");                    // overlong NUL
  EXPECT_EQ(Quoted("\xED\xA0\x80"), "\"\\xed\\xa0\\x80\"");           // a surrogate
  EXPECT_EQ(Quoted("\xC2\x85"), "\"\\xc2\\x85\"");                    // C1 next line
  EXPECT_EQ(Quoted("\xE2\x80\xAEtxt"), "\"\\xe2\\x80\\xaetxt\"");     // right-to-left override
  EXPECT_EQ(Quoted("\xF4\x90\x80\x80"), "\"\\xf4\\x90\\x80\\x80\"");  // past U+10FFFF
}

TEST(Quoted, CutsLongTextAtWholeCharacters) {
  const std::string mega(1 << 20, 'x');
  const std::string q = Quoted(mega);
  EXPECT_EQ(q, "\"" + std::string(120, 'x') + "\"... (1048576 bytes)");
  std::string kana;
  for (int i = 0; i < 130; ++i) kana += "あ";
  std::string want = "\"";
  for (int i = 0; i < 120; ++i) want += "あ";
  EXPECT_EQ(Quoted(kana), want + "\"... (390 bytes)");
  EXPECT_EQ(Quoted(std::string(120, 'y')), "\"" + std::string(120, 'y') + "\"");
  EXPECT_EQ(Quoted(std::string(121, '\0'), 3), "\"\\x00\\x00\\x00\"... (121 bytes)");
}

TEST(ScriptParser, HugeOrBinaryBadLineGivesAShortPrintableMessage) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  std::string line(1 << 20, 'z');
  line[5] = '\0';
  line[7] = '\r';
  line[9] = '\x1b';
  const ProgramResult r = RunProgramOnScript(dir, "show\n" + line + "\nstate\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_LT(r.err.size(), 700u) << r.err.size();
  EXPECT_NE(r.err.find("line 2: unknown command: \"zzzzz\\x00z\": \"zzzzz\\x00z\\rz\\x1bz"),
            std::string::npos)
      << r.err.substr(0, 300);
  EXPECT_NE(r.err.find("(1048576 bytes)"), std::string::npos);
  for (char c : r.err) {
    const unsigned char u = static_cast<unsigned char>(c);
    ASSERT_TRUE(u == '\n' || (u >= 0x20 && u < 0x7F)) << "raw byte " << int{u};
  }
}

TEST(ScriptParser, BadScriptExitsWithStatusTwoBeforeAnythingRuns) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  for (const BadScript& bad : kBadScripts) {
    // A frame early in the script must not be written either.
    const std::string script = std::string("frame early.png\n") + bad.script;
    const ProgramResult r = RunProgramOnScript(dir, script);
    EXPECT_EQ(r.status, 2) << bad.text;
    EXPECT_EQ(r.out, "") << bad.text;
    const std::string lineNo = "line " + std::to_string(bad.line + 1);
    EXPECT_NE(r.err.find(lineNo), std::string::npos) << bad.text << "\n" << r.err;
    EXPECT_NE(r.err.find(bad.text), std::string::npos) << bad.text << "\n" << r.err;
    EXPECT_FALSE(fs::exists(dir / "early.png")) << bad.text;
  }
  // The same on standard input.
  const std::string input = "state\nkey 70000\n";
  const ProgramResult r = RunProgram(dir, "", &input);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("key 70000"), std::string::npos) << r.err;
}

TEST(ScriptParser, AcceptsTheLimitsCommentsAndLooseSpacing) {
  const std::string text =
      "# a comment line\n"
      "\n"
      "clock 4294967295   # the largest reading\n"
      "clock 0\n"
      "key 0\n"
      "key 65535\n"
      "\twait 0\r\n"
      "settle\n"
      "settle 0\n"
      "press -5 700\n"
      "press-right 1 2\n"
      "drag 3 4\n"
      "move 5 6\n"
      "frame  my frame.png  \n"
      "frame e\n"
      "paint\nshow\nstate\nclose\n";
  const std::vector<Command> s = Parse(text);
  ASSERT_EQ(s.size(), 17u);
  EXPECT_EQ(s[0].op, Op::Clock);
  EXPECT_EQ(s[0].a, 4294967295LL);
  EXPECT_EQ(s[0].line, 3);
  EXPECT_EQ(s[3].a, 65535);
  EXPECT_EQ(s[4].op, Op::Wait);
  EXPECT_EQ(s[4].a, 0);
  EXPECT_EQ(s[5].op, Op::Settle);
  EXPECT_EQ(s[5].a, 600000);  // the default cap
  EXPECT_EQ(s[6].a, 0);
  EXPECT_EQ(s[7].op, Op::Press);
  EXPECT_EQ(s[7].a, -5);
  EXPECT_EQ(s[7].b, 700);
  EXPECT_EQ(s[8].op, Op::PressRight);
  EXPECT_EQ(s[9].op, Op::Drag);
  EXPECT_EQ(s[10].op, Op::Move);
  EXPECT_EQ(s[11].op, Op::Frame);
  EXPECT_EQ(s[11].file, "my frame.png");
  EXPECT_EQ(s[12].file, "e");  // a name that also occurs inside the word "frame"
  EXPECT_EQ(s[16].op, Op::Close);
  EXPECT_EQ(s[16].line, 19);
}

TEST(ScriptParser, UsageAndUnreadableScripts) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  EXPECT_EQ(RunProgram(dir, "a.txt b.txt").status, 2);
  const ProgramResult missing = RunProgram(dir, "no-such-script.txt");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("no-such-script.txt"), std::string::npos) << missing.err;
  // A directory is not an empty script.
  const ProgramResult directory = RunProgram(dir, Quote(dir.Path().string()));
  EXPECT_EQ(directory.status, 2);
  EXPECT_EQ(directory.out, "");
  // An empty script and one of comments only run to their end.
  EXPECT_EQ(RunProgramOnScript(dir, "").status, 0);
  const ProgramResult comments = RunProgramOnScript(dir, "# nothing\n\n   # at all\n");
  EXPECT_EQ(comments.status, 0);
  EXPECT_EQ(comments.out, "");
  EXPECT_EQ(comments.err, "");
}

// ---------------------------------------------------------------------------
// State block

TEST(StateBlock, NewWindowPrintsEveryFieldZero) {
  std::string want =
      "state t=0 clock=0\n"
      "mode aiming\n"
      "panel\n"
      "history last=0 pos=0\n"
      "target 0\n"
      "flags first_contact_seen=0 legal_first_hit=0 cushion_hit=0\n"
      "settings spin_x=0x0p+0 spin_y=0x0p+0 aim_x=0x0p+0 aim_y=0x0p+0 power=0x0p+0\n";
  for (int i = 0; i < 10; ++i) {
    want += "ball " + std::to_string(i) +
            " on_table=0 x=0x0p+0 y=0x0p+0 vx=0x0p+0 vy=0x0p+0 roll_x=0x0p+0 roll_y=0x0p+0 "
            "side_spin=0x0p+0\n";
  }
  want += "end\n";
  EXPECT_EQ(Output("state\n"), want);
}

TEST(StateBlock, RackAtClockZero) {
  const std::vector<std::vector<std::string>> blocks = StateBlocks(Output("show\nstate\n"));
  ASSERT_EQ(blocks.size(), 1u);
  const std::vector<std::string>& b = blocks[0];
  ASSERT_EQ(b.size(), 18u);
  EXPECT_EQ(b[0], "state t=0 clock=0");
  EXPECT_EQ(b[1], "mode running");
  EXPECT_EQ(b[2], "panel");
  EXPECT_EQ(b[3], "history last=0 pos=0");
  EXPECT_EQ(b[4], "target 1");
  EXPECT_EQ(b[5], "flags first_contact_seen=0 legal_first_hit=1 cushion_hit=1");
  // 400 = 1.5625 * 2^8; 0.4 = 0x1.999999999999ap-2 (rounded up at the last digit).
  EXPECT_EQ(b[6],
            "settings spin_x=0x0p+0 spin_y=0x0p+0 aim_x=0x1.9p+8 aim_y=0x0p+0 "
            "power=0x1.999999999999ap-2");
  // The cue ball: first draw 2^-32, second 134775814 * 2^-32, so
  // x = 239.5 + 2^-32 and y = 239.5 + 0x8088406 * 2^-32.
  EXPECT_EQ(b[7],
            "ball 0 on_table=1 x=0x1.df00000002p+7 y=0x1.df1011080cp+7 vx=0x0p+0 "
            "vy=0x0p+0 roll_x=0x0p+0 roll_y=0x0p+0 side_spin=0x0p+0");
  EXPECT_EQ(b[17], "end");
}

TEST(StateBlock, PanelLineCarriesTheMessage) {
  const std::vector<std::vector<std::string>> blocks =
      StateBlocks(Output("clock 5\nshow\nsettle\nstate\n"));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0][1], "mode aiming");
  EXPECT_EQ(blocks[0][2], "panel " + kAimingText);
}

// ---------------------------------------------------------------------------
// Hexadecimal doubles

TEST(HexDouble, KnownValues) {
  EXPECT_EQ(HexDouble(0.0), "0x0p+0");
  EXPECT_EQ(HexDouble(-0.0), "-0x0p+0");
  EXPECT_EQ(HexDouble(1.0), "0x1p+0");
  EXPECT_EQ(HexDouble(-2.0), "-0x1p+1");
  EXPECT_EQ(HexDouble(400.0), "0x1.9p+8");
  EXPECT_EQ(HexDouble(0.5), "0x1p-1");
  EXPECT_EQ(HexDouble(0.1), "0x1.999999999999ap-4");
  EXPECT_EQ(HexDouble(0.08), "0x1.47ae147ae147bp-4");
  EXPECT_EQ(HexDouble(DBL_MAX), "0x1.fffffffffffffp+1023");
  EXPECT_EQ(HexDouble(DBL_MIN), "0x1p-1022");
  EXPECT_EQ(HexDouble(std::numeric_limits<double>::denorm_min()), "0x0.0000000000001p-1022");
  EXPECT_EQ(HexDouble(-std::numeric_limits<double>::denorm_min()), "-0x0.0000000000001p-1022");
  EXPECT_EQ(HexDouble(DBL_MIN / 2), "0x0.8p-1022");
  EXPECT_EQ(HexDouble(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(HexDouble(-std::numeric_limits<double>::infinity()), "-inf");
}

#if defined(__GLIBC__)
std::string Printf(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", v);
  return buf;
}

double FromBits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

TEST(HexDouble, SameBytesAsTheCLibrary) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                400.0,
                                -400.0,
                                0.1,
                                -0.1,
                                0.4,
                                0.08,
                                239.5 + 0x1p-32,
                                1.0 / 3.0,
                                1e300,
                                -1e-300,
                                DBL_MAX,
                                -DBL_MAX,
                                DBL_MIN,
                                DBL_MIN / 2,
                                DBL_MIN / 3,
                                DBL_EPSILON,
                                std::numeric_limits<double>::denorm_min(),
                                std::nextafter(DBL_MIN, 0.0),
                                std::nextafter(1.0, 2.0),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  for (int e = -1074; e <= 1023; ++e) values.push_back(std::ldexp(1.0, e));
  std::mt19937_64 rng(20240607);
  for (int i = 0; i < 20000; ++i) {
    const double v = FromBits(rng());
    if (!std::isnan(v)) values.push_back(v);
  }
  // Subnormals with every count of trailing zero digits.
  for (int shift = 0; shift < 52; ++shift) {
    values.push_back(FromBits((rng() & ((std::uint64_t{1} << 52) - 1)) >> shift));
    values.push_back(-FromBits(std::uint64_t{1} << shift));
  }
  for (double v : values) ASSERT_EQ(HexDouble(v), Printf(v)) << Printf(v);
}
#endif

// ---------------------------------------------------------------------------
// Timeline

TEST(Timeline, FirstTickFortyMillisecondsAfterShow) {
  const auto blocks = StateBlocks(Output("show\nwait 39\nstate\nwait 1\nstate\nwait 1\nstate\n"));
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0][0], "state t=39 clock=39");
  EXPECT_EQ(blocks[0][1], "mode running");
  EXPECT_EQ(blocks[0][2], "panel");
  // At 40 the command comes before the tick due at the same millisecond.
  EXPECT_EQ(blocks[1][0], "state t=40 clock=40");
  EXPECT_EQ(blocks[1][1], "mode running");
  EXPECT_EQ(blocks[1][2], "panel");
  EXPECT_EQ(blocks[2][0], "state t=41 clock=41");
  EXPECT_EQ(blocks[2][1], "mode aiming");
  EXPECT_EQ(blocks[2][2], "panel " + kAimingText);
}

TEST(Timeline, TicksEveryFortyMillisecondsOnlyWhileEnabled) {
  auto p = std::make_unique<HeadlessPlatform>();
  p->Run(Parse("wait 5000\nstate\n"));
  EXPECT_EQ(p->TicksDelivered(), 0);  // never shown: the timer never ran
  p->Run(Parse("clock 1000\nshow\nsettle\n"));
  EXPECT_EQ(p->Now(), 5040);
  EXPECT_EQ(p->TicksDelivered(), 1);
  // Aiming: a spin setting survives any wait, which a tick (judging the
  // rack again) would reset.
  p->Run(Parse("press 940 240\nwait 100000\nstate\n"));
  EXPECT_EQ(p->TicksDelivered(), 1);
  EXPECT_EQ(p->Form().SpinX, 10.0 / 30.0);
  EXPECT_EQ(HexDouble(p->Form().SpinX), "0x1.5555555555555p-2");
  // The strike enables the timer at 105040: ticks at 105080, ..., 105440
  // (the state at 105440 comes before the tick of that millisecond).
  p->Run(Parse("key 13\nwait 400\nstate\n"));
  EXPECT_EQ(p->Now(), 105440);
  EXPECT_EQ(p->TicksDelivered(), 1 + 9);
}

TEST(Timeline, ClockCountsFromItsSettingAndWraps) {
  const auto blocks = StateBlocks(
      Output("wait 7\nstate\nclock 4294967295\nstate\nwait 2\nstate\nclock 5\nwait 10\nstate\n"));
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0][0], "state t=7 clock=7");
  EXPECT_EQ(blocks[1][0], "state t=7 clock=4294967295");
  EXPECT_EQ(blocks[2][0], "state t=9 clock=1");
  EXPECT_EQ(blocks[3][0], "state t=19 clock=15");
}

// ---------------------------------------------------------------------------
// Settle

TEST(Settle, ReportsHowLongItTook) {
  // A rack settles at its first tick.
  EXPECT_EQ(ReportLines(Output("clock 99\nshow\nsettle\n")),
            std::vector<std::string>{"settled 40"});
  // Already aiming: at once. A window never shown is aiming too.
  EXPECT_EQ(ReportLines(Output("clock 99\nshow\nsettle\nsettle\n")),
            (std::vector<std::string>{"settled 40", "settled 0"}));
  EXPECT_EQ(ReportLines(Output("settle 10\n")), std::vector<std::string>{"settled 0"});
  // A rack that is not given the time for its tick. A cap at the tick's
  // millisecond (40) ends before that tick, like any command; the next
  // settle then sees the tick at once.
  EXPECT_EQ(ReportLines(Output("show\nsettle 39\nsettle 0\nsettle 1\nsettle 2\nstate\n")),
            (std::vector<std::string>{"unsettled 39", "unsettled 0", "unsettled 1", "settled 0"}));
  EXPECT_EQ(ReportLines(Output("show\nsettle 39\nsettle 2\n")),
            (std::vector<std::string>{"unsettled 39", "settled 1"}));
}

TEST(Settle, CapWhileBallsMoveEndsExactlyAtTheCap) {
  const std::string out = Output("clock 1000\nshow\nsettle\nkey 13\nsettle 100\nstate\n");
  EXPECT_EQ(ReportLines(out), (std::vector<std::string>{"settled 40", "unsettled 100"}));
  const auto blocks = StateBlocks(out);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0][0], "state t=140 clock=1140");
  EXPECT_EQ(blocks[0][1], "mode running");
  // A cap that falls on a tick's millisecond (t = 40 + 80 = 120): the tick
  // of that millisecond has not run yet.
  auto p = std::make_unique<HeadlessPlatform>();
  p->Run(Parse("clock 1000\nshow\nsettle\nkey 13\nsettle 80\n"));
  EXPECT_EQ(p->Now(), 120);
  EXPECT_EQ(p->TicksDelivered(), 2);  // the rack's, and the one at 80
}

TEST(Settle, TheBreakComesToRest) {
  const std::string out = Output("clock 1000\nshow\nsettle\nkey 13\nsettle\nstate\n");
  const std::vector<std::string> reports = ReportLines(out);
  ASSERT_EQ(reports.size(), 2u);
  ASSERT_EQ(reports[1].rfind("settled ", 0), 0u) << reports[1];
  const long long took = std::stoll(reports[1].substr(8));
  EXPECT_GT(took, 40);
  EXPECT_EQ(took % 40, 0);  // only a tick ends a shot
  const auto blocks = StateBlocks(out);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0][0],
            "state t=" + std::to_string(40 + took) + " clock=" + std::to_string(1040 + took));
  EXPECT_EQ(blocks[0][1], "mode aiming");
  for (int i = 7; i <= 16; ++i) {
    const std::string& ball = blocks[0][i];
    if (ball.find("on_table=1") == std::string::npos) continue;
    EXPECT_NE(ball.find("vx=0x0p+0 vy=0x0p+0 roll_x=0x0p+0 roll_y=0x0p+0 side_spin=0x0p+0"),
              std::string::npos)
        << ball;
  }
}

// ---------------------------------------------------------------------------
// Frames

// Compares a decoded RGB picture with the framebuffer, panel rows grey.
void ExpectPictureMatches(const unsigned char* rgb, const Framebuffer& fb) {
  int mismatches = 0;
  for (int y = 0; y < kClientHeight; ++y) {
    for (int x = 0; x < kClientWidth; ++x) {
      const TColor c = y < kPanelTop ? fb.Pixel(x, y) : 0xF0F0F0;
      const unsigned char* px = rgb + (static_cast<std::size_t>(y) * kClientWidth + x) * 3;
      if (px[0] != (c & 0xFF) || px[1] != ((c >> 8) & 0xFF) || px[2] != ((c >> 16) & 0xFF)) {
        if (++mismatches <= 5) ADD_FAILURE() << "pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Channel order checked against colours known by their names.
void ExpectKnownColours(const unsigned char* rgb, bool aiming) {
  auto at = [rgb](int x, int y) {
    const unsigned char* p = rgb + (static_cast<std::size_t>(y) * kClientWidth + x) * 3;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(at(10, 10), (std::vector<int>{0x70, 0x20, 0x00}));    // rail: dark reddish brown
  EXPECT_EQ(at(100, 100), (std::vector<int>{0x00, 0xC0, 0x00}));  // cloth: green
  EXPECT_EQ(at(31, 31), (std::vector<int>{0, 0, 0}));             // a pocket
  EXPECT_EQ(at(900, 10), (std::vector<int>{0x00, 0x00, 0xFF}));   // strip: blue
  EXPECT_EQ(at(500, 490), (std::vector<int>{0xF0, 0xF0, 0xF0}));  // panel
  if (aiming) {
    EXPECT_EQ(at(930, 250), (std::vector<int>{0xFF, 0xFF, 0xFF}));  // spin disc
    EXPECT_EQ(at(930, 240), (std::vector<int>{0xFF, 0x00, 0x00}));  // marker: red
    EXPECT_EQ(at(440, 240), (std::vector<int>{0xFF, 0x00, 0x00}));  // cue line
  } else {
    EXPECT_EQ(at(930, 240), (std::vector<int>{0x00, 0x00, 0xFF}));  // bare strip
  }
}

TEST(Frame, WrittenPictureIsTheFramebuffer) {
  ScratchDir dir;
  auto p = std::make_unique<HeadlessPlatform>();
  p->Run(Parse("clock 777\nshow\nsettle\n"));
  const fs::path file = dir / "rack.png";
  ASSERT_TRUE(WriteFramePng(p->Form().Canvas, file.string()));
  int w = 0, h = 0, n = 0;
  unsigned char* rgb = stbi_load(file.string().c_str(), &w, &h, &n, 3);
  ASSERT_NE(rgb, nullptr) << stbi_failure_reason();
  EXPECT_EQ(w, kClientWidth);
  EXPECT_EQ(h, kClientHeight);
  ExpectPictureMatches(rgb, p->Form().Canvas);
  ExpectKnownColours(rgb, true);
  stbi_image_free(rgb);
  EXPECT_FALSE(WriteFramePng(p->Form().Canvas, (dir / "no-such-dir" / "x.png").string()));
}

TEST(Frame, ProgramWritesTheFramesItIsAskedFor) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  // A paint before the first tick shows the strip bare; the rack after it.
  const ProgramResult r =
      RunProgramOnScript(dir, "clock 777\nshow\npaint\nframe before tick.png\nsettle\nframe e\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "settled 40\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::exists(dir / "before tick.png"));
  ASSERT_TRUE(fs::exists(dir / "e"));
  EXPECT_FALSE(fs::exists(dir / "e e"));

  auto p = std::make_unique<HeadlessPlatform>();
  p->Run(Parse("clock 777\nshow\npaint\n"));
  int w = 0, h = 0, n = 0;
  unsigned char* rgb = stbi_load((dir / "before tick.png").string().c_str(), &w, &h, &n, 3);
  ASSERT_NE(rgb, nullptr);
  ASSERT_EQ(w * h, kClientWidth * kClientHeight);
  ExpectPictureMatches(rgb, p->Form().Canvas);
  ExpectKnownColours(rgb, false);
  stbi_image_free(rgb);

  p->Run(Parse("settle\n"));
  rgb = stbi_load((dir / "e").string().c_str(), &w, &h, &n, 3);
  ASSERT_NE(rgb, nullptr);
  ASSERT_EQ(w * h, kClientWidth * kClientHeight);
  ExpectPictureMatches(rgb, p->Form().Canvas);
  ExpectKnownColours(rgb, true);
  stbi_image_free(rgb);
}

TEST(Frame, UnwritableFrameIsAFailure) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const ProgramResult r = RunProgramOnScript(dir, "show\nframe no-such-dir/x.png\nstate\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("no-such-dir/x.png"), std::string::npos) << r.err;
}

// Every pixel of the picture in the file, as 0xRRGGBB, or empty when it
// cannot be read.
std::vector<std::uint32_t> PngPixels(const fs::path& file) {
  int w = 0, h = 0, n = 0;
  unsigned char* rgb = stbi_load(file.string().c_str(), &w, &h, &n, 3);
  std::vector<std::uint32_t> pixels;
  if (rgb == nullptr) return pixels;
  if (w == kClientWidth && h == kClientHeight) {
    for (int k = 0; k < w * h; ++k) {
      pixels.push_back((std::uint32_t{rgb[3 * k]} << 16) | (std::uint32_t{rgb[3 * k + 1]} << 8) |
                       rgb[3 * k + 2]);
    }
  }
  stbi_image_free(rgb);
  return pixels;
}

TEST(Frame, BeforeTheFirstPaintTheClientAreaIsTheButtonFace) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const ProgramResult r = RunProgramOnScript(dir, "frame new.png\nshow\nframe shown.png\n");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"new.png", "shown.png"}) {
    const std::vector<std::uint32_t> pixels = PngPixels(dir / name);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(kClientWidth * kClientHeight)) << name;
    for (std::size_t k = 0; k < pixels.size(); ++k) {
      ASSERT_EQ(pixels[k], 0xF0F0F0u) << name << " pixel " << k;
    }
  }
}

// The names in a directory, sorted.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Frame, ReplacesAnOldFileWholeAndLeavesNoPartialFile) {
  ScratchDir dir;
  fs::create_directories(dir / "pics");
  WriteFile(dir / "pics" / "a.png", "an older picture");
  WriteFile(dir / "pics" / "a.png.part", "somebody else's file");
  auto p = std::make_unique<HeadlessPlatform>();
  p->Run(Parse("clock 777\nshow\nsettle\n"));
  std::string why;
  ASSERT_TRUE(WriteFramePng(p->Form().Canvas, (dir / "pics" / "a.png").string(), &why)) << why;
  const std::vector<std::uint32_t> pixels = PngPixels(dir / "pics" / "a.png");
  ASSERT_EQ(pixels.size(), static_cast<std::size_t>(kClientWidth * kClientHeight));
  EXPECT_EQ(pixels[240 * kClientWidth + 440], 0xFF0000u);  // the cue line
  // A file that happened to have the partial file's name is left alone.
  EXPECT_EQ(ReadFile(dir / "pics" / "a.png.part"), "somebody else's file");
  EXPECT_EQ(Names(dir / "pics"), (std::vector<std::string>{"a.png", "a.png.part"}));
}

TEST(Frame, NeverReplacesADirectoryAndSaysWhy) {
  ScratchDir dir;
  fs::create_directories(dir / "taken" / "inner");
  auto p = std::make_unique<HeadlessPlatform>();
  std::string why;
  EXPECT_FALSE(WriteFramePng(p->Form().Canvas, (dir / "taken").string(), &why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_directory(dir / "taken" / "inner"));
  why.clear();
  EXPECT_FALSE(WriteFramePng(p->Form().Canvas, (dir / "missing" / "x.png").string(), &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(WriteFramePng(p->Form().Canvas, "", &why));
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"taken"}));
}

// A failed frame ends the run at once with status 1: what was reported before
// it is there, nothing after it is run.
TEST(Frame, FailureEndsTheRunWithStatusOneAndNamesTheFile) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  fs::create_directories(dir / "a dir");
  std::vector<std::string> targets = {"a dir", "no-such-dir/x.png"};
  for (const char* special : {"/dev/full", "/proc/version"}) {
    if (fs::exists(special)) targets.push_back(special);
  }
  for (const std::string& target : targets) {
    const ProgramResult r = RunProgramOnScript(
        dir, "show\nsettle\nframe " + target + "\nstate\nframe after.png\nsettle\n");
    EXPECT_EQ(r.status, 1) << target;
    EXPECT_EQ(r.out, "settled 40\n") << target;
    EXPECT_NE(r.err.find("cannot write frame \"" + target + "\""), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "after.png")) << target;
  }
  // The devices are what they were.
  if (fs::exists("/dev/full")) {
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  EXPECT_TRUE(fs::is_directory(dir / "a dir"));
  EXPECT_FALSE(fs::exists(dir / "a dir.part"));
}

TEST(Frame, FullFileSystemLeavesTheOldPictureAsItWas) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  WriteFile(dir / "keep.png", "the old picture");
  WriteFile(dir / "script.txt", "show\nsettle\nframe keep.png\nstate\n");
  // A file size limit of 2 KiB stands in for a full disk: the PNG does not
  // fit, and the write fails (SIGXFSZ ignored, so write reports EFBIG).
  const std::string command = "cd " + Quote(dir.Path().string()) +
                              " && trap '' XFSZ && ulimit -f 2 && " + Quote(TAVOREN_HEADLESS_BIN) +
                              " script.txt > stdout.txt 2> stderr.txt";
  EXPECT_EQ(ShellStatus(command), 1);
  EXPECT_EQ(ReadFile(dir / "keep.png"), "the old picture");
  EXPECT_EQ(ReadFile(dir / "stdout.txt"), "settled 40\n");
  EXPECT_NE(ReadFile(dir / "stderr.txt").find("keep.png"), std::string::npos);
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"keep.png", "script.txt", "stderr.txt", "stdout.txt"}));
}

// ---------------------------------------------------------------------------
// The program as a whole

TEST(Program, OutputThatCannotBeWrittenIsAFailure) {
  REQUIRE_POSIX_SHELL();
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchDir dir;
  WriteFile(dir / "script.txt", "state\n");
  const std::string command = Quote(TAVOREN_HEADLESS_BIN) + " " +
                              Quote((dir / "script.txt").string()) + " > /dev/full 2> " +
                              Quote((dir / "stderr.txt").string());
  EXPECT_NE(ShellStatus(command), 0);
  EXPECT_NE(ReadFile(dir / "stderr.txt").find("standard output"), std::string::npos);
}

// The version the packages carry, and the usage: on standard output with
// status 0; a failure when the version cannot be written.
TEST(Program, Version) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const ProgramResult r = RunProgram(dir, "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tavoren-headless " TAVOREN_VERSION "\n");
  EXPECT_EQ(r.err, "");
  // With a second word it is a wrong command line, not a version request.
  EXPECT_EQ(RunProgram(dir, "--version x").status, 2);
  // --help is the usage on standard output, not a script named "--help".
  const ProgramResult help = RunProgram(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(
      help.out.rfind("usage: tavoren-headless [SCRIPT | --describe | --help | --version]\n", 0), 0u)
      << help.out;
  EXPECT_EQ(help.err, "");
#if !defined(_WIN32)
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(ShellStatus(Quote(TAVOREN_HEADLESS_BIN) + " --version > /dev/full"), 1);
#endif
}

// --describe: the facts the page and the tests in other languages read,
// valid JSON holding the game's own constants (read back through python3's
// JSON parser where there is one).
TEST(Program, Describe) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const ProgramResult r = RunProgram(dir, "--describe");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.out, headless::Describe());
  if (ShellStatus("command -v python3 > /dev/null") != 0) GTEST_SKIP() << "no python3";
  WriteFile(dir / "describe.json", r.out);
  // Each value on a line of its own; colours as 0x00BBGGRR, like TColor.
  const std::string read =
      "import json; d = json.load(open('describe.json', encoding='utf-8'))\n"
      "c = lambda s: int(s[5:7] + s[3:5] + s[1:3], 16)\n"
      "for v in (d['client']['width'], d['client']['height'], d['client']['panelTop'],\n"
      "          d['panel']['border'], d['panel']['fontPixels'], c(d['colours']['buttonFace']),\n"
      "          c(d['colours']['balls'][9]), d['rack'][2][1], d['footSpot'][0], "
      "d['keys']['home'],\n"
      "          d['pageModifiers']['ctrl'], d['pageEvents']['visible']): print(v)\n"
      "print(d['messages']['undone'])\n";
  WriteFile(dir / "read.py", read);
  const std::string command =
      "cd " + Quote(dir.Path().string()) + " && python3 read.py > values.txt 2> errors.txt";
  ASSERT_EQ(ShellStatus(command), 0) << ReadFile(dir / "errors.txt");
  const std::string want =
      std::to_string(kClientWidth) + "\n" + std::to_string(kClientHeight) + "\n" +
      std::to_string(kPanelTop) + "\n" + std::to_string(kPanelBorder) + "\n" +
      std::to_string(kPanelFontPixels) + "\n" + std::to_string(colors::kButtonFace) + "\n" +
      std::to_string(colors::kBall[9]) + "\n" + std::to_string(kRackLayout[2].Y) + "\n" +
      std::to_string(table::kFootSpotX) + "\n" + std::to_string(vk::kHome) + "\n" +
      std::to_string(web::modifier::kCtrl) + "\n" + std::to_string(web::kVisible) + "\n" +
      msg::kUndone + "\n";
  EXPECT_EQ(ReadFile(dir / "values.txt"), want);
}

TEST(Program, ClosedOutputStopsTheRunAtTheFirstAnswer) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  WriteFile(dir / "script.txt", "show\nsettle\nframe after.png\nstate\n");
  const std::string command = "cd " + Quote(dir.Path().string()) + " && " +
                              Quote(TAVOREN_HEADLESS_BIN) + " script.txt >&- 2> stderr.txt";
  EXPECT_EQ(ShellStatus(command), 1);
  EXPECT_NE(ReadFile(dir / "stderr.txt").find("cannot write standard output"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "after.png"));
}

TEST(Program, AnswersAreOutBeforeTheScriptEnds) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  // A first answer, then a long run of new racks, each judged by a tick.
  std::string script = "clock 5\nshow\nsettle\nstate\n";
  for (int i = 0; i < 400000; ++i) script += "key 36\nsettle\n";
  WriteFile(dir / "script.txt", script);
  // The program is killed as soon as its first state block is out, or after
  // 30 s; a program that keeps its answers until the end loses them all.
  const std::string command =
      "cd " + Quote(dir.Path().string()) + " && { " + Quote(TAVOREN_HEADLESS_BIN) +
      " script.txt > stdout.txt 2> stderr.txt & pid=$!; i=0; "
      "while [ $i -lt 300 ] && ! grep -qx end stdout.txt; do sleep 0.1; i=$((i+1)); done; "
      "kill -9 $pid; wait $pid; true; } 2>/dev/null";
  ASSERT_EQ(ShellStatus(command), 0);
  const std::string out = ReadFile(dir / "stdout.txt");
  const auto blocks = StateBlocks(out);
  ASSERT_FALSE(blocks.empty()) << out.substr(0, 200);
  EXPECT_EQ(out.rfind("settled 40\nstate t=40 clock=45\n", 0), 0u) << out.substr(0, 200);
  EXPECT_EQ(blocks.front().back(), "end");
}

const char* const kBreakAndUndo =
    "clock 4242\nshow\nsettle\nstate\n"
    "press 600 300\ndrag 640 250\npress 1000 200\npress 935 245\n"
    "key 13\nwait 500\nstate\nsettle\nstate\nkey 8\nstate\n"
    "key 13\nsettle 100000\nstate\n";

TEST(Program, SameScriptSameBytes) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const ProgramResult a = RunProgramOnScript(dir, kBreakAndUndo);
  const ProgramResult b = RunProgramOnScript(dir, kBreakAndUndo);
  const std::string input = kBreakAndUndo;
  const ProgramResult c = RunProgram(dir, "", &input);
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(StateBlocks(a.out).size(), 5u);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out, c.out);
  EXPECT_EQ(c.status, 0);
  // And the library prints the very same.
  EXPECT_EQ(a.out, Output(kBreakAndUndo));
}

TEST(Program, ExampleScriptsRun) {
  REQUIRE_POSIX_SHELL();
  ScratchDir dir;
  const fs::path examples = fs::path(TAVOREN_SOURCE_DIR) / "tools" / "driver" / "examples";
  int seen = 0;
  for (const char* name : {"rack.txt", "break.txt", "undo.txt"}) {
    const fs::path file = examples / name;
    ASSERT_TRUE(fs::exists(file)) << file;
    const ProgramResult r = RunProgram(dir, Quote(file.string()));
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_FALSE(StateBlocks(r.out).empty()) << name;
    EXPECT_EQ(r.out.find("unsettled"), std::string::npos) << name;
    ++seen;
  }
  EXPECT_EQ(seen, 3);
}

}  // namespace
}  // namespace tavoren::headless
