#include "browser/script_channel.h"

#include <cstdio>
#include <random>

namespace trovex::browser {
namespace {

// Posted by every frame of every page: a right click reports the frame's address and takes
// over the menu, which the window then offers with the registered items.
constexpr const char* kContextMenuScript = R"JS(
window.addEventListener('contextmenu', function (e) {
  try {
    window.webkit.messageHandlers.trovex.postMessage(SECRET + ' menu ' + String(window.location.href));
    e.preventDefault();
  } catch (ignored) {}
}, true);
)JS";

// Leads a snapshot's message, with the request's number and a line break.
constexpr std::string_view kSnapshotTag = " snapshot ";
constexpr std::string_view kMenuTag = " menu ";

}  // namespace

std::string NewSecret() {
  std::random_device random;
  std::string out;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    out += part;
  }
  return out;
}

std::vector<std::string> FrameScripts(const std::string& secret, std::string_view collector) {
  return {"var SECRET = '" + secret + "';\n" + kContextMenuScript, std::string(collector)};
}

std::string SnapshotScript(const std::string& secret, unsigned request, std::string_view collector) {
  // Numbered: an answer to an earlier request (of a page shown before) is not this page's.
  const std::string tag = "'" + secret + std::string(kSnapshotTag) + std::to_string(request) + "\\n'";
  std::string script = "(function () { var h = window.webkit.messageHandlers.trovex;"
                       " try { if (!window.__trovexCollector1) {\n";
  script.append(collector.data(), collector.size());
  script += "\n} } catch (e) {}"
            " var c = window.__trovexCollector1;"
            " if (!c) { h.postMessage(" + tag + " + '{}'); return; }"
            " c.text().then(function (t) { h.postMessage(" + tag + " + t); }, function () { h.postMessage(" + tag + " + '{}'); });"
            " })();";
  return script;
}

ScriptMessage ReadScriptMessage(std::string_view message, std::string_view secret, unsigned request) {
  ScriptMessage out;
  if (message.substr(0, secret.size()) != secret) return out;
  const std::string_view rest = message.substr(secret.size());
  if (rest.substr(0, kSnapshotTag.size()) == kSnapshotTag) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos ||
        rest.substr(kSnapshotTag.size(), end - kSnapshotTag.size()) != std::to_string(request))
      return out;
    out.kind = ScriptMessage::kSnapshot;
    out.strText = std::string(rest.substr(end + 1));
    if (out.strText == "{}") out.strText.clear();
  } else if (rest.substr(0, kMenuTag.size()) == kMenuTag) {
    out.kind = ScriptMessage::kMenu;
    out.strText = std::string(rest.substr(kMenuTag.size()));
  }
  return out;
}

}  // namespace trovex::browser
