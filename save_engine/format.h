// Texts the saving engine shows: the system's message for an error code, grouped numbers, and
// the size and date texts of the file-exists dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/base/types.h"

namespace trovex {

// The system's text for an error code in the locale's code page (UTF-8 under the C locale),
// without a trailing line break; empty when the system has no text for the code.
std::string SystemMessageText(DWORD code);

// Writes the text for the calling thread's last error into buffer (size counts the
// terminating zero), or "(%d)" with the code when there is no text or it does not fit.
// The whole buffer is cleared first.
void FormatSystemError(char* buffer, std::size_t size);

// The value with nDecimals decimals (0 to 20) and a "," between groups of three digits of its
// integer part; a sign and a fraction are kept as they are.
std::string FormatGroupedNumber(double value, int nDecimals);

class CFileException;
// The framework's message for a file exception: the text of its cause with the file's path
// for "%1" (locale code page), as the download session keeps it for the user.
std::string GetFileExceptionMessage(const CFileException& e);

// Kilobytes rounded half up, at least 1 for a non-empty file: "1,234 KB".
std::string FileSizeText(std::int64_t size);
// Local time as "%Y-%m-%d, %H:%M:%S"; empty when the time cannot be converted.
std::string FileDateText(std::time_t time);

}  // namespace trovex
