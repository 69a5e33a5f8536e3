// Texts the saving engine shows: grouped numbers, a file exception's message, and the size and
// date texts of the file-exists dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/base/types.h"

namespace trovex {

// The value with nDecimals decimals (0 to 20) and a "," between groups of three digits of its
// integer part; a sign and a fraction are kept as they are.
std::string FormatGroupedNumber(double value, int nDecimals);

class CFileException;
// The framework's message for a file exception: the text of its cause with the file's path
// for "%1" (locale code page), as the download session keeps it for the user.
std::string GetFileExceptionMessage(const CFileException& e);

// Kilobytes rounded half up, at least 1 for a non-empty file: "1,234 KB"; "? KB" for an
// unknown (negative) size. Every size a user reads is written by this.
std::string FileSizeText(std::int64_t size);
// Local time as "%Y-%m-%d, %H:%M:%S"; empty when the time cannot be converted.
std::string FileDateText(std::time_t time);

}  // namespace trovex
