// The options: screen palette, music on or off, sound-effect volume, the
// ranking registration mode and name. The option file is written every time
// the screen is left.
#include <algorithm>

#include "data/data_paths.h"
#include "data/save_slots.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "front/dialog_requests.h"
#include "front/front_scenes.h"
#include "front/menu_frame.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/dd_frame.h"
#include "gfx/game_fonts.h"
#include "platform/text.h"
#include "scene/menu_cursor.h"

namespace {

constexpr int32_t kRowsX = 48, kRowsY = 96, kLabelX = 64, kValueX = 208, kValueCursorX = 192;
enum OptionAction : int32_t {
  kOptionPalette = 0,
  kOptionMusic = 1,
  kOptionVolume = 2,
  kOptionRankingMode = 3,
  kOptionRankingName = 4,
  kOptionBack = 5
};
struct OptionRange {
  int32_t cOptionData::*field;
  int32_t minimum, maximum;
};
constexpr OptionRange kRanges[4] = {{&cOptionData::m_nPalette, 0, 23},
                                    {&cOptionData::m_bMusic, 0, 1},
                                    {&cOptionData::m_nSoundVolume, 0, 10},
                                    {&cOptionData::m_nRankingMode, 0, 3}};

// A changed palette or volume takes effect at once; music and the ranking
// mode where they are used.
void ApplyOption(int32_t action) {
  if (action == kOptionPalette && DDState.nBpp == 8) LoadScreenPalette(OptionData.m_nPalette);
  if (action == kOptionVolume) AskSoundVolumeOption();
}

// The music player follows the music option, and the title's music request
// is not taken for the one already playing.
void PlayTitleMusic() {
  AskMusicOption();
  SceneManager.m_nLastMusicTrack = 0;
}

class cOptionsScene : public cMenuScene {
 public:
  cOptionsScene() : cMenuScene(kSceneOptions, 2) {}

  int Enter() override {
    PlayScreenMusic(3);
    if (!LoadScreenSurfaces(MenuSurfaces())) return 0;
    MenuCursor.Reset();
    m_Rows = EnabledCommands(SystemData.m_OptionCmds);
    m_nSubStep = 0;
    return 0;
  }

  int FadeOut() override {
    cMenuScene::FadeOut();
    // The fade has ended and the title comes next.
    if (m_nPhase == -1) {
      PlayTitleMusic();
      SaveOptionFile(OptionData, DataPaths.At(kPathOption));
    }
    return 0;
  }

 protected:
  void DrawScreen() override {
    DrawMenuPanel(SystemData.m_TitleCmds.size() > 5 ? SystemData.m_TitleCmds.At(5).m_strLabel : std::string());
    for (size_t i = 0; i < m_Rows.size(); ++i) {
      const int32_t command = m_Rows[i];
      const int32_t y = kRowsY + 16 * static_cast<int32_t>(i);
      DrawMenuText(kLabelX, y, LabelText(command));
      if (command == kOptionRankingName) {
        DrawNameText(kValueX, y, OptionData.m_strRankingName);
      } else {
        DrawMenuText(kValueX, y, ValueText(command));
      }
    }
    StepColourCycle();
  }

  void RunPhase(int32_t) override {
    if (m_nSubStep == 0) {
      MenuCursor.Current() = MenuCursorRecord{};
      m_nSubStep = 1;
    }
    if (m_nSubStep == 1)
      ChooseRow();
    else
      EditValue();
  }

 private:
  // A row's label. The palette row has no label in the system data's own
  // list (the game's data names it, or leaves it out); an empty one is
  // called what it sets.
  static std::string LabelText(int32_t command) {
    std::string label = command < static_cast<int32_t>(SystemData.m_OptionCmds.size())
                            ? SystemData.m_OptionCmds.At(command).m_strLabel
                            : std::string();
    if (label.c_str()[0] == '\0' && command == kOptionPalette)
      label = GameSettings.nEnglish != 0 ? "Palette" : plat::Sjis("パレット");
    return label;
  }

  // The registration name as the player typed it: plain letters, even where
  // the game draws its texts with picture letters.
  static void DrawNameText(int32_t x, int32_t y, const std::string& name) {
    if (GameFonts[1].Created()) GameFonts[1].DrawText(DDBackBuffer(), x, y, name.c_str(), SystemData.Num(5) != 0 ? 1 : 0);
  }

  static std::string ValueText(int32_t command) {
    switch (command) {
      case kOptionPalette: return std::to_string(OptionData.m_nPalette);
      case kOptionMusic: return OptionData.m_bMusic ? "ON" : "OFF";
      case kOptionVolume: return std::to_string(OptionData.m_nSoundVolume);
      case kOptionRankingMode:
        return OptionData.m_nRankingMode >= 0 &&
                       OptionData.m_nRankingMode < static_cast<int32_t>(SystemData.m_RankingModeLabels.size())
                   ? SystemData.m_RankingModeLabels.At(OptionData.m_nRankingMode)
                   : std::string();
      case kOptionRankingName: return OptionData.m_strRankingName;
      default: return std::string();
    }
  }

  void ChooseRow() {
    const int32_t rows = static_cast<int32_t>(m_Rows.size());
    MenuCursor.MoveGrid(Input(), kRowsX, kRowsY, 0, 16, 1, rows);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (Pressed() & kMenuDecide) {
      MenuSound(kMenuSoundDecide);
      m_nAction = m_Rows[static_cast<size_t>(std::clamp(MenuCursor.Current().m_nRow, 0, rows - 1))];
      if (m_nAction == kOptionRankingName) {
        AskTextEntry();
      } else if (m_nAction == kOptionBack) {
        Leave(kSceneTitle);
      } else if (m_nAction >= 0 && m_nAction < 4) {
        m_nSaved = OptionData.*kRanges[m_nAction].field;
        MenuCursor.SetDepth(1);
        m_nSubStep = 2;
      }
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      Leave(kSceneTitle);
      return;
    }
    DrawScreen();
    DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
  }

  void EditValue() {
    const OptionRange& range = kRanges[m_nAction];
    int32_t& value = OptionData.*range.field;
    const uint16_t keys = Input().m_wDirection;
    const int32_t before = value;
    auto wrap = [&range](int32_t v) { return v < range.minimum ? range.maximum : v > range.maximum ? range.minimum : v; };
    if (keys & kDirUp) value = wrap(value + 1);
    if (keys & kDirDown) value = wrap(value - 1);
    if (value != before) ApplyOption(m_nAction);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (Pressed() & kMenuDecide) {
      MenuSound(kMenuSoundDecide);
      MenuCursor.PopLevel(1);
      m_nSubStep = 1;
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      value = m_nSaved;
      ApplyOption(m_nAction);
      MenuCursor.PopLevel(1);
      m_nSubStep = 1;
      return;
    }
    DrawScreen();
    const MenuCursorRecord& row = MenuCursor.Current();
    DrawRowPointer(row.m_nX, row.m_nY);
    DrawSmallCursor(kValueCursorX, row.m_nY);
  }

  std::vector<int32_t> m_Rows;
  int32_t m_nAction = 0;
  int32_t m_nSaved = 0;
};

}  // namespace

cScene* CreateOptionsScene() { return new cOptionsScene(); }
