#include "data/data_paths.h"

#include "base/errors.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/text.h"

cSafeVector<std::string> DataPaths = {
    "data\\", "default\\", "data\\stg4\\old_ver\\", "data\\work\\", "e_data\\SheetSize.dat", "e_data\\EditConfig.dat",
    "data\\PrjOption.dat", "default\\PrjOption.dat", "data\\CommonPalette.cplt4", "default\\CommonPalette.cplt4",
    "data\\GValInfo.dat", "default\\GValInfo.dat", "data\\stg4\\Default.stg4_***", "default\\stg4\\Default.stg4_***",
    "data\\WorldMap.dat", "default\\WorldMap.dat",
    "data\\database\\AnimeSet.dat", "default\\database\\AnimeSet.dat",
    "data\\database\\Anime.dat", "default\\database\\Anime.dat",
    "data\\database\\Bmp_CharaExc.dat", "default\\database\\Bmp_CharaExc.dat",
    "data\\database\\SwordType.dat", "default\\database\\SwordType.dat",
    "data\\database\\Effect.dat", "default\\database\\Effect.dat",
    "data\\database\\CharaEffect.dat", "default\\database\\CharaEffect.dat",
    "data\\database\\ScrEffect.dat", "default\\database\\ScrEffect.dat",
    "data\\database\\Picture.dat", "default\\database\\Picture.dat",
    "data\\database\\Sound.dat", "default\\database\\Sound.dat",
    "data\\database\\Bgm.dat", "default\\database\\Bgm.dat",
    "data\\System.dat", "default\\System.dat", "data\\stg4\\c",
    "user_data\\story\\", "user_data\\challenge\\", "user_data\\free\\", "user_data\\story\\Story",
    "user_data\\challenge\\Challenge.dat", "user_data\\Option.dat", "user_data\\", "user_data\\KeyConfig.dat",
    "user_data\\Boot.dat", "user_data\\Window.dat"};

cSafeVector<std::string> DataExtensions = {"cplt4", "stg4", "plt4", "rkg"};

namespace {

// A folder entry of the path table without its closing "\": the folder
// itself, as the copy names it.
std::string FolderOf(const std::string& entry) {
  std::string folder = entry;
  while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace

int CreateDefaultData(uint32_t) {
  const std::string& data = DataPaths.At(kPathData);
  const std::string& source = DataPaths.At(kPathDefault);
  if (plat::IsDirectory(data)) return 1;
  if (!plat::IsDirectory(source)) return 0;
  int answer = ShowMessageBox(plat::Sjis("データが存在しません！デフォルトデータを作成しますか？\n").c_str(),
                              plat::Sjis("デフォルトデータ作成の確認").c_str(), plat::MB_YESNO);
  if (answer != plat::IDYES) return 0;
  // The copy is whole or not there at all: a failure half-way leaves no
  // "data" folder behind.
  return plat::CopyDirectoryAtomically(FolderOf(source), FolderOf(data)) ? 1 : 0;
}
