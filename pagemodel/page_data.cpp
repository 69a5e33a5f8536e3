#include "pagemodel/page_data.h"

namespace trovex::pagemodel {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const std::string* ElementData::Find(std::string_view name) const {
  for (const auto& [n, v] : attributes)
    if (EqualsNoCase(n, name)) return &v;
  return nullptr;
}

const char* ElementData::TagName() const {
  switch (kind) {
    case ElementKind::kObject: return "OBJECT";
    case ElementKind::kApplet: return "APPLET";
    case ElementKind::kEmbed: return "EMBED";
    case ElementKind::kFrame: return "FRAME";
    case ElementKind::kIFrame: return "IFRAME";
  }
  return "";
}

const std::string* ElementData::Movie() const {
  if (kind != ElementKind::kObject) return Find("movie");
  if (const std::string* movie = Find("movie")) return movie;
  return bHasParamMovie ? &strParamMovie : nullptr;
}

bool IsFlashClassId(std::string_view classid) {
  static constexpr std::string_view kFlash = "D27CDB6E-AE6D-11CF-96B8-444553540000";
  for (std::size_t i = 0; i + kFlash.size() <= classid.size(); ++i)
    if (EqualsNoCase(classid.substr(i, kFlash.size()), kFlash)) return true;
  return false;
}

}  // namespace trovex::pagemodel
