// The save target's folder made sure of with the user: the question whether to create a missing
// folder (message 50001) and the failure (message 50002) as message boxes. No dialog of its own,
// so the folder picker and the Save dialog both reach it.
#pragma once

#include <string>

#include "platform/base/types.h"

class wxWindow;

namespace trovex {

// EnsureTargetDirectory with message boxes 50001 and 50002 (owner null: over the active
// window).
BOOL EnsureTargetDirectory(const std::string& path, BOOL bInteractive, wxWindow* owner = nullptr);

}  // namespace trovex
