// Display set-up and teardown: DirectDraw full screen, DirectDraw in a
// window, Direct3D; and the release of everything.
#include <cstring>

#include "base/errors.h"
#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

using plat::DD_OK;

void SetKind(DDSURFACEDATA* lpSD, const char* kind) {
  std::snprintf(lpSD->szKind, sizeof lpSD->szKind, "%s", kind);
}

void HideCursor() {
  while (plat::ShowCursor(false) >= 0) {
  }
}

void ShowCursorNow() {
  while (plat::ShowCursor(true) < 0) {
  }
}

// Full screen is desktop full screen: the window host scales the picture;
// the desktop's own mode is never changed.
void UseFullScreenWindow(bool on) {
  plat::WindowHost& host = plat::GetWindowHost();
  if (host.Exists()) host.SetFullScreen(on);
}

// The display's DirectDraw surfaces go into their records.
void Attach(DDSURFACEDATA* lpSD, plat::DrawSurface* surface, const char* kind, uint32_t memoryType) {
  DDAllocSurfaceRecord(lpSD);
  lpSD->lpDDS->lpSurface = surface;
  lpSD->nWidth = lpSD->nTexWidth = surface->Width();
  lpSD->nHeight = lpSD->nTexHeight = surface->Height();
  lpSD->dwMemoryType = memoryType;
  SetKind(lpSD, kind);
}

