// The shared browse operation of the Save and Settings dialogs: runs the folder picker from
// the text of the dialog's directory edit and, on OK, puts the chosen path into that edit and
// focuses it (its text selected). Cancel changes nothing.
#pragma once

#include "framework/dialog.h"

namespace trovex {

void BrowseFolderInto(CDialog& dlg, int editId);

}  // namespace trovex
