// The string table's texts in the locale's code page, which is what the application's strings
// hold (the table itself keeps UTF-8).
#pragma once

#include <cstdarg>
#include <string>

#include "res/strings.h"

namespace trovex {

// Text of a string resource in the locale's code page; empty when the id is unknown. Under the
// C/POSIX locale, whose code page cannot hold Chinese, the UTF-8 text is returned.
std::string LoadResString(unsigned id);

// The framework's "%1" insertion: every "%1" in the string is replaced by arg (both in the
// locale's code page). Other '%' sequences are left alone.
std::string FormatString1(unsigned id, const std::string& arg);

// printf-style formatting of a string resource (format and arguments in the locale's code
// page). Nothing is cut: the result grows to fit.
std::string FormatResString(unsigned id, ...);
std::string VFormatResString(unsigned id, va_list args);

// A program's answer to --version on standard output: "trovex-save 0.1" and the product's
// name. Returns the exit code (0, or 1 when the line could not be written).
int PrintProgramVersion(const char* program);

}  // namespace trovex
