// pelmora-tool effect NAME IN OUT.png --mode M [--palette P.bmp] [--blend-table T.dat] [--keyed] [--PARAM V ...]
// pelmora-tool effect --list
// Sets up the display layer without a window in mode M, loads IN through
// the runtime's surface loader, draws one pixel effect of the runtime with
// IN as the source onto a surface of IN's size, and writes that surface as a
// PNG. Every effect has defaults that show it on a picture of a few dots
// and more; --PARAM overrides one value (see the list of each effect's
// values with --list -v). Each value has a rule of the settings that show
// the effect: a setting that would leave the picture blank or as it was
// (the default too, on a picture too small for it) is refused, exit 2.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "gfx/dd.h"
#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"
#include "gfx/palette_tools.h"
#include "platform/image_decode.h"
#include "platform/input_file.h"
#include "platform/window_host.h"
#include "output_clash.h"
#include "stop_signals.h"
#include "surface_frame.h"
#include "tool.h"

namespace {

struct EffectMode {
  const char* name;
  uint32_t direct3D;
  int bpp;
  bool use555;
};
constexpr EffectMode kModes[] = {{"dd8", 0, 8, false},   {"dd16", 0, 16, false},  {"dd555", 0, 16, true},
                                 {"dd32", 0, 32, false}, {"d3d16", 1, 16, false}, {"d3d32", 1, 32, false}};

// What an effect draws with: the surfaces, the picture's size, its values.
struct Scene {
  DDSURFACEDATA* dst;
  DDSURFACEDATA* src;
  int w, h;
  uint32_t flags;
  std::map<std::string, double> values;
  int I(const std::string& name) const { return static_cast<int>(values.at(name)); }
  double D(const std::string& name) const { return values.at(name); }
};

// A bound of a value, from the mode, the picture's size and the effect's
// other values.
using Bound = std::function<double(const EffectMode&, const Scene&)>;
constexpr double kUnbounded = 1e18;

// Which settings of a value show the effect. Outside lowest..highest,
// within `gap` of 0, or on a whole multiple of `turn`, the runtime draws
// nothing or gives back the picture as it was: such a setting is refused.
struct Rule {
  Bound lowest = [](const EffectMode&, const Scene&) { return -kUnbounded; };
  Bound highest = [](const EffectMode&, const Scene&) { return kUnbounded; };
  double gap = -1;  // |value| <= gap is refused (0: zero alone); below 0: none
  // A value that is a whole multiple of it is refused; 0: none.
  Bound turn = [](const EffectMode&, const Scene&) { return 0.0; };
  const char* why = "";
};

Bound Fixed(double v) {
  return [v](const EffectMode&, const Scene&) { return v; };
}
Rule Between(Bound lowest, Bound highest, const char* why) {
  Rule r;
  r.lowest = std::move(lowest);
  r.highest = std::move(highest);
  r.why = why;
  return r;
}
Rule Between(double lowest, double highest, const char* why) { return Between(Fixed(lowest), Fixed(highest), why); }
Rule AtLeast(double lowest, const char* why) { return Between(Fixed(lowest), Fixed(kUnbounded), why); }
Rule NotZero(Rule r) {
  r.gap = 0;
  return r;
}
Rule AwayFromZero(double gap, const char* why) {
  Rule r;
  r.gap = gap;
  r.why = why;
  return r;
}
Rule NotMultipleOf(Bound turn, const char* why) {
  Rule r;
  r.turn = std::move(turn);
  r.why = why;
  return r;
}
Rule AnyValue() { return Rule{}; }

struct Value {
  const char* name;
  // The default, from the picture's width and height.
  std::function<double(int w, int h)> value;
  Rule rule;
  bool whole = true;  // the effect takes it as a whole number
};

struct Effect {
  const char* name;
  const char* about;
  // In the order their rules are checked (a rule may read the values before it).
  std::vector<Value> values;
  std::function<void(Scene&)> draw;
  // Why the runtime draws nothing of this effect in a mode, or with these
  // values there (the command then refuses rather than write a blank
  // picture); empty when it draws.
  std::function<std::string(const EffectMode&, const Scene&)> refuses = nullptr;
};

bool IsDirect3D(const EffectMode& mode) { return mode.direct3D != 0; }

auto Is(double v) {
  return [v](int, int) { return v; };
}
int Smaller(int w, int h) { return w < h ? w : h; }

// Stretching: the source rectangle's dots that lie on the picture take a
// share of the picture's `size` dots (cut to a whole number as the blit
// cuts it); below one dot nothing is drawn. The fewest of them that give a
// dot to a source `extent` dots long.
double DotsForOne(int size, double extent) {
  if (size <= 0 || extent < 1) return 0;
  double k = std::ceil(extent / size);
  while (static_cast<int>(size * (k / extent)) < 1) ++k;
  return k;
}
// The longest source whose whole-picture share still gives a dot.
double LongestSource(int size) {
  double extent = static_cast<double>(size) * size;
  while (extent > 1 && static_cast<int>(size * (size / extent)) < 1) --extent;
  return extent;
}

// The columns (1) or rows (0) along which the strips of a wave or a split
// lie, and the size across them.
int Along(const Scene& s) { return s.I("columns") != 0 ? s.w : s.h; }
int Across(const Scene& s) { return s.I("columns") != 0 ? s.h : s.w; }
// The wave's strips stand at angles phase + n × 360 × strip / size (in
// degrees), each multiplied by the frequency: the frequencies that make
// every one a multiple of 180° (a sine of 0, no strip moved) are the
// multiples of what this returns.
int64_t SineZeroFrequencies(const Scene& s) {
  const int64_t size = Along(s), strip = s.I("strip"), phase = std::llabs(static_cast<int64_t>(s.I("phase")));
  const int64_t steps = size / std::gcd(size, 2 * strip);  // 2 × strip × f / size whole
  const int64_t phases = 180 / std::gcd(int64_t{180}, phase);  // phase × f / 180 whole
  return std::lcm(steps, phases);
}
// Half the card's side along its turning axis.
int CardHalf(const Scene& s) { return (s.I("axis") == 0 ? s.w : s.h) >> 1; }

constexpr const char* kStripsOrientation = "0 shifts rows sideways, 1 columns up and down";
constexpr const char* kChannel = "a colour channel";

const std::vector<Effect>& Effects() {
  static const std::vector<Effect> effects = {
      {"stretch", "the source rectangle scaled onto the whole picture (zoom)",
       {{"sw", [](int w, int) { return w / 2; },
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return LongestSource(s.w); },
                 "a narrower source draws nothing, a wider one shrinks the picture below a dot")},
        {"sh", [](int, int h) { return h / 2; },
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return LongestSource(s.h); },
                 "a lower source draws nothing, a higher one shrinks the picture below a dot")},
        {"sx", Is(0),
         Between([](const EffectMode&, const Scene& s) { return DotsForOne(s.w, s.D("sw")) - s.D("sw"); },
                 [](const EffectMode&, const Scene& s) { return s.w - DotsForOne(s.w, s.D("sw")); },
                 "the source rectangle must lie on the picture")},
        {"sy", Is(0),
         Between([](const EffectMode&, const Scene& s) { return DotsForOne(s.h, s.D("sh")) - s.D("sh"); },
                 [](const EffectMode&, const Scene& s) { return s.h - DotsForOne(s.h, s.D("sh")); },
                 "the source rectangle must lie on the picture")}},
       [](Scene& s) { DDBltStretch(s.dst, 0, 0, s.w, s.h, s.src, s.I("sx"), s.I("sy"), s.I("sw"), s.I("sh"), s.flags); }},
      {"wave", "strips shifted along a sine",
       {{"columns", Is(0), Between(0, 1, kStripsOrientation)},
        {"strip", Is(2),
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return Along(s) - 1.0; },
                 "below 1 nothing is drawn; a strip as long as the picture is one strip, no wave")},
        {"phase", Is(0), AnyValue()},
        {"frequency", Is(4),
         NotMultipleOf([](const EffectMode&, const Scene& s) { return static_cast<double>(SineZeroFrequencies(s)); },
                       "with these strips and this phase such a frequency gives every strip a sine of 0: none moves")},
        {"amplitude", Is(8), AwayFromZero(1, "a sine times 1 or less moves no strip by a whole dot"), false}},
       [](Scene& s) {
         DDBltWave(s.dst, 0, 0, s.w, s.h, s.I("frequency"), s.D("amplitude"), s.I("phase"), s.I("strip"), s.src, 0,
                   0, s.flags, static_cast<uint32_t>(s.I("columns")));
       }},
      {"split", "strips moved alternately one way and the other",
       {{"columns", Is(0), Between(0, 1, kStripsOrientation)},
        {"strip", Is(8),
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return static_cast<double>(Along(s)); },
                 "0 copies the picture as it is, below 0 nothing is drawn, and a strip longer than the picture "
                 "is never whole")},
        {"offset", Is(12),
         NotZero(Between([](const EffectMode&, const Scene& s) { return 1.0 - Across(s); },
                         [](const EffectMode&, const Scene& s) { return Across(s) - 1.0; },
                         "0 leaves the strips in place; by the picture's size or more they leave it"))}},
       [](Scene& s) {
         DDBltSplit(s.dst, 0, 0, s.w, s.h, s.I("strip"), s.I("offset"), s.src, 0, 0, s.flags,
                    static_cast<uint32_t>(s.I("columns")));
       }},
      {"burst", "the four quarters moved apart",
       {{"offset", Is(16),
         NotZero(Between([](const EffectMode&, const Scene& s) { return 1.0 - Smaller(s.w, s.h); },
                         [](const EffectMode&, const Scene& s) {
                           return Smaller(s.w - (s.w >> 1), s.h - (s.h >> 1)) - 1.0;
                         },
                         "0 leaves the quarters in place; further out they all leave the picture"))}},
       [](Scene& s) { DDBltBurst(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, s.I("offset"), s.flags); }},
      {"rotate-depth", "a card turning about an axis (0 vertical, 1 horizontal)",
       {{"axis", Is(0), Between(0, 1, "0 turns the card about its vertical axis, 1 about its horizontal one")},
        {"phase", Is(40),
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return 2.0 * CardHalf(s) - 2.0; },
                 "one turn of the card: 0 and the turn's last phase show it face on, as it is, later phases "
                 "repeat these and negative ones are no turn")}},
       [](Scene& s) {
         DDBltRotateDepth(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, s.src, 0, 0, s.w, s.h, s.flags, s.I("phase"),
                          s.I("axis"));
       }},
      {"circle", "the picture through a circle",
       {{"radius", [](int w, int h) { return Smaller(w, h) / 3; },
         Between(Fixed(2),
                 [](const EffectMode&, const Scene& s) {
                   // Below half the picture's diagonal: a circle that large holds it whole.
                   const int64_t hw = s.w / 2, hh = s.h / 2, reach = hw * hw + hh * hh;
                   int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(reach)));
                   while (r * r >= reach && r > 0) --r;
                   return static_cast<double>(r);
                 },
                 "a circle of 1 or less shows nothing, one of half the picture's diagonal shows it whole")},
        {"strip", Is(1),
         Between(Fixed(1), [](const EffectMode&, const Scene& s) { return 2.0 * s.I("radius"); },
                 "strips below 1 or taller than the circle show nothing")}},
       [](Scene& s) {
         DDBltCircle(s.dst, s.w / 2, s.h / 2, s.w / 2, s.h / 2, s.I("radius"), s.I("strip"), s.src, s.w / 2, s.h / 2,
                     s.flags);
       }},
      {"rotate", "the picture turned about its centre",
       {{"angle", Is(30), NotMultipleOf(Fixed(360), "a whole turn leaves the picture as it is")}},
       [](Scene& s) {
         DDBltRotate(s.dst, s.w / 2, s.h / 2, s.w, s.h, s.w / 2, s.h / 2, s.I("angle"), s.src, 0, 0, s.flags);
       }},
      {"lens", "a round lens bulging the middle",
       {{"radius", [](int w, int h) { return Smaller(w, h) / 3; }, AtLeast(2, "a lens of 1 or less moves no dot")},
        {"depth", [](int w, int h) { return Smaller(w, h) / 6; },
         Between(Fixed(0),
                 [](const EffectMode&, const Scene& s) {
                   const double r = s.I("radius");
                   return std::floor((r * r - 1) / 2);
                 },
                 "below 0 nothing is drawn; a lens deeper than this is flat for its radius and leaves the "
                 "picture as it is")}},
       [](Scene& s) {
         DDBlt(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, 0);
         DDBltLens(s.dst, s.w / 2, s.h / 2, s.I("radius"), s.I("depth"), s.src, s.w / 2, s.h / 2, s.flags, 0);
       }},
      {"blur", "box blur (16 and 32 bits)",
       {{"rx", Is(3), AtLeast(1, "0 or less draws nothing")}, {"ry", Is(3), AtLeast(1, "0 or less draws nothing")}},
       [](Scene& s) { DDBltBlur(s.dst, 0, 0, s.w, s.h, s.I("rx"), s.I("ry"), s.src, 0, 0, s.flags); },
       [](const EffectMode& m, const Scene&) -> std::string {
         if (m.bpp == 8) return "the blur draws nothing in 8-bit colour (palette numbers cannot be averaged): use a 16- or 32-bit mode";
         return {};
       }},
      {"mosaic", "square blocks of one colour",
       {{"size", Is(8),
         Between(Fixed(2),
                 [](const EffectMode&, const Scene& s) { return std::max(s.w, s.h) - 1.0; },
                 "blocks of one dot are the picture itself, 0 or less draws nothing, and one block as large as "
                 "the picture is one flat colour")}},
       [](Scene& s) { DDBltMosaic(s.dst, 0, 0, s.w, s.h, s.I("size"), s.src, 0, 0, s.flags); }},
      {"colour-change", "every pixel pulled toward palette colour `colour` by `level` halvings",
       {{"colour", Is(224), Between(0, 255, "a palette number")},
        {"level", Is(2), AtLeast(1, "0 or less draws nothing")}},
       [](Scene& s) {
         DDBltColorChange(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, s.flags, DDState.DDPalette, g_BlendTable, s.I("colour"),
                          s.I("level"));
       }},
      {"translucent", "the picture half-transparently over itself moved by `shift`",
       {{"shift", [](int w, int) { return w / 3; },
         NotZero(Between([](const EffectMode&, const Scene& s) { return 1.0 - s.w; },
                         [](const EffectMode&, const Scene& s) { return s.w - 1.0; },
                         "0 lays the picture on itself; by its width or more the two do not meet"))},
        {"level", Is(128),
         Between([](const EffectMode& m, const Scene&) { return IsDirect3D(m) ? 1.0 : -kUnbounded; },
                 [](const EffectMode& m, const Scene&) { return IsDirect3D(m) ? 254.0 : kUnbounded; },
                 "in the Direct3D modes 0 draws the picture opaque, as it is, and 255 not at all (the DirectDraw "
                 "modes always mix half and half)")}},
       [](Scene& s) {
         DDBlt(s.dst, s.I("shift"), 0, s.w, s.h, s.src, 0, 0, 0);
         DDBltTranslucent(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, s.flags, g_BlendTable, s.I("level"));
       }},
      {"fade",
       "the picture faded toward a colour (weight 0..256 of the picture; Direct3D: toward black, weight 0..255)",
       {{"weight", Is(128),
         Between(Fixed(0), [](const EffectMode& m, const Scene&) { return IsDirect3D(m) ? 255.0 : 256.0; },
                 "the share of the picture, from none to all of it")},
        {"red", Is(0), Between(0, 255, kChannel)},
        {"green", Is(0), Between(0, 255, kChannel)},
        {"blue", Is(0), Between(0, 255, kChannel)}},
       [](Scene& s) {
         const auto byte = [&](const char* n) { return static_cast<uint8_t>(s.I(n)); };
         if (lpDTCon) {
           // Direct3D: the picture, then the fade's black quad over it.
           DDBlt(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, 0);
           DDShadeToBlack(s.dst, s.I("weight"));
         } else if (DDState.nBpp == 8) {
           // 8-bit: the palette is what fades.
           DDBlendPalette(DDState.DDPalette, 0, 255, s.I("weight"), byte("red"), byte("green"), byte("blue"),
                          DDState.DDPalette);
           DDBlt(s.dst, 0, 0, s.w, s.h, s.src, 0, 0, 0);
         } else {
           DDFade_UnPal(s.dst, s.I("weight"), byte("red"), byte("green"), byte("blue"), s.src);
         }
       },
       [](const EffectMode& m, const Scene& s) -> std::string {
         if (IsDirect3D(m) && (s.I("red") != 0 || s.I("green") != 0 || s.I("blue") != 0))
           return "in the Direct3D modes the fade goes toward black only (the game's fade there takes no colour): "
                  "leave --red, --green and --blue at 0";
         return {};
       }},
      {"tint", "the picture modulated by a colour with alpha 255 - alpha (Direct3D)",
       {{"alpha", Is(0), Between(0, 254, "255 draws the tinted picture wholly transparent: nothing")},
        {"red", Is(255), Between(0, 255, kChannel)},
        {"green", Is(160), Between(0, 255, kChannel)},
        {"blue", Is(64), Between(0, 255, kChannel)}},
       [](Scene& s) {
         DDChangeColor(s.dst, 0, 0, s.w, s.h, s.src, s.I("alpha"), static_cast<uint8_t>(s.I("red")),
                       static_cast<uint8_t>(s.I("green")), static_cast<uint8_t>(s.I("blue")));
       },
       [](const EffectMode& m, const Scene&) -> std::string {
         if (!IsDirect3D(m)) return "the tint is drawn in the Direct3D modes only (d3d16, d3d32)";
         return {};
       }},
  };
  return effects;
}

