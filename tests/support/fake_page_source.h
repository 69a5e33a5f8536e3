// Test helper: a page source answering from a table, as an archive would, counting what it is
// asked; an address it lacks is kSourceItemNotFound with a reason naming it.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/inet/page_source.h"

namespace trovex::test {

class FakePageSource : public inet::PageSource {
 public:
  void Reply(const std::string& url, long status, const std::string& body) {
    inet::SourceAnswer answer;
    answer.status = status;
    answer.body = body;
    answer.headers = {{"Content-Type", "text/html"}};
    answers_[url] = answer;
  }
  void Redirect(const std::string& url, const std::string& to) {
    inet::SourceAnswer answer;
    answer.status = 302;
    answer.redirect = to;
    answers_[url] = answer;
  }
  void Fail(const std::string& url, DWORD error, const std::string& reason) {
    inet::SourceAnswer answer;
    answer.error = error;
    answer.reason = reason;
    answers_[url] = answer;
  }
  inet::SourceAnswer Get(const std::string& url, const inet::SourceLimits&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++asked_[url];
    if (auto it = answers_.find(url); it != answers_.end()) return it->second;
    inet::SourceAnswer missing;
    missing.error = inet::kSourceItemNotFound;
    missing.reason = "not archived: " + url;
    return missing;
  }
  int Asked(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_[url];
  }

 private:
  std::map<std::string, inet::SourceAnswer> answers_;
  std::mutex mutex_;
  std::map<std::string, int> asked_;
};

}  // namespace trovex::test
