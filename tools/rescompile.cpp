// trovex-rc --icons DIR: writes the toolbar icons as PNG files for the browser extension
// (button-16/20.png from 128, button-hot-16/20.png from 129, button-128.png enlarged from 128
// for notifications).
//
// trovex-rc OUTPUT: writes the module's image resources (the toolbar icons 128 and 129 in all
// their sizes) as one table of PNG images, which the build places in a section of the module,
// where programs that register it read them without loading it.
//
// Table, little-endian: "TRVXRSRC", uint32 count, then per image uint32 id, width, height,
// offset (from the table's start) and length; then the PNG data.
#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/mstream.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "res/images.h"
#include "res/templates.h"

namespace {

void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

struct Entry {
  std::uint32_t id, width, height;
  std::string png;
};

wxImage IconImage(int id, int size) {
  wxBitmap bitmap;
  bitmap.CopyFromIcon(trovex::LoadResIcon(id, size));
  return bitmap.ConvertToImage();
}

int WriteIcons(const std::string& dir) {
  struct File {
    int id, size, scale;
    const char* name;
  };
  const File files[] = {{trovex::IDI_BUTTON, 16, 1, "button-16.png"},
                        {trovex::IDI_BUTTON, 20, 1, "button-20.png"},
                        {trovex::IDI_BUTTON_HOT, 16, 1, "button-hot-16.png"},
                        {trovex::IDI_BUTTON_HOT, 20, 1, "button-hot-20.png"},
                        {trovex::IDI_BUTTON, 16, 8, "button-128.png"}};
  for (const File& f : files) {
    wxImage image = IconImage(f.id, f.size);
    if (image.IsOk() && f.scale > 1)
      image = image.Scale(f.size * f.scale, f.size * f.scale, wxIMAGE_QUALITY_NEAREST);
    const std::string path = dir + "/" + f.name;
    if (!image.IsOk() || image.GetWidth() != f.size * f.scale || !image.SaveFile(path, wxBITMAP_TYPE_PNG)) {
      std::fprintf(stderr, "trovex-rc: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool icons = argc == 3 && std::string(argv[1]) == "--icons";
  if (argc != 2 && !icons) {
    std::fprintf(stderr, "usage: trovex-rc OUTPUT\n       trovex-rc --icons DIR\n");
    return 2;
  }
  wxInitializer init(argc, argv);
  if (!init.IsOk()) {
    std::fprintf(stderr, "trovex-rc: the toolkit cannot start\n");
    return 1;
  }
  wxImage::AddHandler(new wxPNGHandler);
  if (icons) return WriteIcons(argv[2]);
  std::vector<Entry> entries;
  for (int id : {trovex::IDI_BUTTON, trovex::IDI_BUTTON_HOT}) {
    wxIconBundle bundle = trovex::LoadResIconBundle(id);
    for (size_t i = 0; i < bundle.GetIconCount(); ++i) {
      wxBitmap bitmap;
      bitmap.CopyFromIcon(bundle.GetIconByIndex(i));
      wxImage image = bitmap.ConvertToImage();
      wxMemoryOutputStream stream;
      if (!image.IsOk() || !image.SaveFile(stream, wxBITMAP_TYPE_PNG)) {
        std::fprintf(stderr, "trovex-rc: icon %d cannot be written\n", id);
        return 1;
      }
      std::string png(stream.GetLength(), '\0');
      stream.CopyTo(png.data(), png.size());
      entries.push_back({static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(image.GetWidth()),
                         static_cast<std::uint32_t>(image.GetHeight()), std::move(png)});
    }
  }
  std::string table = "TRVXRSRC";
  PutU32(&table, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(table.size() + entries.size() * 20);
  for (const Entry& e : entries) {
    PutU32(&table, e.id);
    PutU32(&table, e.width);
    PutU32(&table, e.height);
    PutU32(&table, offset);
    PutU32(&table, static_cast<std::uint32_t>(e.png.size()));
    offset += static_cast<std::uint32_t>(e.png.size());
  }
  for (const Entry& e : entries) table += e.png;
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(table.data(), static_cast<std::streamsize>(table.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "trovex-rc: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
