#include "res/images.h"

#include <cmath>
#include <map>
#include <vector>

#include "res/templates.h"

namespace trovex {
namespace {

struct Rgb {
  unsigned char r, g, b;
};

// The sixteen colours a 16-colour icon may use.
constexpr Rgb kBlack{0, 0, 0}, kMaroon{128, 0, 0}, kSilver{192, 192, 192},
    kGray{128, 128, 128}, kRed{255, 0, 0}, kYellow{255, 255, 0}, kWhite{255, 255, 255};

// A drawing surface: an RGB image whose untouched pixels are transparent (magenta for bitmap
// resources, alpha 0 for icons).
class Canvas {
 public:
  Canvas(int w, int h) : img_(w, h) {
    img_.SetRGB(wxRect(0, 0, w, h), kMaskRed, kMaskGreen, kMaskBlue);
    img_.InitAlpha();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img_.SetAlpha(x, y, 0);
  }
  void Px(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= img_.GetWidth() || y >= img_.GetHeight()) return;
    img_.SetRGB(x, y, c.r, c.g, c.b);
    img_.SetAlpha(x, y, 255);
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Px(x, y, c);
  }
  void Frame(int x0, int y0, int x1, int y1, Rgb c) {
    for (int x = x0; x <= x1; ++x) Px(x, y0, c), Px(x, y1, c);
    for (int y = y0; y <= y1; ++y) Px(x0, y, c), Px(x1, y, c);
  }
  // Pixel rows: each character is looked up in the palette; characters not in it stay as they are.
  void Pattern(int x0, int y0, const std::vector<const char*>& rows, const std::map<char, Rgb>& pal) {
    for (size_t j = 0; j < rows.size(); ++j)
      for (size_t i = 0; rows[j][i]; ++i) {
        auto it = pal.find(rows[j][i]);
        if (it != pal.end()) Px(x0 + static_cast<int>(i), y0 + static_cast<int>(j), it->second);
      }
  }
  // Blits another canvas' opaque pixels.
  void Draw(int x0, int y0, const Canvas& other) {
    const wxImage& o = other.img_;
    for (int y = 0; y < o.GetHeight(); ++y)
      for (int x = 0; x < o.GetWidth(); ++x)
        if (o.GetAlpha(x, y)) Px(x0 + x, y0 + y, {o.GetRed(x, y), o.GetGreen(x, y), o.GetBlue(x, y)});
  }
  const wxImage& image() const { return img_; }

  // The bitmap form: no alpha, magenta where transparent.
  wxImage Flattened() const {
    wxImage out(img_.GetWidth(), img_.GetHeight());
    for (int y = 0; y < img_.GetHeight(); ++y)
      for (int x = 0; x < img_.GetWidth(); ++x) {
        if (img_.GetAlpha(x, y))
          out.SetRGB(x, y, img_.GetRed(x, y), img_.GetGreen(x, y), img_.GetBlue(x, y));
        else
          out.SetRGB(x, y, kMaskRed, kMaskGreen, kMaskBlue);
      }
    return out;
  }

 private:
  wxImage img_;
};

// A sheet of paper with a folded corner and lines of text.
Canvas DocumentSheet() {
  Canvas c(16, 16);
  c.Pattern(0, 0,
            {
                "................",
                "..kkkkkkkkk.....",
                "..kwwwwwwwkk....",
                "..kwwwwwwwkgk...",
                "..kwwwwwwwkkkk..",
                "..kwwwwwwwwwwk..",
                "..kwbbbbbbbwwk..",
                "..kwwwwwwwwwwk..",
                "..kwbbbbbbbbwk..",
                "..kwwwwwwwwwwk..",
                "..kwbbbbbbbbwk..",
                "..kwwwwwwwwwwk..",
                "..kwbbbbbwwwwk..",
                "..kwwwwwwwwwwk..",
                "..kkkkkkkkkkkk..",
                "................",
            },
            {{'k', {64, 64, 64}}, {'w', kWhite}, {'g', kSilver}, {'b', {96, 128, 192}}});
  return c;
}

// A globe: a blue sphere with meridians and parallels, lit from the top left.
Canvas Globe(int size) {
  Canvas c(size, size);
  const double cx = (size - 1) / 2.0, cy = (size - 1) / 2.0, r = size / 2.0 - 0.8;
  const double line = 0.55;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double dx = x - cx, dy = y - cy, d = std::hypot(dx, dy);
      if (d > r + 0.5) continue;
      if (d > r - 0.6) {
        c.Px(x, y, {0, 51, 128});
        continue;
      }
      // Half width of the sphere at this height, for the meridian ellipses.
      const double half = std::sqrt(std::max(0.0, r * r - dy * dy));
      bool grid = std::fabs(dy) < line || std::fabs(std::fabs(dy) - r * 0.5) < line ||
                  std::fabs(dx) < line || std::fabs(std::fabs(dx) - half * 0.55) < line;
      const double light = std::max(0.0, 1.0 - std::hypot(dx + r * 0.4, dy + r * 0.4) / (r * 1.6));
      // Two continents, scaled with the globe.
      const double u = dx / r * 7.0, v = dy / r * 7.0;
      const bool land = (u + 2.5) * (u + 2.5) / 7.0 + (v + 1.5) * (v + 1.5) / 12.0 < 1.0 ||
                        (u - 2.8) * (u - 2.8) / 4.0 + (v - 2.5) * (v - 2.5) / 6.0 < 1.0;
      Rgb fill = land ? Rgb{static_cast<unsigned char>(40 + 80 * light), static_cast<unsigned char>(150 + 80 * light),
                            static_cast<unsigned char>(50 + 60 * light)}
                      : Rgb{static_cast<unsigned char>(40 + 120 * light), static_cast<unsigned char>(110 + 110 * light),
                            static_cast<unsigned char>(200 + 55 * light)};
      c.Px(x, y, grid ? (land ? Rgb{20, 110, 40} : Rgb{0, 70, 160}) : fill);
    }
  return c;
}

