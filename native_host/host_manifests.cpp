#include "native_host/host_manifests.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/atomic_file.h"
#include "platform/fs/posix_io.h"

namespace trovex::nativehost {

std::string ManifestJson(BrowserKind kind, const std::string& hostPath) {
  nlohmann::ordered_json m;
  m["name"] = kHostName;
  m["description"] = "SWF Zalmic Trovex";
  m["path"] = hostPath;
  m["type"] = "stdio";
  if (kind == BrowserKind::kChromium)
    m["allowed_origins"] = {std::string("chrome-extension://") + kChromiumExtensionId + "/"};
  else
    m["allowed_extensions"] = {kFirefoxExtensionId};
  return m.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::vector<ManifestPlace> UserManifestPlaces() {
  const std::string config = posix::XdgFolder("XDG_CONFIG_HOME", ".config");
  const std::string file = std::string("/") + kHostName + ".json";
  return {{BrowserKind::kChromium, config + "/chromium/NativeMessagingHosts" + file},
          {BrowserKind::kChromium, config + "/google-chrome/NativeMessagingHosts" + file},
          {BrowserKind::kFirefox, posix::HomeFolder() + "/.mozilla/native-messaging-hosts" + file}};
}

int WriteUserManifests(const std::string& hostPath, std::string* error) {
  for (const ManifestPlace& place : UserManifestPlaces()) {
    const std::string folder = place.strPath.substr(0, place.strPath.rfind('/'));
    const std::string text = ManifestJson(place.kind, hostPath);
    int e = posix::MakeFolders(folder);
    if (e == 0) e = posix::ReplaceFileContents(place.strPath, text.data(), text.size(), 0644);
    if (e != 0) {
      *error = place.strPath + ": " + std::strerror(e);
      return e;
    }
  }
  return 0;
}

int RemoveUserManifests(std::string* error) {
  for (const ManifestPlace& place : UserManifestPlaces()) {
    if (::unlink(place.strPath.c_str()) != 0 && errno != ENOENT) {
      int e = errno;
      *error = place.strPath + ": " + std::strerror(e);
      return e;
    }
  }
  return 0;
}

}  // namespace trovex::nativehost
