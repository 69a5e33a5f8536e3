// What every fuzz target sets up once: a private, empty home for the caches and settings the
// code under test may look at, in the C locale or the one TROVEX_FUZZ_LOCALE names.
#pragma once

#include <stdlib.h>

#include <clocale>
#include <filesystem>
#include <string>

namespace trovex::fuzz {

struct Environment {
  Environment() {
    char folder[] = "/tmp/trovex-fuzz-XXXXXX";
    if (::mkdtemp(folder)) {
      home = folder;
      ::setenv("HOME", folder, 1);
      ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
      ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    }
    const char* locale = std::getenv("TROVEX_FUZZ_LOCALE");
    std::setlocale(LC_ALL, locale ? locale : "C");
  }
  ~Environment() {
    std::error_code ignored;
    if (!home.empty()) std::filesystem::remove_all(home, ignored);
  }
  std::string home;
};

}  // namespace trovex::fuzz
