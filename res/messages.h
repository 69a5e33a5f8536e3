// The system's message table: its own wording for the error codes it reports (Win32 and
// WinInet numbers), kept in UTF-8 beside the string table. Like the string table it includes
// nothing of ours, so the error layer (platform/error/message_table.h) reads it.
#pragma once

#include <vector>

namespace trovex {

// The UTF-8 text for an error code; null when the table has none.
const char* MessageTableUtf8(unsigned long code);
// Every code in the table, ascending.
std::vector<unsigned long> MessageTableCodes();

}  // namespace trovex
