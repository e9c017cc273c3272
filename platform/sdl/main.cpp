// タヴォレン: a nine-ball practice table in one window. No command line, no
// files; the window runs until it is closed.
#include "platform/sdl/sdl_platform.h"

int main() { return tavoren::sdl::RunGame(); }
