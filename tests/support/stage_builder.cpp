#include "support/stage_builder.h"

#include <cstring>

#include "base/program.h"
#include "base/random.h"
#include "data/stage_load.h"
#include "gfx/dd.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"
#include "play/commands/flow_host_impl.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_limits.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/scene.h"

namespace {

// Resets the globals a stage session uses to what a fresh program has.
void ResetStageGlobals() {
  StageData = cStageData();
  StageMasterData = cStageData();
  cStageScene::KeptHeroRecord = cEdCharacter();
  SaveData.Reset();
  ResetSceneManagerForTest();
  ResetInputForTest();
  plat::ClearKeyStates();
  bRankingOn = 0;
  bFromEditor = 0;
  SRand(1);
}

}  // namespace

StageBuilder::StageBuilder(int32_t width, int32_t height) {
  data_.SetDefaults();
  data_.m_PlacedBlocks.clear();
  data_.m_PlacedCharacters.clear();
  data_.m_PlacedItems.clear();
  data_.Int(kStageWidth) = width;
  data_.Int(kStageHeight) = height;
  data_.Int(kStageScrollLeftOn) = data_.Int(kStageScrollRightOn) = 0;
  data_.Int(kStageScrollTopOn) = data_.Int(kStageScrollBottomOn) = 0;
  data_.Int(kStageTimeLimitOn) = 0;
  data_.Int(kStageBannerOn) = data_.Int(kStageSecondBannerOn) = data_.Int(kStageResultBannerOn) = 0;
  data_.Dbl(kStageGravity) = 0.4;
  data_.ApplySpeedLevel(1);
}

StageBuilder& StageBuilder::SpeedLevel(int32_t level) {
  data_.ApplySpeedLevel(level);
  return *this;
}

StageBuilder& StageBuilder::Gravity(double gravity) {
  data_.Dbl(kStageGravity) = gravity;
  data_.ApplySpeedLevel(data_.Int(kStageSpeedLevel));
  return *this;
}

StageBuilder& StageBuilder::TimeLimit(int32_t seconds) {
  data_.Int(kStageTimeLimitOn) = 1;
  data_.Int(kStageTimeLimit) = seconds;
  return *this;
}

StageBuilder& StageBuilder::Banners(bool first, bool second) {
  data_.Int(kStageBannerOn) = first ? 1 : 0;
  data_.Int(kStageSecondBannerOn) = second ? 1 : 0;
  return *this;
}

StageBuilder& StageBuilder::Block(int32_t x, int32_t y, uint8_t solidity) {
  cEdBlock block;
  block.m_nGraphic = 1;
  block.m_nOption7 = solidity;
  block.m_nWord1 = static_cast<uint16_t>(x);
  block.m_nWord2 = static_cast<uint16_t>(y);
  data_.m_PlacedBlocks.push_back(block);
  return *this;
}

StageBuilder& StageBuilder::Floor(int32_t y, int32_t x0, int32_t x1) {
  for (int32_t x = x0; x <= x1; ++x) Block(x, y);
  return *this;
}

StageBuilder& StageBuilder::Hero(int32_t x, int32_t y) {
  cEdCharacter hero;
  hero.m_nGraphic = 1;
  hero.m_nControl = 0;
  hero.m_nPlacedItem = -1;
  hero.m_nWord1 = static_cast<uint16_t>(x);
  hero.m_nWord2 = static_cast<uint16_t>(y);
  data_.m_PlacedCharacters.push_back(hero);
  return *this;
}

StageBuilder& StageBuilder::Character(int32_t x, int32_t y) {
  cEdCharacter character;
  character.m_nGraphic = 1;
  character.m_nControl = 1;
  character.m_nPlacedItem = -1;
  character.m_nWord1 = static_cast<uint16_t>(x);
  character.m_nWord2 = static_cast<uint16_t>(y);
  data_.m_PlacedCharacters.push_back(character);
  return *this;
}

StageBuilder& StageBuilder::Item(int32_t x, int32_t y) {
  cEdItem item;
  item.m_nGraphic = 1;
  item.m_nWord1 = static_cast<uint16_t>(x);
  item.m_nWord2 = static_cast<uint16_t>(y);
  data_.m_PlacedItems.push_back(item);
  return *this;
}

std::string StageBuilder::Bytes() { return data_.SaveStageBytes(); }

