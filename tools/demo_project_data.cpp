// The demo game's project database, common palette and stages, written
// through the runtime's own writers: animations, effects, the demo's sounds
// and its title tune; a hero, enemies with flows, blocks and items in the
// common palette; two small levels under "data\stg4\" that use them, and
// the stage that scripted plays run ("data\stg4\demo.stg4_1").
#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/stage_data.h"
#include "data/world_map.h"
#include "platform/text.h"
#include "tool.h"

namespace tool {
namespace {

namespace fs = std::filesystem;

// Item command kinds of the flow kinds the demo's items use.
constexpr uint8_t kItemSoundEffect = ItemKindOfFlowKind(kCmdPlaySound);
constexpr uint8_t kItemStatusOperation = ItemKindOfFlowKind(kCmdStatus);

// Database sound entries: 1.. are the demo's WAVs in this order.
enum DemoSound : uint16_t { kSndCursor = 1, kSndDecide, kSndCancel, kSndJump, kSndShot, kSndCoin, kSndDamage,
                            kSndExplosion, kSndClear };

cAnimeRecord Animation(const char* name, std::initializer_list<std::array<int32_t, 3>> frames) {
  cAnimeRecord anime;
  anime.m_strName = plat::Sjis(name);
  anime.m_Frames.clear();
  for (const auto& [cell, tenths, hold] : frames) {
    cAnimeFrame f;
    f.m_nCell = cell;
    f.m_nDuration = tenths;
    f.m_nHold = hold;
    anime.m_Frames.push_back(f);
  }
  return anime;
}

void BuildDatabase(cDatabase& db) {
  db.SetDefaults();
  // Animation sets: the new project's one, then the hero's and the enemies'
  // (standing, walking, flying, flying on: cells of their sheet column).
  cAnimeSetRecord hero;
  hero.m_strName = plat::Sjis("主人公");
  hero.m_Animes[0] = Animation("立ち", {{0, 5, 0}, {1, 5, 0}});
  hero.m_Animes[1] = Animation("立ち移動", {{2, 1, 0}, {3, 1, 0}, {4, 1, 0}, {5, 1, 0}});
  hero.m_Animes[2] = Animation("飛行", {{6, 2, 0}});
  hero.m_Animes[3] = Animation("飛行移動", {{6, 1, 0}, {7, 1, 0}});
  cAnimeSetRecord enemy = hero;
  enemy.m_strName = plat::Sjis("敵");
  enemy.m_Animes[1] = Animation("立ち移動", {{2, 2, 0}, {3, 2, 0}});
  db.m_AnimeSets.push_back(hero);
  db.m_AnimeSets.push_back(enemy);
  db.m_Animes.push_back(Animation("爆発", {{8, 1, 0}, {9, 1, 0}, {10, 1, 1}, {11, 2, 1}}));
  db.m_Animes.push_back(Animation("ジャンプ", {{12, 3, 1}}));

  cSwordTypeRecord sword;
  sword.m_strName = plat::Sjis("ソード");
  sword.m_Entries.assign(3, cSwordTypeEntry());
  for (int i = 0; i < 3; ++i) {
    sword.m_Entries[i].m_nValues[0] = i;  // cell
    sword.m_Entries[i].m_nValues[9] = 4;  // frames each
  }
  db.m_SwordTypes.push_back(sword);

  cEffectRecord explosion;
  explosion.m_strName = plat::Sjis("爆発");
  explosion.m_strText2 = "bmp\\Shot.bmp";
  explosion.m_Frames = {cIntPair(0, 1), cIntPair(1, 1), cIntPair(2, 1), cIntPair(3, 2)};
  db.m_Effects.push_back(explosion);

  cCharaEffectRecord blink;
  blink.m_nKind = 6;  // blink: time, interval
  blink.m_nParams[0] = 10;
  blink.m_nParams[1] = 2;
  blink.m_strName = plat::Sjis("点滅");
  db.m_CharaEffects.push_back(blink);
  cScrEffectRecord shake;
  shake.m_nKind = 2;  // horizontal vibration: time, width, count
  shake.m_nParams[0] = 5;
  shake.m_nParams[1] = 4;
  shake.m_nParams[2] = 6;
  shake.m_strName = plat::Sjis("振動");
  db.m_ScrEffects.push_back(shake);

  db.m_Pictures[1].m_strName = "bmp\\Title.bmp";
  // The runtime plays a sound entry's name as its file.
  db.m_Sounds.resize(1);
  for (const char* wav : {"wave\\cursor.wav", "wave\\decide.wav", "wave\\cancel.wav", "wave\\jump.wav", "wave\\shot.wav",
                          "wave\\coin.wav", "wave\\damage.wav", "wave\\explosion.wav", "wave\\clear.wav"}) {
    cSoundRecord sound;
    sound.m_nNumber = static_cast<int32_t>(db.m_Sounds.size());
    sound.m_strName = wav;
    db.m_Sounds.push_back(sound);
  }
  db.m_Bgms.resize(1);
  cBgmRecord title;
  title.m_nNumber = 1;
  title.m_nValue2 = 100;  // volume, percent
  title.m_strName = "bgm\\Title.mid";
  title.m_strText2 = plat::Sjis("タイトル");
  db.m_Bgms.push_back(title);
}

cEdCmd Command(uint8_t kind, std::vector<uint32_t> words, uint8_t family = 0) {
  cEdCmd c;
  c.m_nFamily = family;
  c.m_nKind = kind;
  c.m_vParams = std::move(words);
  return c;
}

cEdFlow Flow(uint8_t trigger, std::vector<cEdCmd> commands) {
  cEdFlow f;
  f.m_nTrigger = trigger;
  f.m_vCmds = std::move(commands);
  return f;
}

cEdBlock Block(const char* name, uint16_t graphic, uint8_t hit, int8_t itemKind = 0, uint16_t itemIndex = 0) {
  cEdBlock b;
  b.m_strName = plat::Sjis(name);
  b.m_nGraphic = graphic;
  b.m_nOption7 = hit;  // solidity: 1 characters collide with it (drawn either way)
  b.m_nItemKind = itemKind;
  b.m_nItemIndex = itemIndex;
  return b;
}

cEdCharacter Character(const char* name, int16_t graphic, uint8_t control, int16_t animeSet) {
  cEdCharacter c;
  c.m_strName = plat::Sjis(name);
  c.m_nGraphic = graphic;
  c.m_nControl = control;
  c.m_nAnimeSet = animeSet;
  c.m_nParam40 = control == 0 ? 3 : 1;  // hit points
  return c;
}

// The common palette: ground and bricks, a hero, three enemies with flows
// of several command kinds, coins and a heart.
void BuildCommonPalette(cCommonPalette& palette) {
  palette.m_Blocks = {cEdBlock(), Block("地面", 1, 1), Block("レンガ", 4, 1), Block("コインブロック", 7, 1, 1, 1)};

  cEdCharacter hero = Character("主人公", 1, 0, 1);
  cEdFlow jumpSound = Flow(kTriggerDamaged, {Command(kCmdPlaySound, {kSndJump})});
  hero.m_vFlows = {jumpSound};

  cEdCharacter walker = Character("スライム", 2, 1, 2);
  cEdCmd walk = Command(kCmdMoveStraight, {});
  cEdMove::Create(walk.m_pMove);
  walk.m_pMove->m_f22 = 60;  // frames
  walker.m_vFlows = {Flow(kTriggerAlways, {walk, Command(kCmdTurn, {2}), Command(kCmdWait, {}), Command(kCmdLoop, {0, 0})})};

  cEdCharacter shooter = Character("砲台", 3, 1, 2);
  cEdCmd fire = Command(kCmdShot, {});
  cEdShot::Create(fire.m_pShot);
  fire.m_pShot->m_nGraphic = 1;    // shot graphic
  fire.m_pShot->m_nEffect = 1;    // explosion effect on a hit
  fire.m_pShot->m_nItemPalette = 1;    // drops a common coin
  fire.m_pShot->m_nItemIndex = 1;
  shooter.m_vFlows = {Flow(kTriggerAlways, {fire, Command(kCmdPlaySound, {kSndShot}), Command(kCmdWait, {})})};
  cCond near;
  near.m_nKind = 7;  // distance to the hero
  near.m_nConstant = 200;
  near.m_nOperator = 3;
  shooter.m_vFlows[0].m_vConds = {near};

  cEdCharacter bat = Character("コウモリ", 4, 1, 2);
  cEdCmd circle = Command(kCmdMoveCircle, {});
  cEdMove::Create(circle.m_pMove);
  circle.m_pMove->m_f22 = 90;
  bat.m_vFlows = {Flow(kTriggerAlways, {circle}),
                  Flow(kTriggerHitByShot, {Command(kCmdPlayEffect, {1, 0, 0, 0, 0, 0, 0, 0}),
                                           Command(kCmdPlaySound, {kSndExplosion}),
                                           Command(kCmdPlayScreenEffect, {1, 0, 0})})};
  bat.m_nCharaEffectA = 1;
  palette.m_Characters = {cEdCharacter(), hero, walker, shooter, bat};

  cEdItem coin;
  coin.m_strName = plat::Sjis("コイン");
  coin.m_nGraphic = 6;
  coin.m_nSound = kSndCoin;
  coin.m_vCmds = {Command(kItemSoundEffect, {kSndCoin}, 1)};
  cEdItem heart;
  heart.m_strName = plat::Sjis("ハート");
  heart.m_nGraphic = 5;
  // Status operation: HP + 1.
  heart.m_vCmds = {Command(kItemStatusOperation, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1)};
  palette.m_Items = {cEdItem(), coin, heart};
}

// A stage type taking everything from the common palette entry `index`.
template <class T>
T FromCommon(uint16_t index, size_t groups, uint16_t column, uint16_t row) {
  T t;
  t.m_nBaseKind = 1;
  t.m_nBaseIndex = index;
  t.m_vInherit.assign(groups, 1);
  t.m_nWord1 = column;
  t.m_nWord2 = row;
  return t;
}

// A level of width × 15 blocks: ground along the bottom, brick steps, the
// hero at the left, enemies and coins on the way.
cStageData BuildStage(const cCommonPalette& common, const char* name, int32_t width, const char* background,
                      uint32_t seed) {
  cStageData s;
  s.m_strName = plat::Sjis(name);
  s.Int(kStageWidth) = width;
  s.Int(kStageHeight) = 15;
  s.Int(kStageMusic) = 1;
  s.Int(kStageTimeLimitOn) = 1;
  s.Int(kStageTimeLimit) = 300;
  // The stage's own palette: its own coloured brick taking everything but
  // the graphic from the common brick.
  cEdBlock brick = FromCommon<cEdBlock>(2, cEdBlock::kInheritGroups, 0, 0);
  brick.m_vInherit[2] = 0;
  brick.m_nGraphic = static_cast<uint16_t>(5 + seed % 2);
  s.m_PaletteBlocks = {cEdBlock(), brick};
  s.m_PaletteCharacters = {cEdCharacter(), FromCommon<cEdCharacter>(2, cEdCharacter::kInheritGroups, 0, 0)};
  s.m_PaletteItems = {cEdItem(), FromCommon<cEdItem>(1, cEdItem::kInheritGroups, 0, 0)};

  auto place = [&](uint16_t commonIndex, int column, int row) {
    cEdBlock b = common.m_Blocks[commonIndex];
    b.m_nBaseKind = 1;
    b.m_nBaseIndex = commonIndex;
    b.m_nWord1 = static_cast<uint16_t>(column);
    b.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedBlocks.push_back(b);
  };
  for (int x = 0; x < width; ++x) {
    if (x % 17 == 9) continue;  // a pit now and then
    place(1, x, 14);
    place(1, x, 13);
  }
  for (int k = 0; k < width / 10; ++k) {
    const int x = 6 + k * 10 + static_cast<int>(seed % 3);
    for (int step = 0; step < 3; ++step) place(2, x + step, 12 - step);
    place(3, x + 1, 8);
  }
  auto character = [&](uint16_t commonIndex, int column, int row, int32_t item) {
    cEdCharacter c = common.m_Characters[commonIndex];
    c.m_nBaseKind = 1;
    c.m_nBaseIndex = commonIndex;
    c.m_nWord1 = static_cast<uint16_t>(column);
    c.m_nWord2 = static_cast<uint16_t>(row);
    c.m_nPlacedItem = item;
    s.m_PlacedCharacters.push_back(c);
  };
  character(1, 2, 12, -1);  // the hero
  auto item = [&](uint16_t commonIndex, int column, int row) {
    cEdItem i = common.m_Items[commonIndex];
    i.m_nBaseKind = 1;
    i.m_nBaseIndex = commonIndex;
    i.m_nWord1 = static_cast<uint16_t>(column);
    i.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedItems.push_back(i);
  };
  item(2, 1, 0);  // the heart the first slime carries (placed item 0)
  for (int x = 12; x < width - 4; x += 8) {
    character(static_cast<uint16_t>(2 + (x / 8 + seed) % 3), x, 12, x == 12 ? 0 : -1);
    item(1, x + 3, 10);
  }
  cEdCharacter local = s.m_PaletteCharacters[1];
  local.m_nBaseKind = 2;
  local.m_nBaseIndex = 1;
  local.m_vInherit.assign(cEdCharacter::kInheritGroups, 0);
  local.m_nWord1 = static_cast<uint16_t>(width - 3);
  local.m_nWord2 = 12;
  local.m_nPlacedItem = -1;
  s.m_PlacedCharacters.push_back(local);

  s.m_Backgrounds.assign(2, cStageBackground());
  s.m_Backgrounds[0].m_nSource = 0;  // loaded from its file
  s.m_Backgrounds[0].m_strFile = background;
  s.m_Backgrounds[0].m_bAutoScrollX = 1;
  s.m_Backgrounds[0].m_dScrollSpeedX = 0.25;
  s.m_Backgrounds[1].m_nSource = 1;
  s.m_Texts.clear();
  return s;
}

// The stage `pelmora-tool play` and the benchmarks run: one screen and a
// half of ground (40 x 15 blocks) with a brick wall at each end, a staircase
// up and down, a gap down to the bottom edge, a ledge of prize blocks over
// the gap, coins and a heart, a slime, a shooter and a bat standing about,
// and the hero placed high in the air so that it falls and lands at the
// start. Two background layers: the sky drifting by itself, and hills in
// front of it that scroll at half the view's speed.
cStageData BuildPlayStage(const cCommonPalette& common) {
  constexpr int kWidth = 40, kHeight = 15;
  cStageData s;
  s.m_strName = plat::Sjis("テスト草原");
  s.Int(kStageWidth) = kWidth;
  s.Int(kStageHeight) = kHeight;
  s.Int(kStageMusic) = 1;
  s.Int(kStageTimeLimitOn) = 1;
  s.Int(kStageTimeLimit) = 300;
  s.Int(kStageSpeedLevel) = 2;  // two sub-steps a frame
  cEdBlock brick = FromCommon<cEdBlock>(2, cEdBlock::kInheritGroups, 0, 0);
  brick.m_vInherit[2] = 0;
  brick.m_nGraphic = 5;
  s.m_PaletteBlocks = {cEdBlock(), brick};
  s.m_PaletteCharacters = {cEdCharacter(), FromCommon<cEdCharacter>(2, cEdCharacter::kInheritGroups, 0, 0)};
  s.m_PaletteItems = {cEdItem(), FromCommon<cEdItem>(1, cEdItem::kInheritGroups, 0, 0)};

  auto block = [&](uint16_t commonIndex, int column, int row) {
    cEdBlock b = common.m_Blocks[commonIndex];
    b.m_nBaseKind = 1;
    b.m_nBaseIndex = commonIndex;
    b.m_nWord1 = static_cast<uint16_t>(column);
    b.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedBlocks.push_back(b);
  };
  constexpr uint16_t kGround = 1, kBrick = 2, kPrize = 3;
  for (int x = 0; x < kWidth; ++x) {
    if (x >= 17 && x <= 19) continue;  // the gap
    block(kGround, x, 14);
    block(kGround, x, 13);
  }
  for (int y = 3; y <= 12; ++y) {  // the walls at both ends
    block(kBrick, 0, y);
    block(kBrick, kWidth - 1, y);
  }
  // The staircase: up three steps, a top of two, down three.
  const int heights[] = {1, 2, 3, 3, 2, 1};
  for (int k = 0; k < 6; ++k)
    for (int h = 0; h < heights[k]; ++h) block(kBrick, 9 + k, 12 - h);
  for (int x = 16; x <= 20; ++x) block(kPrize, x, 8);  // the ledge over the gap
  for (int y = 10; y <= 12; ++y) block(kBrick, 30, y);  // a low wall to get over

  auto character = [&](uint16_t commonIndex, int column, int row) {
    cEdCharacter c = common.m_Characters[commonIndex];
    c.m_nBaseKind = 1;
    c.m_nBaseIndex = commonIndex;
    c.m_nWord1 = static_cast<uint16_t>(column);
    c.m_nWord2 = static_cast<uint16_t>(row);
    c.m_nPlacedItem = -1;
    s.m_PlacedCharacters.push_back(c);
  };
  character(1, 4, 5);    // the hero, seven blocks above the ground
  character(2, 7, 12);   // a slime before the stairs
  character(4, 22, 6);   // a bat over the gap's far side
  character(3, 34, 12);  // the shooter behind the low wall
  cEdCharacter local = s.m_PaletteCharacters[1];
  local.m_nBaseKind = 2;
  local.m_nBaseIndex = 1;
  local.m_vInherit.assign(cEdCharacter::kInheritGroups, 0);
  local.m_nWord1 = 26;
  local.m_nWord2 = 12;
  local.m_nPlacedItem = -1;
  s.m_PlacedCharacters.push_back(local);

  auto item = [&](uint16_t commonIndex, int column, int row) {
    cEdItem i = common.m_Items[commonIndex];
    i.m_nBaseKind = 1;
    i.m_nBaseIndex = commonIndex;
    i.m_nWord1 = static_cast<uint16_t>(column);
    i.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedItems.push_back(i);
  };
  for (int k = 0; k < 6; ++k) item(1, 9 + k, 11 - heights[k]);  // a coin over each step
  for (int x = 16; x <= 20; x += 2) item(1, x, 7);               // coins on the ledge
  item(2, 36, 12);                                                // the heart at the far end

  s.m_Backgrounds.assign(2, cStageBackground());
  cStageBackground& sky = s.m_Backgrounds[0];
  sky.m_nSource = 0;
  sky.m_strFile = "bmp\\StageSky.bmp";
  sky.m_bAutoScrollX = 1;
  sky.m_dScrollSpeedX = 0.25;  // dots a frame
  sky.m_dScrollSpeedY = 0;
  cStageBackground& hills = s.m_Backgrounds[1];
  hills.m_nSource = 0;
  hills.m_strFile = "bmp\\StageHills.bmp";
  hills.m_dScrollSpeedX = 0.5;  // half the view's scroll
  hills.m_dScrollSpeedY = 0;
  s.m_Texts.clear();
  return s;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (!WriteWholeFile(path.string(), bytes)) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

// The demo's world map: a meadow ringed by water with a road east through
// three worlds. The second opens once the first is cleared (a wall stands
// in its place until then), the third once the second is.
cWorldMap BuildWorldMap() {
  enum : uint32_t { kGrass = 0, kWater = 1, kMountain = 2, kRoad = 4 };
  cWorldMap map;
  map.SetSize(20, 15);
  map.StartX() = 3;
  map.StartY() = 7;
  for (int i = 0; i < cWorldMap::kChipTypeCount; ++i) {
    map.m_ChipTypes[static_cast<size_t>(i)].m_nPicture = i;
    map.m_ChipTypes[static_cast<size_t>(i)].m_bImpassable = (i == kWater || i == kMountain) ? 1 : 0;
  }
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool edge = x == 0 || y == 0 || x == 19 || y == 14;
      map.SetCell(x, y, edge ? kWater : (y == 7 && x >= 2 && x <= 16) ? kRoad : (y == 5 ? kMountain : kGrass));
    }
  auto world = [](int32_t number, int32_t flag, const char* name, const char* stage) {
    cWorld w;
    w.m_nWord[0] = kWorldKindStage;
    w.m_nWord[1] = number - 1;  // icon row
    w.m_nWord[2] = number;
    w.m_nWord[4] = 1;  // enterable again once cleared
    w.m_nWord[6] = flag;
    w.m_strName = plat::Sjis(name);
    w.m_strStageFile = stage;
    return w;
  };
  cWorld wall;
  wall.m_nWord[0] = kWorldKindWall;
  wall.m_nWord[1] = 7;  // the closed-gate icon
  auto node = [](int32_t x, int32_t y, std::vector<cWorld> worlds) {
    cWorldGroup g;
    g.m_nX = x;
    g.m_nY = y;
    g.m_Worlds = std::move(worlds);
    return g;
  };
  map.m_Groups = {node(5, 7, {world(1, 0, "はじまりの草原", "data\\stg4\\stage1.stg4_1")}),
                  node(9, 7, {world(2, 1, "レンガの丘", "data\\stg4\\stage2.stg4_1"), wall}),
                  node(13, 7, {world(3, 2, "デモステージ", "data\\stg4\\demo.stg4_1"), wall})};
  return map;
}

bool WriteDemoProjectData(const std::string& folder) {
  const fs::path data = fs::path(folder) / "data";
  // Everything below checks its references against the demo's own lists:
  // build them in the runtime's globals for the duration of the writing.
  const cDatabase savedDatabase = Database;
  const cCommonPalette savedPalette = CommonPalette;
  BuildDatabase(Database);
  cDatabase& db = Database;
  const std::pair<const char*, std::string> files[] = {
      {"AnimeSet.dat", SaveDatabaseListToBytes(db.m_AnimeSets)},
      {"Anime.dat", SaveDatabaseListToBytes(db.m_Animes)},
      {"Bmp_CharaExc.dat", SaveDatabaseListToBytes(db.m_BmpCharaExcs)},
      {"SwordType.dat", SaveDatabaseListToBytes(db.m_SwordTypes)},
      {"Effect.dat", SaveDatabaseListToBytes(db.m_Effects)},
      {"CharaEffect.dat", SaveDatabaseListToBytes(db.m_CharaEffects)},
      {"ScrEffect.dat", SaveDatabaseListToBytes(db.m_ScrEffects)},
      {"Picture.dat", SaveDatabaseListToBytes(db.m_Pictures)},
      {"Sound.dat", SaveDatabaseListToBytes(db.m_Sounds)},
      {"Bgm.dat", SaveDatabaseListToBytes(db.m_Bgms)},
  };
  bool ok = true;
  for (const auto& [name, bytes] : files) ok = ok && WriteFile(data / "database" / name, bytes);

  BuildCommonPalette(CommonPalette);
  ok = ok && WriteFile(data / "CommonPalette.cplt4", CommonPalette.SaveToBytes());
  // Stage types name common bases (kind 1): the game resolves them against
  // this palette when it reads the stages.
  const std::pair<const char*, cStageData> stages[] = {
      {"stage1.stg4_1", BuildStage(CommonPalette, "はじまりの草原", 60, "bmp\\WorldBack.bmp", 0)},
      {"stage2.stg4_1", BuildStage(CommonPalette, "レンガの丘", 90, "bmp\\WorldBack.bmp", 1)},
      {"demo.stg4_1", BuildPlayStage(CommonPalette)},
      // The challenge mode's three worlds, by the names it forms.
      {"c01-1.stg4_001", BuildStage(CommonPalette, "はじまりの草原", 60, "bmp\\WorldBack.bmp", 0)},
      {"c02-1.stg4_001", BuildStage(CommonPalette, "レンガの丘", 90, "bmp\\WorldBack.bmp", 1)},
      {"c03-1.stg4_001", BuildPlayStage(CommonPalette)},
  };
  // A type that inherits holds its base's settings once read, and a stage
  // is stored with them: each built stage is read back once, so that its file
  // is what the runtime and pelmora-tool resave store for it.
  for (const auto& [name, stage] : stages) {
    cStageData built = stage, stored;
    ok = ok && stored.LoadStageBytes(built.SaveStageBytes()) &&
         WriteFile(data / "stg4" / name, stored.SaveStageBytes());
  }
  cWorldMap worldMap = BuildWorldMap();
  ok = ok && WriteFile(data / "WorldMap.dat", worldMap.SaveToBytes());
  Database = savedDatabase;
  CommonPalette = savedPalette;
  return ok;
}

Registrar demoDatabase(DemoPart{10, "project data", WriteDemoProjectData});

}  // namespace
}  // namespace tool
