// The system's own wording for the error codes the system meets, as its message table gives
// it: one text per code, shared by every room that explains a failure to the user.
#pragma once

#include "platform/error/error.h"

namespace trovex {

// The text for code in UTF-8, without a line break; nullptr when the table has none.
const char* SystemMessageUtf8(DWORD code);

}  // namespace trovex
