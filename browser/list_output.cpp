#include "browser/list_output.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "pageloader/charset.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "swf/movie_summary.h"

namespace trovex::browser {

namespace {

bool Escaped(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\'; }

// Whether one of the 8 bytes of `word` needs escaping (a control byte, DEL or "\").
bool AnyEscaped(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  auto anyZero = [](std::uint64_t x) { return ((x - kOnes) & ~x & kHighs) != 0; };
  // A byte below 0x20 is one with none of the bits 0xE0.
  return anyZero(word & (0xE0 * kOnes)) || anyZero(word ^ (0x7F * kOnes)) || anyZero(word ^ ('\\' * kOnes));
}

// Appends one field, already UTF-8, escaped.
void AppendEscaped(std::string& out, std::string_view utf8) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    // Names and addresses seldom hold a byte to escape: skipped 8 bytes at a time.
    for (std::uint64_t word; i + sizeof word <= utf8.size(); i += sizeof word) {
      std::memcpy(&word, utf8.data() + i, sizeof word);
      if (AnyEscaped(word)) break;
    }
    if (i >= utf8.size()) break;
    auto c = static_cast<unsigned char>(utf8[i]);
    if (!Escaped(c)) continue;
    out.append(utf8, from, i - from);
    from = i + 1;
    if (c == '\\') {
      out += "\\\\";  // so that "\t" in a name cannot pass for an escaped tab
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += "\\x";
      AppendHexByte(out, c, HexCase::kLower);
    }
  }
  out.append(utf8, from);
}

void AppendField(std::string& out, const std::string& ansi, const std::string& codePage) {
  if (codePage == "UTF-8")
    AppendEscaped(out, ansi);
  else
    AppendEscaped(out, DecodeToUtf8(ansi, codePage));
}

}  // namespace

std::string ListField(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  AppendField(out, ansi, CurrentCodePage());
  return out;
}

namespace {

void AppendRow(std::string& out, const SWFFileInfo& info, const std::string& codePage) {
  AppendField(out, info.strURL, codePage);
  out += '\t';
  AppendField(out, info.strLocalFile, codePage);
  out += '\t';
  AppendField(out, info.strFileName, codePage);
  out += '\t';
  out += std::to_string(info.nSize);
  // The movie's facts where a local copy tells them: version, ActionScript, stage, frame rate.
  const swf::MovieSummary facts =
      info.strLocalFile.empty() ? swf::MovieSummary() : swf::ReadMovieSummaryOfFile(info.strLocalFile);
  if (facts.known()) {
    char text[96];
    std::snprintf(text, sizeof text, "\t%d\t%d\t%d\t%d\t%g", facts.version, facts.actionScript, facts.stageWidth,
                  facts.stageHeight, facts.frameRate);
    out += text;
  } else {
    out += "\t\t\t\t\t";
  }
  out += '\n';
}

}  // namespace

std::string FormatMovieList(const SWFFileList& list) {
  const std::string codePage = CurrentCodePage();
  std::string out;
  for (const auto& [key, info] : list) AppendRow(out, info, codePage);
  return out;
}

bool WriteMovieList(const SWFFileList& list, std::FILE* out) {
  // A list of many movies is megabytes: written as it is made, in blocks of one buffer.
  constexpr std::size_t kBlock = 64u << 10;
  const std::string codePage = CurrentCodePage();
  std::string block;
  block.reserve(kBlock + 4096);
  bool ok = true;
  for (auto it = list.begin(); ok && it != list.end(); ++it) {
    AppendRow(block, it->second, codePage);
    if (block.size() >= kBlock) {
      ok = std::fwrite(block.data(), 1, block.size(), out) == block.size();
      block.clear();
    }
  }
  ok = ok && std::fwrite(block.data(), 1, block.size(), out) == block.size();
  return std::fflush(out) == 0 && ok && !std::ferror(out);
}

}  // namespace trovex::browser
