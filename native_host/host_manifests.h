// The native messaging manifests that tell Chromium, Chrome and Firefox where the host is and
// which extension may start it, and the folders each browser reads them from.
#pragma once

#include <string>
#include <vector>

namespace trovex::nativehost {

inline constexpr const char* kHostName = "com.kelvora.swftrovex";
// The extension's fixed ids: Chromium's follows from the manifest's "key", Firefox's is its
// gecko id (webextension/manifest.json).
inline constexpr const char* kChromiumExtensionId = "jijijlekbgcdjbfgnejnbjhaejnnnmkg";
inline constexpr const char* kFirefoxExtensionId = "swf-trovex@kelvora";

enum class BrowserKind { kChromium, kFirefox };

// The manifest for `hostPath` (absolute).
std::string ManifestJson(BrowserKind kind, const std::string& hostPath);

struct ManifestPlace {
  BrowserKind kind;
  std::string strPath;  // the manifest file
};

// Where the current user's manifests go: $XDG_CONFIG_HOME/chromium and /google-chrome
// NativeMessagingHosts, $HOME/.mozilla/native-messaging-hosts.
std::vector<ManifestPlace> UserManifestPlaces();

// Writes (or removes) the user's manifests. 0, or the errno of the first failure with *error
// naming the file.
int WriteUserManifests(const std::string& hostPath, std::string* error);
int RemoveUserManifests(std::string* error);

}  // namespace trovex::nativehost
