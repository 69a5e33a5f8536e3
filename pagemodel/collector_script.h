// The text of collector.js, built into the program so that the window injects exactly the
// file the browser extension ships.
#pragma once

#include <string_view>

namespace trovex::pagemodel {

std::string_view CollectorScript();

}  // namespace trovex::pagemodel
