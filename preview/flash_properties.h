// The Flash control's persisted properties: read from the stream a dialog template hands to the
// control, and turned into the player's configuration.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace trovex {

struct FlashProperties {
  std::string strMovie;
  std::string strBase;
  std::string strWMode = "Window";
  bool bPlay = true;
  bool bLoop = true;
  std::string strQuality = "High";
  std::string strSAlign;
  bool bMenu = true;
  std::string strFlashVars;
  std::string strAllowScriptAccess = "sameDomain";
  std::string strScale = "ShowAll";
  bool bDeviceFont = false;
  std::string strBGColor;  // "" or "#RRGGBB"
  int nWidthHimetric = 0;  // 0: not given
  int nHeightHimetric = 0;

  bool operator==(const FlashProperties&) const = default;
};

// Reads the data of a dialog-init item that initialises the control from a stream (licence key
// length, stream header, typed values). nullopt when the data is damaged or not the control's.
std::optional<FlashProperties> ParseFlashInitData(std::span<const std::uint8_t> data);

// The player's configuration object (JSON) for these properties. The player never gets network
// access or a script bridge, whatever the properties say.
std::string PlayerConfigJson(const FlashProperties& props);

// Text as a JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& utf8);

}  // namespace trovex
