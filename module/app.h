// The module's application object: set up once when the module starts serving, it gives the
// system its settings root and the title of its message boxes. It is not the toolkit's
// application object, which belongs to the program that loaded the module.
#pragma once

#include <string>

#include "platform/base/types.h"

namespace trovex {

class CSWFOrdavinApp {
 public:
  CSWFOrdavinApp() = default;  // no application name until InitInstance
  virtual ~CSWFOrdavinApp() = default;
  CSWFOrdavinApp(const CSWFOrdavinApp&) = delete;
  CSWFOrdavinApp& operator=(const CSWFOrdavinApp&) = delete;

  // Settings root "Marrowick" / "Kelvora SWF Trovex", application name string 57344.
  virtual BOOL InitInstance();

  const std::string& GetAppName() const { return strAppName_; }

 private:
  std::string strAppName_;
};

// The module's one application object, its InitInstance run on first use (every entry point
// goes through here first).
CSWFOrdavinApp& AfxGetModuleApp();

}  // namespace trovex
