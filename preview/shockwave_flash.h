// The preview control: a child window that plays a movie, driven through its dispatch
// interface like the Flash control it stands for (Stop 113, Movie 102, Zoom 118).
#pragma once

#include <wx/window.h>

#include <memory>

#include <string>

#include "platform/base/types.h"
#include "platform/com/com.h"
#include "platform/com/ref_count.h"
#include "preview/flash_properties.h"
#include "preview/player_engine.h"

namespace trovex {

// Window styles the dialog passes (Win32 values).
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_BORDER = 0x00800000;

constexpr DISPID DISPID_FLASH_STOP = 113;
constexpr DISPID DISPID_FLASH_MOVIE = 102;
constexpr DISPID DISPID_FLASH_ZOOM = 118;

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
extern const CLSID CLSID_ShockwaveFlash;

class CShockwaveFlash;

// What the preview's owner hands it: the warm player its controls show (none: the area stays
// empty), and the control class to make (a stand-in in tests).
struct PreviewSetup {
  PlayerEngine* engine = nullptr;
  wxClassInfo* controlClass = nullptr;  // null: CShockwaveFlash

  // A new control of controlClass, its player set, its window not yet created; null when the
  // class is no control.
  CShockwaveFlash* NewControl() const;
};

// The window owns the object; references are counted but do not keep it alive.
class CShockwaveFlash : public wxWindow, public ComSingleObject<IDispatch, IID_IDispatch, ComStaticObject> {
 public:
  CShockwaveFlash() = default;
  ~CShockwaveFlash() override;

  // The player this control shows; before Create.
  void SetPlayer(PlayerEngine* engine);

  // Creates the control window. persist: the properties from the dialog template, or null for
  // the control's defaults. Returns FALSE when the window cannot be made.
  virtual BOOL Create(const char* pszWindowName, DWORD dwStyle, const wxRect& rect, wxWindow* pParentWnd,
                      UINT nID, const FlashProperties* persist = nullptr, const char* pszLicKey = nullptr);

  // Redraw on or off (WM_SETREDRAW).
  virtual void SetRedraw(bool redraw);

  // Typed calls, each made through Invoke.
  void Stop();
  void SetMovie(const std::string& movie);
  void Zoom(long factor);

  IDispatch* GetIDispatch() { return this; }

  // IDispatch
  HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

  const FlashProperties& GetProperties() const { return props_; }
  // The player's view lies over this window: Tab passes both, as nothing here takes keys.
  bool AcceptsFocusFromKeyboard() const override { return false; }

 private:
  void ShowUnavailable();
  // The player while it lives.
  PlayerEngine* Player() const { return engineAlive_.expired() ? nullptr : engine_; }
  PlayerEngine* engine_ = nullptr;
  std::weak_ptr<const void> engineAlive_;
  FlashProperties props_;
  bool frozen_ = false;

  wxDECLARE_DYNAMIC_CLASS(CShockwaveFlash);
};

}  // namespace trovex
