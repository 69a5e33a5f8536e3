#include "warc/record_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trovex::warc {
namespace {
constexpr std::size_t kBufferBytes = 64 * 1024;

// One pread, again after an interruption.
ssize_t ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}
}  // namespace

RecordStream::RecordStream(int fd, bool gzip) : fd_(fd), gzip_(gzip), out_(kBufferBytes) {
  if (gzip_) {
    in_.resize(kBufferBytes);
    // 16 + window bits: gzip members only.
    zReady_ = inflateInit2(&z_, 16 + MAX_WBITS) == Z_OK;
    if (!zReady_) state_ = StreamState::kIoError;
  }
}

RecordStream::~RecordStream() {
  if (zReady_) inflateEnd(&z_);
}

std::uint64_t RecordStream::CompressedPos() const {
  return inBase_ + static_cast<std::uint64_t>(z_.next_in ? z_.next_in - in_.data() : 0);
}

bool RecordStream::Seek(StreamPos pos) {
  if (state_ == StreamState::kIoError && !zReady_ && gzip_) return false;
  state_ = StreamState::kOk;
  outPos_ = outLen_ = 0;
  if (!gzip_) {
    fileOffset_ = innerPos_ = pos.inner;
    return true;
  }
  fileOffset_ = inBase_ = memberStart_ = pos.member;
  z_.next_in = in_.data();
  z_.avail_in = 0;
  inflateReset(&z_);
  memberEnded_ = memberStarted_ = false;
  innerPos_ = 0;
  return Skip(pos.inner) == pos.inner;
}

StreamPos RecordStream::Tell() const {
  if (gzip_ && outPos_ == outLen_ && memberEnded_) return {CompressedPos(), 0};
  return {gzip_ ? memberStart_ : 0, innerPos_};
}

bool RecordStream::Fill() {
  if (outPos_ < outLen_) return true;
  if (state_ != StreamState::kOk) return false;
  return gzip_ ? FillGzip() : FillPlain();
}

bool RecordStream::FillPlain() {
  const ssize_t n = ReadAt(fd_, out_.data(), out_.size(), fileOffset_);
  if (n <= 0) {
    state_ = n < 0 ? StreamState::kIoError : StreamState::kEnd;
    return false;
  }
  fileOffset_ += static_cast<std::uint64_t>(n);
  outPos_ = 0;
  outLen_ = static_cast<std::size_t>(n);
  return true;
}

bool RecordStream::ReadInput() {
  const ssize_t n = ReadAt(fd_, in_.data(), in_.size(), fileOffset_);
  if (n < 0) {
    state_ = StreamState::kIoError;
    return false;
  }
  inBase_ = fileOffset_;
  fileOffset_ += static_cast<std::uint64_t>(n);
  z_.next_in = in_.data();
  z_.avail_in = static_cast<uInt>(n);
  return n > 0;
}

bool RecordStream::FillGzip() {
  for (;;) {
    if (memberEnded_) {
      memberStart_ = CompressedPos();
      innerPos_ = 0;
      inflateReset(&z_);
      memberEnded_ = memberStarted_ = false;
    }
    if (z_.avail_in == 0 && !ReadInput()) {
      if (state_ == StreamState::kOk) state_ = memberStarted_ ? StreamState::kCut : StreamState::kEnd;
      return false;
    }
    memberStarted_ = true;
    z_.next_out = reinterpret_cast<Bytef*>(out_.data());
    z_.avail_out = static_cast<uInt>(out_.size());
    const int r = inflate(&z_, Z_NO_FLUSH);
    const std::size_t produced = out_.size() - z_.avail_out;
    if (r == Z_STREAM_END) {
      memberEnded_ = true;
    } else if (r != Z_OK && !(r == Z_BUF_ERROR && z_.avail_in == 0)) {
      state_ = StreamState::kBadGzip;
      return false;
    }
    if (produced > 0) {
      outPos_ = 0;
      outLen_ = produced;
      return true;
    }
  }
}

LineResult RecordStream::ReadLine(std::string* line, std::size_t max) {
  std::size_t taken = 0;
  while (Fill()) {
    const char* begin = out_.data() + outPos_;
    const std::size_t available = outLen_ - outPos_;
    const std::size_t room = max - taken;
    const void* lf = std::memchr(begin, '\n', available < room ? available : room);
    const std::size_t n = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) + 1
                             : (available < room ? available : room);
    line->append(begin, n);
    outPos_ += n;
    innerPos_ += n;
    taken += n;
    if (lf) return LineResult::kLine;
    if (taken == max) return LineResult::kTooLong;
  }
  return LineResult::kEnd;
}

std::uint64_t RecordStream::Skip(std::uint64_t n) {
  std::uint64_t done = 0;
  while (done < n && Fill()) {
    const std::uint64_t step = std::min<std::uint64_t>(n - done, outLen_ - outPos_);
    outPos_ += static_cast<std::size_t>(step);
    innerPos_ += step;
    done += step;
  }
  return done;
}

std::size_t RecordStream::Read(char* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n && Fill()) {
    const std::size_t step = std::min(n - done, outLen_ - outPos_);
    std::memcpy(out + done, out_.data() + outPos_, step);
    outPos_ += step;
    innerPos_ += step;
    done += step;
  }
  return done;
}

}  // namespace trovex::warc
