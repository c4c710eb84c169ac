// The effect command (places an effect object), the picture command
// (shows, replaces and erases pictures), with the stage's drawing of both,
// and the character effect command (starts a graphic effect).
#include <algorithm>
#include <cmath>
#include <set>

#include "base/logs.h"
#include "data/database.h"
#include "gfx/dd.h"
#include "play/commands/commands.h"
#include "play/objects/character.h"
#include "play/objects/effect_object.h"
#include "play/objects/picture.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"

namespace {

int32_t Word(const cEdCmd& command, size_t i) { return static_cast<int32_t>(command.Word(i)); }

// Half away from zero, clamped to what a surface can hold.
int32_t ScaledSize(int32_t size, int32_t percent) {
  const double v = std::round(static_cast<double>(size) * percent * 0.01);
  return static_cast<int32_t>(std::clamp(v, 0.0, 32768.0));
}

// Stage position of the top-left of a w x h effect for the effect command.
void EffectPosition(const cStageScene& scene, cCharacter& character, const cEdCmd& command, int32_t w, int32_t h,
                    double* x, double* y) {
  const double sx = scene.m_ScrollX.position, sy = scene.m_ScrollY.position;
  const int32_t bx = Word(command, 2), by = Word(command, 3), dx = Word(command, 4), dy = Word(command, 5);
  cCharacter* on = nullptr;
  switch (Word(command, 1)) {
    case 1: on = &character; break;
    case 2: on = FirstHero(); break;
    case 3:
      *x = bx * 32.0 + sx + dx;
      *y = by * 32.0 + sy + dy;
      return;
    case 4:
      *x = (scene.m_ScrollX.blockOffset + static_cast<double>(bx)) * 32 + dx;
      *y = (scene.m_ScrollY.blockOffset + static_cast<double>(by)) * 32 + dy;
      return;
    default: break;
  }
  if (on) {
    *x = on->ScreenCentreX() + sx - w / 2 + dx;
    *y = on->ScreenCentreY() + sy - h / 2 + dy;
  } else {
    *x = sx + 320 - w / 2 + dx;
    *y = sy + 240 - h / 2 + dy;
  }
}

cPictureView ViewFor(const cStageScene& scene, cPicture& picture) {
  cPictureView view;
  view.scrollX = scene.m_ScrollX.position;
  view.scrollY = scene.m_ScrollY.position;
  view.columnOffset = scene.m_ScrollX.blockOffset;
  view.rowOffset = scene.m_ScrollY.blockOffset;
  view.follow = g_DrawSwitches.picturesFollowObjects != 0;
  // The hero's id is 0: a picture follows an object by its position mode.
  if (picture.m_nMode == kPictureOnCharacter || picture.m_nMode == kPictureOnHero) {
    if (cCharacter* c = FindObjectById(picture.m_nObjectId)) {
      view.objectFound = true;
      view.objectCentreX = c->m_dX + c->m_nWidth / 2.0;
      view.objectCentreY = c->m_dY + c->m_nHeight / 2.0;
    }
  }
  return view;
}

// Loads picture n's bitmap into `shown`; a missing or unreadable file leaves
// it empty and is logged once per picture number.
void LoadPicture(cShownPicture& shown, int32_t n) {
  static std::set<int32_t> logged;
  // The file is the entry's second text, or its name when that is empty.
  std::string file;
  if (n >= 1 && n < static_cast<int32_t>(Database.m_Pictures.size())) {
    const cPictureRecord& r = Database.m_Pictures.At(n);
    file = r.m_strText2.empty() ? r.m_strName : r.m_strText2;
  }
  if (!file.empty() && DDCreateSurfaceFromFile(&shown.surface, file.c_str(), 1, DDState.nBpp, 0, 0, 0, 0, 0, 0, 0) == 0) {
    shown.loaded = true;
    return;
  }
  DDReleaseSurface(&shown.surface);
  DDInitSurfaceData(&shown.surface);
  if (logged.insert(n).second) WriteECLog("picture %d (%s) could not be loaded\n", n, file.c_str());
}

using PictureList = std::list<std::shared_ptr<cShownPicture>>;

PictureList::iterator FindPicture(PictureList& list, int32_t id) {
  return std::find_if(list.begin(), list.end(), [id](const std::shared_ptr<cShownPicture>& p) {
    return p->picture.m_bIdFlag != 0 && p->picture.m_nPictureId == id;
  });
}

}  // namespace

// The character effect command: word 0 the effect (16-bit), word 1 the run
// mode, word 2 the loop flag.
int32_t ExecuteCharaEffect(cCharacter& character, const cEdCmd& command) {
  const int32_t number = static_cast<uint16_t>(command.Word(0));
  character.m_Effect.Start(number, static_cast<int32_t>(command.Word(1)), command.Word(2) != 0 ? 1 : 0);
  return 0;
}

