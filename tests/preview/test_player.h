// The test program's warm player, owned as the application object owns the module's: one for
// the whole process (the web engine allows no second view of the player's scheme), destroyed at
// exit after the toolkit took its windows down.
#pragma once

#include "preview/player_engine.h"

namespace trovex::test {

inline PlayerEngine& TestPlayer() {
  static PlayerEngine engine;
  return engine;
}

}  // namespace trovex::test
