#include "preview/player_files.h"

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace trovex {
namespace fs = std::filesystem;

namespace {

fs::path ThisBinaryDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&FindPlayerDir), &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  fs::path file = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path() : file.parent_path();
}

bool IsServableName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return name.ends_with(".js") || name.ends_with(".wasm");
}

}  // namespace

bool HasPlayerFiles(const fs::path& dir) {
  std::error_code ec;
  if (dir.empty() || !fs::is_regular_file(dir / "ruffle.js", ec)) return false;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".wasm" && entry.is_regular_file(ec)) return true;
  }
  return false;
}

fs::path FindPlayerDir() {
  std::vector<fs::path> candidates;
  if (const fs::path here = ThisBinaryDir(); !here.empty()) {
    candidates.push_back(here / "player");
    candidates.push_back(here.parent_path() / "share" / "kelvora-swf-trovex" / "player");
  }
#ifdef TROVEX_PLAYER_BUILD_DIR
  candidates.emplace_back(TROVEX_PLAYER_BUILD_DIR);
#endif
  for (const fs::path& dir : candidates) {
    if (HasPlayerFiles(dir)) return dir;
  }
  return {};
}

std::optional<PlayerFile> ReadPlayerFile(const fs::path& dir, std::string_view name) {
  if (dir.empty() || !IsServableName(name)) return std::nullopt;
  std::ifstream in(dir / fs::path(name), std::ios::binary);
  if (!in) return std::nullopt;
  PlayerFile file;
  file.strBody.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  file.strMimeType = name.ends_with(".wasm") ? "application/wasm" : "text/javascript";
  return file;
}

}  // namespace trovex
