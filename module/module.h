// The module's own state: where its file lies, and the lock count (kept by the application
// object) that keeps it loaded while objects it served are alive.
#pragma once

#include <string>

#include "platform/base/types.h"

namespace trovex {

// Full path of the file this code was loaded from (asked of the dynamic loader); "" when the
// loader cannot tell. Computed once per process.
const std::string& GetModuleFilePath();
// GetModuleFilePath() up to, not including, its last "/"; computed once per process.
const std::string& GetModuleDirectory();
// The directory part of a path: up to, not including, the last "/"; "" when there is none.
std::string ModuleDirectoryOf(const std::string& strPath);

// The application lock of a server: every live automation object and every LockServer(TRUE)
// holds one, and the module may be unloaded only while none is held.
void AfxOleLockApp();
void AfxOleUnlockApp();
LONG AfxOleLockCount();

}  // namespace trovex