// A palette for pictures without one: 3 bits of red, 3 of green, 2 of blue,
// in the colour table's ranges of the mode.
void DefaultPalette() {
  const uint32_t* f = DDState.TexFormat;
  const bool narrow = !lpDTCon && DDState.nBpp == 16;
  for (int k = 0; k < 256; ++k) {
    uint32_t c[3] = {((k >> 5) & 7) * 255u / 7, ((k >> 2) & 7) * 255u / 7, (k & 3) * 255u / 3};
    if (narrow)
      for (int ch = 0; ch < 3; ++ch) c[ch] = c[ch] * f[PF_RMAX + ch] / 255;
    DDState.DDPalette[k] = PALETTEENTRY{static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]),
                                        static_cast<uint8_t>(c[2]), 0};
  }
}

// An 8-bit blend table from the palette: each pair's mean colour matched to
// the nearest entry.
void BlendTableFromPalette() {
  const PALETTEENTRY* p = DDState.DDPalette;
  for (int a = 0; a < 256; ++a)
    for (int b = a; b < 256; ++b) {
      const int r = (p[a].peRed + p[b].peRed) / 2, g = (p[a].peGreen + p[b].peGreen) / 2,
                bl = (p[a].peBlue + p[b].peBlue) / 2;
      int best = 0, bestDistance = 1 << 30;
      for (int k = 0; k < 256; ++k) {
        const int dr = p[k].peRed - r, dg = p[k].peGreen - g, db = p[k].peBlue - bl;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) best = k, bestDistance = d;
      }
      g_BlendTable[a * 256 + b] = g_BlendTable[b * 256 + a] = static_cast<uint8_t>(best);
    }
}

