// The reference counts of the objects we serve, written once: an object that deletes itself on
// its last Release, and one that lives as long as its owner (a static factory, a process-wide
// allocator, a control its window owns) and only counts the references it handed out. Both
// count atomically, as any thread may hold a reference.
#pragma once

#include <atomic>

#include "platform/com/com.h"

namespace trovex {

// Derive from ComObject<IA, IB...>: AddRef and Release of every interface listed come from
// here. Made with `new`; the creator holds the first reference.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

// Derive from ComStaticObject<IA...> for an object someone else owns: references do not keep it
// alive, and an unbalanced Release stops at zero instead of wrapping (a wrapped count would
// read as references held for ever).
template <class... Interfaces>
class ComStaticObject : public Interfaces... {
 public:
  ComStaticObject(const ComStaticObject&) = delete;
  ComStaticObject& operator=(const ComStaticObject&) = delete;

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = refs_.load();
    while (n > 0 && !refs_.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0 ? n - 1 : 0;
  }
  // References handed out and not yet released.
  ULONG References() const { return refs_.load(); }

 protected:
  ComStaticObject() = default;
  ~ComStaticObject() = default;

 private:
  std::atomic<ULONG> refs_{0};
};

// An object serving one interface besides IUnknown takes its QueryInterface from here:
// ComSingleObject<IEnumIDList, IID_IEnumIDList>, or with ComStaticObject as the count.
template <class Interface, const IID& kIid, template <class...> class Count = ComObject>
class ComSingleObject : public Count<Interface> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != kIid) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<Interface*>(this);
    this->AddRef();
    return S_OK;
  }

 protected:
  ComSingleObject() = default;
};

}  // namespace trovex