// The toolbar button: a red disc with a white swash letter f; the hot one glows yellow.
Canvas ButtonIcon(int size, bool hot) {
  Canvas c(size, size);
  const double cx = (size - 1) / 2.0, cy = (size - 1) / 2.0, r = size / 2.0 - 0.5;
  const bool small = size <= 16;  // 16 colours only
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d > r) continue;
      Rgb edge = hot ? (small ? kYellow : Rgb{255, 200, 0}) : (small ? kMaroon : Rgb{140, 0, 0});
      Rgb body = small ? kRed : (hot ? Rgb{255, 60, 40} : Rgb{210, 20, 20});
      c.Px(x, y, d > r - 1.2 ? edge : body);
    }
  const std::map<char, Rgb> pal{{'x', kWhite}};
  if (small) {
    c.Pattern(4, 3,
              {
                  ".....xx.",
                  "....x...",
                  "....x...",
                  "..xxxxx.",
                  "....x...",
                  "....x...",
                  "...x....",
                  ".xx.....",
              },
              pal);
  } else {
    c.Pattern(5, 4,
              {
                  "......xxx.",
                  ".....xx...",
                  ".....x....",
                  "...xxxxxx.",
                  "...xxxxxx.",
                  ".....x....",
                  ".....x....",
                  "....xx....",
                  "..xxx.....",
                  ".xx.......",
              },
              pal);
  }
  return c;
}

// The file-exists decoration: an existing sheet behind a new one, and a yellow sign.
Canvas FileExistsIcon() {
  Canvas c(32, 32);
  auto sheet = [&c](int x0, int y0, Rgb paper) {
    c.Fill(x0, y0, x0 + 15, y0 + 20, paper);
    c.Frame(x0, y0, x0 + 15, y0 + 20, kGray);
    for (int k = 0; k < 5; ++k) c.Fill(x0 + 3, y0 + 4 + 3 * k, x0 + 12 - (k == 4 ? 4 : 0), y0 + 4 + 3 * k, {120, 150, 200});
  };
  sheet(3, 2, {235, 235, 235});
  sheet(9, 7, kWhite);
  // Warning sign at the bottom right.
  c.Pattern(18, 18,
            {
                "....kk.....",
                "...kyyk....",
                "...kyyk....",
                "..kyyyyk...",
                "..kyKKyk...",
                ".kyyKKyyk..",
                ".kyyKKyyk..",
                "kyyyKKyyyk.",
                "kyyyyyyyyk.",
                "kyyyKKyyyk.",
                "kkkkkkkkkk.",
            },
            {{'k', {96, 64, 0}}, {'y', {255, 204, 0}}, {'K', kBlack}});
  return c;
}

wxImage RowImages() {
  Canvas strip(32, 16);
  strip.Draw(0, 0, DocumentSheet());
  strip.Draw(16, 0, Globe(16));
  return strip.Flattened();
}

}  // namespace

wxImage LoadResBitmapImage(int id) {
  if (id == IDB_ROW_IMAGES) return RowImages();
  return wxImage();
}

wxBitmap LoadResBitmap(int id) {
  wxImage img = LoadResBitmapImage(id);
  if (!img.IsOk()) return wxBitmap();
  img.SetMaskColour(kMaskRed, kMaskGreen, kMaskBlue);
  return wxBitmap(img);
}

wxIconBundle LoadResIconBundle(int id) {
  wxIconBundle bundle;
  auto add = [&bundle](const Canvas& c) {
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(c.image()));
    bundle.AddIcon(icon);
  };
  switch (id) {
    case IDI_BUTTON:
    case IDI_BUTTON_HOT:
      add(ButtonIcon(16, id == IDI_BUTTON_HOT));
      add(ButtonIcon(20, id == IDI_BUTTON_HOT));
      break;
    case IDI_FILE_EXISTS:
      add(FileExistsIcon());
      break;
    default:
      break;
  }
  return bundle;
}

wxIcon LoadResIcon(int id, int size) {
  wxIconBundle bundle = LoadResIconBundle(id);
  if (bundle.IsEmpty()) return wxIcon();
  return bundle.GetIcon(wxSize(size, size), wxIconBundle::FALLBACK_NEAREST_LARGER);
}

}  // namespace trovex
