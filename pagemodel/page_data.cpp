#include "pagemodel/page_data.h"

namespace trovex::pagemodel {

const std::string* ElementData::Find(std::string_view name) const {
  for (const auto& [n, v] : attributes)
    if (AsciiEqualsNoCase(n, name)) return &v;
  return nullptr;
}

const std::string* ElementData::Param(std::string_view name) const {
  for (const auto& [n, v] : params)
    if (AsciiEqualsNoCase(n, name)) return &v;
  return nullptr;
}

void ElementData::AddParam(std::string_view name, std::string value) {
  for (std::string_view known : kPlayerParams)
    if (AsciiEqualsNoCase(name, known)) {
      if (!Param(known)) params.emplace_back(known, std::move(value));
      return;
    }
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
    if (AsciiEqualsNoCase(classid.substr(i, kFlash.size()), kFlash)) return true;
  return false;
}

}  // namespace trovex::pagemodel
