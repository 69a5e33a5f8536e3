// The Save dialog (template 1000): the movies of the page with a check box each, a preview of
// the selected one, the target directory, and the buttons that save the checked movies and hand
// saved ones to the companions. Resizable; column widths and placement persist in
// "Trovex\Save".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "preview/flash_preview.h"
#include "resizable/resizable_dialog.h"
#include "save_engine/movie_files.h"
#include "scan/swf_file_list.h"
#include "swf/movie_summary.h"
#include "dialogs/dlg_settings.h"
#include "save_dialog/file_list_ctrl.h"

class wxCommandEvent;
class wxKeyEvent;
class wxListEvent;
class wxMouseEvent;
class wxSizeEvent;

namespace trovex {

class SaveRun;
struct TransferStatus;

// Control ids of dialog 1000.
constexpr int IDC_SAVE_LIST = 1000;
constexpr int IDC_SAVE_DIR = 1001;
constexpr int IDC_SAVE_DIR_MENU = 1002;
constexpr int IDC_SAVE_SELECT_ALL = 1006;
constexpr int IDC_SAVE_DESELECT_ALL = 1007;
constexpr int IDC_SAVE_SETTINGS = 1009;
constexpr int IDC_SAVE_PROGRESS = 1032;
constexpr int IDC_SAVE_STATUS = 1033;
constexpr int IDC_SAVE_SAVE = 1034;
constexpr int IDC_SAVE_DIR_LABEL = 1037;
constexpr int IDC_SAVE_PREVIEW = 1038;
constexpr int IDC_SAVE_IMPORT_ZALMIC = 1043;
constexpr int IDC_SAVE_IMPORT_ORDAVIN = 1044;
// The preview window once it has been re-created.
constexpr int IDC_SAVE_PREVIEW_WINDOW = 4096;

// List columns.
constexpr int kColumnFileName = 0;
constexpr int kColumnSize = 1;
constexpr int kColumnStatus = 2;
constexpr int kColumnURL = 3;
// The movie's facts and its files, after the columns above; the user may hide each.
constexpr int kColumnVersion = 4;
constexpr int kColumnActionScript = 5;
constexpr int kColumnStage = 6;
constexpr int kColumnFrameRate = 7;
constexpr int kColumnFiles = 8;
constexpr int kFactColumnCount = 5;

// The parts of a text between line breaks (column headings of one string).
std::vector<std::string> SplitLines(const std::string& text);
// The argument text that hands one path to a companion: the path in double quotes. Quotes and
// backslashes that would end the quoting early are escaped, so the path arrives unchanged.
std::string QuoteCompanionArgument(const std::string& path);

class CDlgSave : public CResizableDialog {
 public:
  // player: the warm preview player its owner keeps (none: the preview area stays empty).
  explicit CDlgSave(wxWindow* pParentWnd = nullptr, PlayerEngine* player = nullptr);
  ~CDlgSave() override;

  std::string strFirstSaved;  // first movie saved by the latest run that saved one
  std::string strSaveDir;     // edit 1001, trimmed
  SWFFileList fileList;       // filled by the scanner before the dialog runs
  CFileListCtrl* listCtrl = nullptr;  // list 1000 while the window exists
  CDlgSettings settings;
  int nSavingItem = -1;
  int nPreviewItem = -1;
  int bSaving = 0;
  wxWindow* flashCtrl = nullptr;  // the preview window while the dialog window exists
  std::string strPreviewMovie;    // what the preview was pointed at; empty when it is empty

