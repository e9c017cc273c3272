// tavoren.exe: the game on Windows. Creates the window and runs its message
// loop; everything else happens in the form's handlers. The program takes no
// command line.
#include <memory>

#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
  // The form holds a hundred snapshots and the framebuffer: keep it off the stack.
  auto platform = std::make_unique<tavoren::win32::Win32Platform>();
  if (!platform->Create(instance)) return 1;
  return platform->Run(showCommand);
}
