#include "gfx/palette_tools.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"

uint8_t g_BlendTable[65536];

bool DDLoadBlendTable(uint8_t* lpTable, const char* szPath) {
  if (lpDTCon) return true;
  FILE* f = plat::OpenFile(szPath ? szPath : "", "rb");
  if (!f) return false;
  // Read aside first: a short file must not leave half a table behind.
  std::vector<uint8_t> bytes(65536);
  size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (n != bytes.size()) return false;
  std::memcpy(lpTable, bytes.data(), bytes.size());
  return true;
}

void DDRotatePalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nPlaces, int nDirection,
                     const PALETTEENTRY* lpSrc) {
  if (DDState.nBpp != 8 && DDState.nBpp != 16 && DDState.nBpp != 32) return;
  PALETTEENTRY source[256];
  std::memcpy(source, lpSrc, sizeof source);  // the source may be the destination
  std::memcpy(lpDst, source, sizeof source);
  if (nFirst < 0 || nLast > 255 || nFirst > nLast) return;
  const int span = nLast - nFirst + 1;
  const int n = ((nPlaces % span) + span) % span;
  if (nDirection != 0 && nDirection != 1) return;
  for (int i = 0; i < span; ++i) {
    // Direction 1: entry first + i takes the one n places further on.
    int from = nDirection == 1 ? (i + n) % span : (i - n + span) % span;
    lpDst[nFirst + i] = source[nFirst + from];
  }
}
