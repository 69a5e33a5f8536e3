// Starting a program the way the shell's ShellExecuteA does: the program runs on its own, is not
// waited for, and receives the parameter text split into arguments by the rules a Windows
// program's C runtime applies to its command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace trovex {

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;

// Results of ShellExecuteA at or below 32 (the call's own codes).
constexpr std::intptr_t SE_ERR_OUT_OF_MEMORY = 0;
constexpr std::intptr_t SE_ERR_FNF = 2;            // the program does not exist
constexpr std::intptr_t SE_ERR_PNF = 3;            // a folder on its way does not exist
constexpr std::intptr_t SE_ERR_ACCESSDENIED = 5;   // not an executable file, or no right to run it
constexpr std::intptr_t SE_ERR_OOM = 8;
constexpr std::intptr_t SE_ERR_BAD_FORMAT = 11;    // a file the system cannot run
constexpr std::intptr_t SE_ERR_NOASSOC = 31;       // a verb other than "open"

// The parameter text as a Windows program's C runtime splits it: arguments are separated by
// spaces and tabs outside double quotes; 2n backslashes before a quote give n backslashes and
// the quote opens or closes a quoted part; 2n+1 backslashes before a quote give n backslashes
// and a literal quote; other backslashes are literal; "" inside a quoted part is a literal quote
// and the part goes on; "" outside gives an empty argument. Stepped by character, so a trail
// byte 0x5C of a double-byte character is no backslash.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

// Starts lpFile (a path; a relative one is taken from the current folder, no search) with the
// split lpParameters (null: none) in lpDirectory (null or empty: the current folder). Verb null,
// empty or "open"; hwnd and nShowCmd have no meaning here. The program is started in a session
// of its own and is never waited for; it does not remain as a child of the caller, so nothing
// is left to reap. Returns the started process's id (above 32) on success; on failure one of the
// codes above, which also becomes the last error. A program that the system refuses to run
// (exec fails in the new process) counts as a failure too.
std::intptr_t ShellExecuteA(const void* hwnd, const char* lpOperation, const char* lpFile,
                            const char* lpParameters, const char* lpDirectory, int nShowCmd);

}  // namespace trovex
