// The channel between the browser window and its own scripts in the page: they run in a script
// world of ours, whose message handler the page cannot reach, and start every message with the
// window's secret. The window asks for snapshots by number; a right click reports the frame's
// address.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovex::browser {

// Our scripts' world in the view and the name of its message handler.
inline constexpr const char* kScriptWorld = "trovex";
inline constexpr const char* kScriptHandler = "trovex";

// A new secret for one window: 32 hex digits from the system's random source.
std::string NewSecret();

// The scripts every frame runs from its start: the context-menu hook and the collector.
std::vector<std::string> FrameScripts(const std::string& secret, std::string_view collector);

// The script that asks the frames for snapshot number `request` and posts the answer.
std::string SnapshotScript(const std::string& secret, unsigned request, std::string_view collector);

// One message of the page, read.
struct ScriptMessage {
  enum Kind {
    kIgnored,   // not ours, malformed, or the answer to an earlier request
    kSnapshot,  // strText: the snapshot's JSON, empty when the page could give none
    kMenu,      // strText: the address of the frame clicked
  } kind = kIgnored;
  std::string strText;
};
ScriptMessage ReadScriptMessage(std::string_view message, std::string_view secret, unsigned request);

}  // namespace trovex::browser
