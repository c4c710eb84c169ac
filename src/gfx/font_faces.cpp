// The face-name table: which installed family draws each face a project can
// choose for its texts. The faces are those of Windows; here the IPA fonts
// (fonts-ipafont-gothic and fonts-ipafont-mincho) stand in, fixed-pitch
// Gothic for the fixed-pitch faces, proportional Gothic for the proportional
// sans-serif ones, Mincho likewise for the serif ones. A game's texts are
// Japanese whatever face it names, so Latin and symbol faces get a Japanese
// stand-in too (they would have had one on the Japanese systems the games
// were made on).
#include <cstring>
#include <mutex>
#include <string_view>

#include "base/logs.h"
#include "gfx/fonts.h"
#include "platform/font_raster.h"
#include "platform/text.h"

namespace {

constexpr const char* kGothic = "IPAGothic";
constexpr const char* kPGothic = "IPAPGothic";
constexpr const char* kMincho = "IPAMincho";
constexpr const char* kPMincho = "IPAPMincho";
// The table's default: the face of a name that names nothing installed.
constexpr const char* kDefaultFamily = kGothic;

struct FaceStandIn {
  const char* face;    // UTF-8
  const char* family;  // installed family
};

constexpr FaceStandIn kFaces[] = {
    // Japanese faces.
    {"ＭＳ ゴシック", kGothic}, {"ＭＳ Ｐゴシック", kPGothic}, {"MS UI Gothic", kPGothic},
    {"ＭＳ 明朝", kMincho}, {"ＭＳ Ｐ明朝", kPMincho}, {"メイリオ", kPGothic},
    {"HGｺﾞｼｯｸE", kGothic}, {"HGPｺﾞｼｯｸE", kPGothic}, {"HGSｺﾞｼｯｸE", kPGothic},
    {"HGｺﾞｼｯｸM", kGothic}, {"HGPｺﾞｼｯｸM", kPGothic}, {"HGSｺﾞｼｯｸM", kPGothic},
    {"HG丸ｺﾞｼｯｸM-PRO", kGothic}, {"HG創英角ｺﾞｼｯｸUB", kGothic}, {"HGP創英角ｺﾞｼｯｸUB", kPGothic},
    {"HGS創英角ｺﾞｼｯｸUB", kPGothic}, {"HG創英角ﾎﾟｯﾌﾟ体", kGothic}, {"HGP創英角ﾎﾟｯﾌﾟ体", kPGothic},
    {"HGS創英角ﾎﾟｯﾌﾟ体", kPGothic}, {"HG正楷書体-PRO", kMincho}, {"HG行書体", kMincho},
    {"HGP行書体", kPMincho}, {"HGS行書体", kPMincho}, {"HG教科書体", kMincho}, {"HGP教科書体", kPMincho},
    {"HGS教科書体", kPMincho}, {"HG明朝B", kMincho}, {"HGP明朝B", kPMincho}, {"HGS明朝B", kPMincho},
    {"HG明朝E", kMincho}, {"HGP明朝E", kPMincho}, {"HGS明朝E", kPMincho}, {"HG創英ﾌﾟﾚｾﾞﾝｽEB", kMincho},
    {"HGP創英ﾌﾟﾚｾﾞﾝｽEB", kPMincho}, {"HGS創英ﾌﾟﾚｾﾞﾝｽEB", kPMincho},
    // Fixed-pitch and system faces.
    {"System", kGothic}, {"Terminal", kGothic}, {"FixedSys", kGothic}, {"Modern", kGothic},
    {"Small Fonts", kGothic}, {"Courier", kGothic}, {"Courier New", kGothic}, {"Courier New CE", kGothic},
    {"Courier New CYR", kGothic}, {"Courier New Greek", kGothic}, {"Courier New TUR", kGothic},
    {"Courier New Baltic", kGothic}, {"Lucida Console", kGothic}, {"OCRB", kGothic}, {"WST_Czec", kGothic},
    {"WST_Engl", kGothic}, {"WST_Fren", kGothic}, {"WST_Germ", kGothic}, {"WST_Ital", kGothic},
    {"WST_Span", kGothic}, {"WST_Swed", kGothic}, {"GulimChe", kGothic}, {"DotumChe", kGothic},
    {"BatangChe", kMincho}, {"GungsuhChe", kMincho}, {"NSimSun", kMincho},
    // Symbol faces: their pictures are not text; the text is drawn instead.
    {"Marlett", kGothic}, {"Wingdings", kGothic}, {"Symbol", kGothic}, {"Webdings", kGothic},
    {"MT Extra", kGothic}, {"InMusicSym", kGothic}, {"MS Outlook", kGothic},
    // Proportional sans-serif faces.
    {"MS Sans Serif", kPGothic}, {"Microsoft Sans Serif", kPGothic}, {"Arial", kPGothic},
    {"Arial CE", kPGothic}, {"Arial CYR", kPGothic}, {"Arial Greek", kPGothic}, {"Arial TUR", kPGothic},
    {"Arial Baltic", kPGothic}, {"Arial Black", kPGothic}, {"Arial Narrow", kPGothic}, {"Verdana", kPGothic},
    {"Tahoma", kPGothic}, {"Trebuchet MS", kPGothic}, {"Comic Sans MS", kPGothic}, {"Impact", kPGothic},
    {"Franklin Gothic Medium", kPGothic}, {"Century Gothic", kPGothic}, {"Lucida Sans Unicode", kPGothic},
    {"Gulim", kPGothic}, {"Dotum", kPGothic}, {"SimHei", kPGothic}, {"Estrangelo Edessa", kPGothic},
    {"Gautami", kPGothic}, {"Latha", kPGothic}, {"Mangal", kPGothic}, {"MV Boli", kPGothic},
    {"Raavi", kPGothic}, {"Shruti", kPGothic}, {"Tunga", kPGothic}, {"Kartika", kPGothic},
    {"Vrinda", kPGothic}, {"Sydnie", kPGothic},
    // Proportional serif faces.
    {"Roman", kPMincho}, {"Script", kPMincho}, {"MS Serif", kPMincho}, {"Times New Roman", kPMincho},
    {"Times New Roman CE", kPMincho}, {"Times New Roman CYR", kPMincho}, {"Times New Roman Greek", kPMincho},
    {"Times New Roman TUR", kPMincho}, {"Times New Roman Baltic", kPMincho}, {"Georgia", kPMincho},
    {"Palatino Linotype", kPMincho}, {"Book Antiqua", kPMincho}, {"Bookman Old Style", kPMincho},
    {"Century", kPMincho}, {"Garamond", kPMincho}, {"Sylfaen", kPMincho}, {"Batang", kPMincho},
    {"Gungsuh", kPMincho}, {"SimSun", kMincho}, {"SimSun-PUA", kMincho}, {"MingLiU", kMincho},
    {"PMingLiU", kPMincho},
};

std::mutex& PinMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::string& PinnedFile() {
  static std::string* file = new std::string;
  return *file;
}

const char* StandInOf(std::string_view utf8Face) {
  for (const FaceStandIn& f : kFaces)
    if (utf8Face == f.face) return f.family;
  return nullptr;
}

}  // namespace

void SetPinnedFontFile(const std::string& file) {
  std::lock_guard<std::mutex> lock(PinMutex());
  PinnedFile() = file;
}

std::string ResolveFontFace(const char* szFaceCp932, bool* fellBack) {
  if (fellBack) *fellBack = false;
  {
    std::lock_guard<std::mutex> lock(PinMutex());
    if (!PinnedFile().empty()) return PinnedFile();
  }
  const std::string face = plat::Cp932ToUtf8(szFaceCp932 ? szFaceCp932 : "");
  const char* standIn = StandInOf(face);
  std::string file = standIn ? plat::FindInstalledFamily(standIn) : plat::FindInstalledFamily(face);
  if (!file.empty()) return file;
  if (fellBack) *fellBack = true;
  file = plat::FindInstalledFamily(kDefaultFamily);
  if (!file.empty()) return file;
  // Not even the default is installed: whatever fontconfig offers.
  return plat::FindFontFile(face);
}
