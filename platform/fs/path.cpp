#include "platform/fs/path.h"

#include <cstring>

#include "platform/text/text.h"

namespace trovex {

namespace {

bool IsSeparator(char c, PathStyle style) { return c == PathSeparator(style); }

// Windows' file-name search also splits at "/" and ":".
bool IsNameBreak(char c, PathStyle style) {
  if (style == PathStyle::Windows) return c == '\\' || c == '/' || c == ':';
  return c == '/';
}

std::size_t FileNameOffset(std::string_view s, PathStyle style) {
  if (MbAsciiBytesAreChars(s)) {  // separators are ASCII
    // From the end: the last separator followed by something other than a separator.
    for (std::size_t i = s.size(); i-- > 1;)
      if (IsNameBreak(s[i - 1], style) && s[i] != '/' && !(style == PathStyle::Windows && s[i] == '\\')) return i;
    return 0;
  }
  std::size_t name = 0;
  for (std::size_t i = 0; i < s.size(); i = MbNextChar(s, i)) {
    if (!IsNameBreak(s[i], style) || MbCharLen(s, i) != 1) continue;
    std::size_t next = i + 1;
    if (next >= s.size()) continue;
    // A trailing separator (or a doubled one) does not start a name.
    bool next_is_separator = s[next] == '/' || (style == PathStyle::Windows && s[next] == '\\');
    if (!next_is_separator) name = next;
  }
  return name;
}

// Where PathRemoveFileSpecA cuts; the end of the string when nothing is to be removed.
std::size_t FileSpecCut(std::string_view s, PathStyle style) {
  std::size_t i = 0;
  std::size_t cut = 0;
  if (style == PathStyle::Windows) {
    // A leading "\" or "\\" (root or UNC prefix) is never removed.
    if (i < s.size() && s[i] == '\\') cut = ++i;
    if (i < s.size() && s[i] == '\\') cut = ++i;
    while (i < s.size()) {
      bool single = MbCharLen(s, i) == 1;
      if (single && s[i] == '\\') {
        cut = i;
      } else if (single && s[i] == ':') {
        // A drive keeps its root separator.
        cut = i + 1;
        if (cut < s.size() && s[cut] == '\\') {
          ++cut;
          i = cut;
          continue;
        }
      }
      i = MbNextChar(s, i);
    }
  } else {
    if (i < s.size() && s[i] == '/') cut = ++i;
    for (; i < s.size(); i = MbNextChar(s, i)) {
      if (MbCharLen(s, i) == 1 && s[i] == '/') cut = i;
    }
  }
  return cut;
}

}  // namespace

BOOL PathIsRootA(const char* path, PathStyle style) {
  if (path == nullptr || *path == '\0') return FALSE;
  std::string_view s(path);
  if (style == PathStyle::Posix) return s == "/" ? TRUE : FALSE;
  if (s == "\\") return TRUE;
  if (s.size() == 3 && s[1] == ':' && s[2] == '\\' && MbCharLen(s, 0) == 1) return TRUE;
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    // "\\", "\\server" or "\\server\share": at most one more separator, never at the end and
    // never doubled.
    int separators = 0;
    bool previous_was_separator = false;
    for (std::size_t i = 2; i < s.size(); i = MbNextChar(s, i)) {
      bool sep = MbCharLen(s, i) == 1 && s[i] == '\\';
      if (sep && (++separators > 1 || previous_was_separator || i == 2)) return FALSE;
      previous_was_separator = sep;
    }
    return previous_was_separator ? FALSE : TRUE;
  }
  return FALSE;
}

std::size_t PathExtensionOffset(std::string_view s, PathStyle style) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i = MbNextChar(s, i)) {
    if (MbCharLen(s, i) != 1) continue;
    if (IsSeparator(s[i], style) || s[i] == ' ') {
      dot = std::string_view::npos;
    } else if (s[i] == '.') {
      dot = i;
    }
  }
  return dot == std::string_view::npos ? s.size() : dot;
}

const char* PathFindExtensionA(const char* path, PathStyle style) {
  if (path == nullptr) return nullptr;
  return path + PathExtensionOffset(path, style);
}

char* PathFindExtensionA(char* path, PathStyle style) {
  if (path == nullptr) return nullptr;
  return path + PathExtensionOffset(path, style);
}

const char* PathFindFileNameA(const char* path, PathStyle style) {
  if (path == nullptr) return nullptr;
  return path + FileNameOffset(path, style);
}

void PathStripPathA(char* path, PathStyle style) {
  if (path == nullptr) return;
  std::size_t offset = FileNameOffset(path, style);
  if (offset != 0) std::memmove(path, path + offset, std::strlen(path + offset) + 1);
}

std::string PathStripPath(std::string_view path, PathStyle style) {
  return std::string(path.substr(FileNameOffset(path, style)));
}

BOOL PathRemoveFileSpecA(char* path, PathStyle style) {
  if (path == nullptr) return FALSE;
  std::size_t cut = FileSpecCut(path, style);
  if (path[cut] == '\0') return FALSE;
  path[cut] = '\0';
  return TRUE;
}

std::string PathRemoveFileSpec(std::string_view path, PathStyle style) {
  return std::string(path.substr(0, FileSpecCut(path, style)));
}

}  // namespace trovex
