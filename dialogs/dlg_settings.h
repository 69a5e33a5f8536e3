// The Settings dialog (template 1008): the default target directory and the policy for a
// target file that already exists. Its members are the settings in force for the Save dialog
// that owns it; OK writes them to the profile, Cancel leaves members and profile alone.
#pragma once

#include <string>

// Before any toolkit header: the toolkit defines TRUE and FALSE as macros.
#include "platform/base/types.h"
#include "framework/dialog.h"
#include "framework/message_box.h"

namespace trovex {

// Control ids of dialog 1008.
constexpr int IDC_DIR_LAST = 1010;
constexpr int IDC_DIR_SPECIFIED = 1011;
constexpr int IDC_DIR_EDIT = 1001;
constexpr int IDC_DIR_BROWSE = 1013;
constexpr int IDC_CONFLICT_RENAME = 1018;
constexpr int IDC_CONFLICT_OVERWRITE = 1019;
constexpr int IDC_CONFLICT_SKIP = 1020;
constexpr int IDC_CONFLICT_ASK = 1021;
constexpr int IDC_SAVE_MOVIE_FILES = 1050;

// Longest default directory the dialog accepts, in characters.
constexpr int kMaxDefaultDirChars = 255;

class CDlgSettings : public CDialog {
 public:
  // Reads the three "Trovex" values from the profile, with their read rules.
  explicit CDlgSettings(wxWindow* pParentWnd = nullptr);

  int nConflictAction;        // 0 rename, 1 overwrite, 2 skip, 3 ask
  int nDirChoice;             // 0 last save directory, 1 the specified one
  std::string strDefaultDir;  // the specified directory
  int bSaveMovieFiles;        // also save the files each movie loads

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void OnDirLast(wxCommandEvent& event);
  void OnDirSpecified(wxCommandEvent& event);
  void OnBrowse(wxCommandEvent& event);

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
