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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trovex-rc OUTPUT\n");
    return 2;
  }
  wxInitializer init(argc, argv);
  if (!init.IsOk()) {
    std::fprintf(stderr, "trovex-rc: the toolkit cannot start\n");
    return 1;
  }
  wxImage::AddHandler(new wxPNGHandler);
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
