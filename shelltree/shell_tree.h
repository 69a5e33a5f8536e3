// The folder tree of the folder picker: the shell namespace from the desktop down, each
// folder's children filled when it is first expanded.
#pragma once

#include <wx/treectrl.h>

#include <string>

#include "platform/shell/shell.h"
#include "shelltree/shell_pidl.h"

namespace trovex {

// The record of one tree item. The tree deletes it with its item; the record then releases its
// folder and frees its lists.
struct ShellItemData : wxTreeItemData {
  ShellItemData(IShellFolder* parent, LPITEMIDLIST relative, LPITEMIDLIST full);
  ~ShellItemData() override;
  ShellItemData(const ShellItemData&) = delete;
  ShellItemData& operator=(const ShellItemData&) = delete;

  IShellFolder* pParentFolder;  // null for the root
  LPITEMIDLIST pidlRelative;
  LPITEMIDLIST pidlFull;
  bool bFilled = false;  // expanded once

  static std::size_t LiveRecords();
};

class CShellTree : public wxTreeCtrl, public CShellPidl {
 public:
  CShellTree(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style);

  void EnableImages();
  void PopulateTree();
  BOOL GetItemFolderPath(const wxTreeItemId& item, std::string& strPath);
  BOOL GetSelectedFolderPath(std::string& strPath);
  // The item of the path, selected; invalid when the path cannot be found.
  wxTreeItemId SelectPath(const std::string& strPath);

  ShellItemData* GetShellData(const wxTreeItemId& item) const;

 protected:
  virtual void OnBeforeRefill() {}
  virtual void OnAfterFill();
  int OnCompareItems(const wxTreeItemId& item1, const wxTreeItemId& item2) override;

 private:
  void OnItemExpanding(wxTreeEvent& event);
  void FillChildren(const wxTreeItemId& item);
  wxTreeItemId WalkTo(LPCITEMIDLIST pidl);

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
