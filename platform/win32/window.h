// The inside of the Win32 layer (see win32_platform.h): the window class
// that runs the form, and the conversions it makes, for the layer's own
// sources and its test.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/form.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace tavoren::win32 {

// The held buttons and modifier keys of a mouse message: wParam's MK_* bits,
// with Alt (which wParam does not carry) given separately.
TShiftState MouseShiftState(WPARAM wParam, bool altDown);

// Converts framebuffer pixels (0x00BBGGRR) into DIB pixels (0x00RRGGBB).
void ConvertToDib(const TColor* from, std::uint32_t* to, std::size_t count);

class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Registers the window classes and creates the main window and its panel,
  // hidden. False when Windows refuses.
  bool Create(HINSTANCE instance);
  // Shows the window (the first show racks the first game) and runs the
  // message loop until the window has been closed and destroyed. Returns the
  // program's exit code.
  int Run(int showCommand);

  TForm1& Form() { return *form_; }
  HWND Window() const { return window_; }
  HWND Panel() const { return panel_; }

  // Platform
  void SetCycleTimer(bool enabled) override;
  bool CycleTimerEnabled() const override { return timerOn_; }
  std::uint32_t Milliseconds() override;
  void SetPanelText(const char* utf8) override;
  const char* PanelText() const override { return panelText_; }
  void CloseWindow() override;
  void ProcessMessages() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void PaintPanelWindow(HWND panel);

  // Runs one of the form's handlers, then presents what it painted. The
  // outermost handler that returns after a close destroys the window.
  template <typename Handler>
  void RunHandler(Handler&& handler);
  void Present();
  void PresentRows(int top, int bottom);
  void OnFirstShow();

  std::unique_ptr<TForm1> form_;
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND panel_ = nullptr;
  HFONT panelFont_ = nullptr;
  std::vector<std::uint32_t> dibRows_;
  const char* panelText_ = "";  // a literal that lives for the whole run
  bool timerOn_ = false;
  bool shown_ = false;
  bool closing_ = false;
  bool timerPeriodRaised_ = false;
  bool running_ = false;  // inside Run's message loop
  int depth_ = 0;
};

}  // namespace tavoren::win32