  // Row operations (also used by the save run).
  void SetItemSize(int nItem, std::int64_t nSize);
  void SetItemStatus(int nItem, unsigned nID);
  void SetStatusText(const char* pszText);
  void SelectOnly(int nItem);
  // The record of a row, found by the key its item data indexes (never by what a column
  // shows, which may differ from the key).
  SWFFileInfo& RowRecord(int nItem);
  // Whether the save run has a download under way.
  bool IsDownloading() const;
  // Enables the import buttons for the installed companions.
  void UpdateImportButtons();
  // The movie's facts into its row's fact columns (dlg_save_files.cpp).
  void SetItemFacts(int nItem, const swf::MovieSummary& facts);
  // One more file the row's movie loads: the files column counts it.
  void AddItemFile(int nItem, const MovieFileOutcome& outcome);
  const std::vector<MovieFileOutcome>& ItemFiles(int nItem) const;
  // Shows the files of the row's movie (a right click on the row).
  void ShowItemFiles(int nItem);
  // Hides or shows fact column kColumnVersion + i, and remembers it.
  void ShowFactColumn(int i, bool show);
  bool IsFactColumnShown(int i) const;

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;
  void DoDataExchange(CDataExchange& dx) override;
  wxWindow* CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) override;

  // Button 1034 and the Enter key (the save run; dlg_save_run.cpp).
  virtual void OnSave();
 public:
  // The current download's status, shown on the dialog's thread: the session's worker hands
  // it over and never touches a window. A new total sets the bar up (OnTotalSize), the bytes
  // move it (OnProgress).
  void OnTransferStatus(const TransferStatus& status);
  void OnTotalSize(std::int64_t nTotal);
  void OnProgress(std::int64_t nBytes);

 protected:
  // Escape and the close box during a run stop it first and close once it has ended.
  void OnCancel() override;
  // Keeps the preview in step with the selection; re-creates the empty preview.
  void OnItemChanged();
  bool ResetPreview();
  void OnSize(wxSizeEvent& event);

  void OnDirChanged();
  void OnDefaultDir();
  void OnLastDir();
  void OnSelectAll();
  void OnDeselectAll();
  void OnImportZalmic();
  void OnImportOrdavin();
  void OnSettings();
  void OnDirMenu();

 private:
  void FillList();
  void FitSizeColumn();
  void ChooseFirstDirectory();
  void PutDirectory(const std::string& strDir);
  void OnListClick(wxMouseEvent& event);
  void OnListInputDone(wxEvent& event);
  void OnListKey(wxKeyEvent& event);
  void OnListCheckEvent(wxListEvent& event);
  void OnListSelectionEvent(wxListEvent& event);
  void OnDirChangedEvent(wxCommandEvent& event);
  void OnDirMenuEvent(wxCommandEvent& event);
  void OnDefaultDirEvent(wxCommandEvent& event);
  void OnLastDirEvent(wxCommandEvent& event);
  void OnBrowseEvent(wxCommandEvent& event);
  void OnSettingsEvent(wxCommandEvent& event);
  void OnSelectAllEvent(wxCommandEvent& event);
  void OnDeselectAllEvent(wxCommandEvent& event);
  void OnSaveEvent(wxCommandEvent& event);
  void OnImportZalmicEvent(wxCommandEvent& event);
  void OnImportOrdavinEvent(wxCommandEvent& event);
  void InsertFactColumns();
  void FillLocalFacts();
  void OnHeaderRightClick(wxListEvent& event);
  void OnItemRightClick(wxListEvent& event);

  std::vector<std::string> rowKeys_;  // fileList key of each row, by item data
  SWFFileInfo noRecord_;              // what a row without a record reads (no list, bad row)
  SaveRun* run_ = nullptr;            // the save run under way
  bool closeAfterRun_ = false;        // closing was asked for during the run
  std::int64_t nTotal_ = 0;           // total of the current download
  int barShift_ = 0;                  // the bar counts nTotal_ >> barShift_
  long clickedRow_ = -1;              // row whose check box the user is clicking
  CFlashPreview preview_;             // re-creates the preview control (flashCtrl)
  std::vector<std::vector<MovieFileOutcome>> rowFiles_;  // by row: the files its movie loads
  UINT hiddenFactColumns_ = 0;        // one bit per fact column

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex
