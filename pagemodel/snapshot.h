// The snapshot of a live page (what pagemodel/collector.js reports) read into the document
// model. The snapshot is JSON, UTF-8:
//
//   { "version": 1,                      a number; other versions are refused
//     "frames": FRAME }                  the frame the collection started in (the top level)
//
//   FRAME = { "tag":    "frame" | "iframe"     absent on the top level
//             "url":    text | null            the document's address (location.href)
//             "base":   text | null            what relative addresses resolve against
//             "objects": [ { "classid": text|null, "movie": text|null } ... ]
//             "embeds":  [ { "src": text|null, "type": text|null,
//                            "object": n } ... ]     n: index of the enclosing OBJECT, if any
//             "frames":  [ FRAME ... ]         child frames, FRAME and IFRAME in document order
//             "loaded":  [ text ... ]          movies the frame fetched while shown (read
//                                              as EMBEDs of the Flash type after its own)
//             "cut":     n                     elements the collector left out
//             "error":   text }                the frame could not be read (then url may be
//                                              null and the three lists may be absent)
//
// OBJECT "movie" is the element's own attribute, else the value of its first PARAM named
// movie. Values are raw: null for a missing attribute, "" for an empty one, never trimmed or
// resolved. Every snapshot is bounded by SnapshotLimits: the text size, JSON nesting and the
// number of values are refused beyond their limit; frames, elements and texts beyond theirs
// are left out and each cut is reported, as the static loader reports its cuts. Under a top
// document that is not local, a frame (address or base) or a movie at a local (file:) address
// is left out and reported: the collector of a hostile frame can claim anything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pagemodel/session.h"
#include "platform/com/dom.h"

namespace trovex::pagemodel {

inline constexpr int kSnapshotVersion = 1;

struct SnapshotLimits {
  std::size_t nMaxBytes = std::size_t{64} << 20;    // the JSON text; beyond: refused
  std::size_t nMaxNesting = 100;                    // JSON arrays and objects; beyond: refused
  std::size_t nMaxValues = 4000000;                 // JSON values of any kind; beyond: refused
  int nMaxFrames = 1000;                            // frame documents kept, besides the top
  int nMaxDepth = 16;                               // frame nesting kept
  std::size_t nMaxElements = 200000;                // objects, embeds and frames kept
  std::size_t nMaxTextBytes = std::size_t{1} << 20; // one text; an element holding more is cut
  std::size_t nMaxAttributeBytes = std::size_t{32} << 20;  // all texts kept together
};

// Reads `json` into a new session (page 0 the top level, frames loaded as pages). Returns null
// and sets *error (one line naming what is wrong and where) when the snapshot is refused; what
// the limits left out goes to *cuts, one line each.
SessionPtr ReadSnapshot(std::string_view json, const SnapshotLimits& limits, std::string* error,
                        std::vector<std::string>* cuts = nullptr);

// The top-level browser object of a session.
ComPtr<IWebBrowser2> BrowserOf(const SessionPtr& session);

}  // namespace trovex::pagemodel
