// From a page element's movie reference to the movie's record: the absolute, canonical
// address, the best source (browser cache, local file, or the network) and a file name.
#pragma once

#include <string>

#include "scan/swf_file_list.h"

namespace trovex {

// The addresses a page's movie references are resolved against: `siteRoot` =
// "scheme://host[:port]", `directory` = the page address up to its last separator. The
// canonical form of the directory is made once per page, since most references are plain file
// names whose canonical address is that form with the name appended.
struct MoviePage {
  MoviePage(std::string siteRoot, std::string directory);
  std::string siteRoot;
  std::string directory;
  std::string canonicalDirectory;  // empty when a name appended to it might not stay as it is
  bool local = false;              // a file: page, which alone may name local movies
  std::string address;             // the page's own address, handed on to its movies' records
};

// Makes `reference` absolute against the page, canonicalises it and fills `record` through
// LookUpMovieSource. Returns the address to list the movie under, or "" when the movie is not
// to be listed (the record is then not to be stored).
std::string ResolveMovieAddress(const MoviePage& page, const std::string& reference, SWFFileInfo& record);
std::string ResolveMovieAddress(const std::string& siteRoot, const std::string& documentDirectory,
                                const std::string& reference, SWFFileInfo& record);

// Fills strURL, strLocalFile, strFileName and nSize from, in this order, the URL cache, the
// local file of a file: address, or an http(s) address itself. False: not to be listed.
bool LookUpMovieSource(const std::string& address, SWFFileInfo& record);

// While one exists on a thread, local sizes are read relative to the last movie's folder, kept
// open, instead of walking the whole path for every movie of a page. Not nested across threads.
class LocalSizeScope {
 public:
  LocalSizeScope();
  ~LocalSizeScope();
  LocalSizeScope(const LocalSizeScope&) = delete;
  LocalSizeScope& operator=(const LocalSizeScope&) = delete;
};

// A file name ending in ".swf" from the object path (path and query) of a network address.
std::string DeriveFileNameFromAddress(const std::string& objectPath);

}  // namespace trovex
