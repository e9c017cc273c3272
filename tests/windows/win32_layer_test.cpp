// The Win32 layer with real windows: geometry, the panel, the first show,
// presenting, the cycle timer, mouse and keys, and the ways the window
// closes. Needs a desktop (Windows, or Wine with an X display).
#include <gtest/gtest.h>

#include "platform/win32/window.h"

namespace tavoren::win32 {
namespace {

// Handles messages for about `ms` milliseconds, as a message loop would.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[512];
  const int n = GetWindowTextW(hwnd, buffer, 512);
  return std::wstring(buffer, static_cast<std::size_t>(n));
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    platform = std::make_unique<Win32Platform>();
    ASSERT_TRUE(platform->Create(GetModuleHandleW(nullptr)));
    hwnd = platform->Window();
    ASSERT_NE(hwnd, nullptr);
  }

  void Show() {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
  }

  std::unique_ptr<Win32Platform> platform;
  HWND hwnd = nullptr;
};

TEST(Win32Conversions, DibPixelsHaveRedAndBlueSwapped) {
  const TColor from[4] = {colors::kRed, colors::kStrip, colors::kRail, 0x00123456};
  std::uint32_t to[4] = {};
  ConvertToDib(from, to, 4);
  EXPECT_EQ(to[0], 0xFF0000u);  // red
  EXPECT_EQ(to[1], 0x0000FFu);  // blue
  EXPECT_EQ(to[2], 0x702000u);  // RGB(112, 32, 0)
  EXPECT_EQ(to[3], 0x00563412u);
}

TEST(Win32Conversions, MouseStateCarriesButtonsAndModifiers) {
  EXPECT_EQ(MouseShiftState(0, false), 0u);
  EXPECT_EQ(MouseShiftState(MK_LBUTTON, false), TShiftState{ssLeft});
  EXPECT_EQ(MouseShiftState(MK_RBUTTON, false), TShiftState{ssRight});
  EXPECT_EQ(MouseShiftState(MK_MBUTTON, false), TShiftState{ssMiddle});
  EXPECT_EQ(MouseShiftState(MK_LBUTTON | MK_SHIFT | MK_CONTROL, true),
            TShiftState{ssLeft | ssShift | ssCtrl | ssAlt});
}

TEST(Win32Conversions, PanelTextBecomesUtf16) {
  EXPECT_EQ(WidenUtf8(msg::kTitle), L"\u30BF\u30F4\u30A9\u30EC\u30F3");
  EXPECT_EQ(WidenUtf8("Enter\xE3\x82\xAD"), L"Enter\u30AD");
  EXPECT_EQ(WidenUtf8(""), L"");
  EXPECT_EQ(WidenUtf8(nullptr), L"");
  // A broken sequence shows as a replacement character, not as nothing.
  EXPECT_EQ(WidenUtf8("a\xE3\x82"), L"a\uFFFD");
}

TEST_F(Win32Window, FixedClientAreaCaptionAndCentre) {
  RECT client;
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right - client.left, 1016);
  EXPECT_EQ(client.bottom - client.top, 500);

  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  EXPECT_EQ(WindowText(hwnd), L"\u30BF\u30F4\u30A9\u30EC\u30F3");

  RECT frame;
  ASSERT_TRUE(GetWindowRect(hwnd, &frame));
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  if (frame.right - frame.left <= screenW && frame.bottom - frame.top <= screenH) {
    EXPECT_NEAR((frame.left + frame.right) / 2, screenW / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, screenH / 2, 1);
  }
}

TEST_F(Win32Window, PanelIsAChildAlongTheBottom) {
  HWND panel = platform->Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(GetParent(panel), hwnd);
  RECT r;
  ASSERT_TRUE(GetWindowRect(panel, &r));
  MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 480);
  EXPECT_EQ(r.right, 1016);
  EXPECT_EQ(r.bottom, 500);
  EXPECT_EQ(WindowText(panel), L"");

  auto font = reinterpret_cast<HFONT>(SendMessageW(panel, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW lf{};
  ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -15);
  EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
}

TEST_F(Win32Window, FirstShowRacksOnceAndStartsTheTimer) {
  TForm1& f = platform->Form();
  EXPECT_FALSE(f.Balls[0].OnTable);
  EXPECT_FALSE(platform->CycleTimerEnabled());
  Show();
  EXPECT_TRUE(f.Balls[0].OnTable);
  EXPECT_TRUE(platform->CycleTimerEnabled());

  // Minimising and restoring is no new show: a rack would reset the history.
  f.HistoryLast = 7;
  ShowWindow(hwnd, SW_MINIMIZE);
  Pump(50);
  ShowWindow(hwnd, SW_RESTORE);
  Pump(50);
  EXPECT_EQ(f.HistoryLast, 7);
}

