// The browser's script engine for extension script pages: runs a page's inline scripts with a
// JavaScript engine and gives them what such pages use: `ActiveXObject` (COM activation by
// ProgID, method calls through IDispatch), `document`, and `external.menuArguments` (the
// window a context menu was opened on).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dom.h"

namespace trovex::browser {

struct ScriptContext {
  // `document` in the script; may be null (the script then sees null).
  IHTMLDocument2* pDocument = nullptr;
  // `external.menuArguments`; null when the page was not started from a context menu.
  IHTMLWindow2* pMenuWindow = nullptr;
};

// The inline scripts of an HTML page, in document order (scripts with a src, or of a type that
// is not JavaScript, are left out).
std::vector<std::string> ExtractScripts(std::string_view html);

// Runs `source` to its end. False with *error set (message and line) when it throws or does
// not compile; the engine and every object it was given are released either way.
bool RunScript(const std::string& source, const std::string& name, const ScriptContext& context,
               std::string* error);

// Reads the page at `path` (UTF-8) and runs its inline scripts in one engine, in order; stops
// at the first error.
bool RunScriptPage(const std::string& path, const ScriptContext& context, std::string* error);

}  // namespace trovex::browser
