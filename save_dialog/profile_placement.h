// Window placements kept in the application's profile: the "WindowPlacement" value of the
// dialog's section.
#pragma once

#include <string>

#include "resizable/placement_store.h"

namespace trovex {

class ProfilePlacementStore final : public PlacementStore {
 public:
  std::string ReadPlacement(const std::string& strSection) override;
  bool WritePlacement(const std::string& strSection, const std::string& text) override;
};

}  // namespace trovex
