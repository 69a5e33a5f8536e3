// The save run of the Save dialog: button 1034 saves the checked movies (and pauses a run).
#include "ui/dlg_save.h"

namespace trovex {

// The save run (copy or download of every checked movie, Pause, statuses, progress) lands
// with the download session; until then the button does nothing.
void CDlgSave::OnSave() {}

}  // namespace trovex
