// The module's application object: set up once when the module starts serving, it gives the
// system its settings root and the title of its message boxes. It is not the toolkit's
// application object, which belongs to the program that loaded the module.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/base/types.h"

namespace trovex {

class PlayerEngine;

class CSWFOrdavinApp {
 public:
  CSWFOrdavinApp();  // no application name until InitInstance
  virtual ~CSWFOrdavinApp();
  CSWFOrdavinApp(const CSWFOrdavinApp&) = delete;
  CSWFOrdavinApp& operator=(const CSWFOrdavinApp&) = delete;

  // Settings root "Marrowick" / "Kelvora SWF Trovex", application name string 57344.
  virtual BOOL InitInstance();

  const std::string& GetAppName() const { return strAppName_; }

  // The warm preview player behind every Save dialog; made on the first call (GUI thread).
  PlayerEngine& GetPlayer();

  // The server's application lock (AfxOleLockApp); any thread.
  void LockServer(bool lock) { lock ? ++nLocks_ : --nLocks_; }
  LONG GetLockCount() const { return nLocks_.load(); }

 private:
  std::string strAppName_;
  std::unique_ptr<PlayerEngine> player_;
  std::atomic<LONG> nLocks_{0};
};

// The module's one application object, its InitInstance run on first use (every entry point
// goes through here first).
CSWFOrdavinApp& AfxGetModuleApp();

}  // namespace trovex