// The initial 256 entries (replaced when the game loads its palette file).
void InitialPalette(PALETTEENTRY* entries, bool windowed) {
  for (int i = 0; i < 256; ++i) {
    entries[i] = PALETTEENTRY{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    // In a window the first and last ten entries name the system's colours.
    if (windowed && (i < 10 || i >= 246)) entries[i].peFlags = PC_EXPLICIT;
  }
}

int MakePaletteAndFormat(bool windowed, int depth) {
  PALETTEENTRY entries[256];
  InitialPalette(entries, windowed);
  if (DDState.lpDD->CreatePalette(entries, &DDState.lpDDPalette) != DD_OK) {
    WriteReportAndECLog("CreatePalette Err");
    return CREATEPALETTE_ERR;
  }
  if (depth < 9) {
    plat::DrawSurface* primary = DDPrimary()->lpDDS->lpSurface;
    if (primary->SetPalette(DDState.lpDDPalette) != DD_OK) {
      WriteReportAndECLog("SetPalette Err");
      return SETPALETTE_ERR;
    }
  } else {
    DDGetPixelFormat(DDState.TexFormat);
  }
  return DDINIT_OK;
}

int DDInitFullScreen(plat::WindowHandle, int nWidth, int nHeight, int nBpp, int nBackBuffers) {
  uint32_t hr = DD_OK;
  DDState.lpDD = plat::DirectDrawObject::Create(hr);
  if (!DDState.lpDD) {
    WriteReportAndECLog("DirectDrawCreateEx Err");
    return CREATEEX_ERR;
  }
  // DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE
  if (DDState.lpDD->SetCooperativeLevel(0x13) != DD_OK) {
    WriteReportAndECLog("SetCooperativeLevel Err");
    return SETCOOPLEVEL_ERR;
  }
  hr = DDState.lpDD->SetDisplayMode(nWidth, nHeight, nBpp, DDState.bSetRefreshRate ? DDState.nRefreshRate : 0);
  if (hr != DD_OK && DDState.bSetRefreshRate) hr = DDState.lpDD->SetDisplayMode(nWidth, nHeight, nBpp, 0);
  if (hr != DD_OK) {
    WriteReportAndECLog("SetDisplayMode Err");
    return SETDISPLAYMODE_ERR;
  }
  plat::DrawSurface* primary = nullptr;
  if (DDState.lpDD->CreatePrimary(nBackBuffers == 1 ? 1 : 2, &primary) != DD_OK) {
    WriteReportAndECLog("Primary CreateSurface Err");
    return CREATESURFACE_ERR;
  }
  Attach(DDPrimary(), primary, "Primary", 0);
  plat::DrawSurface* back = nullptr;
  if (primary->GetAttachedBackBuffer(&back) != DD_OK) {
    WriteReportAndECLog("GetAttachedSurface Err");
    return GETATTACHEDSURFACE_ERR;
  }
  Attach(DDBackBuffer(), back, "BackBuffer", 0);
  if (!DDCreateSurface(DDScreenCopy(), nWidth, nHeight, 0, 1, 1, 0, 0)) return CREATESURFACE_ERR;
  const int result = MakePaletteAndFormat(false, nBpp);
  if (result != DDINIT_OK) return result;
  HideCursor();
  return DDINIT_OK;
}

int DesktopBits() {
  const int forced = plat::DrawFaultInjection().desktopBitsOverride;
  return forced ? forced : plat::GetWindowHost().Desktop().bitsPerPixel;
}

int DDInitWindowed(plat::WindowHandle) {
  // The picture is the display size; the window host scales it into the
  // client area.
  const int width = DDState.nDispWidth, height = DDState.nDispHeight;
  const int desktopBits = DesktopBits();
  uint32_t hr = DD_OK;
  DDState.lpDD = plat::DirectDrawObject::Create(hr);
  if (!DDState.lpDD) {
    WriteReportAndECLog("DirectDrawCreateEx Err");
    return CREATEEX_ERR;
  }
  if (DDState.lpDD->SetCooperativeLevel(0x8) != DD_OK) {  // DDSCL_NORMAL
    WriteReportAndECLog("SetCooperativeLevel Err");
    return SETCOOPLEVEL_ERR;
  }
  DDState.lpDD->UseWindowedDisplay(width, height, desktopBits);
  plat::DrawSurface* primary = nullptr;
  if (DDState.lpDD->CreatePrimary(0, &primary) != DD_OK) {
    WriteReportAndECLog("Primary CreateSurface Err");
    return CREATESURFACE_ERR;
  }
  Attach(DDPrimary(), primary, "Primary", 0);
  if (!DDCreateSurface(DDBackBuffer(), width, height, 0, 0, 0, 0, 0)) return CREATESURFACE_ERR;
  SetKind(DDBackBuffer(), "BackBuffer");
  if (!DDCreateSurface(DDScreenCopy(), width, height, 0, 1, 1, 0, 0)) return CREATESURFACE_ERR;
  const int result = MakePaletteAndFormat(true, desktopBits);
  if (result != DDINIT_OK) return result;
  if (DDState.lpDD->CreateClipper() != DD_OK) {
    WriteReportAndECLog("CreateClipper Err");
    return CLIPPER_ERR;
  }
  DDState.bClipper = 1;
  if (DDState.lpDD->SetClipperWindow() != DD_OK) {
    WriteReportAndECLog("SetHWnd Err");
    return SETHWND_ERR;
  }
  if (DDState.lpDD->SetClipper() != DD_OK) {
    WriteReportAndECLog("SetClipper Err");
    return SETCLIPPER_ERR;
  }
  ShowCursorNow();
  return DDINIT_OK;
}

void SetBlock(uint32_t* block, std::initializer_list<uint32_t> values) {
  int i = 0;
  for (uint32_t v : values) block[i++] = v;
}

const char* FormatName(uint32_t format) {
  switch (format) {
    case plat::D3DFMT_X8R8G8B8: return "X8R8G8B8";
    case plat::D3DFMT_R5G6B5: return "R5G6B5";
    case plat::D3DFMT_A1R5G5B5: return "A1R5G5B5";
    default: return "";
  }
}

bool DDInitDirect3D(plat::WindowHandle, int nWidth, int nHeight, int nBpp, int) {
  plat::DeviceConfig& config = plat::DeviceConfiguration();
  if (config.driverVersion < 9) {
    WriteReportAndECLog(plat::Sjis("ビデオカードのドライバがDirectX9をサポートしていません！ %d").c_str(),
                        config.driverVersion);
    return false;
  }
  DDState.lpD3D = plat::Direct3D::Create();
  if (!DDState.lpD3D) {
    WriteReportAndECLog("%s", plat::Sjis("ビデオカードがDirectX9をサポートしていません！").c_str());
    return false;
  }
  lpDTCon = new DTCONTEXT();
  DTCONTEXT& con = *lpDTCon;
  plat::PresentParameters& pp = con.d3dpp;
  if (!DDState.bWindowed) {
    pp.windowed = 0;
    pp.backBufferWidth = static_cast<uint32_t>(nWidth);
    pp.backBufferHeight = static_cast<uint32_t>(nHeight);
    pp.fullScreenRefreshRate = 60;
  } else {
    pp.windowed = 1;
    pp.backBufferWidth = pp.backBufferHeight = 0;
    pp.fullScreenRefreshRate = 0;
    if (DDState.bVSync) {
      // The desktop's mode is left alone (a game must not change it behind
      // the player's back); its rate is only read.
      const uint32_t rate = DDState.lpD3D->AdapterRefreshRate();
      WriteReportAndECLog("RefreshRate : %u", rate);
      if (rate != 60) {
        WriteReportAndECLog("%s",
                            plat::Sjis("リフレッシュレートの変更に失敗しました！垂直同期が無効になります！").c_str());
        DDState.bVSync = 0;
      }
    }
  }
  pp.presentationInterval = DDState.bVSync ? plat::D3DPRESENT_INTERVAL_DEFAULT : plat::D3DPRESENT_INTERVAL_IMMEDIATE;
  con.nAdapter = 0;
  con.dwDeviceType = 1;
  if (DDState.lpD3D->GetDeviceCaps(con.caps) != plat::D3D_OK) {
    WriteECLog("GetDeviceCaps Err");
    con.caps = plat::DeviceCaps{};
  }
  pp.swapEffect = (con.caps.caps3 & plat::D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD) ? 1 : 3;
  con.bPow2 = (con.caps.textureCaps & plat::D3DPTEXTURECAPS_POW2) ? 1 : 0;
  con.bSquareOnly = (con.caps.textureCaps & plat::D3DPTEXTURECAPS_SQUAREONLY) ? 1 : 0;
  con.bDynamicTextures = (con.caps.caps2 & plat::D3DCAPS2_DYNAMICTEXTURES) ? 1 : 0;

  if (nBpp == 16) {
    con.dwTextureFormat = plat::D3DFMT_A1R5G5B5;
    SetBlock(DDState.TexFormat, {10, 5, 0, 15, 31, 31, 31, 1});
    if (!DDState.bWindowed) {
      con.dwBackBufferFormat = plat::D3DFMT_R5G6B5;
      SetBlock(DDState.BackFormat, {11, 5, 0, 16, 31, 63, 31, 0});
    } else {
      con.dwBackBufferFormat = plat::D3DFMT_A1R5G5B5;
      SetBlock(DDState.BackFormat, {10, 5, 0, 15, 31, 31, 31, 1});
    }
  } else if (nBpp == 32) {
    con.dwBackBufferFormat = plat::D3DFMT_X8R8G8B8;
    con.dwTextureFormat = plat::D3DFMT_A8R8G8B8;
    SetBlock(DDState.TexFormat, {16, 8, 0, 24, 255, 255, 255, 255});
  } else {
    return false;
  }
  con.dwDisplayFormat = con.dwBackBufferFormat;
  pp.backBufferFormat = con.dwBackBufferFormat;
  pp.backBufferCount = 1;
  pp.multiSampleType = pp.multiSampleQuality = 0;
  pp.deviceWindow = 0;
  pp.enableAutoDepthStencil = 0;
  pp.flags = 1;  // D3DPRESENTFLAG_LOCKABLE_BACKBUFFER
  // The device draws the display size; the window host scales it.
  plat::PresentParameters made = pp;
  made.backBufferWidth = static_cast<uint32_t>(nWidth);
  made.backBufferHeight = static_cast<uint32_t>(nHeight);
  if (DDState.lpD3D->CreateDevice(made, true, &DDState.lpDevice) == plat::D3D_OK) {
    WriteReportAndECLog("Device HAL-HARD");
  } else if (DDState.lpD3D->CreateDevice(made, false, &DDState.lpDevice) == plat::D3D_OK) {
    WriteReportAndECLog("Device HAL-SOFT");
  } else {
    WriteECLog("CreateDevice Err");
    return false;
  }
  WriteReportAndECLog("%s", FormatName(con.dwBackBufferFormat));

  DDSetRenderStates();
  DDResetDrawColor();
  DDResetColorOp();
  DDResetAlphaOp();

  DDSURFACEDATA* back = DDBackBuffer();
  DDAllocSurfaceRecord(back);
  back->nWidth = back->nTexWidth = nWidth;
  back->nHeight = back->nTexHeight = nHeight;
  back->dwMemoryType = 0;
  SetKind(back, "BackBuffer");
  back->lpDT->bRenderTarget = 1;
  const uint32_t hr = DDState.lpDevice->CreateVertexBuffer(112, &back->lpDT->lpVB);
  if (hr != plat::D3D_OK) {
    WriteReportAndECLog("Back CreateVertexBuffer Err %x", hr);
    return false;
  }
  DDState.lpDevice->GetBackBuffer(&back->lpDT->lpSurface);
  back->lpDT->dwSerial = 0;
  con.dwTextureSerial = 1;

  DDSURFACEDATA* vir = DDVirBackBuffer();
  DDAllocSurfaceRecord(vir);
  DDSetVirtualBackBuffer(0);
  con.bCopyVirtualBackBuffer = 0;
  DDCreateSurface(vir, nWidth, nHeight, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0);
  SetKind(vir, "VirBackBuffer");
  DDSURFACEDATA* work = DDWorkSD();
  DDAllocSurfaceRecord(work);
  DDCreateSurface(work, nWidth, nHeight, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0);
  SetKind(work, "WorkSD");
  if (!DDState.bWindowed) HideCursor();
  return true;
}

}  // namespace

