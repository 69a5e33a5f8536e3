#include "dialogs/target_directory.h"

#include "framework/message_box.h"
#include "res/strings.h"
#include "save_engine/target_naming.h"

namespace trovex {

BOOL EnsureTargetDirectory(const std::string& path, BOOL bInteractive, wxWindow* owner) {
  DirectoryPrompts prompts{
      [owner](const std::string& p) {
        return AppMessageBoxRes(owner, IDS_CREATE_DIR_QUESTION, MB_YESNO | MB_ICONQUESTION,
                                p.c_str()) == IDYES;
      },
      [owner](const std::string& text) {
        AppMessageBoxRes(owner, IDS_CREATE_DIR_FAILED, MB_OK | MB_ICONERROR, text.c_str());
      },
  };
  return EnsureTargetDirectory(path, bInteractive, prompts);
}

}  // namespace trovex
