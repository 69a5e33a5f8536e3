#include "platform/error/message_table.h"

#include "res/messages.h"

namespace trovex {

// The texts are user text, so they live with the string table in res/, which stands below
// this layer.
const char* SystemMessageUtf8(DWORD code) { return MessageTableUtf8(code); }

}  // namespace trovex
