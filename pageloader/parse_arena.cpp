#include "pageloader/parse_arena.h"

#include <cstdio>
#include <cstdlib>

namespace trovex::browser {
namespace {

// The word before each block: a small block's size class (even), or kLargeTag.
using Tag = std::size_t;
constexpr Tag kLargeTag = 1;
// Chunks stay below the size malloc maps afresh (and faults in again) for each page.
constexpr std::size_t kLargestChunk = 64u << 10;

void* Reserve(std::size_t bytes) {
  void* p = std::malloc(bytes);
  if (!p) {
    // The parser cannot be told (it does not check); as with its own malloc, nothing goes on.
    std::fputs("trovex-browser: out of memory while parsing a page\n", stderr);
    std::abort();
  }
  return p;
}

}  // namespace

struct ParseArena::Chunk {
  Chunk* next;
  std::size_t size;
};

struct ParseArena::Large {
  Large* prev;
  Large* next;
  std::size_t size;
  Tag tag;
};

ParseArena::~ParseArena() {
  for (Chunk* c = chunks_; c;) {
    Chunk* next = c->next;
    std::free(c);
    c = next;
  }
  for (Large* l = large_; l;) {
    Large* next = l->next;
    std::free(l);
    l = next;
  }
}

void* ParseArena::Allocate(std::size_t size) {
  if (size > kLargestSmall) return AllocateLarge(size);
  std::size_t cls = size == 0 ? 1 : (size + kAlign - 1) / kAlign;
  if (FreeBlock* b = free_[cls]) {
    free_[cls] = b->next;
    return b;
  }
  return AllocateSmall(cls);
}

void* ParseArena::AllocateSmall(std::size_t cls) {
  const std::size_t bytes = sizeof(Tag) + cls * kAlign;
  if (static_cast<std::size_t>(end_ - next_) < bytes) {
    // The rest of the chunk is left; a large tree takes larger chunks.
    auto* c = static_cast<Chunk*>(Reserve(nextChunk_));
    c->next = chunks_;
    c->size = nextChunk_;
    chunks_ = c;
    reserved_ += nextChunk_;
    next_ = reinterpret_cast<char*>(c + 1);
    end_ = reinterpret_cast<char*>(c) + nextChunk_;
    if (nextChunk_ < kLargestChunk) nextChunk_ *= 2;
  }
  auto* tag = reinterpret_cast<Tag*>(next_);
  *tag = cls << 1;
  next_ += bytes;
  return tag + 1;
}

void* ParseArena::AllocateLarge(std::size_t size) {
  auto* l = static_cast<Large*>(Reserve(sizeof(Large) + size));
  l->prev = nullptr;
  l->next = large_;
  l->size = size;
  l->tag = kLargeTag;
  if (large_) large_->prev = l;
  large_ = l;
  reserved_ += sizeof(Large) + size;
  return l + 1;
}

void ParseArena::Deallocate(void* p) {
  if (!p) return;
  const Tag tag = static_cast<Tag*>(p)[-1];
  if (tag == kLargeTag) {
    Large* l = static_cast<Large*>(p) - 1;
    if (l->prev)
      l->prev->next = l->next;
    else
      large_ = l->next;
    if (l->next) l->next->prev = l->prev;
    reserved_ -= sizeof(Large) + l->size;
    std::free(l);
    return;
  }
  auto* b = static_cast<FreeBlock*>(p);
  b->next = free_[tag >> 1];
  free_[tag >> 1] = b;
}

void* ParseArena::ParserAllocate(void* arena, std::size_t size) {
  return static_cast<ParseArena*>(arena)->Allocate(size);
}

void ParseArena::ParserDeallocate(void* arena, void* p) { static_cast<ParseArena*>(arena)->Deallocate(p); }

}  // namespace trovex::browser