// A value for the messages: in full, never in an exponent's form.
std::string Number(double v) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

// Whether no setting passes a rule's bounds: lowest..highest is empty, or
// lies wholly within the gap about 0.
bool TakesNoValue(const Rule& rule, double lowest, double highest) {
  return lowest > highest || (rule.gap >= 0 && lowest >= -rule.gap && highest <= rule.gap);
}

// What a rule lets through, as "2..39", "-47..23 but 0" or "any value but
// a multiple of 360".
std::string Takes(const Rule& rule, double lowest, double highest, double turn) {
  if (TakesNoValue(rule, lowest, highest)) return "no value";
  const auto number = [](double v) { return std::to_string(static_cast<long long>(v)); };
  std::string text;
  if (lowest <= -kUnbounded && highest >= kUnbounded) text = "any value";
  else if (lowest <= -kUnbounded) text = number(highest) + " or less";
  else if (highest >= kUnbounded) text = number(lowest) + " or more";
  else text = number(lowest) + ".." + number(highest);
  if (rule.gap == 0) text += " but 0";
  else if (rule.gap > 0) text += " but " + number(-rule.gap) + ".." + number(rule.gap);
  if (turn > 0) text += " but a multiple of " + number(turn);
  return text;
}

// Why `value` leaves the picture blank or as it was in this mode and with
// these values (what the rule takes and why); empty when it shows the effect.
// A rule that takes no value at all says the picture is too small for the
// effect: its bounds come from the picture's size.
std::string Refusal(const Effect& effect, const Value& value, const EffectMode& mode, const Scene& scene) {
  const Rule& rule = value.rule;
  const double v = scene.D(value.name);
  const double lowest = rule.lowest(mode, scene), highest = rule.highest(mode, scene);
  const bool inGap = rule.gap >= 0 && std::fabs(v) <= rule.gap;
  const double turn = rule.turn(mode, scene);
  const bool wholeTurn = turn > 0 && std::fmod(v, turn) == 0;
  if (v >= lowest && v <= highest && !inGap && !wholeTurn) return {};
  const std::string tooSmall = TakesNoValue(rule, lowest, highest)
                                   ? std::string(": the picture is too small for the ") + effect.name + " effect"
                                   : std::string();
  char text[512];
  std::snprintf(text, sizeof text, "with this %dx%d picture it takes %s%s (%s)", scene.w, scene.h,
                Takes(rule, lowest, highest, turn).c_str(), tooSmall.c_str(), rule.why);
  return text;
}

