// Which file each of the demo's sound and music entries plays: the system
// data's sounds by role, the database's sound list and its music list. The
// sounds part writes these files; the data parts name them.
#pragma once

#include <cstdint>

namespace tool::demo {

// The system data's seventeen sounds, by the role the game plays each in.
inline constexpr const char* kSystemSoundFiles[17] = {
    "wave\\cursor.wav",     // 0 a menu's cursor moved
    "wave\\decide.wav",     // 1 decide
    "wave\\cancel.wav",     // 2 cancel
    "wave\\buzzer.wav",     // 3 refused
    "wave\\pause.wav",      // 4 pause, and the world map's menu
    "wave\\saved.wav",      // 5 saved to a slot
    "wave\\page.wav",       // 6 the ranking shown or its list changed
    "wave\\damage.wav",     // 7 the hero hurt
    "wave\\miss.wav",       // 8 the hero lost
    "wave\\pop.wav",        // 9 an enemy beaten
    "wave\\spring.wav",     // 10 a spring block
    "wave\\message.wav",    // 11 a message that waits opens
    "wave\\decide.wav",     // 12 a message closed
    "wave\\warning.wav",    // 13 the time runs short
    "wave\\clear.wav",      // 14 a stage cleared
    "wave\\oneup.wav",      // 15 an extra life
    "wave\\ranking.wav",    // 16 a name entered in the ranking
};

// The database's sound list from entry 1 on, in the order of DemoSound
// (demo_builders.h); flows and items name these.
inline constexpr const char* kDatabaseSoundFiles[] = {
    "wave\\cursor.wav", "wave\\decide.wav", "wave\\cancel.wav",    "wave\\jump.wav",  "wave\\shot.wav",
    "wave\\coin.wav",   "wave\\damage.wav", "wave\\explosion.wav", "wave\\clear.wav", "wave\\sword.wav",
    "wave\\roar.wav",   "wave\\powerup.wav", "wave\\warp.wav",
};

// The music list from entry 1 on: the title and the menus, the world map,
// one tune a stage and the ending.
enum DemoMusic : uint32_t {
  kMusicTitle = 1, kMusicMap, kMusicMeadow, kMusicTower, kMusicSky, kMusicWind, kMusicCastle, kMusicEnding,
};
struct DemoTuneEntry {
  const char* file;
  const char* name;  // UTF-8
};
inline constexpr DemoTuneEntry kMusicFiles[] = {
    {"bgm\\Title.mid", "タイトル"},   {"bgm\\Map.mid", "ワールドマップ"}, {"bgm\\Meadow.mid", "草原"},
    {"bgm\\Tower.mid", "塔"},         {"bgm\\Sky.mid", "空"},             {"bgm\\Wind.mid", "風の道"},
    {"bgm\\Castle.mid", "魔王の城"},  {"bgm\\Ending.mid", "エンディング"},
};

// The cells of the demo's pictures that the game's own types draw: the
// bitmaps part draws them there, the game's types name them.
inline constexpr int kSpringTile = 14;    // Block.bmp: the spring
inline constexpr int kLiftTile = 29;      // Block.bmp: a lift's plate
inline constexpr int kGoalFlagItem = 24;  // Item.bmp: the goal flag
inline constexpr int kSignGraphic = 5;    // Character1.bmp: a sign board
inline constexpr int kMasterGraphic = 6;  // Character1.bmp: the master, a ghost of the dark

}  // namespace tool::demo
