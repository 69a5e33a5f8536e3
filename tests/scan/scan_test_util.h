// Locale switching for the scanner tests: the scanner's text is in the locale's code page.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_env.h"

namespace trovex::test {

// One locale by name, for TROVEX_REQUIRE_LOCALE.
class ScopedLocale : public LocaleSwitch {
 public:
  explicit ScopedLocale(const char* name) : LocaleSwitch({name}) {}
};

// Big5 bytes of the characters the tests use; 許 ends in "\" and 弋 in "|".
inline const std::string kBig5Xu = "\xB3\x5C";
inline const std::string kBig5Yi = "\xA4\x7C";
// The same characters in UTF-8, as the document model hands them over (via UTF-16).
inline const std::string kUtf8Xu = "\xE8\xA8\xB1";
inline const std::string kUtf8Yi = "\xE5\xBC\x8B";

}  // namespace trovex::test

#define TROVEX_REQUIRE_LOCALE(var, name)                          \
  ::trovex::test::ScopedLocale var(name);                          \
  if (!var.ok()) GTEST_SKIP() << "locale " << name << " missing"
