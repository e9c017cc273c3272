// tavoren.exe: the game on Windows. Creates the window and runs its message
// loop; everything else happens in the form's handlers. The program takes no
// command line.
#include <windows.h>

#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
  return tavoren::win32::RunGame(showCommand);
}
