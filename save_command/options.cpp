#include "save_command/options.h"

#include <cstring>

#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "res/strings.h"
#include "save_engine/target_naming.h"

namespace trovex::save_command {

int ConflictActionFromName(const std::string& name) {
  if (name == "rename") return CONFLICT_AUTO_RENAME;
  if (name == "overwrite") return CONFLICT_OVERWRITE;
  if (name == "skip") return CONFLICT_SKIP;
  if (name == "ask") return CONFLICT_PROMPT;
  return -1;
}

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* problem) {
  *options = Options{};
  bool onlyPages = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (onlyPages || arg == "-" || arg.empty() || arg[0] != '-') {
      options->pages.push_back(arg);
      continue;
    }
    // --name=value as well as --name value
    std::string name = arg, value;
    bool hasValue = false;
    if (std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        *problem = FormatResString(IDS_TROVEX_SAVE_NEEDS_VALUE, name.c_str());
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (name == "--") {
      onlyPages = true;
    } else if (name == "--dir") {
      if (!takeValue()) return false;
      if (value.empty()) {
        *problem = LoadResString(IDS_TROVEX_SAVE_DIR_NEEDS_FOLDER);
        return false;
      }
      options->dir = value;
    } else if (name == "--conflict") {
      if (!takeValue()) return false;
      options->nConflictAction = ConflictActionFromName(value);
      if (options->nConflictAction < 0) {
        *problem = FormatResString(IDS_TROVEX_SAVE_BAD_CONFLICT, value.c_str());
        return false;
      }
    } else if (name == "--plugins" && !hasValue) {
      options->plugins = true;
    } else if (name == "--json" && !hasValue) {
      options->json = true;
    } else if (name == "--no-deps" && !hasValue) {
      options->saveFiles = false;
    } else if ((name == "--help" || name == "-h") && !hasValue) {
      options->help = true;
      return true;
    } else if (name == "--version" && !hasValue) {
      options->version = true;
      return true;
    } else if (int taken = browser::TakeArchiveOption(argc, argv, &i, &options->archives, problem); taken != 0) {
      if (taken < 0) return false;
    } else {
      *problem = FormatResString(IDS_TROVEX_SAVE_UNKNOWN_OPTION, arg.c_str());
      return false;
    }
  }
  if (options->archives.files.empty() && (options->archives.fallback || !options->archives.date.empty())) {
    *problem = LoadResString(IDS_TROVEX_SAVE_WARC_OPTIONS_ALONE);
    return false;
  }
  if (options->pages.empty()) {
    *problem = LoadResString(IDS_TROVEX_SAVE_NO_PAGE);
    return false;
  }
  return true;
}

std::vector<std::string> ExpandPages(const std::vector<std::string>& pages, std::istream& in) {
  std::vector<std::string> out;
  bool stdinRead = false;
  for (const std::string& page : pages) {
    if (page != "-") {
      out.push_back(page);
      continue;
    }
    if (stdinRead) continue;  // standard input can be read once
    stdinRead = true;
    std::string line;
    while (std::getline(in, line)) {
      const std::string_view item = AsciiTrim(line, " \t\r");
      if (item.empty() || item[0] == '#') continue;
      out.emplace_back(item);
    }
  }
  return out;
}

}  // namespace trovex::save_command
