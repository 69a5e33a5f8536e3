#include "swf/swf_reader.h"

#include <fcntl.h>
#include <lzma.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/text/res_text.h"

namespace trovex::swf {

ByteSource MemorySource(std::string_view bytes) {
  return [bytes, at = std::size_t{0}](char* buffer, std::size_t size) mutable -> std::ptrdiff_t {
    const std::size_t n = std::min(size, bytes.size() - at);
    std::memcpy(buffer, bytes.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

ByteSource FileSource(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  // Shared so that the copies std::function makes share one descriptor, closed with the last.
  auto owner = std::shared_ptr<int>(new int(fd), [](int* p) {
    ::close(*p);
    delete p;
  });
  return [owner](char* buffer, std::size_t size) -> std::ptrdiff_t {
    for (;;) {
      const ssize_t n = ::read(*owner, buffer, size);
      if (n >= 0 || errno != EINTR) return n;
    }
  };
}

std::string ReadErrorText(ReadError error) {
  switch (error) {
    case ReadError::kNone: return {};
    case ReadError::kCannotRead: return LoadResString(IDS_TROVEX_SWF_CANNOT_READ);
    case ReadError::kNotSwf: return LoadResString(IDS_TROVEX_SWF_NOT_SWF);
    case ReadError::kBadHeader: return LoadResString(IDS_TROVEX_SWF_BAD_HEADER);
    case ReadError::kTooLarge: return LoadResString(IDS_TROVEX_SWF_TOO_LARGE);
    case ReadError::kBomb: return LoadResString(IDS_TROVEX_SWF_BOMB);
    case ReadError::kCorrupt: return LoadResString(IDS_TROVEX_SWF_CORRUPT);
    case ReadError::kCut: return LoadResString(IDS_TROVEX_SWF_CUT);
    case ReadError::kBadTag: return LoadResString(IDS_TROVEX_SWF_BAD_TAG);
    case ReadError::kTooManyTags: return LoadResString(IDS_TROVEX_SWF_TOO_MANY_TAGS);
  }
  return {};
}

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint64_t kLzmaMemLimit = 256u << 20;

// The movie after its 8-byte header, decoded piece by piece into a fixed buffer.
class BodyStream {
 public:
  BodyStream(const ByteSource& source, Compression compression, std::uint32_t bodyLength, const Limits& limits)
      : source_(source), compression_(compression), remaining_(bodyLength), limits_(limits) {}
  ~BodyStream() {
    if (zlibReady_) inflateEnd(&zs_);
    if (lzmaReady_) lzma_end(&ls_);
  }
  BodyStream(const BodyStream&) = delete;
  BodyStream& operator=(const BodyStream&) = delete;

  // LZMA movies: the 4-byte compressed length (unused: it may lie) and the 5 coder properties,
  // then raw LZMA data ending at the declared size, with or without an end marker.
  bool StartLzma() {
    std::array<char, 9> head;
    if (!ReadRaw(head.data(), head.size())) return false;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const std::uint8_t*>(head.data()) + 4, 5) !=
        LZMA_OK)
      return Fail(ReadError::kCorrupt);
    std::unique_ptr<lzma_options_lzma, void (*)(void*)> options(static_cast<lzma_options_lzma*>(filters[0].options),
                                                                std::free);
    // No window larger than the whole output is ever needed: hostile properties ask for 4 GB.
    options->dict_size = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(options->dict_size, std::max<std::uint64_t>(remaining_, LZMA_DICT_SIZE_MIN)));
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options->ext_size_low = static_cast<std::uint32_t>(remaining_);
    options->ext_size_high = 0;
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    if (lzma_raw_decoder_memusage(filters) > kLzmaMemLimit) return Fail(ReadError::kTooLarge);
    if (lzma_raw_decoder(&ls_, filters) != LZMA_OK) return Fail(ReadError::kCorrupt);
    lzmaReady_ = true;
    return true;
  }

  bool Read(char* dest, std::size_t n) {
    while (n > 0) {
      if (pos_ == end_ && !Fill()) return false;
      const std::size_t take = std::min(n, end_ - pos_);
      std::memcpy(dest, out_.data() + pos_, take);
      pos_ += take;
      dest += take;
      n -= take;
      consumed_ += take;
    }
    return true;
  }
  bool Skip(std::uint64_t n) {
    while (n > 0) {
      if (pos_ == end_ && !Fill()) return false;
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, end_ - pos_));
      pos_ += take;
      n -= take;
      consumed_ += take;
    }
    return true;
  }
  // Whether the movie's declared end has been reached.
  bool AtEnd() const { return remaining_ == 0 && pos_ == end_; }
  std::uint64_t consumed() const { return consumed_; }
  ReadError error() const { return error_; }

 private:
  bool Fail(ReadError error) {
    if (error_ == ReadError::kNone) error_ = error;
    return false;
  }
  static ReadError Classify(lzma_ret r) {
    return r == LZMA_MEMLIMIT_ERROR || r == LZMA_MEM_ERROR ? ReadError::kTooLarge : ReadError::kCorrupt;
  }
  // Exactly n bytes straight from the source.
  bool ReadRaw(char* dest, std::size_t n) {
    while (n > 0) {
      const std::ptrdiff_t got = source_(dest, n);
      if (got < 0) return Fail(ReadError::kCannotRead);
      if (got == 0) return Fail(ReadError::kCut);
      dest += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
  // More compressed input; false at its end (inputEnded_) or on a failure.
  bool TakeInput() {
    const std::ptrdiff_t got = source_(in_.data(), in_.size());
    if (got < 0) return Fail(ReadError::kCannotRead);
    if (got == 0) {
      inputEnded_ = true;
      return false;
    }
    inputTotal_ += static_cast<std::uint64_t>(got);
    inAvail_ = static_cast<std::size_t>(got);
    inPos_ = 0;
    return true;
  }

  // Refills the output buffer with at least one byte, up to the declared end.
  bool Fill() {
    if (error_ != ReadError::kNone) return false;
    if (remaining_ == 0) return Fail(ReadError::kCut);
    pos_ = end_ = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out_.size(), remaining_));
    std::size_t produced = 0;
    if (compression_ == Compression::kNone) {
      const std::ptrdiff_t got = source_(out_.data(), want);
      if (got < 0) return Fail(ReadError::kCannotRead);
      if (got == 0) return Fail(ReadError::kCut);
      produced = static_cast<std::size_t>(got);
    } else if (!Inflate(want, &produced)) {
      return false;
    }
    end_ = produced;
    remaining_ -= produced;
    outputTotal_ += produced;
    if (compression_ != Compression::kNone && outputTotal_ > limits_.ratioFloor &&
        outputTotal_ > static_cast<std::uint64_t>(limits_.maxRatio) * inputTotal_)
      return Fail(ReadError::kBomb);
    return true;
  }

  bool Inflate(std::size_t want, std::size_t* produced) {
    if (compression_ == Compression::kZlib && !zlibReady_) {
      std::memset(&zs_, 0, sizeof zs_);
      if (inflateInit(&zs_) != Z_OK) return Fail(ReadError::kCorrupt);
      zlibReady_ = true;
    }
    while (*produced == 0) {
      if (streamEnded_) return Fail(ReadError::kCut);
      if (inPos_ == inAvail_ && !inputEnded_ && !TakeInput() && error_ != ReadError::kNone) return false;
      const std::size_t before = inAvail_ - inPos_;
      if (compression_ == Compression::kZlib) {
        zs_.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
        zs_.avail_in = static_cast<uInt>(before);
        zs_.next_out = reinterpret_cast<Bytef*>(out_.data());
        zs_.avail_out = static_cast<uInt>(want);
        const int r = inflate(&zs_, Z_NO_FLUSH);
        inPos_ += before - zs_.avail_in;
        *produced = want - zs_.avail_out;
        if (r == Z_STREAM_END) streamEnded_ = true;
        else if (r == Z_NEED_DICT || r == Z_DATA_ERROR || r == Z_MEM_ERROR || r == Z_STREAM_ERROR)
          return Fail(ReadError::kCorrupt);
      } else {
        ls_.next_in = reinterpret_cast<const std::uint8_t*>(in_.data() + inPos_);
        ls_.avail_in = before;
        ls_.next_out = reinterpret_cast<std::uint8_t*>(out_.data());
        ls_.avail_out = want;
        const lzma_ret r = lzma_code(&ls_, inputEnded_ ? LZMA_FINISH : LZMA_RUN);
        inPos_ += before - ls_.avail_in;
        *produced = want - ls_.avail_out;
        if (r == LZMA_STREAM_END) streamEnded_ = true;
        else if (r == LZMA_BUF_ERROR && inputEnded_ && *produced == 0) return Fail(ReadError::kCut);
        else if (r != LZMA_OK && r != LZMA_BUF_ERROR) return Fail(Classify(r));
      }
      // Nothing more can come: no input left and the coder made no progress with what it had.
      if (*produced == 0 && inputEnded_ && inPos_ == inAvail_ && !streamEnded_) return Fail(ReadError::kCut);
    }
    return true;
  }

  const ByteSource& source_;
  Compression compression_;
  std::uint64_t remaining_;  // output still to come before the declared end
  const Limits& limits_;
  std::array<char, kChunk> in_{};
  std::array<char, kChunk> out_{};
  std::size_t inPos_ = 0, inAvail_ = 0, pos_ = 0, end_ = 0;
  std::uint64_t inputTotal_ = 0, outputTotal_ = 0, consumed_ = 0;
  bool inputEnded_ = false, streamEnded_ = false;
  z_stream zs_{};
  lzma_stream ls_ = LZMA_STREAM_INIT;
  bool zlibReady_ = false, lzmaReady_ = false;
  ReadError error_ = ReadError::kNone;
};

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The stage RECT: 5 bits giving the field width, then four signed fields of that width.
bool ReadStage(BodyStream& body, Rect* rect) {
  unsigned char bytes[17] = {};
  if (!body.Read(reinterpret_cast<char*>(bytes), 1)) return false;
  const int nbits = bytes[0] >> 3;
  const int total = (5 + 4 * nbits + 7) / 8;
  if (total > 1 && !body.Read(reinterpret_cast<char*>(bytes) + 1, total - 1)) return false;
  int bit = 5;
  auto field = [&] {
    std::uint32_t v = 0;
    for (int i = 0; i < nbits; ++i, ++bit) v = (v << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    if (nbits > 0 && (v >> (nbits - 1)) & 1) v |= ~std::uint32_t{0} << (nbits - 1);  // sign
    return static_cast<std::int32_t>(v);
  };
  rect->xMin = field();
  rect->xMax = field();
  rect->yMin = field();
  rect->yMax = field();
  return true;
}

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint8_t kAs3Flag = 0x08;

}  // namespace

