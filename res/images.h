// Bitmap and icon resources, drawn here as pixel tables.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>
#include <wx/image.h>

namespace trovex {

// The colour that marks transparent pixels of bitmap resources.
constexpr unsigned char kMaskRed = 255, kMaskGreen = 0, kMaskBlue = 255;

// Bitmap resource as stored: 24 bits, magenta where transparent (IDB_ROW_IMAGES: 32 x 16,
// a document sheet and a globe side by side). An invalid image for an unknown id.
wxImage LoadResBitmapImage(int id);
// The same with magenta as its mask, ready for an image list.
wxBitmap LoadResBitmap(int id);
// All sizes of an icon resource (128 and 129: 16 x 16 in 16 colours and 20 x 20 in 256
// colours; 1004: 32 x 32). Empty for an unknown id.
wxIconBundle LoadResIconBundle(int id);
// One size of an icon resource; the nearest size when that one is missing.
wxIcon LoadResIcon(int id, int size);

}  // namespace trovex
