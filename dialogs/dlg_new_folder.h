// The new-folder dialog (template 1007): the name of a new subfolder of the current directory.
#pragma once

#include <string>

#include "platform/base/types.h"
#include "framework/dialog.h"

namespace trovex {

constexpr int IDC_NF_NAME = 1017;
constexpr int IDC_NF_CURRENT_DIR = 1019;
constexpr int kMaxFolderNameChars = 255;

// Whether a name holds one of \ / : * ? " < > |, read character by character in the locale's
// code page (the second byte of a double-byte character never counts).
bool FolderNameHasForbiddenChar(const std::string& name);

class CDlgNewFolder : public CDialog {
 public:
  CDlgNewFolder();

  std::string strCurrentDir;
  std::string strName;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void OnNameChanged(wxCommandEvent& event);

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