const Effect* FindEffect(const std::string& name) {
  for (const Effect& e : Effects())
    if (name == e.name) return &e;
  return nullptr;
}

constexpr const char* kUsage =
    "usage: pelmora-tool effect NAME IN OUT.png --mode dd8|dd16|dd555|dd32|d3d16|d3d32 [--palette P.bmp]"
    " [--blend-table T.dat] [--keyed] [--VALUE N ...]\n       pelmora-tool effect --list [-v]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// The 8-bit blend table of --blend-table: the file's first 256 rows of 256
// palette numbers, as the game reads them (a shorter file is named with its
// size, not read; what follows a table is not read, which is said). False
// after saying why it is not one.
bool ReadBlendTable(const std::string& name, std::string& table) {
  std::string problem = tool::InputFileProblem(name);
  std::error_code ec;
  uintmax_t size = 0;
  if (problem.empty()) {
    size = std::filesystem::file_size(name, ec);
    if (ec) problem = ec.message();
  }
  if (problem.empty() && size >= kBlendTableBytes) {
    errno = 0;
    std::ifstream in(name, std::ios::binary);
    table.assign(kBlendTableBytes, '\0');
    if (!in) problem = errno != 0 ? std::strerror(errno) : "it cannot be opened";
    in.read(table.data(), static_cast<std::streamsize>(table.size()));
    table.resize(static_cast<size_t>(in.gcount()));
    if (problem.empty() && size > kBlendTableBytes && table.size() == kBlendTableBytes)
      std::fprintf(stderr, "effect: %s is %ju bytes: only its first %zu (a blend table) are read\n",
                   tool::Shown(name).c_str(), size, kBlendTableBytes);
    size = table.size();  // as it was read: the file may have changed since
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "effect: %s cannot be read (%s)\n", tool::Shown(name).c_str(), problem.c_str());
    return false;
  }
  if (size < kBlendTableBytes) {
    std::fprintf(stderr, "effect: %s is %ju bytes: a blend table is %zu (256 rows of 256 palette numbers)\n",
                 tool::Shown(name).c_str(), size, kBlendTableBytes);
    return false;
  }
  return true;
}