int32_t ExecuteEffect(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_nQuitRequest) return 0;
  const int32_t n = Word(command, 0);
  if (n == 0) {
    scene->m_Effects.clear();
    return 0;
  }
  if (n < 1 || n >= static_cast<int32_t>(Database.m_Effects.size())) {
    // A number that names no effect places nothing (logged once there).
    cEffectObject::At(n, 0, 0, 0, 0, 0);
    return 0;
  }
  const cEffectRecord& def = Database.m_Effects.At(n);
  const int32_t w = ScaledSize(def.m_nValue2, Word(command, 6));
  const int32_t h = ScaledSize(def.m_nValue3, Word(command, 6));
  double x = 0, y = 0;
  EffectPosition(*scene, character, command, w, h, &x, &y);
  const int32_t wait = Word(command, 7);
  auto effect = cEffectObject::At(n, x, y, w, h, wait);
  if (!effect) return 0;
  scene->m_Effects.push_back(effect);
  if (wait != 0) {
    // The effect's whole run, as long as it is (its total is held within
    // what the wait counts).
    scene->SetWaitState(2, 0, EffectTotalFrames(n), 0);
    scene->KeepFramesWhileWaiting();
    scene->SetWaitState(0, 0, 0, 0);
  }
  return 0;
}

int32_t ExecutePicture(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_nQuitRequest) return 0;
  PictureList& list = scene->m_Pictures;
  const int32_t n = Word(command, 0);
  const bool byId = Word(command, 12) != 0;
  const int32_t id = Word(command, 13);
  if (n == 0) {
    if (!byId) {
      list.clear();
    } else if (auto it = FindPicture(list, id); it != list.end()) {
      list.erase(it);
    }
    return 0;
  }
  auto found = byId ? FindPicture(list, id) : list.end();
  auto shown = std::make_shared<cShownPicture>();
  LoadPicture(*shown, n);
  const int32_t mode = Word(command, 1);
  int32_t objectId = 0;
  bool follows = false;
  if (mode == kPictureOnCharacter) {
    objectId = character.m_nId;
    follows = true;
  } else if (mode == kPictureOnHero && FirstHero()) {
    objectId = FirstHero()->m_nId;
    follows = true;
  }
  const int64_t remaining = Word(command, 14) == 0 ? int64_t{Word(command, 9)} * 6 : 1;
  cPicture& p = shown->picture;
  p.Set(static_cast<uint16_t>(n), mode, Word(command, 2), Word(command, 3), Word(command, 4), Word(command, 5),
        shown->surface.nWidth, shown->surface.nHeight, Word(command, 11), Word(command, 6), Word(command, 7),
        Word(command, 8), static_cast<int32_t>(std::clamp<int64_t>(remaining, 0, cStageScene::kMaxWaitFrames)),
        Word(command, 10), objectId, byId ? 1 : 0, id);
  // The object's centre is taken now; the stage position an object-centred
  // picture keeps when pictures do not follow their objects is worked out
  // now too, unless the project leaves it to the picture's first drawing.
  if (follows) {
    const cPictureView view = ViewFor(*scene, p);
    if (view.objectFound) {
      p.m_dCentreX = view.objectCentreX;
      p.m_dCentreY = view.objectCentreY;
    }
    if (!g_DrawSwitches.picturePosition) p.TakeStagePosition(view);
  }
  std::shared_ptr<cShownPicture> keep = shown;
  if (found != list.end()) *found = shown;
  else list.push_back(shown);
  if (Word(command, 10) != 0) {
    const int32_t display = Word(command, 8);
    bool waited = false;
    if (display == kPictureUntilKey) {
      scene->SetWaitState(3, 1, 0, 0);
      waited = true;
    } else if (display == kPictureForTime) {
      scene->SetWaitState(3, 0, p.m_nRemaining, 0);
      waited = true;
    }
    if (waited) {
      scene->KeepFramesWhileWaiting();
      scene->SetWaitState(0, 0, 0, 0);
    }
    // The waited-for picture goes when the wait is over (if still shown).
    auto it = std::find(scene->m_Pictures.begin(), scene->m_Pictures.end(), keep);
    if (it != scene->m_Pictures.end()) scene->m_Pictures.erase(it);
  }
  return 0;
}

void cStageScene::DrawEffectObjects(DDSURFACEDATA* dst, int32_t still) {
  for (auto it = m_Effects.begin(); it != m_Effects.end();) {
    cEffectObject& e = **it;
    const int32_t surface = EffectSheetIndex(e.m_nNumber, e.m_bZoomed != 0, lpDTCon == nullptr,
                                             g_DrawSwitches.lowColourEffects != 0);
    DDSURFACEDATA* sheet = nullptr;
    if (surface >= 0 && surface < static_cast<int32_t>(m_Layers.m_Bitmaps.m_Effects.size())) {
      DDSURFACEDATA* s = &m_Layers.m_Bitmaps.m_Effects[static_cast<size_t>(surface)];
      if (s->lpDDS || s->lpDT) sheet = s;
    }
    if (e.Frame(dst, sheet, m_ScrollX.position, m_ScrollY.position, still)) it = m_Effects.erase(it);
    else ++it;
  }
}

void cStageScene::DrawPictures(DDSURFACEDATA* dst, int32_t still, int32_t front) {
  for (auto it = m_Pictures.begin(); it != m_Pictures.end();) {
    cShownPicture& shown = **it;
    if ((shown.picture.m_nLayer != 0) != (front != 0)) {
      ++it;
      continue;
    }
    const cPictureView view = ViewFor(*this, shown.picture);
    if (shown.picture.Frame(dst, shown.loaded ? &shown.surface : nullptr, still, view)) it = m_Pictures.erase(it);
    else ++it;
  }
}
