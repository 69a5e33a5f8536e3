#include "save_dialog/dlg_save.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/dcclient.h>
#include <wx/textctrl.h>

#include <memory>

#include "companion/companion.h"
#include "framework/menu.h"
#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "platform/text/res_text.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "save_engine/format.h"
#include "platform/text/system_message.h"
#include "res/strings.h"
#include "save_engine/target_naming.h"
#include "dialogs/browse_folder.h"
#include "settings/profile.h"
#include "save_dialog/profile_placement.h"

namespace trovex {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}


std::string QuoteCompanionArgument(const std::string& path) {
  // Inside quotes, backslashes count only in front of a quote: such runs are doubled and the
  // quote gets one of its own, as the receiving side splits arguments. Stepped by character,
  // so a trail byte 0x5C of a double-byte character is no backslash.
  std::string out = "\"";
  size_t backslashes = 0;
  for (size_t pos = 0; pos < path.size();) {
    const size_t next = MbNextChar(path, pos);
    const std::string_view ch(path.data() + pos, next - pos);
    pos = next;
    if (ch == "\\") {
      ++backslashes;
      continue;
    }
    out.append(ch == "\"" ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += ch;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

wxBEGIN_EVENT_TABLE(CDlgSave, CResizableDialog)
  EVT_TEXT(IDC_SAVE_DIR, CDlgSave::OnDirChangedEvent)
  EVT_BUTTON(IDC_SAVE_DIR_MENU, CDlgSave::OnDirMenuEvent)
  EVT_MENU(WxCommandId(ID_DIR_DEFAULT), CDlgSave::OnDefaultDirEvent)
  EVT_MENU(WxCommandId(ID_DIR_LAST), CDlgSave::OnLastDirEvent)
  EVT_MENU(WxCommandId(ID_DIR_BROWSE), CDlgSave::OnBrowseEvent)
  EVT_BUTTON(IDC_SAVE_SETTINGS, CDlgSave::OnSettingsEvent)
  EVT_BUTTON(IDC_SAVE_SELECT_ALL, CDlgSave::OnSelectAllEvent)
  EVT_BUTTON(IDC_SAVE_DESELECT_ALL, CDlgSave::OnDeselectAllEvent)
  EVT_BUTTON(IDC_SAVE_SAVE, CDlgSave::OnSaveEvent)
  EVT_SIZE(CDlgSave::OnSize)
  EVT_LIST_ITEM_SELECTED(IDC_SAVE_LIST, CDlgSave::OnListSelectionEvent)
  EVT_LIST_ITEM_DESELECTED(IDC_SAVE_LIST, CDlgSave::OnListSelectionEvent)
  EVT_LIST_ITEM_CHECKED(IDC_SAVE_LIST, CDlgSave::OnListCheckEvent)
  EVT_LIST_ITEM_UNCHECKED(IDC_SAVE_LIST, CDlgSave::OnListCheckEvent)
  EVT_BUTTON(IDC_SAVE_IMPORT_ZALMIC, CDlgSave::OnImportZalmicEvent)
  EVT_BUTTON(IDC_SAVE_IMPORT_ORDAVIN, CDlgSave::OnImportOrdavinEvent)
  EVT_LIST_COL_RIGHT_CLICK(IDC_SAVE_LIST, CDlgSave::OnHeaderRightClick)
  EVT_LIST_ITEM_RIGHT_CLICK(IDC_SAVE_LIST, CDlgSave::OnItemRightClick)
wxEND_EVENT_TABLE()

CDlgSave::CDlgSave(wxWindow* pParentWnd, PlayerEngine* player)
    : CResizableDialog(IDD_SAVE, pParentWnd, std::make_unique<ProfilePlacementStore>()),
      preview_(PreviewSetup{player}) {}

CDlgSave::~CDlgSave() = default;

wxWindow* CDlgSave::CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) {
  if (ct.nId == IDC_SAVE_PREVIEW)
    if (wxWindow* flash = CreateTemplatePreview(preview_.GetSetup(), parent, GetTemplateId(), ct.nId, rect)) return flash;
  if (ct.nId != IDC_SAVE_LIST) return CResizableDialog::CreateControl(ct, parent, rect);
  long style = wxLC_REPORT;
  if (ct.style & TS_BORDER) style |= wxBORDER_THEME;
  if (!(ct.style & TS_MULTISELECT)) style |= wxLC_SINGLE_SEL;
  if (ct.style & TS_NOSORTHEADER) style |= wxLC_NO_SORT_HEADER;
  listCtrl = new CFileListCtrl(parent, ct.nId, rect.GetPosition(), rect.GetSize(), style);
  if (wxWindow* body = listCtrl->GetBodyWindow()) {
    body->Bind(wxEVT_LEFT_DOWN, &CDlgSave::OnListClick, this);
    body->Bind(wxEVT_LEFT_DCLICK, &CDlgSave::OnListClick, this);
    // A virtual list may change a range of rows (Shift-click, Ctrl-A) without an event per
    // row: the preview looks at the selection again once the click or key is done.
    body->Bind(wxEVT_LEFT_UP, &CDlgSave::OnListInputDone, this);
    body->Bind(wxEVT_KEY_UP, &CDlgSave::OnListInputDone, this);
    body->Bind(wxEVT_KEY_DOWN, &CDlgSave::OnListKey, this);
  }
  return listCtrl;
}

void CDlgSave::DoDataExchange(CDataExchange& dx) {
  CResizableDialog::DoDataExchange(dx);
  // List 1000 and the preview are bound when they are created; no data moves.
}

bool CDlgSave::OnInitDialog() {
  CResizableDialog::OnInitDialog();
  flashCtrl = GetDlgItem(IDC_SAVE_PREVIEW);
  nPreviewItem = -1;
  nSavingItem = -1;
  bSaving = 0;

  listCtrl->EnableCheckBoxes(true);
  const std::vector<std::string> headings = SplitLines(LoadResString(IDS_LIST_COLUMNS));
  const wxListColumnFormat formats[kColumnCount] = {wxLIST_FORMAT_LEFT, wxLIST_FORMAT_RIGHT,
                                                    wxLIST_FORMAT_LEFT, wxLIST_FORMAT_LEFT};
  for (int i = 0; i < kColumnCount; ++i) {
    const std::string heading = i < static_cast<int>(headings.size()) ? headings[i] : std::string();
    listCtrl->InsertColumn(i, ToWx(heading), formats[i], static_cast<int>(ReadColumnWidth(i)));
  }
  InsertFactColumns();
  FillList();
  FillLocalFacts();

  ChooseFirstDirectory();
  OnDirChanged();

  if (auto* progress = GetDlgItemAs<wxGauge>(IDC_SAVE_PROGRESS)) progress->SetValue(0);
  SetGripVisible(TRUE);
  ResetPreview();

  AnchorControl(IDC_SAVE_DIR_LABEL, TOP_LEFT);
  AnchorControl(IDC_SAVE_DIR, TOP_LEFT, TOP_RIGHT);
  AnchorControl(IDC_SAVE_DIR_MENU, TOP_RIGHT);
  AnchorControl(IDC_SAVE_LIST, TOP_LEFT, Anchor{50, 100});
  AnchorControl(IDC_SAVE_IMPORT_ZALMIC, BOTTOM_RIGHT, BOTTOM_RIGHT);
  AnchorControl(IDC_SAVE_IMPORT_ORDAVIN, BOTTOM_RIGHT, BOTTOM_RIGHT);
  UpdateImportButtons();
  AnchorControl(IDC_SAVE_SETTINGS, BOTTOM_LEFT);
  AnchorControl(IDC_SAVE_SELECT_ALL, BOTTOM_LEFT);
  AnchorControl(IDC_SAVE_DESELECT_ALL, BOTTOM_LEFT);
  AnchorControl(IDC_SAVE_SAVE, BOTTOM_RIGHT);
  AnchorControl(IDC_SAVE_STATUS, BOTTOM_LEFT);
  AnchorControl(IDC_SAVE_PROGRESS, BOTTOM_LEFT, BOTTOM_RIGHT);

  EnableSavedPlacement(kSectionSave, FALSE);
  return true;
}

void CDlgSave::FillList() {
  rowKeys_.clear();
  rowKeys_.reserve(fileList.GetCount());
  const wxString ready = ToWx(LoadResString(IDS_STATUS_READY));
  // The list learns its row count once, however many movies the page has.
  listCtrl->ReserveItems(fileList.GetCount());
  listCtrl->BeginBatch();
  long row = 0;
  for (const auto& [key, info] : fileList) {
    const int image = info.nSize == -1 ? kImageGlobe : kImageDocument;
    listCtrl->InsertItem(row, ToWx(StripNameCounter(info.strFileName)), image);
    listCtrl->SetItem(row, kColumnSize, ToWx(FileSizeText(info.nSize)));
    listCtrl->SetItem(row, kColumnStatus, ready);
    listCtrl->SetItem(row, kColumnURL, ToWx(key));
    listCtrl->SetItemData(row, static_cast<long>(rowKeys_.size()));
    listCtrl->CheckItem(row, true);
    rowKeys_.push_back(key);
    ++row;
  }
  listCtrl->EndBatch();
  FitSizeColumn();
}

void CDlgSave::ChooseFirstDirectory() {
  if (settings.nDirChoice != 0)
    OnDefaultDir();
  else
    OnLastDir();
  if (!GetDlgItemText(IDC_SAVE_DIR).empty()) return;
  std::string documents;
  if (!SpecialFolderPath(CSIDL_PERSONAL, &documents)) {
    char text[256];
    FormatSystemError(text, sizeof text);
    AppMessageBox(GetWindow(), text, MB_OK | MB_ICONERROR);
    return;
  }
  SetDlgItemText(IDC_SAVE_DIR, documents);
}

void CDlgSave::OnDestroy() {
  if (listCtrl)
    for (int i = 0; i < kColumnCount; ++i)
      WriteColumnWidth(i, static_cast<UINT>(listCtrl->GetColumnWidth(i)));
  CResizableDialog::OnDestroy();
  listCtrl = nullptr;
  flashCtrl = nullptr;
}

// ---- rows ---------------------------------------------------------------------------------

void CDlgSave::SetItemSize(int nItem, std::int64_t nSize) {
  if (!listCtrl) return;
  const wxString text = ToWx(FileSizeText(nSize));
  listCtrl->SetItem(nItem, kColumnSize, text);
  FitSizeColumn();
}

// A size is never cut to "1 ...": stored widths are pixels of another session's font (large
// fonts make them too narrow), so the column grows to its texts and heading as the list
// draws them.
void CDlgSave::FitSizeColumn() {
  wxWindow* body = listCtrl->GetBodyWindow();
  wxClientDC dc(body ? body : listCtrl);
  dc.SetFont((body ? body : listCtrl)->GetFont());
  wxListItem heading;
  heading.SetMask(wxLIST_MASK_TEXT);
  int widest = listCtrl->GetColumn(kColumnSize, heading) ? dc.GetTextExtent(heading.GetText()).x : 0;
  for (long row = 0; row < listCtrl->GetItemCount(); ++row)
    widest = std::max(widest, dc.GetTextExtent(listCtrl->GetItemText(row, kColumnSize)).x);
  const int need = widest + 2 * dc.GetCharWidth() + 8;
  if (listCtrl->GetColumnWidth(kColumnSize) < need) listCtrl->SetColumnWidth(kColumnSize, need);
}

void CDlgSave::SetItemStatus(int nItem, unsigned nID) {
  if (listCtrl) listCtrl->SetItem(nItem, kColumnStatus, ToWx(LoadResString(nID)));
}

void CDlgSave::SetStatusText(const char* pszText) {
  SetDlgItemText(IDC_SAVE_STATUS, pszText ? pszText : "");
}

void CDlgSave::SelectOnly(int nItem) {
  if (!listCtrl) return;
  const int mask = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED;
  for (long row = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = listCtrl->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    listCtrl->SetItemState(row, 0, mask);
  const long focused = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
  if (focused != -1) listCtrl->SetItemState(focused, 0, wxLIST_STATE_FOCUSED);
  listCtrl->SetItemState(nItem, mask, mask);
}

SWFFileInfo& CDlgSave::RowRecord(int nItem) {
  noRecord_ = SWFFileInfo();
  if (!listCtrl || nItem < 0 || nItem >= listCtrl->GetItemCount()) return noRecord_;
  const wxUIntPtr index = listCtrl->GetItemData(nItem);
  if (index >= rowKeys_.size()) return noRecord_;
  return fileList[rowKeys_[index]];
}

void CDlgSave::UpdateImportButtons() {
  EnableDlgItem(IDC_SAVE_IMPORT_ZALMIC, IsCompanionInstalled(Companion::Zalmic) != FALSE);
  EnableDlgItem(IDC_SAVE_IMPORT_ORDAVIN, IsCompanionInstalled(Companion::Ordavin) != FALSE);
}

// ---- check boxes --------------------------------------------------------------------------

void CDlgSave::OnListClick(wxMouseEvent& event) {
  event.Skip();
  clickedRow_ = -1;
  if (!listCtrl || !listCtrl->IsInputEnabled() || bSaving) return;
  int flags = 0;
  const long row = listCtrl->HitTest(event.GetPosition(), flags);
  if (row == -1 || !listCtrl->GetItemState(row, wxLIST_STATE_SELECTED)) return;
  // Only a click on the row's check box toggles it: the list does that itself right after
  // this, and the check event then carries the new state to the other selected rows.
  clickedRow_ = row;
  listCtrl->CallAfter([this] { clickedRow_ = -1; });
}

void CDlgSave::OnListInputDone(wxEvent& event) {
  event.Skip();
  if (listCtrl) listCtrl->CallAfter([this] { OnItemChanged(); });
}

void CDlgSave::OnListCheckEvent(wxListEvent& event) {
  event.Skip();
  const long row = event.GetIndex();
  if (!listCtrl || row != clickedRow_) return;
  clickedRow_ = -1;
  const bool checked = listCtrl->IsItemChecked(row);
  for (long other = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); other != -1;
       other = listCtrl->GetNextItem(other, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    if (other != row) listCtrl->CheckItem(other, checked);
}

void CDlgSave::OnListKey(wxKeyEvent& event) {
  // Space is the keyboard's click on the focused row's check box; the list itself would
  // toggle the row's selection instead.
  if (event.GetKeyCode() != WXK_SPACE || event.HasAnyModifiers() || !listCtrl ||
      !listCtrl->IsInputEnabled() || bSaving) {
    event.Skip();
    return;
  }
  const long row = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
  if (row == -1) return;
  const bool checked = !listCtrl->IsItemChecked(row);
  if (listCtrl->GetItemState(row, wxLIST_STATE_SELECTED))
    for (long other = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); other != -1;
         other = listCtrl->GetNextItem(other, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
      listCtrl->CheckItem(other, checked);
  listCtrl->CheckItem(row, checked);
}

void CDlgSave::OnSelectAll() {
  if (!listCtrl) return;
  for (long row = 0; row < listCtrl->GetItemCount(); ++row) listCtrl->CheckItem(row, true);
}

void CDlgSave::OnDeselectAll() {
  if (!listCtrl) return;
  for (long row = 0; row < listCtrl->GetItemCount(); ++row) listCtrl->CheckItem(row, false);
}

// ---- directory ----------------------------------------------------------------------------

void CDlgSave::OnDirChanged() {
  strSaveDir = GetDlgItemText(IDC_SAVE_DIR);
  MbTrim(strSaveDir, kWhiteSpace);
  EnableDlgItem(IDC_SAVE_SAVE, IsValidTargetPath(strSaveDir));
}

void CDlgSave::PutDirectory(const std::string& strDir) {
  if (strDir.empty()) return;
  SetDlgItemText(IDC_SAVE_DIR, strDir);
  GotoDlgCtrl(GetDlgItem(IDC_SAVE_DIR));
}

void CDlgSave::OnDefaultDir() {
  PutDirectory(AppProfile().GetProfileString(kSectionTrovex, kValueDefaultDir, ""));
}

void CDlgSave::OnLastDir() {
  PutDirectory(AppProfile().GetProfileString(kSectionTrovex, kValueLastSaveDir, ""));
}

void CDlgSave::OnDirMenu() {
  wxWindow* button = GetDlgItem(IDC_SAVE_DIR_MENU);
  std::unique_ptr<wxMenu> menu = LoadPopupMenu(IDR_DIRECTORY_MENU, 0);
  if (!button || !menu || !GetWindow()) return;
  // Its top-left corner at the button's top-right corner.
  const wxRect rect = button->GetRect();
  GetWindow()->PopupMenu(menu.get(), rect.GetTopRight() + wxPoint(1, 0));
}

void CDlgSave::OnSettings() { settings.DoModal(); }

// ---- companions ---------------------------------------------------------------------------

void CDlgSave::OnImportZalmic() {
  if (!listCtrl) return;
  int nChecked = 0;
  int nSaved = 0;
  for (long row = 0; row < listCtrl->GetItemCount(); ++row) {
    if (!listCtrl->IsItemChecked(row)) continue;
    ++nChecked;
    const SWFFileInfo& info = RowRecord(static_cast<int>(row));
    if (!info.bSaved) continue;
    ++nSaved;
    if (PathFileExistsA(info.strSavedPath.c_str())) {
      LaunchCompanion(Companion::Zalmic, QuoteCompanionArgument(info.strSavedPath).c_str());
      return;
    }
  }
  if (nChecked == 0)
    AppMessageBoxRes(GetWindow(), IDS_IMPORT_NOTHING_CHECKED, MB_OK);
  else if (nSaved == 0)
    AppMessageBoxRes(GetWindow(), IDS_IMPORT_NOTHING_SAVED, MB_OK);
}

void CDlgSave::OnImportOrdavin() {
  if (strFirstSaved.empty())
    LaunchCompanion(Companion::Ordavin, nullptr);
  else
    LaunchCompanion(Companion::Ordavin, QuoteCompanionArgument(strFirstSaved).c_str());
}

// ---- event table glue ---------------------------------------------------------------------

void CDlgSave::OnDirChangedEvent(wxCommandEvent&) { OnDirChanged(); }
void CDlgSave::OnDirMenuEvent(wxCommandEvent&) { OnDirMenu(); }
void CDlgSave::OnDefaultDirEvent(wxCommandEvent&) { OnDefaultDir(); }
void CDlgSave::OnLastDirEvent(wxCommandEvent&) { OnLastDir(); }
void CDlgSave::OnBrowseEvent(wxCommandEvent&) { BrowseFolderInto(*this, IDC_SAVE_DIR); }
void CDlgSave::OnSettingsEvent(wxCommandEvent&) { OnSettings(); }
void CDlgSave::OnSelectAllEvent(wxCommandEvent&) { OnSelectAll(); }
void CDlgSave::OnDeselectAllEvent(wxCommandEvent&) { OnDeselectAll(); }
void CDlgSave::OnSaveEvent(wxCommandEvent&) { OnSave(); }
void CDlgSave::OnListSelectionEvent(wxListEvent& event) {
  event.Skip();
  OnItemChanged();
}
void CDlgSave::OnImportZalmicEvent(wxCommandEvent&) { OnImportZalmic(); }
void CDlgSave::OnImportOrdavinEvent(wxCommandEvent&) { OnImportOrdavin(); }

}  // namespace trovex
