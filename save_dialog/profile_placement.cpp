#include "save_dialog/profile_placement.h"

#include "settings/profile.h"

namespace trovex {

std::string ProfilePlacementStore::ReadPlacement(const std::string& strSection) {
  return AppProfile().GetProfileString(strSection, kValueWindowPlacement);
}

bool ProfilePlacementStore::WritePlacement(const std::string& strSection, const std::string& text) {
  return AppProfile().WriteProfileString(strSection, kValueWindowPlacement, text) != FALSE;
}

}  // namespace trovex
