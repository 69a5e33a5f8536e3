// Settings of the web engine behind every web view of ours (the browser's page, the preview),
// made before the process creates its first view. Header only, like toolkit_language.h.
#pragma once

#include <dlfcn.h>
#include <wx/webview.h>

#include <cstdlib>

namespace trovex {

// The engine's GPU-buffer renderer leaves the parts of a view that another window uncovered
// unpainted (flat grey) when the X server has no GPU buffers to share, as under Xvfb or a
// plain X session; its shared-memory path repaints them. A user's own setting wins.
inline void PrepareWebEngine() { setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0); }

// WebKit's default languages under the C locale are not valid tags, and a web Flash player
// refuses to start with them (the preview's, and a page's own). The call lives in the web
// engine the toolkit loaded; no headers needed.
inline void SetPreferredLanguages(wxWebView* view) {
  using GetContext = void* (*)(void*);
  using SetLanguages = void (*)(void*, const char* const*);
  auto getContext = reinterpret_cast<GetContext>(dlsym(RTLD_DEFAULT, "webkit_web_view_get_context"));
  auto setLanguages =
      reinterpret_cast<SetLanguages>(dlsym(RTLD_DEFAULT, "webkit_web_context_set_preferred_languages"));
  void* native = view->GetNativeBackend();
  if (!getContext || !setLanguages || !native) return;
  static const char* const kLanguages[] = {"zh-TW", "en-US", nullptr};
  if (void* context = getContext(native)) setLanguages(context, kLanguages);
}

}  // namespace trovex
