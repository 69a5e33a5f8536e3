#include "save_command/options.h"

#include <cstring>

#include "platform/text/ascii.h"
#include "save_engine/target_naming.h"

namespace trovex::save_command {

const std::string kUsage =
    std::string(
    "usage: trovex-save [--dir DIR] [--conflict rename|overwrite|skip|ask] [--plugins] [--json]\n"
    "                   [--warc FILE...] [--warc-date DATE] [--warc-fallback] PAGE...\n"
    "  PAGE        a local file, a file: URL or an http:// or https:// address; - reads pages\n"
    "              from standard input, one a line\n"
    "  --dir DIR   save into DIR (made when missing); default: the Save dialog's start folder\n"
    "  --conflict  what to do when a target file exists; default: the stored setting.\n"
    "              ask asks on the terminal and skips when there is none\n"
    "  --plugins   fetch the movies into the URL cache while loading, then copy them from it\n"
    "  --json      one JSON object per movie and a summary object, one a line\n") +
    browser::kArchiveUsage +
    "exit status: 0 all saved or skipped by the policy, 1 a movie or page failed,\n"
    "             2 bad usage or no page could be loaded, 130 interrupted\n";

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
        *problem = name + " needs a value";
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
        *problem = "--dir needs a folder";
        return false;
      }
      options->dir = value;
    } else if (name == "--conflict") {
      if (!takeValue()) return false;
      options->nConflictAction = ConflictActionFromName(value);
      if (options->nConflictAction < 0) {
        *problem = "--conflict takes rename, overwrite, skip or ask, not '" + value + "'";
        return false;
      }
    } else if (name == "--plugins" && !hasValue) {
      options->plugins = true;
    } else if (name == "--json" && !hasValue) {
      options->json = true;
    } else if ((name == "--help" || name == "-h") && !hasValue) {
      options->help = true;
      return true;
    } else if (int taken = browser::TakeArchiveOption(argc, argv, &i, &options->archives, problem); taken != 0) {
      if (taken < 0) return false;
    } else {
      *problem = "unknown option " + arg;
      return false;
    }
  }
  if (options->archives.files.empty() && (options->archives.fallback || !options->archives.date.empty())) {
    *problem = "--warc-date and --warc-fallback go with --warc";
    return false;
  }
  if (options->pages.empty()) {
    *problem = "no page given";
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
