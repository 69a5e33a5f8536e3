// The browser window's cookies. The view keeps its own store beside the shared jar (the engine
// rewrites its store whenever it likes and without our lock, so it never writes the jar
// itself); what it holds reaches the jar through our merge, under the jar's lock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/web_engine.h"

namespace trovex::browser {

// Starts the view's store from the jar's lines and points the view at it.
void UseCookieJar(WebEngineView* view);

// Merges the view's store into the jar.
void ExportViewCookies();

// The session cookies (no expiry) among `cookies`, as jar lines.
std::vector<std::string> SessionCookieLines(const std::vector<EngineCookie>& cookies);

// The engine writes only cookies with an expiry to its store; the session's own (log-ins,
// tickets a script set) stay in its memory. They are asked for, for the addresses we are about
// to fetch (one per folder, a bounded number), and put into the jar as session lines; `then`
// runs once all answered (at once when nothing can be asked).
void ImportSessionCookies(WebEngineView* view, std::vector<std::string> urls, std::function<void()> then);

}  // namespace trovex::browser
