// Icons from the desktop's icon theme: a file's type icon and the system image list whose
// indexes SHGetFileInfoA hands out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <wx/bitmap.h>
#include <wx/imaglist.h>

namespace trovex {

// The icon of a file's type (by its extension; a folder's icon for a directory), size x size
// pixels; the generic file icon when the theme has none for the type.
wxBitmap GetFileTypeIcon(const std::string& path, int size);

// The images of a system image list handle (kSystemImageListSmall: 16 px, Large: 32 px), in
// the order of SystemIcon. Null for any other handle.
std::unique_ptr<wxImageList> CreateSystemImageList(std::uintptr_t handle);

}  // namespace trovex
