// Memory for one parse tree. The parser makes a great many small blocks; here they are cut
// from large ones and all given back at once with the tree, so freeing a tree needs no walk
// over it (and no stack for its depth).
#pragma once

#include <array>
#include <cstddef>

namespace trovex::browser {

class ParseArena {
 public:
  ParseArena() = default;
  ~ParseArena();
  ParseArena(const ParseArena&) = delete;
  ParseArena& operator=(const ParseArena&) = delete;

  // Blocks are aligned for any of the parser's structures (pointers, sizes), 8 bytes.
  void* Allocate(std::size_t size);
  // A small block is kept for the next one of its size; a large one goes back at once, since
  // the parser's growing buffers would otherwise leave each outgrown copy behind.
  void Deallocate(void* p);
  // What the arena holds now: its large blocks and what it cut the small ones from.
  std::size_t ReservedBytes() const { return reserved_; }

  // The parser's allocator callbacks; `arena` is the ParseArena.
  static void* ParserAllocate(void* arena, std::size_t size);
  static void ParserDeallocate(void* arena, void* p);

  static constexpr std::size_t kAlign = 8;
  static constexpr std::size_t kLargestSmall = 256;  // bigger ones are large

 private:
  struct FreeBlock {
    FreeBlock* next;
  };
  struct Chunk;  // one of the large pieces the small blocks are cut from
  struct Large;  // one large block

  void* AllocateSmall(std::size_t cls);
  void* AllocateLarge(std::size_t size);

  std::array<FreeBlock*, kLargestSmall / kAlign + 1> free_{};  // by size class
  char* next_ = nullptr;  // where the current chunk's unused part starts
  char* end_ = nullptr;
  Chunk* chunks_ = nullptr;
  Large* large_ = nullptr;
  std::size_t nextChunk_ = 16u << 10;
  std::size_t reserved_ = 0;
};

}  // namespace trovex::browser
