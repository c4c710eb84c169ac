#include "gfx/dd_frame.h"

void DDDrawFrame(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, int nThickness, uint32_t dwPalNum) {
  DDBeginFillBatch();
  DDFillRect(lpSD, x, y, nWidth, nThickness, dwPalNum);
  DDFillRect(lpSD, x, y + nHeight - nThickness, nWidth, nThickness, dwPalNum);
  DDFillRect(lpSD, x, y, nThickness, nHeight, dwPalNum);
  DDFillRect(lpSD, x + nWidth - nThickness, y, nThickness, nHeight, dwPalNum);
  DDEndFillBatch();
}

void DDDrawFrameBox(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, DDSURFACEDATA* lpBoxSD,
                    int nThickness, uint32_t dwPalNum) {
  if (lpBoxSD) DDBlt(lpSD, x, y, nWidth, nHeight, lpBoxSD, 0, 0, 1);
  DDDrawFrame(lpSD, x - nThickness, y - nThickness, nWidth + 2 * nThickness, nHeight + 2 * nThickness, nThickness,
              dwPalNum);
}
