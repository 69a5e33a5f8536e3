#include "dialogs/dlg_file_exists.h"

#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "res/strings.h"
#include "framework/wx_text.h"
#include "platform/shell/icons.h"
#include "platform/text/system_message.h"
#include "save_engine/format.h"

#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/statbmp.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace trovex {

namespace {

// The save-file dialog of Rename.
constexpr const char* kRenameDefaultExt = "swf";

// The framework's filter ends in "||"; the toolkit wants the pairs only.
wxString ToolkitFilter(const std::string& filter) {
  std::string f = filter;
  while (!f.empty() && f.back() == '|') f.pop_back();
  return Utf8ToWx(f.c_str());
}

// "&" is a mnemonic marker in a static's text: a file name shows it doubled.
std::string EscapeMnemonics(const std::string& text) {
  std::string out;
  for (char c : text) {
    out.push_back(c);
    if (c == '&') out.push_back('&');
  }
  return out;
}

using Measure = std::function<int(const wxString&)>;

// Lines of at most `width`, filled greedily. A full line breaks after its last space or hyphen
// when that keeps most of the line, otherwise between two characters.
std::vector<wxString> WrapByCharacter(const wxString& text, int width, const Measure& measure) {
  std::vector<wxString> lines;
  wxString line;
  for (wxUniChar ch : text) {
    wxString longer = line + ch;
    if (line.empty() || measure(longer) <= width) {
      line = longer;
      continue;
    }
    const size_t space = line.find_last_of(wxS(" -"));
    if (space != wxString::npos && space + 1 > line.length() / 2 && space + 1 < line.length()) {
      wxString rest = line.Mid(space + 1) + ch;
      if (measure(rest) <= width) {
        lines.push_back(line.Left(space + 1));
        line = rest;
        continue;
      }
    }
    lines.push_back(line);
    line = ch;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

wxString JoinLines(const std::vector<wxString>& lines) {
  wxString out;
  for (const wxString& line : lines) {
    if (!out.empty()) out += '\n';
    out += line;
  }
  return out;
}

// The name with only `keep` of its characters, more of them from the end, where the type is.
wxString ShortenMiddle(const wxString& name, size_t keep) {
  const size_t head = keep / 2;
  return name.Left(head) + wxString::FromUTF8("\xE2\x80\xA6") + name.Right(keep - head);
}

// The static's own wrapping keeps words whole and cuts what does not fit its height, so the
// message is broken here whenever it needs more than one line.
wxString FitMessageToControl(wxWindow& ctrl, const wxString& before, const wxString& name,
                             const wxString& after) {
  const wxString whole = before + name + after;
  const wxSize extent = ctrl.GetTextExtent(whole);
  // A little slack: the toolkit's layout may round differently from the measurement.
  const int width = ctrl.GetClientSize().x - 2;
  if (extent.x <= width || extent.y <= 0) return whole;
  const int maxLines = std::max(1, ctrl.GetClientSize().y / extent.y);
  return FitNameMessage(before, name, after, width, maxLines,
                        [&ctrl](const wxString& s) { return ctrl.GetTextExtent(s).x; });
}

}  // namespace

wxString FitNameMessage(const wxString& before, const wxString& name, const wxString& after,
                        int nWidth, int nMaxLines, const Measure& measure) {
  const size_t maxLines = static_cast<size_t>(std::max(1, nMaxLines));
  auto compose = [&](const wxString& shown) {
    return WrapByCharacter(before + shown + after, nWidth, measure);
  };
  std::vector<wxString> best = compose(name);
  if (best.size() <= maxLines) return JoinLines(best);
  // The longest shortened name that fits; with none, the shortest one is still the best try.
  size_t fits = 0, fails = name.length();
  best = compose(ShortenMiddle(name, 0));
  while (fails - fits > 1) {
    const size_t keep = fits + (fails - fits) / 2;
    std::vector<wxString> lines = compose(ShortenMiddle(name, keep));
    if (lines.size() <= maxLines) {
      fits = keep;
      best = std::move(lines);
    } else {
      fails = keep;
    }
  }
  return JoinLines(best);
}

wxBEGIN_EVENT_TABLE(CDlgFileExists, CDialog)
  EVT_BUTTON(IDC_FE_AUTO_RENAME, CDlgFileExists::OnAutoRename)
  EVT_BUTTON(IDC_FE_RENAME, CDlgFileExists::OnRename)
  EVT_BUTTON(IDC_FE_OVERWRITE, CDlgFileExists::OnOverwrite)
  EVT_BUTTON(IDC_FE_SKIP, CDlgFileExists::OnSkip)
  EVT_CHECKBOX(IDC_FE_APPLY_TO_ALL, CDlgFileExists::OnApplyToAll)
wxEND_EVENT_TABLE()

CDlgFileExists::CDlgFileExists() : CDialog(IDD_FILE_EXISTS, nullptr) {}

void CDlgFileExists::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Check(dx, IDC_FE_APPLY_TO_ALL, bApplyToAll);
}

bool CDlgFileExists::OnInitDialog() {
  CDialog::OnInitDialog();

  // The template text holds "%s" for the name; the name is inserted as text, never as a format.
  std::string text = GetDlgItemText(IDC_FE_MESSAGE);
  std::size_t at = text.find("%s");
  wxWindow* message = GetDlgItem(IDC_FE_MESSAGE);
  if (at != std::string::npos && message) {
    wxString fitted = FitMessageToControl(*message, ToWx(text.substr(0, at)),
                                          ToWx(PathStripPath(strExistingPath)),
                                          ToWx(text.substr(at + 2)));
    SetDlgItemText(IDC_FE_MESSAGE, EscapeMnemonics(FromWx(fitted)));
  }

  if (strSourcePath.empty()) {
    ShowFile("unknown.swf", IDC_FE_SOURCE_ICON, 0, 0);
    SetDlgItemText(IDC_FE_SOURCE_SIZE, "?");
    SetDlgItemText(IDC_FE_SOURCE_DATE, "?");
  } else {
    ShowFile(strSourcePath, IDC_FE_SOURCE_ICON, IDC_FE_SOURCE_SIZE, IDC_FE_SOURCE_DATE);
  }
  ShowFile(strExistingPath, IDC_FE_EXISTING_ICON, IDC_FE_EXISTING_SIZE, IDC_FE_EXISTING_DATE);
  EnableDlgItem(IDC_FE_RENAME, !bApplyToAll);
  return true;
}

void CDlgFileExists::ShowFile(const std::string& path, int iconId, int sizeId, int dateId) {
  if (auto* icon = GetDlgItemAs<wxStaticBitmap>(iconId)) {
    wxSize box = icon->GetSize();
    int size = std::min(box.GetWidth(), box.GetHeight());
    wxBitmap bitmap = GetFileTypeIcon(path, size >= 32 ? 32 : size);
    if (bitmap.IsOk()) icon->SetBitmap(bitmap);
  }
  if (sizeId == 0) return;
  CFileStatus status;
  if (GetFileStatus(path.c_str(), status)) {
    SetDlgItemText(sizeId, FileSizeText(status.m_size));
    SetDlgItemText(dateId, FileDateText(status.m_mtime));
  } else {
    // Gone meanwhile: nothing to tell, as for a movie still to be downloaded.
    SetDlgItemText(sizeId, "?");
    SetDlgItemText(dateId, "?");
  }
}

void CDlgFileExists::OnOK() {}

void CDlgFileExists::OnCancel() { EndWith(FILE_EXISTS_SKIP); }

void CDlgFileExists::EndWith(int nResult) {
  UpdateData(true);
  EndDialog(nResult);
}

void CDlgFileExists::OnAutoRename(wxCommandEvent&) { EndWith(FILE_EXISTS_AUTO_RENAME); }
void CDlgFileExists::OnOverwrite(wxCommandEvent&) { EndWith(FILE_EXISTS_OVERWRITE); }
void CDlgFileExists::OnSkip(wxCommandEvent&) { EndWith(FILE_EXISTS_SKIP); }

void CDlgFileExists::OnApplyToAll(wxCommandEvent&) {
  EnableDlgItem(IDC_FE_RENAME, !IsDlgButtonChecked(IDC_FE_APPLY_TO_ALL));
}

void CDlgFileExists::OnRename(wxCommandEvent&) {
  UpdateData(true);
  // Rename never goes with apply-to-all (the button is disabled then).
  if (bApplyToAll) return;
  std::string folder = PathRemoveFileSpec(strExistingPath);
  std::string name = PathStripPath(strExistingPath);
  for (;;) {
    ChosenPathDialog dlg(GetWindow(), ResStringToWx(IDS_TROVEX_SAVE_AS_TITLE), ToWx(folder), ToWx(name),
                         ToolkitFilter(LoadResStringUtf8(IDS_TROVEX_RENAME_FILTER)), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dlg.ShowModal() != wxID_OK) return;  // the conflict dialog stays open
    std::string chosen = FromWx(dlg.ChosenPath());
    if (chosen.empty()) return;
    if (*PathFindExtensionA(PathStripPath(chosen).c_str()) == '\0') {
      std::string with_ext = chosen + "." + kRenameDefaultExt;
      if (PathFileExistsA(with_ext.c_str())) {
        // The dialog confirmed the name as typed, not this one: ask again with the full name.
        folder = PathRemoveFileSpec(with_ext);
        name = PathStripPath(with_ext);
        continue;
      }
      chosen = with_ext;
    }
    DWORD attributes = GetFileAttributesA(chosen.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
      // A read-only file (or a folder) cannot be the new name: say so and choose again.
      AppMessageBox(GetWindow(), chosen + "\n" + SystemMessageText(ERROR_ACCESS_DENIED),
                    MB_OK | MB_ICONERROR);
      folder = PathRemoveFileSpec(chosen);
      name = PathStripPath(chosen);
      continue;
    }
    strNewPath = chosen;
    EndDialog(FILE_EXISTS_RENAME);
    return;
  }
}

FileExistsAnswer AskFileExists(const std::string& strExistingPath, const std::string& strSourcePath) {
  // No owner of its own: the dialog base puts it over the Save dialog.
  CDlgFileExists dlg;
  dlg.strExistingPath = strExistingPath;
  dlg.strSourcePath = strSourcePath;
  FileExistsAnswer answer;
  answer.nResult = dlg.DoModal();
  answer.strNewPath = dlg.strNewPath;
  answer.bApplyToAll = dlg.bApplyToAll;
  return answer;
}

BOOL SettleTargetConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                          ConflictMemory& memory) {
  return SettleTargetConflict(target, info, nPolicy, memory, AskFileExists);
}

}  // namespace trovex