int RunEffect(const std::vector<std::string>& args) {
  tool::EndOnStopSignals("effect");
  if (!args.empty() && args[0] == "--list") {
    // "-v" is the one word that may follow.
    if (args.size() > 2 || (args.size() == 2 && args[1] != "-v")) return Usage();
    const bool verbose = args.size() == 2;
    for (const Effect& e : Effects()) {
      if (!verbose) {
        std::printf("%s\n", e.name);
        continue;
      }
      std::printf("%-14s %s;", e.name, e.about);
      for (const Value& v : e.values) std::printf(" --%s", v.name);
      std::printf("\n");
    }
    return 0;
  }
  std::string name, in, out, mode, palette, blendTable;
  bool keyed = false;
  std::map<std::string, double> overrides;
  std::map<std::string, std::string> typed;  // each value as it was typed, for the messages
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--keyed") {
      keyed = true;
    } else if (a.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) return Usage();
      const std::string& v = args[++i];
      if (a == "--mode") mode = v;
      else if (a == "--palette") palette = v;
      else if (a == "--blend-table") blendTable = v;
      else {
        // The runtime takes the values as 32-bit numbers; what each takes
        // with the picture is checked once the picture is loaded.
        constexpr tool::NumberRange kValue{-2147483647.0, 2147483647.0, false,
                                           "a number from -2147483647 to 2147483647"};
        double d = 0;
        if (!tool::ReadNumber("effect", a, v, kValue, d)) return 2;
        overrides[a.substr(2)] = d;
        typed[a.substr(2)] = v;
      }
    } else if (name.empty()) {
      name = a;
    } else if (in.empty()) {
      in = a;
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage();
    }
  }
  const EffectMode* chosen = nullptr;
  for (const EffectMode& m : kModes)
    if (mode == m.name) chosen = &m;
  const Effect* effect = FindEffect(name);
  if (out.empty() || chosen == nullptr) return Usage();
  if (effect == nullptr) {
    std::fprintf(stderr, "effect: no effect %s (pelmora-tool effect --list)\n", tool::Shown(name).c_str());
    return 2;
  }
  for (const auto& [key, value] : overrides) {
    const Value* known = nullptr;
    for (const Value& v : effect->values)
      if (key == v.name) known = &v;
    if (known == nullptr) {
      std::fprintf(stderr, "effect: %s has no value --%s\n", effect->name, tool::Shown(key).c_str());
      return 2;
    }
    if (known->whole && typed[key].find('.') != std::string::npos) {
      std::fprintf(stderr, "effect: %s --%s takes a whole number, not %s\n", effect->name, key.c_str(),
                   typed[key].c_str());
      return 2;
    }
  }
  if (const std::string clash = tool::OutputClash(
          {{"IN", in}, {"--palette", palette}, {"--blend-table", blendTable}}, {{"OUT", out}});
      !clash.empty()) {
    std::fprintf(stderr, "effect: %s\n", clash.c_str());
    return Usage();
  }
  // The files named are checked before anything opens them (a pipe would
  // keep the run waiting); the pictures are opened by their names as given,
  // whatever their bytes.
  plat::InputFile input, paletteInput;
  if (const std::string problem = tool::OpenInput(input, in); !problem.empty()) {
    std::fprintf(stderr, "effect: %s cannot be read (%s)\n", tool::Shown(in).c_str(), problem.c_str());
    return 1;
  }
  if (const std::string problem = palette.empty() ? "" : tool::OpenInput(paletteInput, palette); !problem.empty()) {
    std::fprintf(stderr, "effect: no palette in %s (%s)\n", tool::Shown(palette).c_str(), problem.c_str());
    return 1;
  }
  std::string table;
  if (!blendTable.empty() && !ReadBlendTable(blendTable, table)) return 1;

  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection().use555 = chosen->use555;
  if (!DDInit(chosen->direct3D, 0, 640, 480, chosen->bpp, 0, 0, 1, 60, 0, nullptr, nullptr, 0)) {
    std::fprintf(stderr, "effect: the %s display cannot be set up\n", chosen->name);
    return 1;
  }
  const std::string& inPath = input.ProgramPath();
  plat::DecodedImage probe;
  std::string reason;
  if (!plat::LoadImageFile(inPath, probe, reason)) {
    std::fprintf(stderr, "effect: %s cannot be read (%s)\n", tool::Shown(in).c_str(), reason.c_str());
    DDRelease();
    return 1;
  }
  // The palette: --palette, else the picture's own colour table (8 bits),
  // else a default one. The 8-bit display takes a palette from an 8-bit
  // picture's colour table only (the deeper ones read other pictures'
  // colour grid): a --palette without one would be passed over.
  DefaultPalette();
  const std::string& from = palette.empty() ? inPath : paletteInput.ProgramPath();
  if ((!palette.empty() || (chosen->bpp == 8 && !probe.palette.empty())) &&
      !tool::LoadPalette("effect", palette.empty() ? in : palette, from, !palette.empty(), chosen->bpp == 8)) {
    DDRelease();
    return 1;
  }
  std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
  if (chosen->bpp == 8 && !chosen->direct3D) {
    if (table.empty()) BlendTableFromPalette();
    else DDBlendTableFromBytes(g_BlendTable, reinterpret_cast<const uint8_t*>(table.data()), table.size());
  }
  // Keyed pictures take the top-left pixel's colour as the transparent one.
  if (keyed) DDSetTransmitFromFile(inPath.c_str());

  DDSURFACEDATA src, dst;
  int status = 0;
  if (DDCreateSurfaceFromFile(&src, inPath.c_str(), keyed ? 1 : 0, DDState.nBpp, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0, 0,
                              0, 0) != 0 ||
      !DDCreateSurface(&dst, src.nWidth, src.nHeight, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0)) {
    std::fprintf(stderr, "%s\n", tool::PictureLoadFailure(in).c_str());
    status = 1;
  } else {
    Scene scene{&dst, &src, src.nWidth, src.nHeight, keyed ? 1u : 0u, {}};
    for (const Value& v : effect->values) scene.values[v.name] = v.value(src.nWidth, src.nHeight);
    for (const auto& [key, value] : overrides) scene.values[key] = value;
    const std::string refusal = effect->refuses ? effect->refuses(*chosen, scene) : std::string();
    // The first value (in the table's order) that leaves the picture blank
    // or unchanged.
    std::string valueRefusal;
    const Value* refused = nullptr;
    for (const Value& v : effect->values) {
      valueRefusal = Refusal(*effect, v, *chosen, scene);
      if (!valueRefusal.empty()) {
        refused = &v;
        break;
      }
    }
    if (!refusal.empty()) {
      std::fprintf(stderr, "effect: %s in %s: %s\n", effect->name, chosen->name, refusal.c_str());
      status = 2;
    } else if (refused != nullptr) {
      const auto word = typed.find(refused->name);
      std::fprintf(stderr, "effect: %s --%s %s%s is out of range: %s\n", effect->name, refused->name,
                   word != typed.end() ? word->second.c_str() : Number(scene.D(refused->name)).c_str(),
                   word != typed.end() ? "" : " (its default)", valueRefusal.c_str());
      status = 2;
    } else {
      DDFillSurface(&dst, 0);
      effect->draw(scene);
      plat::Frame frame;
      std::string png;
      if (!SurfaceToFrame(&dst, frame) || !plat::EncodeFramePng(frame, png)) {
        std::fprintf(stderr, "effect: the picture drawn cannot be read back\n");
        status = 1;
      } else if (!tool::WriteOutputFile("effect", out, png)) {
        status = 1;
      }
    }
  }
  DDReleaseSurface(&dst);
  DDReleaseSurface(&src);
  DDRelease();
  return status;
}

tool::Registrar effectCommand(tool::Command{
    "effect", "effect NAME IN OUT.png --mode M  one pixel effect over a bitmap (effect --list names them)",
    RunEffect, [] {
      return std::string("modes: dd8 dd16 dd555 dd32 d3d16 d3d32; [--palette P.bmp] [--blend-table T.dat (8 bits)]"
                         " [--keyed] [--VALUE N ...]\n"
                         "pelmora-tool effect --list [-v]: the effects (-v: what each does and its values)\n");
    }});

}  // namespace
