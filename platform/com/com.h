// The COM and OLE Automation subset the system is written against: result codes, GUIDs,
// IUnknown, IDispatch, BSTR, VARIANT and an owning interface pointer. Interfaces are plain
// abstract classes; there is no marshalling and no apartment model, only the contracts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/base/types.h"

namespace trovex {

using DISPID = std::int32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;  // points at the text; a 32-bit byte length sits just before it

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT INET_E_DEFAULT_ACTION = static_cast<HRESULT>(0x800C0011u);
constexpr HRESULT E_PENDING = static_cast<HRESULT>(0x8000000Au);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
// A Win32 error code carried in an HRESULT.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return code == 0 ? S_OK : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
  friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, as the registry stores it.
std::string GuidToString(const GUID& guid);
// An HRESULT as users and logs see it: "0x800401F3".
std::string HResultText(HRESULT hr);
// Accepts the braced form, case-insensitively; false for anything else.
bool GuidFromString(const std::string& text, GUID* guid);

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects are destroyed by Release, never through this pointer
};
extern const IID IID_IUnknown;  // {00000000-0000-0000-C000-000000000046}

// ---- BSTR -----------------------------------------------------------------------------
// Length-prefixed UTF-16: a 32-bit byte count precedes the characters, a 0 follows them.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: zeroed
void SysFreeString(BSTR text);                              // null is fine
UINT SysStringLen(BSTR text);                               // characters; 0 for null
UINT SysStringByteLen(BSTR text);
// UTF-8 / std::u16string conveniences for code that is not on the system's ANSI path.
BSTR SysAllocStringUtf8(const std::string& utf8);
std::u16string BstrToU16(BSTR text);
// BSTR <-> the thread's code page (platform/text): a null or empty BSTR gives "". The new BSTR
// is the caller's to free with SysFreeString; BStr owns one.
std::string BstrToAnsi(BSTR text);
BSTR AnsiToBstr(std::string_view text);

// ---- VARIANT --------------------------------------------------------------------------
enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
};

struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1, wReserved2, wReserved3;
  union {
    LONG lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    IDispatch* pdispVal;
    IUnknown* punkVal;
    std::uint64_t padding_;
  };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (BSTR, interface reference) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: BSTRs are duplicated, interfaces AddRef'ed.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// ---- IDispatch ------------------------------------------------------------------------
enum : WORD {
  DISPATCH_METHOD = 1,
  DISPATCH_PROPERTYGET = 2,
  DISPATCH_PROPERTYPUT = 4,
};
constexpr DISPID DISPID_UNKNOWN = -1;

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // arguments in reverse order, as COM passes them
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  HRESULT scode;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) = 0;

 protected:
  ~IDispatch() = default;
};
extern const IID IID_IDispatch;  // {00020400-0000-0000-C000-000000000046}

// ---- ComPtr ---------------------------------------------------------------------------
// Owns one reference; releases it on every path. Get()/GetAddressOf() for out-parameters.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference (AddRef).
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases the current reference and hands out the slot for an out-parameter.
  T** GetAddressOf() {
    Reset();
    return &p_;
  }
  void** AsVoidOut() { return reinterpret_cast<void**>(GetAddressOf()); }

  // QueryInterface into another ComPtr; the IID is passed explicitly as COM code does.
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->AsVoidOut());
  }

 private:
  T* p_ = nullptr;
};

// Owns one BSTR.
class BStr {
 public:
  BStr() = default;
  explicit BStr(const OLECHAR* text) : s_(SysAllocString(text)) {}
  static BStr FromUtf8(const std::string& utf8) { return Attach(SysAllocStringUtf8(utf8)); }
  static BStr Attach(BSTR s) {
    BStr b;
    b.s_ = s;
    return b;
  }
  BStr(const BStr&) = delete;
  BStr& operator=(const BStr&) = delete;
  BStr(BStr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  BStr& operator=(BStr&& o) noexcept {
    if (this != &o) {
      SysFreeString(s_);
      s_ = std::exchange(o.s_, nullptr);
    }
    return *this;
  }
  ~BStr() { SysFreeString(s_); }
  BSTR Get() const { return s_; }
  BSTR* GetAddressOf() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  BSTR Detach() { return std::exchange(s_, nullptr); }

 private:
  BSTR s_ = nullptr;
};

// Owns one VARIANT (VariantInit on construction, VariantClear on destruction).
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* Ptr() { return &v_; }
  VARIANT& get() { return v_; }
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

}  // namespace trovex
