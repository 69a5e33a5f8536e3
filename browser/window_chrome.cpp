#include "browser/command_line.h"
#include "res/strings.h"
#include "browser/browser_frame.h"


#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/webview.h>
#include <wx/weakref.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <map>
#include <utility>
#include <vector>

#include "browser/extension_run.h"
#include "browser/extensions.h"
#include "browser/list_output.h"
#include "browser/script_channel.h"
#include "browser/view_cookies.h"
#include "browser/window_player.h"
#include "framework/message_dialog.h"
#include "framework/toolkit_language.h"
#include "framework/web_engine.h"
#include "framework/window_manager.h"
#include "framework/wx_text.h"
#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "pagemodel/collector_script.h"
#include "pagemodel/snapshot.h"
#include "platform/com/activation.h"
#include "platform/com/trovex_object.h"
#include "platform/inet/http_transport.h"
#include "platform/text/res_text.h"
#include "scan/document_walker.h"

namespace trovex::browser {
namespace {

// The image of "FILE,ID" nearest to `size`, read from the module's resources.
wxBitmap LoadExtensionIcon(const std::string& location, int size) {
  std::string path;
  int id = 0;
  if (!ParseIconLocation(location, &path, &id)) return wxBitmap();
  std::string error;
  std::vector<ResourceImage> images = ReadModuleImages(path, id, &error);
  const ResourceImage* best = nullptr;
  for (const ResourceImage& image : images)
    if (!best || std::abs(image.nWidth - size) < std::abs(best->nWidth - size)) best = &image;
  if (!best) return wxBitmap();
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
  wxLogNull quiet;  // a damaged image means no icon, not a message box
  wxMemoryInputStream stream(best->strPng.data(), best->strPng.size());
  wxImage image(stream, wxBITMAP_TYPE_PNG);
  if (!image.IsOk()) return wxBitmap();
  if (image.GetWidth() != size) image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
  return wxBitmap(image);
}

}  // namespace

void BrowserFrame::BuildMenus() {
  auto* file = new wxMenu;
  file->Append(wxID_CLOSE, ResStringToWx(IDS_TROVEX_BROWSER_MENU_CLOSE));
  auto* view = new wxMenu;
  view->Append(wxID_BACKWARD, ResStringToWx(IDS_TROVEX_BROWSER_MENU_BACK));
  view->Append(wxID_FORWARD, ResStringToWx(IDS_TROVEX_BROWSER_MENU_FORWARD));
  view->Append(wxID_REFRESH, ResStringToWx(IDS_TROVEX_BROWSER_MENU_REFRESH));
  auto* tools = new wxMenu;
  for (std::size_t i = 0; i < extensions_.size(); ++i) {
    const ScriptExtension& e = extensions_[i];
    if (e.strMenuText.empty()) continue;
    tools->Append(kIdFirstExtension + static_cast<int>(i), FromUtf8(e.strMenuText),
                  FromUtf8(e.strMenuStatusBar));
  }
  if (tools->GetMenuItemCount() == 0) {
    tools->Append(wxID_ANY, ResStringToWx(IDS_TROVEX_BROWSER_NO_EXTENSIONS))->Enable(false);
  }
  auto* bar = new wxMenuBar;
  bar->Append(file, ResStringToWx(IDS_TROVEX_BROWSER_MENU_FILE));
  bar->Append(view, ResStringToWx(IDS_TROVEX_BROWSER_MENU_VIEW));
  bar->Append(tools, ResStringToWx(IDS_TROVEX_BROWSER_MENU_TOOLS));
  SetMenuBar(bar);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (CanGoBack()) view_->GoBack(); }, wxID_BACKWARD);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (view_->CanGoForward()) view_->GoForward(); }, wxID_FORWARD);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { view_->Reload(); }, wxID_REFRESH);
  // Menu items and toolbar buttons alike: enabled only with somewhere to go.
  Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(CanGoBack()); }, wxID_BACKWARD);
  Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(view_ && view_->CanGoForward()); }, wxID_FORWARD);
  Bind(wxEVT_MENU, &BrowserFrame::OnExtension, this, kIdFirstExtension,
       kIdFirstExtension + static_cast<int>(extensions_.size()));
  Bind(wxEVT_TOOL, &BrowserFrame::OnExtension, this, kIdFirstExtension,
       kIdFirstExtension + static_cast<int>(extensions_.size()));
  Bind(wxEVT_MENU, &BrowserFrame::OnMenuExt, this, kIdFirstMenuExt,
       kIdFirstMenuExt + static_cast<int>(menuItems_.size()));
}

