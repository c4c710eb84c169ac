// Surfaces and textures from picture files (dd_surface_picture.cpp), with the
// steps of setting up a surface record that loading one shares with making
// an empty one: what the surface files (dd_surface*.cpp) share. Internal to
// them.
#pragma once

#include <cstdint>

#include "gfx/dd.h"
#include "platform/image_decode.h"

namespace dd_detail {

extern bool g_pictureCoversNewSurface;

void SetText(char (&field)[260], const char* text);

inline uint32_t Channel(uint32_t pixel, const uint32_t* block, int channel) {
  return (pixel >> block[channel]) & block[channel + 4];
}

void CloseOnFailure();
bool LoadPicture(const char* szFile, plat::DecodedImage& image);
void ReadLevel(DTDATA* dt);
uint32_t CreateSurfaceFromFile(DDSURFACEDATA* lpSD, const char* szFile, uint32_t bColorKey, int nBpp,
                               uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare, uint32_t bPalNumMap,
                               int nMirrorCellW, int nMirrorCellH, uint32_t bRestore, bool applyKey,
                               const plat::DecodedImage* decoded = nullptr);

}  // namespace dd_detail
