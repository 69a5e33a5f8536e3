// The player's own files (script and WebAssembly), installed beside the module.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trovex {

// The folder holding the player's files: "player" beside the module or program that contains
// this code, its share folder, or the build tree's copy. Empty when none has them.
std::filesystem::path FindPlayerDir();

// A folder has the player when it holds ruffle.js and at least one .wasm file.
bool HasPlayerFiles(const std::filesystem::path& dir);

struct PlayerFile {
  std::string strBody;
  std::string strMimeType;
};

// One file of the folder by its plain name. Only .js and .wasm files directly inside the folder
// are served; any other name (a path, "..", a hidden file) gives nullopt.
std::optional<PlayerFile> ReadPlayerFile(const std::filesystem::path& dir, std::string_view name);

}  // namespace trovex
