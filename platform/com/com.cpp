#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/com.h"
#include "platform/com/dom.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

namespace trovex {

// ---- interface identifiers ------------------------------------------------------------
const IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IEnumUnknown{0x00000100, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IOleContainer{0x0000011B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IServiceProvider{0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
const IID IID_IWebBrowser2{0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID IID_IHTMLWindow2{0x332C4427, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
const IID IID_IHTMLDocument2{0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
const IID IID_IHTMLElementCollection{0x3050F21F, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const IID IID_IHTMLElement{0x3050F1FF, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const IID IID_IHTMLObjectElement{0x3050F24F, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const GUID SID_SWebBrowserApp{0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- GUID text ------------------------------------------------------------------------
std::string HResultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return code;
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

namespace {

// Reads `digits` hex digits at text[pos]; false on anything else.
bool ReadHex(const std::string& text, std::size_t pos, int digits, std::uint32_t* value) {
  return ParseHexUint32(std::string_view(text).substr(pos, static_cast<std::size_t>(digits)), value);
}

}  // namespace

bool GuidFromString(const std::string& text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (!guid || text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
  GUID g{};
  std::uint32_t v;
  if (!ReadHex(text, 1, 8, &v)) return false;
  g.Data1 = v;
  if (!ReadHex(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<std::uint16_t>(v);
  static constexpr std::size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePos[i], 2, &v)) return false;
    g.Data4[i] = static_cast<std::uint8_t>(v);
  }
  *guid = g;
  return true;
}

// ---- BSTR -----------------------------------------------------------------------------
namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR AllocBytes(const void* data, UINT bytes) {
  // Prefix, the text, and a two-byte terminator (always whole, even for an odd byte count).
  if (bytes > std::numeric_limits<std::uint32_t>::max() - kPrefix - 4) return nullptr;
  std::size_t total = kPrefix + bytes + 2 + (bytes & 1u);
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  std::uint32_t len = bytes;
  std::memcpy(block, &len, kPrefix);
  if (data)
    std::memcpy(block + kPrefix, data, bytes);
  else
    std::memset(block + kPrefix, 0, bytes);
  std::memset(block + kPrefix + bytes, 0, total - kPrefix - bytes);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  std::size_t n = 0;
  while (text[n]) ++n;
  if (n > std::numeric_limits<UINT>::max() / 2) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(n));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefix - 4) / 2) return nullptr;
  return AllocBytes(text, length * 2);
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

UINT SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t len;
  std::memcpy(&len, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
  return len;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / 2; }

BSTR SysAllocStringUtf8(const std::string& utf8) {
  // ASCII, the usual attribute or address, widens straight into the string: one allocation.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
      utf8.size() <= std::numeric_limits<UINT>::max() / 2) {
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (text) std::copy(utf8.begin(), utf8.end(), text);
    return text;
  }
  std::u16string out = Utf8ToUtf16(utf8);
  if (out.size() > std::numeric_limits<UINT>::max() / 2) return nullptr;
  return SysAllocStringLen(out.data(), static_cast<UINT>(out.size()));
}

std::u16string BstrToU16(BSTR text) {
  if (!text) return {};
  return std::u16string(text, SysStringLen(text));
}

// ---- VARIANT --------------------------------------------------------------------------
void VariantInit(VARIANT* v) {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->padding_ = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  switch (v->vt) {
    case VT_BSTR:
      SysFreeString(v->bstrVal);
      break;
    case VT_DISPATCH:
      if (v->pdispVal) v->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (v->punkVal) v->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  switch (src->vt) {
    case VT_BSTR:
      if (src->bstrVal) {
        copy.bstrVal = AllocBytes(src->bstrVal, SysStringByteLen(src->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
      }
      break;
    case VT_DISPATCH:
      if (src->pdispVal) src->pdispVal->AddRef();
      break;
    case VT_UNKNOWN:
      if (src->punkVal) src->punkVal->AddRef();
      break;
    default:
      break;
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

}  // namespace trovex

namespace trovex {

std::string BstrToAnsi(BSTR text) {
  if (!text) return {};
  return Utf16ToAnsi(std::u16string_view(text, SysStringLen(text)));
}

BSTR AnsiToBstr(std::string_view text) {
  std::u16string w = AnsiToUtf16(text);
  if (w.size() > std::numeric_limits<UINT>::max() / 2) return nullptr;
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

}  // namespace trovex
