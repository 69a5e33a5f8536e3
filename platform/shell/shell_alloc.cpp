#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/com/ref_count.h"
#include "platform/shell/shell.h"

namespace trovex {

const IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// Each block carries its size and a mark in front, so GetSize and DidAlloc can answer and a
// foreign pointer is never freed.
constexpr std::uint64_t kMark = 0x5348454C4C4D454DULL;
struct alignas(16) Header {
  std::uint64_t mark;
  std::size_t size;
};

std::atomic<std::size_t> g_live{0};

Header* HeaderOf(void* pv) {
  if (!pv) return nullptr;
  Header* h = static_cast<Header*>(pv) - 1;
  return h->mark == kMark ? h : nullptr;
}

// One allocator for the process, never destroyed.
class ShellMalloc final : public ComSingleObject<IMalloc, IID_IMalloc, ComStaticObject> {
 public:
  void* Alloc(std::size_t cb) override {
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + cb));
    if (!h) return nullptr;
    h->mark = kMark;
    h->size = cb;
    ++g_live;
    return h + 1;
  }
  void* Realloc(void* pv, std::size_t cb) override {
    if (!pv) return Alloc(cb);
    Header* h = HeaderOf(pv);
    if (!h) return nullptr;
    if (cb == 0) {
      Free(pv);
      return nullptr;
    }
    auto* n = static_cast<Header*>(std::realloc(h, sizeof(Header) + cb));
    if (!n) return nullptr;
    n->size = cb;
    return n + 1;
  }
  void Free(void* pv) override {
    Header* h = HeaderOf(pv);
    if (!h) return;
    h->mark = 0;
    --g_live;
    std::free(h);
  }
  std::size_t GetSize(void* pv) override {
    Header* h = HeaderOf(pv);
    return h ? h->size : static_cast<std::size_t>(-1);
  }
  int DidAlloc(void* pv) override { return pv ? (HeaderOf(pv) ? 1 : 0) : -1; }
  void HeapMinimize() override {}
};

}  // namespace

HRESULT SHGetMalloc(IMalloc** ppMalloc) {
  if (!ppMalloc) return E_INVALIDARG;
  static ShellMalloc allocator;
  allocator.AddRef();
  *ppMalloc = &allocator;
  return S_OK;
}

std::size_t ShellAllocatorLiveBlocks() { return g_live.load(); }

}  // namespace trovex
