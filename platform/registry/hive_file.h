// One hive kept in one REGEDIT4 file: cached in memory, re-read when the file changes, written
// atomically under a cross-process lock. Internal to the registry layer; not thread-safe by
// itself (the layer serialises all calls).
#pragma once

#include <functional>
#include <string>

#include "platform/fs/posix_io.h"
#include "platform/registry/regedit4.h"

namespace trovex::reg {

// Where the hive files live, from the environment at the time of the call.
std::string UserHivePath();     // $XDG_CONFIG_HOME/kelvora-swf-trovex/user.reg
std::string MachineHivePath();  // $XDG_DATA_HOME/kelvora-swf-trovex/machine.reg

class HiveFile {
 public:
  HiveFile(std::string path, std::string rootName);

  const std::string& path() const { return path_; }

  // The hive as the file holds it now (empty when there is no file, or when it cannot be read
  // or parsed; a damaged file is set aside first).
  const RegKey& Current();

  // Runs edit on the hive as re-read under the lock. When edit returns ERROR_SUCCESS and sets
  // its flag, the result is written atomically; a failing edit must leave the tree unchanged.
  // ERROR_ACCESS_DENIED when the file or its folder cannot be written.
  LSTATUS Modify(const std::function<LSTATUS(RegKey& root, bool& changed)>& edit);

  // Whether writes could succeed: the folder (or the nearest existing one above it) and the
  // file, when present, are writable.
  bool Writable() const;

 private:
  using Signature = posix::FileStamp;  // exists == false: there was no file
  enum class LoadResult { kOk, kUnchanged, kDamaged, kUnreadable };

  // Reads the file when its signature differs from `known` (or always, with force).
  LoadResult Load(const Signature* known, RegKey* tree, Signature* sig, std::string* text,
                  int* err);
  // With the lock held: renames the damaged file aside and reports it. False when it could
  // not be moved.
  bool SetAside(const Signature& sig, const std::string& why);
  void ReportOnce(const std::string& message);

  std::string path_;
  std::string rootName_;
  RegKey cache_;
  Signature cacheSig_;
  bool cacheValid_ = false;
  std::string reported_;  // the last problem reported, so it is said once
};

}  // namespace trovex::reg