void BrowserFrame::BuildToolbar() {
  wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_TEXT | wxTB_HORZ_LAYOUT | wxTB_NODIVIDER);
  bar->SetToolBitmapSize(wxSize(20, 20));
  bar->AddTool(wxID_BACKWARD, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_BACK), wxArtProvider::GetBitmap(wxART_GO_BACK, wxART_TOOLBAR, wxSize(20, 20)));
  bar->AddTool(wxID_FORWARD, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_FORWARD), wxArtProvider::GetBitmap(wxART_GO_FORWARD, wxART_TOOLBAR, wxSize(20, 20)));
  bar->AddTool(wxID_REFRESH, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_REFRESH), wxArtProvider::GetBitmap(wxART_REDO, wxART_TOOLBAR, wxSize(20, 20)));
  for (std::size_t i = 0; i < extensions_.size(); ++i) {
    const ScriptExtension& e = extensions_[i];
    if (!e.bDefaultVisible) continue;
    wxBitmap normal = LoadExtensionIcon(e.strIcon, 20);
    wxBitmap hot = LoadExtensionIcon(e.strHotIcon, 20);
    if (!normal.IsOk()) normal = wxArtProvider::GetBitmap(wxART_MISSING_IMAGE, wxART_TOOLBAR, wxSize(20, 20));
    wxString text = FromUtf8(e.strButtonText.empty() ? e.strMenuText : e.strButtonText);
    bar->AddSeparator();
    int id = kIdFirstExtension + static_cast<int>(i);
    bar->AddTool(id, text, normal, text);
    bar->SetToolLongHelp(id, FromUtf8(e.strMenuStatusBar));
    icons_[id] = {normal, hot.IsOk() ? hot : normal};
  }
  bar->Realize();
  // The hot icon while the pointer is over the button.
  Bind(wxEVT_TOOL_ENTER, [this, bar](wxCommandEvent& event) {
    for (const auto& [id, pair] : icons_) bar->SetToolNormalBitmap(id, id == event.GetSelection() ? pair.second : pair.first);
    event.Skip();
  });
}

wxSizer* BrowserFrame::BuildAddressBar() {
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(new wxStaticText(this, wxID_ANY, ResStringToWx(IDS_TROVEX_BROWSER_ADDRESS_LABEL)), 0,
           wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
  address_ = new wxTextCtrl(this, kIdAddress, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_ENTER);
  row->Add(address_, 1, wxALIGN_CENTER_VERTICAL);
  auto* go = new wxButton(this, kIdGo, ResStringToWx(IDS_TROVEX_BROWSER_GO));
  row->Add(go, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
  address_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Navigate(ToUtf8(address_->GetValue())); });
  go->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Navigate(ToUtf8(address_->GetValue())); });
  return row;
}

void BrowserFrame::OnExtension(wxCommandEvent& event) {
  std::size_t index = static_cast<std::size_t>(event.GetId() - kIdFirstExtension);
  if (index < extensions_.size()) Run(extensions_[index].strScript, nullptr);
}

void BrowserFrame::OnMenuExt(wxCommandEvent& event) {
  std::size_t index = static_cast<std::size_t>(event.GetId() - kIdFirstMenuExt);
  std::string context = contextUrl_;
  if (index < menuItems_.size()) Run(menuItems_[index].strScript, &context);
}

bool BrowserFrame::EnsureModel(bool* gone) {
  wxBusyCursor busy;
  std::string error;
  ComPtr<IWebBrowser2> model = TakeSnapshot(&error, gone);
  if (*gone) return false;
  model_ = model;
  if (!model_) {
    Report(FormatResString(IDS_TROVEX_BROWSER_CANNOT_READ_PAGE_LOG, error.c_str()));
    ShowError(Text(IDS_BROWSER_CANNOT_READ_PAGE, ToUtf8(view_->GetCurrentURL())));
    return false;
  }
  return true;
}

void BrowserFrame::ShowError(const wxString& text) {
  CAppMessageDialog box(this, text, ResStringToWx(IDS_TROVEX_BROWSER_TITLE), wxOK | wxICON_ERROR);
  box.ShowModal();
}

wxString BrowserFrame::Text(unsigned id, const std::string& arg) {
  return ToWx(FormatResString(id, arg.c_str()));
}

void BrowserFrame::Run(const std::string& script, const std::string* contextUrl) {
  // The script's dialog is modal; a second click meanwhile would nest another run.
  if (running_) return;
  running_ = true;
  bool gone = false;
  const bool ready = EnsureModel(&gone);
  if (gone) return;
  if (ready) {
    ComPtr<IWebBrowser2> page = model_;
    std::string error;
    if (!RunExtension(page.Get(), script, contextUrl, &error))
      ShowError(Text(IDS_BROWSER_SCRIPT_FAILED, error));
  }
  // Modules whose objects are all gone need not stay loaded.
  CoFreeUnusedLibraries();
  running_ = false;
}

}  // namespace trovex::browser
