// Module state of the graphics layer, the surface records and the draw state.
#include <algorithm>

#include "gfx/dd.h"

DDMODULESTATE DDState;
DTCONTEXT* lpDTCon = nullptr;
DDCONTEXT* lpDDCon = nullptr;

namespace {

// The owners of the two contexts; freed at exit (the working pointers above
// are what every function tests).
struct ContextOwners {
  ~ContextOwners() {
    delete lpDTCon;
    delete lpDDCon;
    lpDTCon = nullptr;
    lpDDCon = nullptr;
  }
} g_contextOwners;

}  // namespace

void DDInitSurfaceData(DDSURFACEDATA* lpSD) {
  if (lpSD) *lpSD = DDSURFACEDATA{};
}

void DDAllocSurfaceRecord(DDSURFACEDATA* lpSD) {
  if (!lpSD) return;
  if (DDState.dwDirect3D) {
    if (!lpSD->lpDT) lpSD->lpDT = new DTDATA();
  } else {
    if (!lpSD->lpDDS) lpSD->lpDDS = new DDSURFACERECORD();
  }
}

void DDSubstituteMirror(DDSURFACEDATA** lplpSD) {
  if (!lpDTCon || !lplpSD || !*lplpSD) return;
  if ((*lplpSD)->lpShareSD) *lplpSD = (*lplpSD)->lpShareSD;
}

void DDSetDrawColor(uint32_t dwColor) {
  if (lpDTCon) lpDTCon->dwDrawColor = dwColor;
}
void DDResetDrawColor() {
  if (lpDTCon) lpDTCon->dwDrawColor = 0xFFFFFFFFu;
}
void DDSetColorOp(uint32_t dwOp) {
  if (lpDTCon) lpDTCon->dwColorOp = dwOp;
}
void DDResetColorOp() {
  if (lpDTCon) lpDTCon->dwColorOp = 4;
}
void DDSetAlphaOp(uint32_t dwOp) {
  if (lpDTCon) lpDTCon->dwAlphaOp = dwOp;
}
void DDResetAlphaOp() {
  if (lpDTCon) lpDTCon->dwAlphaOp = 2;
}

void DDRegisterFont(cDeviceFontHooks* font) {
  if (font && std::find(DDState.fontList.begin(), DDState.fontList.end(), font) == DDState.fontList.end())
    DDState.fontList.push_back(font);
}

void DDUnregisterFont(cDeviceFontHooks* font) {
  auto& list = DDState.fontList;
  list.erase(std::remove(list.begin(), list.end(), font), list.end());
}