void DDReportInitError(int nCode) {
  const char* name = nullptr;
  switch (nCode) {
    case CREATEEX_ERR: name = "CREATEEX_ERR"; break;
    case SETCOOPLEVEL_ERR: name = "SETCOOPLEVEL_ERR"; break;
    case SETDISPLAYMODE_ERR: name = "SETDISPLAYMODE_ERR"; break;
    case CREATESURFACE_ERR: name = "CREATESURFACE_ERR"; break;
    case GETATTACHEDSURFACE_ERR: name = "GETATTACHEDSURFACE_ERR"; break;
    case CREATEPALETTE_ERR: name = "CREATEPALETTE_ERR"; break;
    case SETPALETTE_ERR: name = "SETPALETTE_ERR"; break;
    case CLIPPER_ERR: name = "CLIPPER_ERR"; break;
    case SETHWND_ERR: name = "SETHWND_ERR"; break;
    case SETCLIPPER_ERR: name = "SETCLIPPER_ERR"; break;
    default: return;
  }
  WriteECLog("%s", name);
}

bool DDInit(uint32_t bDirect3D, plat::WindowHandle hWnd, int nWidth, int nHeight, int nBpp, uint32_t bVSync,
            uint32_t bWindowed, int nBackBuffers, int nRefreshRate, uint32_t bSetRefreshRate,
            DDSURFACEDATA* lpSDTable, DDSURFACEINFO* lpSDInfoTable, int nCount) {
  // A set-up over an earlier one releases the old objects first, in every
  // mode, so no old device is leaked.
  if (DDState.bSetupDone && (lpDTCon || lpDDCon || DDState.lpDD)) DDRelease();
  DDState.dwDirect3D = bDirect3D;
  DDState.hWnd = hWnd;
  DDState.nDispWidth = nWidth;
  DDState.nDispHeight = nHeight;
  DDState.nBpp = nBpp;
  DDState.nBytesPerPixel = nBpp / 8;
  DDState.bVSync = bVSync;
  DDState.bWindowed = bWindowed;
  DDState.nBackBuffers = nBackBuffers;
  DDState.nRefreshRate = nRefreshRate;
  DDState.bSetRefreshRate = bSetRefreshRate;
  DDState.lpSDTable = lpSDTable;
  DDState.lpSDInfoTable = lpSDInfoTable;
  DDState.nSDCount = nCount;
  WriteReportAndECLog("VSync : %d", static_cast<int>(bVSync));

  if (!bDirect3D) {
    if (!bWindowed) {
      lpDDCon = new DDCONTEXT();
      UseFullScreenWindow(true);
      const int code = DDInitFullScreen(hWnd, nWidth, nHeight, nBpp, nBackBuffers);
      DDReportInitError(code);
      if (code != DDINIT_OK) return false;
    } else {
      if (DDState.lpDD) DDState.lpDD->RestoreDisplayMode();
      lpDDCon = new DDCONTEXT();
      UseFullScreenWindow(false);
      const int code = DDInitWindowed(hWnd);
      DDReportInitError(code);
      if (code != DDINIT_OK) return false;
    }
  } else {
    UseFullScreenWindow(!bWindowed);
    if (!DDInitDirect3D(hWnd, nWidth, nHeight, nBpp, nBackBuffers)) return false;
  }
  DDState.bInitialised = 1;
  DDState.bSetupDone = 1;
  return true;
}

