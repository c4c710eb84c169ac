// The demo game's own rules and texts in its system data: the pause menu
// of a story stage. Written over the system data that the "system data"
// part makes (the defaults with the demo's title, sounds, music and rules),
// through the runtime's reader and writer.
#include <filesystem>
#include <string>

#include "data/database.h"
#include "data/system_data.h"
#include "demo_project.h"
#include "play/world/system_switches.h"
#include "platform/text.h"
#include "tool.h"

namespace tool {
namespace {

// The pause rows' texts: system texts 19..22, quit, resume, retry and back
// to the map.
constexpr int kTextPauseBackToMap = 22;

// The pause menu of a story stage offers retry and back to the map as well
// as quit and resume, and a challenge stage's pause offers retry. The game
// shows these rows in a world the player has cleared (a stage played again
// from the map, its world's gate long open): there the player leaves a
// stage for the map, the game kept, instead of quitting to the title and
// losing what was not saved. The back-to-map row reads as the continue
// menu's does: the defaults give it no text.
void SetPauseRows(cSystemData& system) {
  for (eProjectRule rule : {kRuleRetryInStory, kRuleBackToMapInStory, kRuleRetryInChallenge})
    system.SetNum(ProjectRuleRow(rule).field, 1);
  system.m_Texts.At(kTextPauseBackToMap) = plat::Sjis("マップへ戻る");
}

bool WriteDemoSystemRules(const std::string& folder, const DemoOptions& /*options*/) {
  const std::string path = (std::filesystem::path(folder) / "data" / "System.dat").string();
  // The music numbers are checked against the demo's music list: read and
  // write with that list in the runtime's database.
  const cDatabase saved = Database;
  demo::BuildDemoDatabase(Database);
  cSystemData system;
  std::string bytes;
  bool ok = ReadWholeFile(path, bytes) && system.LoadFromBytes(bytes);
  if (ok) {
    SetPauseRows(system);
    bytes = system.SaveToBytes();
  }
  Database = saved;
  return ok && WriteWholeFile(path, bytes);
}

Registrar demoSystemRules(DemoPart{6, "system rules", WriteDemoSystemRules});

}  // namespace
}  // namespace tool
