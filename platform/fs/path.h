// Path syntax. Path syntax is a platform matter, so every function here takes a style: the
// Windows style (drive letter or UNC, "\" separator) behaves as the shell's light-weight path
// functions do and is kept for the behaviour the system was designed against; the POSIX style
// is what runs here ("/" the only separator, "/" alone the root). Strings are in the locale's
// code page and stepped character by character, so a trail byte of a double-byte character
// (Big5 0x5C, for instance) is never taken for a separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace trovex {

// The Windows path limit; the system's buffers are this big.
constexpr std::size_t MAX_PATH = 260;

enum class PathStyle { Windows, Posix };

// The style of the paths this platform's file system takes.
constexpr PathStyle kNativePathStyle = PathStyle::Posix;

constexpr char PathSeparator(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

// Windows: "\" alone, "X:\", "\\", "\\server" and "\\server\share" (no trailing separator).
// POSIX: "/" alone.
BOOL PathIsRootA(const char* path, PathStyle style = kNativePathStyle);

// The extension: the last "." of the last component, provided no separator and no space
// follows it; otherwise the terminating NUL (an empty extension). Null in, null out.
const char* PathFindExtensionA(const char* path, PathStyle style = kNativePathStyle);
char* PathFindExtensionA(char* path, PathStyle style = kNativePathStyle);
// Offset of the extension within `path` (path.size() when there is none).
std::size_t PathExtensionOffset(std::string_view path, PathStyle style = kNativePathStyle);

// The last component. A trailing separator does not start a component ("C:\dir\" gives
// "dir\"). Windows style also splits at "/" and ":" as the shell does.
const char* PathFindFileNameA(const char* path, PathStyle style = kNativePathStyle);
// Keeps the last component only, in place.
void PathStripPathA(char* path, PathStyle style = kNativePathStyle);
std::string PathStripPath(std::string_view path, PathStyle style = kNativePathStyle);

// Removes the last component and its separator, in place; a root keeps its separator
// ("C:\a" gives "C:\", "/a" gives "/"). Nonzero when something was removed.
BOOL PathRemoveFileSpecA(char* path, PathStyle style = kNativePathStyle);
std::string PathRemoveFileSpec(std::string_view path, PathStyle style = kNativePathStyle);

}  // namespace trovex