void DDSetRenderStates() {
  if (!DDState.lpDevice) return;
  plat::Device& d = *DDState.lpDevice;
  d.SetRenderState(plat::D3DRS_CULLMODE, 1);
  d.SetRenderState(plat::D3DRS_ZENABLE, 0);
  d.SetRenderState(plat::D3DRS_ALPHABLENDENABLE, 1);
  d.SetRenderState(plat::D3DRS_SRCBLEND, plat::D3DBLEND_SRCALPHA);
  d.SetRenderState(plat::D3DRS_DESTBLEND, plat::D3DBLEND_INVSRCALPHA);
  d.SetRenderState(plat::D3DRS_DIFFUSEMATERIALSOURCE, 1);
  d.SetRenderState(plat::D3DRS_COLORVERTEX, 1);
  // Samplers 0 and 1: wrap addressing and point filtering are the device's
  // only sampling mode.
  d.SetSamplerPoint(0);
  d.SetSamplerPoint(1);
}

void DDRelease() {
  if (lpDDCon || DDState.lpDD) {
    for (int i = 0; DDState.lpSDTable && i < DDState.nSDCount; ++i) DDReleaseSurface(&DDState.lpSDTable[i]);
    if (DDState.bClipper && DDState.lpDD) {
      DDState.lpDD->ReleaseClipper();
      DDState.bClipper = 0;
    }
    if (DDState.lpDDPalette) {
      DDState.lpDDPalette->Release();
      DDState.lpDDPalette = nullptr;
    }
    // In full screen the back buffer belongs to the primary's flip chain and
    // goes with it.
    DDSURFACEDATA* back = DDBackBuffer();
    if (back->lpDDS && back->lpDDS->lpSurface && !DDState.bWindowed && DDPrimary()->lpDDS) {
      back->lpDDS->lpSurface = nullptr;
    }
    DDReleaseSurface(back);
    DDReleaseSurface(DDPrimary());
    DDReleaseSurface(DDScreenCopy());
    if (DDState.lpDD) {
      const uint32_t left = DDState.lpDD->Release();
      DDState.lpDD = nullptr;
      if (left != 0) ShowMessageBox(plat::Sjis("解放漏れがあります").c_str(), "DirectDraw", plat::MB_ICONERROR);
    }
    delete lpDDCon;
    lpDDCon = nullptr;
  }
  if (lpDTCon || DDState.lpDevice || DDState.lpD3D) {
    for (int i = 0; DDState.lpSDTable && i < DDState.nSDCount; ++i) DDReleaseSurface(&DDState.lpSDTable[i]);
    DDReleaseSurface(DDWorkSD());
    DDReleaseSurface(DDVirBackBuffer());
    DDReleaseSurface(DDBackBuffer());
    // Textures still listed (surfaces outside the table that their owners
    // did not release) go with the device.
    for (DDSURFACEDATA* sd : std::vector<DDSURFACEDATA*>(DDState.textureList)) DDReleaseSurfaceObjects(sd);
    DDState.textureList.clear();
    DDReleaseBatchBuffers();
    if (DDState.lpDevice) {
      DDState.lpDevice->Release();
      DDState.lpDevice = nullptr;
    }
    if (DDState.lpD3D) {
      DDState.lpD3D->Release();
      DDState.lpD3D = nullptr;
    }
    delete lpDTCon;
    lpDTCon = nullptr;
  }
  DDState.bInitialised = 0;
}

void DDEnd() { DDRelease(); }

void DDResetForTest() {
  DDRelease();
  DDState.textureList.clear();
  DDState.fontList.clear();
  DDState.bSetupDone = 0;
  DDState.dwDirect3D = 0;
  DDState.lpSDTable = nullptr;
  DDState.lpSDInfoTable = nullptr;
  DDState.nSDCount = 0;
  DDState.dwColorKey = 0;
  DDState.dFadeOutAngleDD = DDState.dFadeOutAngleD3D = 90.0;
  DDState.dFadeInAngleDD = DDState.dFadeInAngleD3D = 0.0;
  for (DDSURFACEDATA* sd : {DDPrimary(), DDBackBuffer(), DDVirBackBuffer(), DDWorkSD(), DDScreenCopy()})
    *sd = DDSURFACEDATA{};
}
