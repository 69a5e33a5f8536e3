// Where a resizable dialog keeps its window placement between openings: the text
// "left,top,right,bottom,showCmd,flags" under a section name. The application decides where
// that lives (its profile); tests may keep it in memory.
#pragma once

#include <string>

namespace trovex {

class PlacementStore {
 public:
  virtual ~PlacementStore() = default;
  // The stored text, empty when none is stored.
  virtual std::string ReadPlacement(const std::string& strSection) = 0;
  // False when the text could not be stored.
  virtual bool WritePlacement(const std::string& strSection, const std::string& text) = 0;
};

}  // namespace trovex
