// Settings of the web engine behind every web view of ours (the browser's page, the preview),
// made before the process creates its first view. Header only, like toolkit_language.h.
#pragma once

#include <cstdlib>

namespace trovex {

// The engine's GPU-buffer renderer leaves the parts of a view that another window uncovered
// unpainted (flat grey) when the X server has no GPU buffers to share, as under Xvfb or a
// plain X session; its shared-memory path repaints them. A user's own setting wins.
inline void PrepareWebEngine() { setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0); }

}  // namespace trovex
