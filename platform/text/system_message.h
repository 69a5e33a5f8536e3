// The system's message for an error code in the locale's code page.
#pragma once

#include <cstddef>
#include <string>

#include "platform/error/error.h"

namespace trovex {

// The system's text for an error code in the locale's code page (UTF-8 under the C locale),
// without a trailing line break; empty when the system has no text for the code.
std::string SystemMessageText(DWORD code);

// The system's text for an error code, or "(code)" when it has none.
std::string SystemErrorText(DWORD code);

// Writes the text for the calling thread's last error into buffer (size counts the
// terminating zero), or "(%d)" with the code when there is no text or it does not fit.
// The whole buffer is cleared first.
void FormatSystemError(char* buffer, std::size_t size);

}  // namespace trovex
