// The page the web view shows: the player's stage and the script that loads movies into it.
#pragma once

#include <string>

namespace trovex {

// Scheme and host under which the preview serves everything it shows.
constexpr const char* kPlayerScheme = "trovex-player";
constexpr const char* kPlayerOrigin = "trovex-player://preview";

// Page with the player (playerPresent) or with a message saying its files are missing.
std::string PlayerPageHtml(bool playerPresent, const std::string& playerDirUtf8);

}  // namespace trovex
