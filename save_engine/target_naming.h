// Where a checked movie is written: the target path from the directory and the movie's file
// name, copy counters, validation and creation of the target directory, and the settlement of
// a clash with an existing file. All functions take the path style; at run time it is the
// native one, whose separator joins the parts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/fs/path.h"
#include "scan/swf_file_list.h"

namespace trovex {

// The stored conflict policy ("Conflict Action").
enum ConflictAction : int {
  CONFLICT_AUTO_RENAME = 0,
  CONFLICT_OVERWRITE = 1,
  CONFLICT_SKIP = 2,
  CONFLICT_PROMPT = 3,
};

// Results of the file-exists dialog.
enum FileExistsResult : int {
  FILE_EXISTS_AUTO_RENAME = 1,
  FILE_EXISTS_RENAME = 2,  // to the path chosen in the save-file dialog
  FILE_EXISTS_OVERWRITE = 3,
  FILE_EXISTS_SKIP = 4,
};

// The file-system calls the naming functions make. The native set works on the disk; tests of
// the Windows style pass their own.
struct PathOps {
  std::function<bool(const std::string&)> exists;           // PathFileExistsA
  std::function<bool(const std::string&)> isDirectory;      // PathIsDirectoryA
  std::function<bool(const std::string&)> hasAttributes;    // GetFileAttributesA succeeds
  std::function<bool(const std::string&)> createDirectory;  // CreateDirectoryA, last error set
  static const PathOps& Native();
};

// directory + separator + file name, then StripNameCounter. Separators are not collapsed.
std::string ComposeTargetPath(const std::string& strDir, const std::string& strFileName,
                              PathStyle style = kNativePathStyle);

// Removes one trailing "[n]" counter in front of the extension ("movie[2].swf" ->
// "movie.swf"); anything else is returned unchanged.
std::string StripNameCounter(const std::string& path, PathStyle style = kNativePathStyle);

// The path itself when nothing of that name exists, else the first free "base[n]ext".
std::string MakeUniquePath(const std::string& path, PathStyle style = kNativePathStyle,
                           const PathOps& ops = PathOps::Native());

// The name to claim next for `wanted` once `taken` proved taken (by a file, a folder or even a
// dangling link): its first counted variant of which nothing of that name exists now.
std::string NextClaimPath(const std::string& wanted, const std::string& taken);

// Whether the path may be used as a target directory. Windows style: a drive letter and ":",
// or "\\" and at least 3 more bytes; after those no control byte, no "\\" pair and none of
// / : * ? " < > |. POSIX style: starts with "/" ("/" alone is the root and valid); no control
// byte, no "//" and none of \ : * ? " < > |.
bool IsValidTargetPath(const std::string& path, PathStyle style = kNativePathStyle);

// The folders CreateDirectoryPath visits, outermost first. A network path's server name is
// not among them (it cannot be created), nor is the empty text before a leading "/".
std::vector<std::string> DirectoryPrefixes(const std::string& path, PathStyle style);

// Creates every missing level. FALSE (with the last error of the failing level) when the path
// is not valid (ERROR_DIRECTORY) or a level cannot be created; levels made so far stay.
BOOL CreateDirectoryPath(const std::string& path, PathStyle style = kNativePathStyle,
                         const PathOps& ops = PathOps::Native());

// The questions EnsureTargetDirectory asks when interactive.
struct DirectoryPrompts {
  // Message 50001 with the path: true for Yes.
  std::function<bool(const std::string& path)> askCreate;
  // Message 50002 with the system text of the last error.
  std::function<void(const std::string& systemText)> reportFailure;
};

// Validates, asks, creates and reports. TRUE when the directory exists afterwards.
BOOL EnsureTargetDirectory(const std::string& path, BOOL bInteractive,
                           const DirectoryPrompts& prompts, PathStyle style = kNativePathStyle,
                           const PathOps& ops = PathOps::Native());

// The conflict memory of one save run.
struct ConflictMemory {
  int nAnswer = 0;          // the last answer of the file-exists dialog in this run
  BOOL bApplyToAll = FALSE; // its apply-to-all box when that answer was given
};

// What the file-exists dialog answered.
struct FileExistsAnswer {
  int nResult = FILE_EXISTS_SKIP;
  std::string strNewPath;
  BOOL bApplyToAll = FALSE;
};
// Shows the file-exists dialog for an existing target and the movie's local copy (empty when
// the movie will be downloaded).
using FileExistsPrompt =
    std::function<FileExistsAnswer(const std::string& strExistingPath, const std::string& strSourcePath)>;

// Settles a clash of `target` with an existing file by the policy. Returns TRUE when the movie
// is to be written to `target` (possibly changed), FALSE when it is to be skipped.
BOOL SettleTargetConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                          ConflictMemory& memory, const FileExistsPrompt& prompt,
                          PathStyle style = kNativePathStyle,
                          const PathOps& ops = PathOps::Native());

}  // namespace trovex
