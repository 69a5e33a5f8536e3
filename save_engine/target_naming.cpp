#include "save_engine/target_naming.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"

namespace trovex {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "[" then an integer (leading white space and a sign allowed); what follows is not looked at.
bool StartsWithBracketedNumber(std::string_view s) {
  std::size_t i = 1;
  if (s.empty() || s[0] != '[') return false;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  return i < s.size() && s[i] >= '0' && s[i] <= '9';
}

}  // namespace

const PathOps& PathOps::Native() {
  static const PathOps ops{
      [](const std::string& p) { return PathFileExistsA(p.c_str()) != FALSE; },
      [](const std::string& p) { return PathIsDirectoryA(p.c_str()) != FALSE; },
      [](const std::string& p) { return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES; },
      [](const std::string& p) { return CreateDirectoryA(p.c_str(), nullptr) != FALSE; },
  };
  return ops;
}

std::string ComposeTargetPath(const std::string& strDir, const std::string& strFileName,
                              PathStyle style) {
  return StripNameCounter(strDir + PathSeparator(style) + strFileName, style);
}

std::string StripNameCounter(const std::string& path, PathStyle style) {
  std::size_t ext = PathExtensionOffset(path, style);
  std::string_view base(path.data(), ext);
  if (base.size() <= 4 || base.back() != ']' || MbPrevChar(base, base.size()) != base.size() - 1) {
    return path;
  }
  // The last "[" that starts a character, at least one byte before the "]", never at 0.
  std::size_t open = 0;
  for (std::size_t i = 0; i + 3 <= base.size(); i = MbNextChar(base, i)) {
    if (i >= 1 && base[i] == '[') open = i;
  }
  if (open == 0 || !StartsWithBracketedNumber(base.substr(open))) return path;
  return std::string(base.substr(0, open)) + path.substr(ext);
}

std::string MakeUniquePath(const std::string& path, PathStyle style, const PathOps& ops) {
  if (!ops.exists(path)) return path;
  std::size_t ext = PathExtensionOffset(path, style);
  std::string base = path.substr(0, ext);
  std::string extension = path.substr(ext);
  // No upper bound: there are only so many names in a folder.
  for (unsigned long long n = 1;; ++n) {
    std::string candidate = base + "[" + std::to_string(n) + "]" + extension;
    if (!ops.exists(candidate)) return candidate;
  }
}

std::string NextClaimPath(const std::string& wanted, const std::string& taken) {
  PathOps ops = PathOps::Native();
  ops.exists = [&taken](const std::string& path) {
    struct stat st;
    return path == taken || ::lstat(path.c_str(), &st) == 0;
  };
  return MakeUniquePath(wanted, kNativePathStyle, ops);
}

bool IsValidTargetPath(const std::string& path, PathStyle style) {
  std::size_t rest;
  const char* forbidden;
  const char sep = PathSeparator(style);
  if (style == PathStyle::Windows) {
    if (path.size() < 2) return false;
    if (IsAsciiLetter(path[0]) && path[1] == ':') {
      rest = 2;
    } else if (path[0] == '\\' && path[1] == '\\') {
      if (path.size() < 5) return false;
      rest = 2;
    } else {
      return false;
    }
    forbidden = "/:*?\"<>|";
  } else {
    if (path.empty() || path[0] != '/') return false;
    rest = 1;
    forbidden = "\\:*?\"<>|";
  }
  // POSIX: the leading "/" counts for a doubled separator ("//x" is refused).
  bool previous_was_separator = style == PathStyle::Posix;
  for (std::size_t i = rest; i < path.size(); i = MbNextChar(path, i)) {
    if (MbCharLen(path, i) != 1) {
      previous_was_separator = false;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20) return false;
    if (c == static_cast<unsigned char>(sep)) {
      if (previous_was_separator) return false;
      previous_was_separator = true;
      continue;
    }
    previous_was_separator = false;
    if (std::strchr(forbidden, c) != nullptr) return false;
  }
  return true;
}

std::vector<std::string> DirectoryPrefixes(const std::string& path, PathStyle style) {
  std::vector<std::string> prefixes;
  const char sep = PathSeparator(style);
  std::size_t pos = 0;
  bool network = false;
  if (style == PathStyle::Windows && path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    pos = 2;
    network = true;
  } else if (style == PathStyle::Posix && !path.empty() && path[0] == '/') {
    pos = 1;
  }
  for (;;) {
    std::size_t next = MbFind(path, sep, pos);
    if (next == std::string::npos) {
      prefixes.push_back(path);
      break;
    }
    // The server of a network path is no folder: it can be neither tested nor created.
    if (!(network && prefixes.empty() && pos == 2)) prefixes.push_back(path.substr(0, next));
    network = false;
    pos = next + 1;
  }
  return prefixes;
}

BOOL CreateDirectoryPath(const std::string& path, PathStyle style, const PathOps& ops) {
  if (!IsValidTargetPath(path, style)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  for (const std::string& prefix : DirectoryPrefixes(path, style)) {
    if (!ops.hasAttributes(prefix) && !ops.createDirectory(prefix)) return FALSE;
  }
  // A file of that name is no target directory, even though the loop found "something".
  if (!ops.isDirectory(path)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return TRUE;
}

BOOL EnsureTargetDirectory(const std::string& path, BOOL bInteractive,
                           const DirectoryPrompts& prompts, PathStyle style, const PathOps& ops) {
  if (!IsValidTargetPath(path, style)) {
    SetLastError(ERROR_DIRECTORY);
  } else {
    if (ops.isDirectory(path)) return TRUE;
    if (bInteractive && !(prompts.askCreate && prompts.askCreate(path))) return FALSE;
    if (CreateDirectoryPath(path, style, ops)) return TRUE;
  }
  if (bInteractive && prompts.reportFailure) {
    char text[255];
    FormatSystemError(text, sizeof text);
    prompts.reportFailure(text);
  }
  return FALSE;
}

BOOL SettleTargetConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                          ConflictMemory& memory, const FileExistsPrompt& prompt,
                          PathStyle style, const PathOps& ops) {
  if (nPolicy == CONFLICT_OVERWRITE) return TRUE;
  if (!ops.exists(target)) return TRUE;
  if (nPolicy == CONFLICT_AUTO_RENAME) {
    target = MakeUniquePath(target, style, ops);
    return TRUE;
  }
  if (nPolicy == CONFLICT_SKIP) return FALSE;

  // The prompt (also for a policy number the settings should never hold).
  std::string strNewPath;
  if (!memory.bApplyToAll || memory.nAnswer == FILE_EXISTS_RENAME) {
    FileExistsAnswer answer;
    if (prompt) answer = prompt(target, info.strLocalFile);
    memory.nAnswer = answer.nResult;
    memory.bApplyToAll = answer.bApplyToAll;
    strNewPath = answer.strNewPath;
  }
  switch (memory.nAnswer) {
    case FILE_EXISTS_AUTO_RENAME:
      target = MakeUniquePath(target, style, ops);
      return TRUE;
    case FILE_EXISTS_RENAME:
      if (strNewPath.empty()) return FALSE;
      target = strNewPath;  // taken as chosen: the save-file dialog confirmed an overwrite
      return TRUE;
    case FILE_EXISTS_OVERWRITE:
      return TRUE;
    default:
      // Skip, and any answer the dialog cannot give: nobody agreed to replace the file.
      return FALSE;
  }
}

}  // namespace trovex
