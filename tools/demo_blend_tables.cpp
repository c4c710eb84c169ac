// The demo project's 8-bit blend tables "bmp\hbt\hbt00.dat" .. "hbt23.dat":
// one for each screen palette variant the options offer, so the demo starts
// and changes palettes with an 8-bit DirectDraw display. Each is made from
// the palette bitmap the bitmaps part wrote, turned into that variant as the
// game turns it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "platform/image_decode.h"
#include "tool.h"

namespace {

constexpr int kVariants = 24;

// Entry [a][b] (offset a x 256 + b): the entry whose colour is nearest the
// mean of colours a and b. Entry 0 is the transparent colour, so no mix of
// other colours may land on it; a colour mixed with itself stays itself.
std::vector<uint8_t> BlendTable(const PALETTEENTRY* p) {
  std::vector<uint8_t> table(65536);
  for (int a = 0; a < 256; ++a)
    for (int b = a; b < 256; ++b) {
      int best = a;
      if (a != b) {
        const int r = (p[a].peRed + p[b].peRed) / 2, g = (p[a].peGreen + p[b].peGreen) / 2,
                  bl = (p[a].peBlue + p[b].peBlue) / 2;
        int bestDistance = 1 << 30;
        for (int k = 1; k < 256; ++k) {
          const int dr = p[k].peRed - r, dg = p[k].peGreen - g, db = p[k].peBlue - bl;
          const int d = dr * dr + dg * dg + db * db;
          if (d < bestDistance) best = k, bestDistance = d;
        }
      }
      table[a * 256 + b] = table[b * 256 + a] = static_cast<uint8_t>(best);
    }
  return table;
}

bool WriteDemoBlendTables(const std::string& folder, const tool::DemoOptions& /*options*/) {
  namespace fs = std::filesystem;
  const std::string palettePath = (fs::path(folder) / "bmp" / "plt" / "Palette.bmp").string();
  plat::DecodedImage image;
  std::string bytes, error;
  // Read as a Linux path: the project folder's name is not a game path.
  if (!tool::ReadWholeFile(palettePath, bytes) ||
      !plat::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error) ||
      image.palette.empty()) {
    std::fprintf(stderr, "blend tables: %s has no colour table (%s)\n", palettePath.c_str(), error.c_str());
    return false;
  }
  PALETTEENTRY loaded[256] = {};
  for (size_t i = 0; i < image.palette.size() && i < 256; ++i) {
    const uint32_t c = image.palette[i];
    loaded[i] = PALETTEENTRY{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 0};
  }
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "bmp" / "hbt", ec);
  for (int n = 0; n < kVariants; ++n) {
    PALETTEENTRY variant[256];
    std::copy(loaded, loaded + 256, variant);
    MakeScreenPaletteVariant(variant, n);
    char name[32];
    std::snprintf(name, sizeof name, "hbt%02d.dat", n);
    const std::vector<uint8_t> table = BlendTable(variant);
    const std::string path = (fs::path(folder) / "bmp" / "hbt" / name).string();
    if (!tool::WriteWholeFile(path, std::string(table.begin(), table.end()))) {
      std::fprintf(stderr, "blend tables: cannot write %s (%s)\n", path.c_str(), tool::LastWriteFailure().c_str());
      return false;
    }
  }
  return true;
}

// After the bitmaps (20), which write the palette bitmap.
tool::Registrar demoBlendTables(tool::DemoPart{25, "blend tables", WriteDemoBlendTables});

}  // namespace
