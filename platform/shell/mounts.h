// Inside the shell layer: the mounted file systems shown below "電腦".
#pragma once

#include <string>
#include <vector>

namespace trovex::shell {

enum class MountKind { Root, Drive, Removable, Network };

struct MountPoint {
  std::string path;
  MountKind kind = MountKind::Drive;
};

// The mounts a user cares about from the text of /proc/self/mountinfo: "/" always first, then
// real devices, removable media and network shares, sorted by path; no /proc, /sys, /dev,
// /run, cgroups, snap loops or other pseudo file systems.
std::vector<MountPoint> ParseMountInfo(const std::string& mountinfo);
// The current table (re-read when it may have changed).
std::vector<MountPoint> CurrentMounts();

}  // namespace trovex::shell
