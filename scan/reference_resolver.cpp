#include "scan/reference_resolver.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/inet/inet.h"

namespace trovex {
namespace {

// References are handed out in chunks, so that a slow folder or a cache miss evens out.
constexpr std::size_t kChunk = 64;
// A helper starts for each this many references found: starting a thread costs about as much
// as resolving a few dozen movies, so a small page is resolved on the caller's thread alone.
constexpr std::size_t kReferencesPerHelper = 256;

std::size_t MaxHelpers() {
  static const std::size_t helpers = std::min(4u, std::max(1u, std::thread::hardware_concurrency())) - 1;
  return helpers;
}

}  // namespace

ReferenceResolver::ReferenceResolver() : locale_(::uselocale(static_cast<locale_t>(nullptr))) {}

ReferenceResolver::~ReferenceResolver() { Stop(); }

void ReferenceResolver::Add(const MoviePage& page, std::string reference, Params params) {
  filling_.references.push_back({&page, std::move(reference), std::move(params)});
  if (++added_ % kChunk == 0) Publish();
}

void ReferenceResolver::Publish() {
  if (filling_.references.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chunks_.push_back(std::move(filling_));
  }
  published_.notify_one();
  filling_ = Chunk();
  if (helpers_.size() < MaxHelpers() && added_ >= kReferencesPerHelper * (helpers_.size() + 1))
    StartHelper();
}

void ReferenceResolver::StartHelper() {
  try {
    helpers_.emplace_back([this] {
      ::uselocale(locale_);
      try {
        Work(true);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the caller's resolves it all in Finish.
  }
}

void ReferenceResolver::Work(bool waitForMore, SWFFileList* list) {
  // One look at the URL cache's index file, and each movie folder opened once, per thread.
  UrlCacheLookupScope cacheScope;
  LocalSizeScope sizeScope;
  for (;;) {
    Chunk* chunk = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (waitForMore) published_.wait(lock, [this] { return taken_ < chunks_.size() || closed_; });
      if (taken_ >= chunks_.size()) return;
      chunk = &chunks_[taken_++];
    }
    // Records go in list nodes made here, so that storing them takes the caller no allocation.
    chunk->records.reserve(chunk->references.size());
    for (const Reference& r : chunk->references) {
      SWFFileInfo record;
      if (ResolveMovieAddress(*r.page, r.text, record).empty()) {
        chunk->records.emplace_back();
        continue;
      }
      record.flashVars = r.params.flashVars;
      record.base = r.params.base;
      record.pageAddress = r.page->address;
      chunk->records.push_back(SWFFileList::MakeNode(std::move(record)));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      chunk->resolved = true;
    }
    // Stored while the helpers still resolve, not all after them.
    if (list) StoreResolved(*list);
  }
}

void ReferenceResolver::StoreResolved(SWFFileList& list) {
  for (;;) {
    Chunk* chunk = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stored_ >= chunks_.size() || !chunks_[stored_].resolved || failure_) return;
      chunk = &chunks_[stored_++];
    }
    for (SWFFileList::Node& record : chunk->records)
      if (record) list.Store(std::move(record));
    chunk->records = std::vector<SWFFileList::Node>();
    chunk->references = {};
  }
}

void ReferenceResolver::Finish(SWFFileList& list) {
  Publish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  published_.notify_all();
  Work(false, &list);
  for (std::thread& helper : helpers_) helper.join();
  helpers_.clear();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  StoreResolved(list);
  chunks_.clear();
}

void ReferenceResolver::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    taken_ = chunks_.size();
  }
  published_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  helpers_.clear();
}

}  // namespace trovex