TEST_F(Win32Window, FirstTickJudgesTheRackAndSetsThePanel) {
  Show();
  TForm1& f = platform->Form();
  for (int i = 0; i < 100 && f.TimerForCycle.Enabled(); ++i) Pump(20);
  EXPECT_FALSE(platform->CycleTimerEnabled());
  EXPECT_EQ(WindowText(platform->Panel()), WidenUtf8(msg::kAiming));
}

TEST_F(Win32Window, PaintingIsPresentedInScreenColours) {
  Show();
  Pump(50);
  HDC dc = GetDC(hwnd);
  ASSERT_NE(dc, nullptr);
  const COLORREF rail = GetPixel(dc, 10, 240);
  const COLORREF cloth = GetPixel(dc, 100, 100);
  const COLORREF strip = GetPixel(dc, 900, 50);
  ReleaseDC(hwnd, dc);
  // COLORREF is 0x00BBGGRR like the form's colours.
  EXPECT_EQ(rail, RGB(112, 32, 0));
  EXPECT_EQ(cloth, RGB(0, 192, 0));
  EXPECT_EQ(strip, RGB(0, 0, 255));
}

TEST_F(Win32Window, LeftButtonAimsAndCapturesTheMouse) {
  Show();
  TForm1& f = platform->Form();
  for (int i = 0; i < 100 && f.TimerForCycle.Enabled(); ++i) Pump(20);
  ASSERT_FALSE(f.TimerForCycle.Enabled());

  // Without a held button a move does nothing.
  const double aimX = f.AimX, aimY = f.AimY;
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(240, 100));
  EXPECT_EQ(f.AimX, aimX);
  EXPECT_EQ(f.AimY, aimY);

  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(240, 100));
  EXPECT_EQ(f.AimX, 240.0 - f.Balls[0].X);
  EXPECT_EQ(f.AimY, 100.0 - f.Balls[0].Y);
  EXPECT_EQ(GetCapture(), hwnd);

  // Dragged off the window's left edge: negative client coordinates.
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-20, 300));
  EXPECT_EQ(f.AimX, -20.0 - f.Balls[0].X);
  EXPECT_EQ(f.AimY, 300.0 - f.Balls[0].Y);

  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(-20, 300));
  EXPECT_NE(GetCapture(), hwnd);
}

TEST_F(Win32Window, EnterFiresOnlyInTheAimingMode) {
  Show();
  TForm1& f = platform->Form();
  // Before the first tick the timer runs: Enter is ignored.
  SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(f.HistoryPos, 0);
  for (int i = 0; i < 100 && f.TimerForCycle.Enabled(); ++i) Pump(20);
  SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(f.HistoryPos, 1);
  EXPECT_TRUE(platform->CycleTimerEnabled());
  EXPECT_EQ(WindowText(platform->Panel()), WidenUtf8(msg::kStrike));
  // Backspace stops the shot and restores its start.
  SendMessageW(hwnd, WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_FALSE(platform->CycleTimerEnabled());
}

TEST_F(Win32Window, EscEndsTheMessageLoop) {
  PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(platform->Run(SW_SHOWNORMAL), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(platform->Window(), nullptr);
  EXPECT_FALSE(platform->CycleTimerEnabled());
  // It was shown: the first game was racked.
  EXPECT_TRUE(platform->Form().Balls[0].OnTable);
}

TEST_F(Win32Window, CloseBoxEndsTheMessageLoop) {
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(platform->Run(SW_SHOWNORMAL), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(platform->Form().TimerForCycle.Enabled());
}

TEST_F(Win32Window, NoTimerStartsOnceTheWindowIsClosing) {
  Show();
  platform->Form().Close();  // as Esc does, but from outside any handler
  EXPECT_FALSE(platform->CycleTimerEnabled());
  platform->SetCycleTimer(true);
  EXPECT_FALSE(platform->CycleTimerEnabled());
}

TEST_F(Win32Window, ClockIsTheMultimediaClock) {
  const std::uint32_t a = platform->Milliseconds();
  Sleep(50);
  const std::uint32_t b = platform->Milliseconds();
  EXPECT_GE(static_cast<std::uint32_t>(b - a), 40u);
  EXPECT_LT(static_cast<std::uint32_t>(b - a), 5000u);
}

}  // namespace
}  // namespace tavoren::win32
