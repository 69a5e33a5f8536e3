// A page whose movies load files of their own, served by the test HTTP server: an ActionScript 2
// movie (zlib) that loads two levels, one from a subfolder whose movie names a sound in turn,
// and gets a configuration file through FlashVars; an ActionScript 3 movie (LZMA) in a subfolder
// whose code names a sound and a skin; a movie naming a file outside the page's folder; and one
// whose files the server does not have.
#pragma once

#include <map>
#include <string>

#include "tests/support/http_server.h"

namespace trovex::test {

struct MovieSite {
  std::string page;  // the page's address
  // Saved movies and files by their path under the target folder, with their bytes.
  std::map<std::string, std::string> movies;
  std::map<std::string, std::string> files;
  std::string outsidePath;  // where the file outside the page's folder goes
  std::string missingAddress;  // a file the server answers 404 for
};

MovieSite ServeMovieSite(TestHttpServer& server);

// Every regular file under `dir`, by its '/'-separated path relative to it, with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& dir);

}  // namespace trovex::test
