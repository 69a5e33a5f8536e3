// The file layer's one seam for tests: what a test may vary in this layer, for as long as the
// seam object lives. Product code never makes one.
#pragma once

#include <chrono>

namespace trovex::posix {

struct FsTestSettings {
  // How long a writer waits for another holder of a cross-process lock (FileLock's default).
  std::chrono::milliseconds lockWait{10000};
};

// Sets the layer's test settings; the previous ones come back when it goes. One at a time.
class ScopedFsTestSeam {
 public:
  explicit ScopedFsTestSeam(const FsTestSettings& settings);
  ~ScopedFsTestSeam();
  ScopedFsTestSeam(const ScopedFsTestSeam&) = delete;
  ScopedFsTestSeam& operator=(const ScopedFsTestSeam&) = delete;

 private:
  FsTestSettings previous_;
};

}  // namespace trovex::posix
