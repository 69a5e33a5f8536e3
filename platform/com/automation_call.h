// The call a script page makes on the module's automation object, for the programs that stand
// in for the script (the browser, the native host) and for tests. It goes through IDispatch
// only, so a caller needs none of the module's code, just this layer.
#pragma once

#include <string>

#include "platform/com/com.h"

namespace trovex {

// GetSWFFile(document) on `object`: the member's id by name, then Invoke with the document as
// VT_DISPATCH (null passes a null document). *result gets the method's value; an exception the
// method reported goes into *error (UTF-8) when given. E_POINTER without object or result.
// A non-empty `cookieJar` goes as the second argument: the jar the call's fetches use.
HRESULT CallGetSWFFile(IDispatch* object, IDispatch* document, long* result,
                       std::string* error = nullptr, const std::string& cookieJar = {});

}  // namespace trovex
