#include "platform/win32/win32_platform.h"

#include "platform/win32/window.h"

#include <mmsystem.h>
#include <windowsx.h>

#include <algorithm>

namespace tavoren::win32 {

namespace {

constexpr UINT_PTR kCycleTimerId = 1;
constexpr int kIconResource = 1;

// Caption, system menu and minimise box: a fixed border, no maximise box.
// The panel is a child window; the table is never painted over it.
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

constexpr wchar_t kWindowClass[] = L"TavorenWindow";
constexpr wchar_t kPanelClass[] = L"TavorenMessagePanel";
// The panel's own font: "ＭＳ ゴシック", 15 pixels, Shift-JIS. Where it is not
// installed (Windows without the Japanese supplemental fonts, Wine), the first
// of these Japanese gothic faces that is; left to the font mapper, Shift-JIS
// alone can bring a face with kana and kanji but without Latin letters.
constexpr const wchar_t* kPanelFontFaces[] = {
    L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF",  // ＭＳ ゴシック
    L"MS Gothic",
    L"IPAGothic",
    L"IPA\u30B4\u30B7\u30C3\u30AF",  // IPAゴシック
    L"Noto Sans Mono CJK JP",
    L"Noto Sans CJK JP",
    L"VL Gothic",
    L"TakaoGothic",
    L"Yu Gothic",
    L"Meiryo",
};

TShiftState KeyShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

bool AltDown() { return GetKeyState(VK_MENU) < 0; }

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

bool FontInstalled(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = SHIFTJIS_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &query, &NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

HFONT CreatePanelFont() {
  const wchar_t* face = kPanelFontFaces[0];
  for (const wchar_t* candidate : kPanelFontFaces) {
    if (FontInstalled(candidate)) {
      face = candidate;
      break;
    }
  }
  return CreateFontW(-kPanelFontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FIXED_PITCH | FF_MODERN, face);
}

bool RegisterWindowClasses(HINSTANCE instance, WNDPROC windowProc, WNDPROC panelProc) {
  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  if (icon == nullptr) icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kWindowClass;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  WNDCLASSEXW pc{};
  pc.cbSize = sizeof pc;
  pc.lpfnWndProc = panelProc;
  pc.hInstance = instance;
  pc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  pc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  pc.lpszClassName = kPanelClass;
  if (RegisterClassExW(&pc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  return true;
}

}  // namespace

TShiftState MouseShiftState(WPARAM wParam, bool altDown) {
  TShiftState s = 0;
  if (wParam & MK_SHIFT) s |= ssShift;
  if (wParam & MK_CONTROL) s |= ssCtrl;
  if (altDown) s |= ssAlt;
  if (wParam & MK_LBUTTON) s |= ssLeft;
  if (wParam & MK_RBUTTON) s |= ssRight;
  if (wParam & MK_MBUTTON) s |= ssMiddle;
  return s;
}

void ConvertToDib(const TColor* from, std::uint32_t* to, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const TColor c = from[i];
    to[i] = ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
  }
}

Win32Platform::Win32Platform() : form_(std::make_unique<TForm1>(*this)) {}

Win32Platform::~Win32Platform() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (panelFont_ != nullptr) DeleteObject(panelFont_);
  if (timerPeriodRaised_) timeEndPeriod(1);
}

bool Win32Platform::Create(HINSTANCE instance) {
  instance_ = instance;
  if (!RegisterWindowClasses(instance, &Win32Platform::WindowProc, &Win32Platform::PanelProc)) {
    return false;
  }
  // SetTimer and the pause's waits follow the system timer resolution, 15.6 ms
  // by default: 40 ms would come out as 46.8.
  timerPeriodRaised_ = timeBeginPeriod(1) == TIMERR_NOERROR;

  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);

