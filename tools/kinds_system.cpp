// File kinds of the system data and of the player's records, and the demo
// project's system data.
#include <filesystem>
#include <iterator>

#include "data/system_data.h"
#include "data/user_records.h"
#include "data/window_position.h"
#include "record_kinds.h"
#include "tool.h"

namespace tool {
namespace {

template <class T>
std::function<std::unique_ptr<cRecord>()> Make() {
  return [] { return std::make_unique<T>(); };
}

RecordKindRegistrar systemData({"system", [](const std::string& n) { return NameIs(n, "System.dat"); },
                                Make<cSystemData>()});
RecordKindRegistrar worldMap({"worldmap", [](const std::string& n) { return NameIs(n, "WorldMap.dat"); },
                              Make<cWorldMap>()});
RecordKindRegistrar option({"option", [](const std::string& n) { return NameIs(n, "Option.dat"); },
                            Make<cOptionData>()});
RecordKindRegistrar boot({"boot", [](const std::string& n) { return NameIs(n, "Boot.dat"); }, Make<cBootRecord>()});
RecordKindRegistrar window({"window", [](const std::string& n) { return NameIs(n, "Window.dat"); },
                            Make<cWindowPosition>()});

// The demo game's system data: the defaults with its own title and sounds,
// and a "System.ini" that plays in a window.
bool WriteDemoSystem(const std::string& folder) {
  namespace fs = std::filesystem;
  cSystemData system;
  system.m_strTitle = "Pelmora Demo";
  // The game's own sounds, as the demo's sound part writes them.
  const char* sounds[] = {"wave\\cursor.wav", "wave\\decide.wav", "wave\\cancel.wav", "wave\\jump.wav",
                          "wave\\shot.wav",   "wave\\coin.wav",   "wave\\damage.wav", "wave\\explosion.wav",
                          "wave\\clear.wav"};
  for (size_t i = 0; i < std::size(sounds); ++i) system.m_SystemSounds.At(static_cast<int>(i)) = sounds[i];
  // The title screen plays music entry 1 of the demo's database ("bgm\Title.mid").
  system.m_ScreenMusic.At(0) = 1;
  fs::create_directories(fs::path(folder) / "data");
  if (!WriteWholeFile((fs::path(folder) / "data" / "System.dat").string(), system.SaveToBytes())) return false;
  cWorldMap worldMap;
  if (!WriteWholeFile((fs::path(folder) / "data" / "WorldMap.dat").string(), worldMap.SaveToBytes())) return false;
  return WriteWholeFile((fs::path(folder) / "System.ini").string(),
                        "Direct3D=1\r\nWindowMode=1\r\nBpp=0\r\nVSync=1\r\nShowFps=0\r\nExit\r\n");
}
Registrar demoSystem(DemoPart{5, "system data", WriteDemoSystem});

}  // namespace
}  // namespace tool
