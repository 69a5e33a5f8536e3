// The folder picker (template 1001): the shell folder tree, an edit with the chosen path kept
// in step with the tree, ">" to jump to a typed path, a new subfolder of the selection, and the
// offer to create a typed directory that does not exist yet.
#pragma once

#include <string>

#include "platform/base/types.h"
#include "framework/dialog.h"

class wxTreeEvent;

namespace trovex {

class CShellTree;

constexpr int IDC_PICKER_PATH = 1001;
constexpr int IDC_PICKER_NEW_FOLDER = 1003;
constexpr int IDC_PICKER_TREE = 1004;
constexpr int IDC_PICKER_GO = 1005;

class CDlgDirectoryPicker : public CDialog {
 public:
  CDlgDirectoryPicker();

  // Sets the path; while the window exists also selects it in the tree (FALSE: not found).
  BOOL SetPath(const std::string& path);
  const std::string& GetPath() const { return strPath; }
  CShellTree* GetTree() const { return pTree; }

  CShellTree* pTree = nullptr;
  std::string strPath;
  BOOL bInitializing = FALSE;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  wxWindow* CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) override;

 private:
  void OnGo(wxCommandEvent& event);
  void OnNewFolder(wxCommandEvent& event);
  void OnPathChanged(wxCommandEvent& event);
  void OnSelectionChanged(wxTreeEvent& event);
  void OnTreeKeyDown(wxTreeEvent& event);
  void ShowSelection();

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