  const std::wstring title = WidenUtf8(msg::kTitle);
  window_ = CreateWindowExW(kWindowExStyle, kWindowClass, title.c_str(), kWindowStyle, x, y, width,
                            height, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;

  // A caption that wraps or a theme with other border widths would leave the
  // client area off by a few pixels: measure and correct once.
  RECT client;
  GetClientRect(window_, &client);
  const int dw = kClientWidth - (client.right - client.left);
  const int dh = kClientHeight - (client.bottom - client.top);
  if (dw != 0 || dh != 0) {
    SetWindowPos(window_, nullptr, std::max(0, x - dw / 2), std::max(0, y - dh / 2), width + dw,
                 height + dh, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  panelFont_ = CreatePanelFont();
  // Nothing has been painted yet: the first picture comes with WM_PAINT, not
  // as black rows when the first show's handler returns.
  form_->Canvas.TakeDamage();
  panel_ = CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_VISIBLE, 0, kPanelTop, kClientWidth,
                           kClientHeight - kPanelTop, window_, nullptr, instance, this);
  if (panel_ == nullptr) {
    DestroyWindow(window_);
    return false;
  }
  return true;
}

int Win32Platform::Run(int showCommand) {
  if (window_ == nullptr) return 1;
  ShowWindow(window_, showCommand);
  // WM_SHOWWINDOW normally brings the first show; not every show command
  // sends it.
  if (!shown_) OnFirstShow();
  UpdateWindow(window_);

  MSG msg{};
  int exitCode = 0;
  running_ = true;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      exitCode = 1;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  running_ = false;
  // A WM_QUIT posted by someone else ends the loop with the window still up.
  if (window_ != nullptr) DestroyWindow(window_);
  return exitCode;
}

void Win32Platform::OnFirstShow() {
  shown_ = true;
  RunHandler([this] { form_->FormShow(); });
}

void Win32Platform::SetCycleTimer(bool enabled) {
  if (enabled == timerOn_) return;
  if (enabled) {
    // Once the window is closing no tick may start: it is destroyed as soon
    // as the running handler returns.
    if (window_ == nullptr || closing_) return;
    if (SetTimer(window_, kCycleTimerId, static_cast<UINT>(kCycleIntervalMs), nullptr) == 0) return;
    timerOn_ = true;
  } else {
    if (window_ != nullptr) KillTimer(window_, kCycleTimerId);
    timerOn_ = false;
  }
}

std::uint32_t Win32Platform::Milliseconds() { return timeGetTime(); }

void Win32Platform::SetPanelText(const char* utf8) {
  panelText_ = utf8 != nullptr ? utf8 : "";
  if (panel_ == nullptr) return;
  SetWindowTextW(panel_, WidenUtf8(utf8).c_str());
  InvalidateRect(panel_, nullptr, FALSE);
}

void Win32Platform::CloseWindow() {
  if (closing_) return;
  closing_ = true;
  // The window goes at once; it is destroyed when the outermost handler
  // returns (a replay pause still runs to its end first).
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void Win32Platform::ProcessMessages() {
  Present();
  MSG msg;
  bool handled = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave it for the message loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    handled = true;
  }
  // The replay pause calls this in a loop until its two seconds are up: when
  // nothing was pending, wait up to a millisecond for input rather than spin.
  if (!handled) MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

template <typename Handler>
void Win32Platform::RunHandler(Handler&& handler) {
  ++depth_;
  handler();
  --depth_;
  Present();
  if (depth_ == 0 && closing_ && window_ != nullptr) DestroyWindow(window_);
}

void Win32Platform::Present() {
  if (window_ == nullptr) return;
  // Whole rows: a DIB row costs little next to the call that draws it.
  form_->Canvas.TakeDamage().ForEachRun(
      [this](int top, int bottom, int, int) { PresentRows(top, bottom); });
  if (panel_ != nullptr) UpdateWindow(panel_);
}

void Win32Platform::PresentRows(int top, int bottom) {
  top = std::max(top, 0);
  bottom = std::min(bottom, kPanelTop);
  if (top >= bottom) return;
  const int rows = bottom - top;
  const std::size_t count = static_cast<std::size_t>(kClientWidth) * static_cast<std::size_t>(rows);
  dibRows_.resize(count);
  ConvertToDib(form_->Canvas.Pixels() + static_cast<std::size_t>(top) * kClientWidth,
               dibRows_.data(), count);

  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = kClientWidth;
  bmi.bmiHeader.biHeight = -rows;  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;

  HDC dc = GetDC(window_);
  if (dc == nullptr) return;
  StretchDIBits(dc, 0, top, kClientWidth, rows, 0, 0, kClientWidth, rows, dibRows_.data(), &bmi,
                DIB_RGB_COLORS, SRCCOPY);
  ReleaseDC(window_, dc);
}

LRESULT CALLBACK Win32Platform::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<Win32Platform*>(create->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = hwnd;
  }
  auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT Win32Platform::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = window_;
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam && !shown_) OnFirstShow();
      break;

    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the table; the panel paints itself

    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      if (closing_) return 0;
      // FormPaint writes on every row (rails and strip), so the whole table
      // is presented.
      RunHandler([this] { form_->FormPaint(); });
      return 0;
    }

    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      if (!closing_) {
        std::uint16_t key = static_cast<std::uint16_t>(wParam);
        const TShiftState shift = KeyShiftState();
        RunHandler([this, &key, shift] { form_->FormKeyDown(key, shift); });
      }
      // Alt+F4, Alt+Space and F10 keep their system meaning.
      if (message == WM_SYSKEYDOWN) break;
      return 0;
    }

    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      if (closing_) return 0;
      SetCapture(hwnd);
      const TMouseButton button = message == WM_LBUTTONDOWN   ? mbLeft
                                  : message == WM_RBUTTONDOWN ? mbRight
                                                              : mbMiddle;
      const TShiftState shift = MouseShiftState(wParam, AltDown());
      const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      RunHandler([this, button, shift, x, y] { form_->FormMouseDown(button, shift, x, y); });
      return 0;
    }

    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == hwnd) {
        ReleaseCapture();
      }
      return 0;

    case WM_MOUSEMOVE: {
      if (closing_) return 0;
      const TShiftState shift = MouseShiftState(wParam, AltDown());
      const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      RunHandler([this, shift, x, y] { form_->FormMouseMove(shift, x, y); });
      return 0;
    }

    case WM_TIMER:
      if (wParam != kCycleTimerId) break;
      // A tick that was already due when the timer was stopped is dropped.
      if (timerOn_ && !closing_) RunHandler([this] { form_->TimerForCycleTimer(); });
      return 0;

    case WM_CLOSE:
      // The close box, the system menu and Alt+F4 end up here, like Esc.
      if (!closing_) RunHandler([this] { form_->Close(); });
      return 0;

    case WM_DESTROY:
      if (timerOn_) {
        KillTimer(hwnd, kCycleTimerId);
        timerOn_ = false;
      }
      if (running_) PostQuitMessage(0);
      return 0;

    case WM_NCDESTROY:
      window_ = nullptr;
      panel_ = nullptr;
      break;

    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND: return 1;  // painted with the text, without flicker
    case WM_GETFONT: return self != nullptr ? reinterpret_cast<LRESULT>(self->panelFont_) : 0;
    case WM_PAINT:
      if (self != nullptr) {
        self->PaintPanelWindow(hwnd);
        return 0;
      }
      break;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// One line, left-justified, vertically centred, 4 pixels of border in the
// panel's colour, black text in the panel's own font.
void Win32Platform::PaintPanelWindow(HWND panel) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(panel, &ps);
  RECT rc;
  GetClientRect(panel, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));

  const int length = GetWindowTextLengthW(panel);
  if (length > 0) {
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(panel, text.data(), length + 1);
    HGDIOBJ oldFont =
        SelectObject(dc, panelFont_ != nullptr ? panelFont_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    // The border only keeps the text off the left and right edges: the font
    // is taller than the 12 rows inside it, and is centred on the same line.
    RECT textRect = rc;
    textRect.left += kPanelBorder;
    textRect.right -= kPanelBorder;
    DrawTextW(dc, text.c_str(), got, &textRect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
  }
  EndPaint(panel, &ps);
}

int RunGame(int showCommand) {
  // The form holds a hundred snapshots and the framebuffer: keep it off the stack.
  auto platform = std::make_unique<Win32Platform>();
  if (!platform->Create(GetModuleHandleW(nullptr))) return 1;
  return platform->Run(showCommand);
}

}  // namespace tavoren::win32
