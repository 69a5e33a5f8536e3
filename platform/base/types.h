// The basic types and constants every layer speaks (DWORD, BOOL, HRESULT...). It
// stands below everything and includes no toolkit, so include order never matters.
#pragma once

#include <cstdint>

namespace trovex {

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using UINT = std::uint32_t;
using BOOL = int;
using LCID = std::uint32_t;

// The toolkit's headers define TRUE and FALSE as macros with these values; the constants step
// aside for them, and either spelling means the same.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

}  // namespace trovex
