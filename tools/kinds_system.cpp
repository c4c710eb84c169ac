// File kinds of the system data and of the player's records, and the demo
// project's system data.
#include <cctype>
#include <filesystem>
#include <iterator>

#include "data/database.h"
#include "data/rankings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/window_position.h"
#include "demo_media.h"
#include "demo_project.h"
#include "play/world/stage_draw.h"       // the head-up display's items
#include "play/world/stage_limits.h"     // the replay's stage as the game would lay it out
#include "play/world/system_switches.h"  // the pause switches of the demo
#include "platform/text.h"
#include "record_kinds.h"
#include "scene/play_record.h"  // play record files
#include "tool.h"

namespace tool {
namespace {

template <class T>
std::function<std::unique_ptr<cRecord>()> Make() {
  return [] { return std::make_unique<T>(); };
}

RecordKind Kind(const char* name, const char* fileName, std::function<std::unique_ptr<cRecord>()> make) {
  std::string file = fileName;
  return RecordKind{.name = name, .matches = [file](const std::string& n) { return NameIs(n, file); }, .make = make};
}

RecordKind SystemKind() {
  RecordKind kind = Kind("system", "System.dat", Make<cSystemData>());
  // Its screen music numbers are checked against the Bgm list (a number
  // past its end becomes 0).
  kind.usesDatabase = true;
  kind.counts = [](cRecord& r) {
    auto& s = static_cast<cSystemData&>(r);
    return "texts " + std::to_string(s.m_Texts.size()) + ", HUD items " + std::to_string(s.m_Hud.size()) +
           ", keys " + std::to_string(s.m_Keys.size());
  };
  // Settings past what a game can hold say which.
  kind.refusal = [](const std::string&) { return LastSystemDataLimitProblem(); };
  return kind;
}

RecordKindRegistrar systemData(SystemKind());
RecordKindRegistrar worldMap(Kind("worldmap", "WorldMap.dat", Make<cWorldMap>()));
RecordKindRegistrar option(Kind("option", "Option.dat", Make<cOptionData>()));
RecordKindRegistrar boot(Kind("boot", "Boot.dat", Make<cBootRecord>()));
RecordKindRegistrar ranking(RecordKind{.name = "ranking",
                                       .matches = [](const std::string& n) { return NameEndsWith(n, ".rkg"); },
                                       .make = Make<cRankingFile>()});

// ---- Replay files ("*.rpl4_873"): the stage, the key log, the play record ----
// A record with no fields of its own that holds the three parts, so that a
// replay goes through the same dump and resave paths as the other kinds.
class cReplayParts : public cRecord {
 public:
  PELMORA_RECORD_CLASS(cReplayParts)
  void DumpLists(cJsonWriter& json) override {
    json.Key("stageName");
    json.String(m_Running.m_strName);
    json.Key("keyLog");
    m_Log.DumpJson(json);
    json.Key("playRecord");
    m_PlayRecord.DumpJson(json);
  }
  cKeyLog m_Log;
  cStageData m_Stage, m_Running;
  cSaveData m_PlayRecord;
};
RecordKindRegistrar replay(RecordKind{
    .name = "replay",
    .matches = [](const std::string& n) { return NameContains(n, ".rpl4_"); },
    .make = Make<cReplayParts>(),
    .load =
        [](cRecord& r, const std::string& bytes) {
          auto& parts = static_cast<cReplayParts&>(r);
          return LoadReplayBytes(bytes, parts.m_Log, parts.m_Stage, parts.m_Running, parts.m_PlayRecord) ==
                 ReplayLoad::kOk;
        },
    .save =
        [](cRecord& r, cDataWriter& out) {
          auto& parts = static_cast<cReplayParts&>(r);
          const std::string bytes = MakeReplayBytes(parts.m_Log, parts.m_Stage, parts.m_Running, parts.m_PlayRecord);
          out.Write(bytes.data(), bytes.size());
        },
    .usesDatabase = true,
    .counts = [](cRecord& r) {
      auto& parts = static_cast<cReplayParts&>(r);
      return "frames " + std::to_string(parts.m_Log.FrameCount()) + ", direction runs " +
             std::to_string(parts.m_Log.m_Directions.size()) + ", button runs " +
             std::to_string(parts.m_Log.m_Buttons.size());
    },
    .playProblem = [](cRecord& r) { return StageSetUpProblem(static_cast<cReplayParts&>(r).m_Stage); }});
RecordKindRegistrar window(Kind("window", "Window.dat", Make<cWindowPosition>()));

// ---- Play record files (scene/play_record, data/save_slots) ----
// "Story01.dat".."Story99.dat" (save slots) and "Challenge.dat": a play record each.
bool IsSaveSlotName(const std::string& n) {
  return n.size() == 11 && NameIs(n.substr(0, 5), "Story") && isdigit(static_cast<unsigned char>(n[5])) &&
         isdigit(static_cast<unsigned char>(n[6])) && NameEndsWith(n, ".dat");
}
std::string PlayRecordCounts(cRecord& r) {
  auto& s = static_cast<cSaveData&>(r);
  return "kept heroes " + std::to_string(s.m_KeptHeroes.size()) + ", best results " +
         std::to_string(s.m_BestResults.size()) + ", world progress " + std::to_string(s.m_WorldProgress.size()) +
         ", progress flags " + std::to_string(s.m_ProgressFlags.size()) + ", common variables " +
         std::to_string(s.m_CommonVariables.size());
}
// The kept heroes are character definitions, whose references are checked
// against the database as a stage's characters are.
RecordKindRegistrar saveSlot(RecordKind{.name = "saveslot",
                                        .matches = IsSaveSlotName,
                                        .make = Make<cSaveData>(),
                                        .usesDatabase = true,
                                        .counts = PlayRecordCounts});
RecordKindRegistrar challengeProgress(RecordKind{.name = "challenge",
                                                 .matches = [](const std::string& n) { return NameIs(n, "Challenge.dat"); },
                                                 .make = Make<cSaveData>(),
                                                 .usesDatabase = true,
                                                 .counts = PlayRecordCounts});
// ---- end of play record files ----

// The pause rows' texts are system texts 19..22: quit, resume, retry and
// back to the map.
constexpr int kTextPauseBackToMap = 22;

// The demo game's system data: the defaults with its own title, sounds,
// music, rules and texts, and a "System.ini" that plays in a window.
bool WriteDemoSystem(const std::string& folder, const DemoOptions& options) {
  namespace fs = std::filesystem;
  cSystemData system;
  system.m_strTitle = "Pelmora Demo";
  // The game's own sounds by role, as the demo's sound part writes them.
  for (size_t i = 0; i < std::size(demo::kSystemSoundFiles); ++i)
    system.m_SystemSounds.At(static_cast<int>(i)) = demo::kSystemSoundFiles[i];
  // The menus' music: the title tune on the title and the options, the
  // map's on the world map, its menu and the world select; each goes on
  // from one of these screens to the next.
  const uint32_t screenMusic[] = {demo::kMusicTitle, demo::kMusicMap, demo::kMusicMap, demo::kMusicTitle};
  for (size_t i = 0; i < std::size(screenMusic); ++i) {
    system.m_ScreenMusic.At(static_cast<int>(i)) = screenMusic[i];
    system.m_ScreenMusicLoop.At(static_cast<int>(i)) = 1;
  }
  // Space pauses a stage (the pause menu goes on, retries or quits).
  system.SetNum(ProjectRuleRow(kRulePauseAllowed).field, 1);
  // The pause menu of a story stage offers retry and back to the map as
  // well as quit and resume, and a challenge stage's pause offers retry.
  // The game shows these rows in a world the player has cleared (a stage
  // played again from the map, its world's gate long open): there the
  // player leaves a stage for the map, the game kept, instead of quitting
  // to the title and losing what was not saved. The back-to-map row (system
  // text 22, after quit, resume and retry) reads as the continue menu's
  // does: the defaults give it no text.
  for (eProjectRule rule : {kRuleRetryInStory, kRuleBackToMapInStory, kRuleRetryInChallenge})
    system.SetNum(ProjectRuleRow(rule).field, 1);
  system.m_Texts.At(kTextPauseBackToMap) = plat::Sjis("マップへ戻る");
  // The pause menu stands over the whole stage (its ground, the hero, the
  // head-up display and the timer), not over its background alone.
  system.SetNum(ProjectRuleRow(kRuleHideStageWhilePaused).field, 0);
  // The demo's heroes have no special points: the head-up display shows no
  // SP gauge, and no play mode ranks (nor lists in its result box) the SP
  // left at the clears.
  system.m_Hud.At(kHudSP).m_bShown = 0;
  for (cRankingModeSetting& mode : system.m_Ranking)
    if (kRankingGenreSpLeft < static_cast<int>(mode.m_Genres.size())) mode.m_Genres.At(kRankingGenreSpLeft) = 0;
  // A story game has its five lives, not unlimited ones: falling into a
  // pit costs one, and the last one lost ends the game.
  system.m_UnlimitedLives.At(0) = 0;
  // Every 300 of a story's stage points give an extra life (the stage clear
  // shows it rising over the hero). The stage points add up the scores of
  // a world's cleared stages and start again from 0 each time a world is
  // entered from the map; a world played well (its gold and its enemies)
  // makes 300 or more, so that its last stage's clear brings a life for the
  // next world.
  system.SetNum(ProjectRuleRow(kRuleExtraLives).field, 1);
  system.SetNum(ProjectRuleRow(kRulePointsPerLife).field, 300);
  // Three worlds, as the world map and the challenge mode's stages have.
  system.SetNum(kSysWorldCount, 3);
  // The title's menu: the rows of the menu picture (GameMode.bmp), or, in
  // the variant made with --text-menu, the commands' labels as text.
  system.SetNum(kSysTitleTextMenu, options.textMenu ? 1 : 0);
  // In 8-bit displays the palette's colour groups 208..239 turn round:
  // the demo's water, fire and gold glints, the ending's rainbow.
  system.SetNum(kSysPaletteCycling, 1);
  fs::create_directories(fs::path(folder) / "data");
  // The music numbers are stored as the demo's music list has them: write
  // with that list in the runtime's database, which the writer checks them
  // against.
  const cDatabase saved = Database;
  demo::BuildDemoDatabase(Database);
  const std::string bytes = system.SaveToBytes();
  Database = saved;
  if (!WriteOutputFile("make-demo", (fs::path(folder) / "data" / "System.dat").string(), bytes)) return false;
  cWorldMap worldMap;
  if (!WriteOutputFile("make-demo", (fs::path(folder) / "data" / "WorldMap.dat").string(), worldMap.SaveToBytes()))
    return false;
  return WriteOutputFile("make-demo", (fs::path(folder) / "System.ini").string(),
                         "Direct3D=1\r\nWindowMode=1\r\nBpp=0\r\nVSync=1\r\nShowFps=0\r\nExit\r\n");
}
Registrar demoSystem(DemoPart{5, "system data", WriteDemoSystem});

}  // namespace
}  // namespace tool
