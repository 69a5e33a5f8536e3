// Finds the Flash movies of a document and of all its frames and stores them in a list.
#pragma once

#include "platform/com/dom.h"
#include "scan/swf_file_list.h"

namespace trovex {

// 0 when the document's own elements were inspected, 1 when it had to give up on them (null
// document, no embedded-object container, or an address that cannot be read or cracked).
// Movies found before giving up stay in the list; entries already in it stay unless a movie
// with the same address replaces them.
int ScanDocument(IHTMLDocument2* document, SWFFileList& list);

}  // namespace trovex
