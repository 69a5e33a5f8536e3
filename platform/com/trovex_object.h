// The system's automation object as the programs that stand in for its script page reach it
// (the browser window, the native host): by its ProgID through activation, then GetSWFFile.
#pragma once

#include <string>

#include "platform/com/com.h"

namespace trovex {

// The ProgID the module registers for its automation object.
inline constexpr const char* kTrovexProgID = "SWFOrdavin.InternetExplorer";

// Where GetSWFFileByProgId stopped.
enum class GetSWFFileStep {
  kDone,    // the method ran; its value is in *result
  kCreate,  // the object could not be created (not registered, module not loadable...)
  kCall,    // the method failed or reported an exception
};

// What the script page does, without a script: creates the object by kTrovexProgID and calls
// GetSWFFile(document). S_OK with *result set, or the failing HRESULT with *step saying which
// part failed and *failure the activation's or the method's own words.
// A non-empty `cookieJar` is the jar the call's fetches use.
HRESULT GetSWFFileByProgId(IDispatch* document, long* result, GetSWFFileStep* step, std::string* failure,
                           const std::string& cookieJar = {});

}  // namespace trovex
