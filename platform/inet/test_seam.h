// The internet layer's one seam for tests: what a test may vary in this layer, for as long as
// the seam object lives. Product code never makes one.
#pragma once

#include <string>

namespace trovex::inet {

struct InetTestSettings {
  // Certificate authorities trusted instead of the system's (a test's own CA); empty: the
  // system's. Read as each transfer starts.
  std::string caFile;
};

// Sets the layer's test settings; the previous ones come back when it goes. One at a time.
class ScopedInetTestSeam {
 public:
  explicit ScopedInetTestSeam(InetTestSettings settings);
  ~ScopedInetTestSeam();
  ScopedInetTestSeam(const ScopedInetTestSeam&) = delete;
  ScopedInetTestSeam& operator=(const ScopedInetTestSeam&) = delete;

 private:
  InetTestSettings previous_;
};

}  // namespace trovex::inet
