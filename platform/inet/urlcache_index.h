// The URL cache's index: the entries in memory, and their text in the index file. Internal to
// the inet layer.
//
// The file is a header line, then "size TAB file TAB address" per entry, oldest first; then
// the changes made since: "+size TAB file TAB address" adds or replaces an entry, "- TAB TAB
// address" removes one. "%", TAB, CR and LF of the texts are written as %XX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex::urlcache {

// Larger index files are not ours (or not sane): read as empty, and replaced at the next write.
constexpr std::size_t kMaxIndexBytes = 64u << 20;

struct Entry {
  std::string local;  // "SUBFOLDER/name[N].ext", relative to the cache folder
  std::uint64_t size = 0;
  std::uint64_t seq = 0;  // age: smaller is older
};

// The entries with what writers need to keep them cheap to change: age order, the files in
// use, the bytes in total.
class Index {
 public:
  const std::map<std::string, Entry>& entries() const { return entries_; }
  std::uint64_t totalBytes() const { return total_; }
  bool Names(const std::string& local) const { return locals_.count(local) != 0; }
  std::size_t CountIn(const std::string& folder) const {
    auto it = perFolder_.find(folder);
    return it == perFolder_.end() ? 0 : it->second;
  }
  const Entry* Find(const std::string& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
  }
  // The oldest entry's key; null when empty.
  const std::string* Oldest() const { return byAge_.empty() ? nullptr : &byAge_.begin()->second; }
  // Adds or replaces; *replaced gets the file of a replaced entry.
  void Put(const std::string& key, std::string local, std::uint64_t size, std::string* replaced) {
    if (replaced) replaced->clear();
    auto it = entries_.find(key);
    if (it != entries_.end()) {
      if (replaced) *replaced = it->second.local;
      Forget(it);
    }
    Entry e{std::move(local), size, nextSeq_++};
    Remember(key, e);
    entries_.emplace(key, std::move(e));
  }
  bool Erase(const std::string& key, std::string* local) {
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    if (local) *local = it->second.local;
    Forget(it);
    return true;
  }

 private:
  static std::string FolderOf(const std::string& local) { return local.substr(0, local.find('/')); }
  void Remember(const std::string& key, const Entry& e) {
    byAge_.emplace(e.seq, key);
    locals_.insert(e.local);
    ++perFolder_[FolderOf(e.local)];
    total_ += e.size;
  }
  void Forget(std::map<std::string, Entry>::iterator it) {
    byAge_.erase(it->second.seq);
    locals_.erase(locals_.find(it->second.local));
    --perFolder_[FolderOf(it->second.local)];
    total_ -= it->second.size;
    entries_.erase(it);
  }

  std::map<std::string, Entry> entries_;
  std::map<std::uint64_t, std::string> byAge_;
  std::multiset<std::string> locals_;
  std::map<std::string, std::size_t> perFolder_;
  std::uint64_t total_ = 0;
  std::uint64_t nextSeq_ = 1;
};

// "SUBFOLDER/name[N].ext": a subfolder name is 8 upper-case letters or digits.
bool IsSubfolderName(std::string_view name);

// A snapshot line, or (`change`) a line appended later; a null entry removes `key`.
std::string EntryLine(std::string_view key, const Entry* e, bool change);

// Every stored address is keyed again, so entries written before keys took their present form
// are still found. A snapshot without its header reads as empty (false). *dropped: files of
// entries the snapshot holds twice, for a writer to remove; *changes: the lines appended
// since the snapshot.
bool ParseIndex(std::string_view data, Index* index, std::vector<std::string>* dropped,
                std::size_t* changes);

// The snapshot of `index`, oldest entry first.
std::string SerializeIndex(const Index& index);

}  // namespace trovex::urlcache
