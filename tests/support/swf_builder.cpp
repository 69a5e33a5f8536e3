#include "tests/support/swf_builder.h"

#include <lzma.h>
#include <zlib.h>

#include <stdexcept>

namespace trovex::testing {
namespace {

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutU30(std::string& out, std::uint32_t v) {
  do {
    unsigned char b = v & 0x7F;
    v >>= 7;
    if (v) b |= 0x80;
    out += static_cast<char>(b);
  } while (v);
}
std::string Record(unsigned char code, const std::string& data) {
  std::string out(1, static_cast<char>(code));
  Put16(out, static_cast<unsigned>(data.size()));
  return out + data;
}

std::string Zlib(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                data.size(), 9) != Z_OK)
    throw std::runtime_error("zlib");
  out.resize(size);
  return out;
}

// The SWF form: compressed length, the 5 property bytes, then the raw LZMA data, with or
// without an end marker.
std::string Lzma(const std::string& data, bool endMarker) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
  options.ext_size_low = static_cast<std::uint32_t>(data.size());
  options.ext_size_high = 0;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::uint8_t props[5];
  lzma_filter plain = {LZMA_FILTER_LZMA1, &options};
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_properties_encode(&plain, props) != LZMA_OK || lzma_raw_encoder(&s, filters) != LZMA_OK)
    throw std::runtime_error("lzma");
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  s.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
  s.avail_in = data.size();
  s.next_out = reinterpret_cast<std::uint8_t*>(out.data());
  s.avail_out = out.size();
  const lzma_ret r = lzma_code(&s, LZMA_FINISH);
  out.resize(out.size() - s.avail_out);
  lzma_end(&s);
  if (r != LZMA_STREAM_END) throw std::runtime_error("lzma");
  std::string swf;
  Put32(swf, static_cast<std::uint32_t>(out.size()));
  return swf + std::string(reinterpret_cast<char*>(props), 5) + out;
}

}  // namespace

std::string SwfTag(std::uint16_t code, const std::string& body, bool forceLong) {
  std::string out;
  if (body.size() < 0x3F && !forceLong) {
    Put16(out, (code << 6) | static_cast<unsigned>(body.size()));
  } else {
    Put16(out, (code << 6) | 0x3F);
    Put32(out, static_cast<std::uint32_t>(body.size()));
  }
  return out + body;
}

std::string SwfRect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
  int nbits = 1;
  for (std::int32_t v : {xMin, xMax, yMin, yMax})
    while (!(v >= -(1 << (nbits - 1)) && v < (1 << (nbits - 1)))) ++nbits;
  std::vector<int> bits;
  for (int i = 4; i >= 0; --i) bits.push_back((nbits >> i) & 1);
  for (std::int32_t v : {xMin, xMax, yMin, yMax})
    for (int i = nbits - 1; i >= 0; --i) bits.push_back((static_cast<std::uint32_t>(v) >> i) & 1);
  std::string out((bits.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
  return out;
}

std::string SwfMovie(const SwfHeader& header, const std::string& tags, SwfPacking packing, bool endTag,
                     std::int64_t declaredLength) {
  std::string body = SwfRect(0, header.xMax, 0, header.yMax);
  Put16(body, header.frameRate88);
  Put16(body, header.frameCount);
  body += tags;
  if (endTag) body += SwfTag(0, "");
  std::string out = packing == SwfPacking::kPlain ? "FWS" : packing == SwfPacking::kZlib ? "CWS" : "ZWS";
  out += static_cast<char>(header.version);
  Put32(out, static_cast<std::uint32_t>(declaredLength >= 0 ? declaredLength : std::int64_t(body.size() + 8)));
  switch (packing) {
    case SwfPacking::kPlain: return out + body;
    case SwfPacking::kZlib: return out + Zlib(body);
    case SwfPacking::kLzma: return out + Lzma(body, true);
    case SwfPacking::kLzmaBare: return out + Lzma(body, false);
  }
  return out;
}

std::string SwfFileAttributes(bool as3) {
  std::string body;
  Put32(body, as3 ? 0x08 : 0);
  return SwfTag(69, body);
}

std::string ActPush(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) data += std::string(1, '\0') + s + std::string(1, '\0');
  return Record(0x96, data);
}
std::string ActPushConstant(unsigned index) { return Record(0x96, std::string{8, static_cast<char>(index)}); }
std::string ActPushConstant16(unsigned index) {
  std::string data(1, 9);
  Put16(data, index);
  return Record(0x96, data);
}
std::string ActPushNumber(std::int32_t n) {
  std::string data(1, 7);
  Put32(data, static_cast<std::uint32_t>(n));
  return Record(0x96, data);
}
std::string ActConstantPool(const std::vector<std::string>& strings) {
  std::string data;
  Put16(data, static_cast<unsigned>(strings.size()));
  for (const std::string& s : strings) data += s + std::string(1, '\0');
  return Record(0x88, data);
}
std::string ActGetUrl(const std::string& url, const std::string& target) {
  return Record(0x83, url + std::string(1, '\0') + target + std::string(1, '\0'));
}
std::string ActGetUrl2() { return Record(0x9A, std::string(1, '\x40')); }
std::string ActPlain(unsigned char code) { return std::string(1, static_cast<char>(code)); }

std::string SwfMovieThatLoads(const std::string& url) {
  SwfHeader header;
  header.version = 8;  // before ActionScript 3: the movie's DoAction runs
  const std::string tags = SwfTag(9, std::string("\xff\x00\x00", 3)) + SwfTag(12, ActGetUrl(url, "_level1") + ActEnd()) +
                           SwfTag(1, "");
  return SwfMovie(header, tags);
}

std::string AbcWithStrings(const std::vector<std::string>& strings) {
  std::string out;
  Put16(out, 16);  // minor
  Put16(out, 46);  // major
  PutU30(out, 2);  // one int
  PutU30(out, 300);
  PutU30(out, 2);  // one uint
  PutU30(out, 0xFFFFFFFF);
  PutU30(out, 2);  // one double
  out += std::string(8, '\x01');
  PutU30(out, static_cast<std::uint32_t>(strings.size() + 1));
  for (const std::string& s : strings) {
    PutU30(out, static_cast<std::uint32_t>(s.size()));
    out += s;
  }
  return out;
}

}  // namespace trovex::testing
