// タヴォレン in the browser: the page loads this program, whose main() runs
// the game until Esc ends it.
#include "platform/web/web_platform.h"

int main() {
  tavoren::web::RunGame();
  return 0;
}
