// The bytes of an archive file, plain or a series of gzip members, read forwards with the place
// each byte stands at, so that a record found while indexing can be read again later by
// seeking straight to its member.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trovex::warc {

// A plain file: member 0 and the file offset in `inner`. A compressed one: the file offset of
// the gzip member and the offset within what that member inflates to.
struct StreamPos {
  std::uint64_t member = 0;
  std::uint64_t inner = 0;
};

enum class StreamState {
  kOk,
  kEnd,       // the file ended where a member (or the plain file) may end
  kCut,       // the file ended inside a gzip member
  kBadGzip,   // compressed data that does not inflate
  kIoError,
};

enum class LineResult { kLine, kEnd, kTooLong };

class RecordStream {
 public:
  RecordStream(int fd, bool gzip);
  ~RecordStream();
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  // Starts reading at `pos`; false when the bytes before it cannot be passed over.
  bool Seek(StreamPos pos);
  // Where the next byte stands.
  StreamPos Tell() const;
  // Appends up to and including the next LF. kTooLong once `max` bytes came without one; kEnd
  // when the stream ends first (what came is in *line).
  LineResult ReadLine(std::string* line, std::size_t max);
  // Bytes passed over or read; fewer than asked at the end or on failure (see state()).
  std::uint64_t Skip(std::uint64_t n);
  std::size_t Read(char* out, std::size_t n);
  StreamState state() const { return state_; }
  // The file offset where a failure of the compressed data was met.
  std::uint64_t failureOffset() const { return memberStart_; }

 private:
  bool Fill();
  bool FillPlain();
  bool FillGzip();
  bool ReadInput();
  std::uint64_t CompressedPos() const;

  int fd_;
  bool gzip_;
  StreamState state_ = StreamState::kOk;
  std::uint64_t fileOffset_ = 0;  // next byte to read from the file
  std::vector<unsigned char> in_;
  std::uint64_t inBase_ = 0;  // file offset of in_[0]
  z_stream z_{};
  bool zReady_ = false;
  bool memberEnded_ = false;
  bool memberStarted_ = false;  // input of the current member was taken
  std::uint64_t memberStart_ = 0;
  std::uint64_t innerPos_ = 0;  // position of out_[outPos_]
  std::vector<char> out_;
  std::size_t outPos_ = 0, outLen_ = 0;
};

}  // namespace trovex::warc
