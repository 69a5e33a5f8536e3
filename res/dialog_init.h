// Dialog-init resources (resource type 240): data the framework hands to controls of a dialog
// when it creates them from the template.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace trovex {

constexpr int RT_DLGINIT = 240;
// Message of an item whose data initialises an embedded control from a stream.
constexpr int WM_OCC_INITNEW_STREAM = 0x0376;

struct DialogInitItem {
  int nControlId = 0;
  int nMessage = 0;
  std::span<const std::uint8_t> data;  // points into the resource
};

// The raw dialog-init resource of a dialog; empty when it has none.
std::span<const std::uint8_t> FindDialogInitResource(int dialogId);

// Splits a dialog-init resource into its items (up to the terminating zero id). nullopt when the
// data is damaged: an item running past the end or a missing terminator.
std::optional<std::vector<DialogInitItem>> ParseDialogInit(std::span<const std::uint8_t> resource);

// The item for one control of a dialog, if the dialog's resource has a sound one for it.
std::optional<DialogInitItem> FindDialogInitItem(int dialogId, int controlId);

}  // namespace trovex
