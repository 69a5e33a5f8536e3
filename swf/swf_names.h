// What a movie names: the file addresses in its ActionScript 1/2 actions, the string pool of
// its ActionScript 3 code and the FlashVars its page hands it, resolved as absolute addresses.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "swf/swf_reader.h"

namespace trovex::swf {

// The extensions (lower case, without the dot) that make a string read as a file address.
const std::vector<std::string_view>& FileExtensions();

// Whether `text` reads as the address of a file a movie loads: no blanks, quotes, angle
// brackets or controls; no scheme, or http / https; and a path whose last segment ends in
// one of FileExtensions() (any case), before any query or fragment.
bool LooksLikeFileAddress(std::string_view text);

// Where a string came from.
enum class Origin { kAction, kAbc, kFlashVars };

struct Candidate {
  std::string text;  // as the movie or page wrote it
  Origin origin = Origin::kAction;
};

// Candidates of one action record stream (DoAction-style bytes): GetURL's address and target,
// the strings of ConstantPool and Push (constant references included); a GetURL2 takes the
// address pushed before its target. Every string, not only addresses.
void CollectActionStrings(std::string_view actions, std::vector<Candidate>* out);
// The string constant pool of an ABC block.
void CollectAbcStrings(std::string_view abc, std::vector<Candidate>* out);
// Candidates of a tag body the finder wants (see WantsTag); `version` is the movie's.
void CollectTagStrings(std::uint16_t code, std::string_view body, int version, std::vector<Candidate>* out);
bool WantsTag(std::uint16_t code);

// FlashVars "name=value&...": each value, %-decoded.
std::vector<std::string> FlashVarValues(std::string_view flashVars);

// What the page says about an embedded movie.
struct EmbedParams {
  std::string flashVars;
  std::string base;  // the `base` parameter, as written
  // The page that embeds the movie: a browser's player resolves relative names against it, not
  // against the movie. Empty for a movie played by itself, whose own address then serves.
  std::string pageAddress;
};

struct NamedFile {
  std::string address;  // absolute: http, https or file
  std::string text;     // as named
  Origin origin = Origin::kAction;
};

struct MovieNames {
  MovieFacts facts;
  std::vector<NamedFile> files;  // first mention order, each address once
};

// The address relative names resolve against: `base` resolved against the page when given
// ("." the movie's own folder), else the page, else the movie's own address.
std::string ResolutionBase(const std::string& movieAddress, const EmbedParams& params);

// Reads the movie from `source` and lists the files it and its page name (FlashVars and the
// query of the movie's address count as FlashVars). file: addresses are kept only for a movie
// that is a file: address itself.
MovieNames FindNamedFiles(const ByteSource& source, const std::string& movieAddress, const EmbedParams& params = {},
                          const Limits& limits = {});

// Opens the file at an absolute address for reading; an empty source when it cannot be had.
using Fetch = std::function<ByteSource(const std::string& address)>;

struct TurnLimits {
  int maxDepth = 3;           // 1: only what the first movie names
  std::size_t maxFiles = 500;  // named files in all
  Limits read;
};

struct FileInTurn {
  std::string address;
  std::string namedBy;  // the movie's address
  int depth = 1;
};

struct MovieProblem {
  std::string address;
  ReadError error = ReadError::kNone;  // kCannotRead when the fetch gave nothing
};

struct NamesInTurn {
  std::vector<FileInTurn> files;         // each address once, the first movie's own excluded
  std::vector<MovieProblem> unreadable;  // movies that could not be fetched or read to the end
  bool truncated = false;                // maxFiles stopped the search
};

// The files `movieAddress` names, then those each named movie (.swf) names in turn, breadth
// first, to `limits.maxDepth` levels and `limits.maxFiles` files. `base` applies to every
// movie, as the player keeps it for the whole page; FlashVars only to the first.
NamesInTurn FindNamesInTurn(const std::string& movieAddress, const EmbedParams& params, const Fetch& fetch,
                            const TurnLimits& limits = {});

}  // namespace trovex::swf
