#include "platform/shell/icons.h"

#include <wx/artprov.h>
#include <wx/filename.h>
#include <wx/iconloc.h>
#include <wx/image.h>
#include <wx/mimetype.h>

#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "platform/shell/shell.h"

namespace trovex {

namespace {

wxBitmap ScaledTo(const wxBitmap& bitmap, int size) {
  if (!bitmap.IsOk() || (bitmap.GetWidth() == size && bitmap.GetHeight() == size)) return bitmap;
  wxImage image = bitmap.ConvertToImage();
  return wxBitmap(image.Rescale(size, size, wxIMAGE_QUALITY_HIGH));
}

wxBitmap ThemeIcon(const wxString& name, int size) {
  if (name.empty()) return wxBitmap();
  return ScaledTo(wxArtProvider::GetBitmap(name, wxART_OTHER, wxSize(size, size)), size);
}

// When the theme lacks a specific icon, the toolkit's stock one of the same role.
wxBitmap StockIcon(int index, int size) {
  wxArtID id = wxART_FOLDER;
  switch (index) {
    case kIconFolderOpen: id = wxART_FOLDER_OPEN; break;
    case kIconHome: id = wxART_GO_HOME; break;
    case kIconComputer:
    case kIconDrive: id = wxART_HARDDISK; break;
    case kIconRemovable: id = wxART_REMOVABLE; break;
    case kIconFile: id = wxART_NORMAL_FILE; break;
    default: break;
  }
  return ScaledTo(wxArtProvider::GetBitmap(id, wxART_OTHER, wxSize(size, size)), size);
}

}  // namespace

wxBitmap GetFileTypeIcon(const std::string& path, int size) {
  if (PathIsDirectoryA(path.c_str())) {
    wxBitmap folder = ThemeIcon("inode-directory", size);
    if (folder.IsOk()) return folder;
    return ScaledTo(wxArtProvider::GetBitmap(wxART_FOLDER, wxART_OTHER, wxSize(size, size)), size);
  }
  std::string ext = PathFindExtensionA(path.c_str());
  if (!ext.empty()) ext.erase(0, 1);
  if (!ext.empty()) {
    std::unique_ptr<wxFileType> type(wxTheMimeTypesManager->GetFileTypeFromExtension(wxString(ext.c_str(), *wxConvCurrent)));
    if (type) {
      // The theme's own icon for the type, then the type's generic icon at the wanted size.
      wxString mime;
      if (type->GetMimeType(&mime)) {
        mime.Replace("/", "-");
        wxBitmap own = ThemeIcon(mime, size);
        if (own.IsOk()) return own;
      }
      wxIconLocation location;
      if (type->GetIcon(&location) && location.IsOk()) {
        wxFileName file(location.GetFileName());
        wxBitmap generic = ThemeIcon(file.GetName(), size);
        if (generic.IsOk()) return generic;
        wxImage image;
        if (file.FileExists() && image.LoadFile(file.GetFullPath())) return ScaledTo(wxBitmap(image), size);
      }
    }
  }
  return ScaledTo(wxArtProvider::GetBitmap(wxART_NORMAL_FILE, wxART_OTHER, wxSize(size, size)), size);
}

std::unique_ptr<wxImageList> CreateSystemImageList(std::uintptr_t handle) {
  int size = 0;
  if (handle == kSystemImageListSmall) size = 16;
  if (handle == kSystemImageListLarge) size = 32;
  if (size == 0) return nullptr;
  auto list = std::make_unique<wxImageList>(size, size, true, kSystemIconCount);
  for (int i = 0; i < kSystemIconCount; ++i) {
    wxBitmap bitmap = ThemeIcon(SystemIconName(i), size);
    if (!bitmap.IsOk() && i != kIconFolder && i != kIconFolderOpen && i != kIconFile)
      bitmap = ThemeIcon(SystemIconName(kIconFolder), size);
    if (!bitmap.IsOk()) bitmap = StockIcon(i, size);
    if (!bitmap.IsOk()) bitmap = wxBitmap(size, size);
    list->Add(bitmap);
  }
  return list;
}

}  // namespace trovex
