// The Save dialog's fact columns (version, ActionScript, stage, frame rate, files loaded), which
// the user hides or shows from the list header's menu, and the list of a movie's files.
#include <wx/listctrl.h>
#include <wx/menu.h>

#include <cstdio>

#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "platform/text/res_text.h"
#include "platform/text/text.h"
#include "res/strings.h"
#include "save_engine/target_naming.h"
#include "save_dialog/dlg_save.h"
#include "settings/profile.h"

namespace trovex {
namespace {

constexpr int kFactWidths[kFactColumnCount] = {50, 50, 80, 70, 80};
// The files a list shows at most; the rest are counted.
constexpr std::size_t kFilesShown = 40;

std::string FrameRateText(double rate) {
  char number[32];
  std::snprintf(number, sizeof number, "%g", rate);
  return FormatResString(IDS_TROVEX_FACT_FRAME_RATE, number);
}

}  // namespace

void CDlgSave::InsertFactColumns() {
  hiddenFactColumns_ = ReadHiddenFactColumns();
  const std::vector<std::string> headings = SplitLines(LoadResString(IDS_TROVEX_FACT_COLUMNS));
  for (int i = 0; i < kFactColumnCount; ++i) {
    const std::string heading = i < static_cast<int>(headings.size()) ? headings[i] : std::string();
    const bool shown = !(hiddenFactColumns_ & (1u << i));
    listCtrl->InsertColumn(kColumnVersion + i, ToWx(heading), i == kColumnFiles - kColumnVersion ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                           shown ? kFactWidths[i] : 0);
  }
  rowFiles_.assign(fileList.GetCount(), {});
}

// A movie with a local copy shows its facts at once; the others once they are saved.
void CDlgSave::FillLocalFacts() {
  if ((hiddenFactColumns_ & 0xF) == 0xF) return;  // no fact column to fill
  for (int row = 0; row < listCtrl->GetItemCount(); ++row) {
    const SWFFileInfo& info = RowRecord(row);
    if (!info.strLocalFile.empty()) SetItemFacts(row, swf::ReadMovieSummaryOfFile(info.strLocalFile));
  }
}

void CDlgSave::SetItemFacts(int nItem, const swf::MovieSummary& facts) {
  if (!listCtrl || !facts.known()) return;
  listCtrl->SetItem(nItem, kColumnVersion, ToWx(std::to_string(facts.version)));
  listCtrl->SetItem(nItem, kColumnActionScript,
                    ToWx(LoadResString(facts.actionScript == 3 ? IDS_TROVEX_FACT_AS3 : IDS_TROVEX_FACT_AS12)));
  listCtrl->SetItem(nItem, kColumnStage, ToWx(FormatResString(IDS_TROVEX_FACT_STAGE, facts.stageWidth, facts.stageHeight)));
  listCtrl->SetItem(nItem, kColumnFrameRate, ToWx(FrameRateText(facts.frameRate)));
}

void CDlgSave::AddItemFile(int nItem, const MovieFileOutcome& outcome) {
  if (nItem < 0 || nItem >= static_cast<int>(rowFiles_.size())) return;
  std::vector<MovieFileOutcome>& files = rowFiles_[nItem];
  // A new run of the row starts its list afresh.
  for (auto it = files.begin(); it != files.end(); ++it)
    if (it->address == outcome.address) {
      files.erase(it);
      break;
    }
  files.push_back(outcome);
  int saved = 0;
  for (const MovieFileOutcome& file : files) saved += file.status == MovieFileStatus::kSaved;
  if (listCtrl)
    listCtrl->SetItem(nItem, kColumnFiles, ToWx(FormatResString(IDS_TROVEX_FILES_COUNT, saved, static_cast<int>(files.size()))));
}

const std::vector<MovieFileOutcome>& CDlgSave::ItemFiles(int nItem) const {
  static const std::vector<MovieFileOutcome> none;
  return nItem >= 0 && nItem < static_cast<int>(rowFiles_.size()) ? rowFiles_[nItem] : none;
}

void CDlgSave::ShowItemFiles(int nItem) {
  const std::vector<MovieFileOutcome>& files = ItemFiles(nItem);
  std::string text = FormatResString(IDS_TROVEX_FILES_TITLE, StripNameCounter(RowRecord(nItem).strFileName).c_str());
  text += "\n\n";
  if (files.empty()) text += LoadResString(IDS_TROVEX_FILES_NONE);
  for (std::size_t i = 0; i < files.size() && i < kFilesShown; ++i) {
    const MovieFileOutcome& file = files[i];
    text += LoadResString(MovieFileStatusText(file.status)) + "  ";
    text += file.status == MovieFileStatus::kSaved ? file.target : file.address;
    if (!file.error.empty()) text += "  " + file.error;
    text += "\n";
  }
  if (files.size() > kFilesShown) text += "...\n";
  AppMessageBox(GetWindow(), text, MB_OK | MB_ICONINFORMATION);
}

void CDlgSave::ShowFactColumn(int i, bool show) {
  if (i < 0 || i >= kFactColumnCount || !listCtrl) return;
  if (show)
    hiddenFactColumns_ &= ~(1u << i);
  else
    hiddenFactColumns_ |= 1u << i;
  listCtrl->SetColumnWidth(kColumnVersion + i, show ? kFactWidths[i] : 0);
  WriteHiddenFactColumns(hiddenFactColumns_);
  if (show) FillLocalFacts();
}

bool CDlgSave::IsFactColumnShown(int i) const { return !(hiddenFactColumns_ & (1u << i)); }

void CDlgSave::OnHeaderRightClick(wxListEvent&) {
  if (bSaving || !listCtrl) return;
  const std::vector<std::string> headings = SplitLines(LoadResString(IDS_TROVEX_FACT_COLUMNS));
  wxMenu menu;
  for (int i = 0; i < kFactColumnCount && i < static_cast<int>(headings.size()); ++i)
    menu.AppendCheckItem(wxID_HIGHEST + 1 + i, ToWx(headings[i]))->Check(IsFactColumnShown(i));
  const int chosen = GetWindow()->GetPopupMenuSelectionFromUser(menu) - (wxID_HIGHEST + 1);
  if (chosen >= 0 && chosen < kFactColumnCount) ShowFactColumn(chosen, !IsFactColumnShown(chosen));
}

void CDlgSave::OnItemRightClick(wxListEvent& event) {
  if (!bSaving && event.GetIndex() >= 0) ShowItemFiles(static_cast<int>(event.GetIndex()));
}

}  // namespace trovex
