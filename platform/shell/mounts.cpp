#include "platform/shell/mounts.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

namespace trovex::shell {

namespace {

// mountinfo escapes space, tab, newline and backslash as octal.
std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

bool Below(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

const std::set<std::string>& NetworkTypes() {
  static const std::set<std::string> types{"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p",
                                           "afs", "ncpfs", "davfs", "fuse.davfs2", "glusterfs", "ceph"};
  return types;
}

}  // namespace

std::vector<MountPoint> ParseMountInfo(const std::string& mountinfo) {
  std::vector<MountPoint> found;
  std::istringstream in(mountinfo);
  std::string line;
  while (std::getline(in, line)) {
    // id parent major:minor root mountpoint options [optional fields] - fstype source options
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string w; fields >> w;) f.push_back(w);
    auto dash = std::find(f.begin(), f.end(), "-");
    if (f.size() < 5 || dash == f.end() || std::distance(dash, f.end()) < 3) continue;
    const std::string point = Unescape(f[4]);
    const std::string type = *(dash + 1);
    const std::string source = Unescape(*(dash + 2));
    if (point.empty() || point[0] != '/' || point == "/") continue;
    MountPoint m{point, MountKind::Drive};
    if (NetworkTypes().count(type)) {
      m.kind = MountKind::Network;
    } else if (source.rfind("/dev/", 0) == 0) {
      if (source.rfind("/dev/loop", 0) == 0 && type == "squashfs") continue;  // snap packages
      if (Below(point, "/media") || Below(point, "/run/media")) m.kind = MountKind::Removable;
    } else {
      continue;  // pseudo and memory file systems
    }
    if (m.kind != MountKind::Removable) {
      static const char* const kHidden[] = {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib",
                                            "/var/snap", "/tmp", "/var/tmp"};
      bool hidden = false;
      for (const char* h : kHidden) hidden = hidden || Below(point, h);
      if (hidden) continue;
    }
    // A later mount over the same point hides the earlier one.
    found.erase(std::remove_if(found.begin(), found.end(), [&](const MountPoint& o) { return o.path == point; }),
                found.end());
    found.push_back(m);
  }
  std::sort(found.begin(), found.end(), [](const MountPoint& a, const MountPoint& b) { return a.path < b.path; });
  found.insert(found.begin(), MountPoint{"/", MountKind::Root});
  return found;
}

std::vector<MountPoint> CurrentMounts() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

}  // namespace trovex::shell
