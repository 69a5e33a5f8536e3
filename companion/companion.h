// The two companion applications: whether one is installed, and starting one with a saved
// movie. A companion is found through its "Install Path" under HKEY_LOCAL_MACHINE; when it
// cannot be started the user is asked once to locate it.
#pragma once

#include <string>

#include "platform/base/types.h"

namespace trovex {

enum class Companion { Zalmic, Ordavin };

// TRUE when the companion's key and "Install Path" can be read and its executable exists.
// Silent on every failure.
BOOL IsCompanionInstalled(Companion companion);

// Starts the companion with pszArguments as its parameter text (nullptr: no parameters),
// asking the user to locate it once when it cannot be started. User-interface thread only;
// may show message boxes and a file dialog. TRUE when the companion was started.
BOOL LaunchCompanion(Companion companion, const char* pszArguments);

// Starts strExecutable without waiting for it; pszArguments is split into arguments the way a
// Windows command line is split (nullptr: none). TRUE when the program was started.
BOOL StartProgram(const std::string& strExecutable, const char* pszArguments);

}  // namespace trovex
