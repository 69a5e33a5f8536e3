#include "dialogs/browse_folder.h"

#include <wx/textctrl.h>

#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "dialogs/dlg_directory_picker.h"

namespace trovex {

void BrowseFolderInto(CDialog& dlg, int editId) {
  auto* edit = dlg.GetDlgItemAs<wxTextCtrl>(editId);
  if (!edit) return;
  // No owner of its own: the dialog base puts it over the calling dialog.
  CDlgDirectoryPicker picker;
  picker.SetPath(FromWx(edit->GetValue()));
  if (picker.DoModal() != IDOK) return;
  edit->SetValue(ToWx(picker.GetPath()));
  dlg.GotoDlgCtrl(edit);
}

}  // namespace trovex
