// Resolves the movie references a walk finds (canonical address, URL cache, local size): most
// of a scan's time. None of it touches a page object, so a large page's references are resolved
// by helper threads while the walk, on the caller's thread as page objects expect, goes on.
#pragma once

#include <locale.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scan/movie_address.h"
#include "scan/swf_file_list.h"

namespace trovex {

class ReferenceResolver {
 public:
  ReferenceResolver();
  ~ReferenceResolver();  // an unfinished resolver drops what it has not resolved yet
  ReferenceResolver(const ReferenceResolver&) = delete;
  ReferenceResolver& operator=(const ReferenceResolver&) = delete;

  // What the element says beside its reference.
  struct Params {
    std::string flashVars;
    std::string base;
  };
  // `page` must stay where it is until Finish.
  void Add(const MoviePage& page, std::string reference, Params params = {});
  // Resolves what is left, then stores the movies to be listed in the order they were added, so
  // that a later movie with the same address replaces an earlier one as before.
  void Finish(SWFFileList& list);

 private:
  struct Reference {
    const MoviePage* page;
    std::string text;
    Params params;
  };
  struct Chunk {
    std::vector<Reference> references;
    std::vector<SWFFileList::Node> records;  // empty: not listed
    bool resolved = false;
  };

  void Publish();
  void StartHelper();
  // Resolves published chunks until none is left; with a list, after each chunk stores what is
  // resolved in order so far.
  void Work(bool waitForMore, SWFFileList* list = nullptr);
  void StoreResolved(SWFFileList& list);
  void Stop();

  Chunk filling_;  // the walk's, not published yet
  std::size_t added_ = 0;
  const locale_t locale_;  // the caller's: addresses are text in its code page

  std::mutex mutex_;  // guards what follows
  std::condition_variable published_;
  std::deque<Chunk> chunks_;  // a deque: chunks being resolved stay where they are
  std::size_t taken_ = 0;
  std::size_t stored_ = 0;  // chunks before it are in the list
  bool closed_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> helpers_;
};

}  // namespace trovex