StageSession::StageSession(StageBuilder& builder, int32_t bpp, uint32_t direct3d) : savedSystem_(SystemData) {
  Start(builder.Bytes(), bpp, direct3d);
}

StageSession::StageSession(const std::string& stageFile, int32_t bpp, uint32_t direct3d) : savedSystem_(SystemData) {
  Start(stageFile, bpp, direct3d);
}

void StageSession::Start(const std::string& stageFile, int32_t bpp, uint32_t direct3d) {
  ResetStageGlobals();
  auto sounds = sounds_;
  auto closed = closed_;
  window_ = static_cast<uint64_t>(
      plat::CreateWindowEntry([sounds, closed](plat::WindowHandle, uint32_t message, uint64_t wParam, int64_t) -> int64_t {
        if (message == plat::WM_USER + 5) sounds->push_back(static_cast<int32_t>(wParam));
        if (message == plat::WM_CLOSE) *closed = true;
        return 0;
      }));
  savedMainWindow_ = static_cast<uint64_t>(g_hMainWnd.load());
  g_hMainWnd = static_cast<plat::WindowHandle>(window_);
  plat::DrawFaultInjection().desktopBitsOverride = bpp;  // the sandbox puts it back
  savedActive_ = g_bActive.exchange(1);
  DDInit(direct3d, 0, 640, 480, bpp, 0, 1, 1, 60, 0, nullptr, nullptr, 0);
  savedSetUpCheck_ = SetStageSetUpCheck(StageSetUpProblem);
  display_.Write("data/stg4/test.stg4", stageFile);
  loaded_ = StartSingleStagePlay("data\\stg4\\test.stg4", 0) != 0;
  SceneManager.m_nLastTitleAction = kTitleFreePlay;
  SceneManager.m_nPlayMode = kPlayFree;
  SaveData.m_nLives = 3;
  scene_ = std::make_unique<cStageScene>();
  g_lpStageScene = scene_.get();
  if (!loaded_) return;
  scene_->SetStage(0, 1);
  scene_->SetMode(kStageModePlay);
}

StageSession::~StageSession() {
  g_lpStageScene = nullptr;
  scene_.reset();
  SetStageSetUpCheck(savedSetUpCheck_);
  DDEnd();
  SystemData = savedSystem_;
  ResetStageGlobals();
  g_hMainWnd = static_cast<plat::WindowHandle>(savedMainWindow_);
  g_bActive = savedActive_;
  plat::DestroyWindowEntry(static_cast<plat::WindowHandle>(window_));
  // What the stage posted to this thread (a close, a frame keeper's end)
  // goes with the session: the next test starts with an empty queue.
  plat::DropQueue();
}

void StageSession::Frames(int32_t n) {
  for (int32_t i = 0; i < n; ++i) scene_->Run();
}

bool StageSession::CloseRequested() {
  // A close is posted, not sent: it waits in this thread's queue.
  plat::Message msg;
  while (plat::PeekMessage(msg, true))
    if (msg.message == plat::WM_CLOSE) *closed_ = true;
  return *closed_;
}

StageFlowsInstalled::StageFlowsInstalled() : host_(FlowHost()), hooks_(&FlowHooks()) { InstallStageFlows(); }

StageFlowsInstalled::~StageFlowsInstalled() {
  SetFlowHost(host_);
  SetFlowHooks(hooks_);
}

ScopedStageRunning::ScopedStageRunning() : savedStep_(StageData.m_nSpeedStep) {
  std::memcpy(savedInts_, StageData.m_nFields, sizeof savedInts_);
  std::memcpy(savedDoubles_, StageData.m_dFields, sizeof savedDoubles_);
  SetStageView(&x, &y);
}

ScopedStageRunning::~ScopedStageRunning() {
  SetStageView(nullptr, nullptr);
  std::memcpy(StageData.m_nFields, savedInts_, sizeof savedInts_);
  std::memcpy(StageData.m_dFields, savedDoubles_, sizeof savedDoubles_);
  StageData.m_nSpeedStep = savedStep_;
}

void ScopedStageRunning::SetLevel(int32_t level, double gravity) {
  StageData.Dbl(kStageGravity) = gravity;
  StageData.ApplySpeedLevel(level);
}

ScopedWaitWithoutDrawing::ScopedWaitWithoutDrawing() { cStageScene::s_bWaitDrawsFrames = false; }
ScopedWaitWithoutDrawing::~ScopedWaitWithoutDrawing() { cStageScene::s_bWaitDrawsFrames = true; }
