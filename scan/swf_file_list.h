// One found movie and the address-ordered list of them that the Save dialog owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace trovex {

// Strings are ANSI text in the thread's code page.
struct SWFFileInfo {
  std::string strURL;        // list key; a local path for file-scheme movies
  std::string strLocalFile;  // cache file or local file to copy; empty: download strURL
  std::string strFileName;   // proposed name, no directory
  std::string strSavedPath;  // written by the latest successful save
  std::int64_t nSize = -1;   // bytes; -1 unknown
  std::int32_t bSaved = 0;
  // What the page hands the movie, for finding the files it loads: its FlashVars (attribute or
  // PARAM), its `base` as written, and the address of the page that embeds it.
  std::string flashVars;
  std::string base;
  std::string pageAddress;
};

// Sorted map from address to record. std::string compares bytes as unsigned values, which is
// the code page's byte order with double-byte characters taken whole, and case-sensitive.
class SWFFileList {
 public:
  using Map = std::map<std::string, SWFFileInfo>;
  using iterator = Map::iterator;
  using const_iterator = Map::const_iterator;

  // Find-or-insert: an absent key gets a record in its initial state first. References stay
  // valid until the list is cleared.
  SWFFileInfo& operator[](const std::string& key) { return map_[key]; }
  // Stores a record under its own address, replacing any record already stored there.
  void Store(const SWFFileInfo& info) { (*this)[info.strURL] = info; }
  void Store(SWFFileInfo&& info) { Store(MakeNode(std::move(info))); }
  // The same in two steps: a record made ready for the list, on any thread, then stored
  // without allocating.
  using Node = Map::node_type;
  static Node MakeNode(SWFFileInfo&& info) {
    Map one;
    one.try_emplace(info.strURL, std::move(info));
    return one.extract(one.begin());
  }
  void Store(Node&& node) {
    auto result = map_.insert(std::move(node));
    if (!result.inserted) result.position->second = std::move(result.node.mapped());
  }

  std::size_t GetCount() const { return map_.size(); }
  bool IsEmpty() const { return map_.empty(); }
  void RemoveAll() { map_.clear(); }

  iterator begin() { return map_.begin(); }
  iterator end() { return map_.end(); }
  const_iterator begin() const { return map_.begin(); }
  const_iterator end() const { return map_.end(); }

 private:
  Map map_;
};

}  // namespace trovex
