// A template dialog the user can resize: a sizing border, controls anchored to proportional
// points of the client area, a size grip, a minimum size (the size it was created with) and a
// window placement kept in the placement store it is given.
//
// Derived dialogs anchor their controls in OnInitDialog; the first arrangement comes with the
// first size event. A derived class with an EVT_SIZE of its own calls OnSize here first; one
// that overrides OnDestroy calls the base last.
#pragma once

#include <wx/event.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "platform/base/types.h"
#include "resizable/placement_store.h"
#include "resizable/resizable_grip.h"
#include "resizable/resizable_layout.h"

namespace trovex {

// The show commands and flags of a stored window placement.
namespace placement {
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kRestoreToMaximized = 2;  // flag: a minimized window comes back maximized
}  // namespace placement

class CResizableDialog : public CDialog {
 public:
  // Without a store the placement is neither restored nor saved.
  explicit CResizableDialog(int nTemplateId, wxWindow* pParentWnd = nullptr,
                            std::unique_ptr<PlacementStore> placementStore = nullptr);
  ~CResizableDialog() override;

  void AnchorControl(wxWindow* ctrl, Anchor topLeft, Anchor bottomRight = NOANCHOR);
  void AnchorControl(int nCtrlId, Anchor topLeft, Anchor bottomRight = NOANCHOR);
  BOOL RemoveAnchor(wxWindow* ctrl);
  void ArrangeControls();
  void SetGripVisible(BOOL bVisible);
  void SetMinimumSize(int cx, int cy);
  void EnableSavedPlacement(const std::string& strSection, BOOL bRectOnly);
  BOOL SavePlacement(const std::string& strSection, BOOL bRectOnly);
  BOOL RestorePlacement(const std::string& strSection, BOOL bRectOnly);

  const CResizableLayout& Layout() const { return layout_; }
  // The grip window while the dialog window exists.
  wxWindow* GetGripWindow() const { return grip_.GetGripWindow(); }
  wxSize GetMinimumSize() const { return minSize_; }

 protected:
  void OnSize(wxSizeEvent& event);   // derived OnSize handlers call this first
  void OnDestroy() override;          // saves the placement when enabled

  long DialogWindowStyle() const override;
  bool OnCreate(const std::vector<CreatedControl>& controls) override;
  // What a size event does once the window's state is known: the grip follows the maximized
  // state, then the grip and the controls are placed for the new client size.
  void HandleSize(bool bMaximized);
  // Whether the window system tells windows where they are: Wayland does not (every window
  // reads 0,0 there), and then a stored position is kept rather than overwritten.
  virtual bool WindowPositionKnown() const;

 private:
  void OnMove(wxMoveEvent& event);
  void OnMaximize(wxMaximizeEvent& event);
  void OnShow(wxShowEvent& event);
  void OnAnchoredControlDestroyed(wxWindowDestroyEvent& event);
  void ForgetAnchors();
  void RememberNormalRect();

  CResizableLayout layout_;
  CResizableGrip grip_;
  wxSize minSize_;
  DWORD dwGripState_ = 1;  // bit 0: shown because the window is not maximized
  std::unique_ptr<PlacementStore> placementStore_;
  BOOL bSavePlacement_ = FALSE;
  BOOL bRectOnly_ = FALSE;
  std::string strPlacementSection_;
  // The window's rectangle when last neither maximized nor iconized, and the one before it
  // (a maximize may report its new size before the state).
  wxRect rcNormal_;
  wxRect rcNormalBefore_;
  // A restored rectangle applied again once the window is shown: before, a window manager may
  // place it by its own rules and the frame's size is only guessed.
  wxRect rcRestorePending_;

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
