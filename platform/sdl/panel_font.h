// Finding the message panel's font through fontconfig: a Japanese gothic
// face that can show every message the game displays.
#pragma once

#include <string>

namespace tavoren::sdl {

struct FontFile {
  std::string path;  // empty when fontconfig found nothing at all
  int index = 0;     // face index inside a collection
  std::string family;
  bool coversMessages = false;  // every character of every message has a glyph
};

// Asks for "MS Gothic" in Japanese and takes the best-matching scalable
// font that covers all the messages; failing that, the best match at all.
FontFile FindPanelFont();

}  // namespace tavoren::sdl