MovieFacts ReadMovie(const ByteSource& source, const ReadOptions& options) {
  MovieFacts facts;
  const Limits& limits = options.limits;
  unsigned char head[kHeaderSize];
  std::size_t have = 0;
  while (have < kHeaderSize) {
    const std::ptrdiff_t got = source ? source(reinterpret_cast<char*>(head) + have, kHeaderSize - have) : -1;
    if (got <= 0) {
      // Too short to say what it is: a cut movie only when it began as one.
      const bool began = have > 0 && std::memchr("FCZ", head[0], 3) && (have < 2 || head[1] == 'W') &&
                         (have < 3 || head[2] == 'S');
      facts.error = got < 0 ? ReadError::kCannotRead : began ? ReadError::kCut : ReadError::kNotSwf;
      facts.errorOffset = have;
      return facts;
    }
    have += static_cast<std::size_t>(got);
  }
  if (head[1] != 'W' || head[2] != 'S' || !std::memchr("FCZ", head[0], 3)) {
    facts.error = ReadError::kNotSwf;
    return facts;
  }
  facts.compression = head[0] == 'F' ? Compression::kNone : head[0] == 'C' ? Compression::kZlib : Compression::kLzma;
  facts.version = head[3];
  facts.fileLength = U32(head + 4);
  facts.errorOffset = kHeaderSize;
  // The smallest movie: header, a 1-byte RECT, frame rate and count.
  if (facts.fileLength < kHeaderSize + 5) {
    facts.error = ReadError::kBadHeader;
    return facts;
  }
  if (facts.fileLength > limits.maxFileLength) {
    facts.error = ReadError::kTooLarge;
    return facts;
  }
  auto body = std::make_unique<BodyStream>(source, facts.compression, facts.fileLength - kHeaderSize, limits);
  auto stop = [&](ReadError fallback) {
    facts.error = body->error() != ReadError::kNone ? body->error() : fallback;
    facts.errorOffset = kHeaderSize + body->consumed();
    return facts;
  };
  if (facts.compression == Compression::kLzma && !body->StartLzma()) return stop(ReadError::kCorrupt);
  unsigned char rateCount[4];
  if (!ReadStage(*body, &facts.stage) || !body->Read(reinterpret_cast<char*>(rateCount), 4))
    return stop(ReadError::kCut);
  facts.frameRate88 = U16(rateCount);
  facts.frameCount = U16(rateCount + 2);

  std::string kept;
  while (!body->AtEnd()) {
    unsigned char th[6];
    if (!body->Read(reinterpret_cast<char*>(th), 2)) return stop(ReadError::kCut);
    Tag tag;
    tag.code = static_cast<std::uint16_t>(U16(th) >> 6);
    tag.length = U16(th) & 0x3F;
    if (tag.length == 0x3F) {
      if (!body->Read(reinterpret_cast<char*>(th + 2), 4)) return stop(ReadError::kCut);
      tag.length = U32(th + 2);
    }
    const std::uint64_t offset = kHeaderSize + body->consumed();
    tag.offset = static_cast<std::uint32_t>(offset);
    if (offset + tag.length > facts.fileLength) return stop(ReadError::kBadTag);
    if (facts.tags.size() >= limits.maxTags) return stop(ReadError::kTooManyTags);
    facts.tags.push_back(tag);

    const bool wanted = options.onBody && options.wantBody && options.wantBody(tag.code);
    std::uint32_t keep = 0;
    if (tag.code == kTagFileAttributes || (wanted && tag.length <= limits.maxKeptBody))
      keep = tag.code == kTagFileAttributes && !wanted ? std::min<std::uint32_t>(tag.length, 4) : tag.length;
    else if (wanted)
      ++facts.skippedBodies;
    kept.resize(keep);
    if (!body->Read(kept.data(), keep) || !body->Skip(tag.length - keep)) return stop(ReadError::kCut);
    if (tag.code == kTagFileAttributes && !kept.empty())
      facts.actionScript = (static_cast<unsigned char>(kept[0]) & kAs3Flag) ? 3 : 2;
    if (wanted && keep == tag.length) options.onBody(facts, tag, kept);
    if (tag.code == kTagEnd) break;
  }
  facts.errorOffset = 0;
  return facts;
}

}  // namespace trovex::swf
