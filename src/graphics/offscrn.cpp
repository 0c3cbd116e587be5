#include "offscrn.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "DebugStream.h"
#include "XAssert.h"
#include "palwrap.h"

Offscreen::Offscreen() = default;

Offscreen::Offscreen(PlatformBitmap* bitmap) { Adopt(bitmap); }

Offscreen::Offscreen(const MacRect& bounds) { Create(bounds); }

Offscreen::~Offscreen() { Dispose(); }

void Offscreen::Zero() {
  fAdopted = 0;
  fWorld = nullptr;
  fOldOffscreenObj = nullptr;
  fOffscreenDC = nullptr;
  fSavedPort = MacPort();
  portRect = MacRect{0, 0, 0, 0};
  fPalette = nullptr;
  fBaseAddr = nullptr;
  fRowBytes = 0;
  fScratch = nullptr;
  fExists = 0;
  fMadePort = false;
}

bool Offscreen::Create(const MacRect& bounds) { return Create(bounds, GetGlobalPalette()); }

bool Offscreen::Create(const MacRect& bounds, PalWrap* palette) {
  Dispose();
  return Make(bounds, palette, nullptr);
}

bool Offscreen::CreateForOverwrite(const MacRect& bounds) {
  return CreateForOverwrite(bounds, GetGlobalPalette());
}

bool Offscreen::CreateForOverwrite(const MacRect& bounds, PalWrap* palette) {
  PlatformBitmap* recycled = nullptr;
  const int32_t width = (int32_t)bounds.right - bounds.left;
  const int32_t height = (int32_t)bounds.bottom - bounds.top;
  if (fWorld && !fAdopted && fOffscreenDC && fWorld->Width() == width && fWorld->Height() == height) {
    // The bitmap leaves its context, which goes as in Dispose; its memory goes to the new one.
    if (IsCurrentPort()) RestorePort();
    PlatformSelectBitmap(fOffscreenDC, fOldOffscreenObj ? fOldOffscreenObj : PlatformStockBitmap());
    PlatformDeleteDC(fOffscreenDC);
    fOffscreenDC = nullptr;
    recycled = fWorld;
    fWorld = nullptr;
  }
  Dispose();
  const bool made = Make(bounds, palette, recycled);
  if (recycled) PlatformDeleteBitmap(recycled);
  return made;
}

bool Offscreen::Make(const MacRect& bounds, PalWrap* palette, PlatformBitmap* recycled) {
  fPalette = palette;
  const int32_t width = (int32_t)bounds.right - bounds.left;
  const int32_t height = (int32_t)bounds.bottom - bounds.top;
  if (width < 1 || width > kPlatformBitmapMaxSide || height < 1 ||
      height > kPlatformBitmapMaxSide) {
    XASSERT(false, "bad offscreen bounds");
    fPalette = nullptr;
    return false;
  }
  fOffscreenDC = PlatformCreateMemoryDC();
  XASSERT(fOffscreenDC, "could not create fOffscreenDC");
  if (!fOffscreenDC) {
    Dispose();
    return false;
  }
  const PlatformColorEntry* colors = palette ? palette->GetColors() : nullptr;
  fWorld = PlatformCreateBitmap8(width, height, colors, nullptr, recycled);
  XASSERT(fWorld, "could not create dib section");
  if (!fWorld) {
    Dispose();
    return false;
  }
  fOldOffscreenObj = PlatformSelectBitmap(fOffscreenDC, fWorld);
  XASSERT(fOldOffscreenObj, "could not select in my bitmap");
  if (palette && palette->GetPalette()) PlatformSelectPalette(fOffscreenDC, palette->GetPalette());
  if (!TakeBitmapLayout(width, height)) {
    Dispose();
    return false;
  }
  portRect = bounds;
  return true;
}

void Offscreen::Swap(Offscreen& other) {
  XASSERT(!IsCurrentPort() && !other.IsCurrentPort(), "swapping the current port");
  std::swap(fAdopted, other.fAdopted);
  std::swap(fWorld, other.fWorld);
  std::swap(fOldOffscreenObj, other.fOldOffscreenObj);
  std::swap(fOffscreenDC, other.fOffscreenDC);
  std::swap(fSavedPort, other.fSavedPort);
  std::swap(portRect, other.portRect);
  std::swap(fPalette, other.fPalette);
  std::swap(fBaseAddr, other.fBaseAddr);
  std::swap(fRowBytes, other.fRowBytes);
  std::swap(fScratch, other.fScratch);
  std::swap(fExists, other.fExists);
  std::swap(fMadePort, other.fMadePort);
}

void Offscreen::UsePalette(PalWrap* palette) {
  if (!fOffscreenDC) return;
  fPalette = palette;
  // Without a palette object the context gets the stock one, as a new context has.
  PlatformSelectPalette(fOffscreenDC, palette && palette->GetPalette() ? palette->GetPalette()
                                                                       : PlatformStockPalette());
}

bool Offscreen::TakeBitmapLayout(int32_t width, int32_t height) {
  PlatformBitmapInfo info;
  bool got = PlatformGetBitmapInfo(fWorld, &info);
  XASSERT(got, "could not GetObject on a perfectly good dib section");
  if (!got || info.width != width || info.height != height) return false;
  fRowBytes = info.rowLength;
  if (fRowBytes != ((width + 3) & ~3)) {
    gDebugStream << "Warning: fRowBytes isn't a multiple of 4...strange behavior may result.\n";
  }
  // The top row of the picture is the last row stored.
  fBaseAddr = info.bits + (int64_t)fRowBytes * (height - 1);
  fRowBytes = -fRowBytes;
  return true;
}

bool Offscreen::Adopt(PlatformBitmap* bitmap) {
  XASSERT(!Exists(), "can't set when already allocated");
  if (Exists() || !bitmap) return false;
  fAdopted = 1;
  fWorld = bitmap;
  if (!TakeBitmapLayout(bitmap->Width(), bitmap->Height())) {
    Zero();
    return false;
  }
  portRect = MacRect{0, 0, (int16_t)bitmap->Height(), (int16_t)bitmap->Width()};
  return true;
}

void Offscreen::Dispose() {
  // A port left on this world would name a freed context: hand the port back first.
  if (IsCurrentPort()) RestorePort();
  if (!fAdopted) {
    if (fOffscreenDC) {
      PlatformBitmap* old = PlatformSelectBitmap(fOffscreenDC, fOldOffscreenObj ? fOldOffscreenObj
                                                                   : PlatformStockBitmap());
      XASSERT(old == fWorld, "how'd that get there?");
      PlatformDeleteDC(fOffscreenDC);
    }
    if (fWorld) PlatformDeleteBitmap(fWorld);
  }
  delete[] fScratch;
  Zero();
}

uint8_t* Offscreen::GetBaseAddr() const {
  XASSERT(fBaseAddr, "getting base of unlocked offscreen");
  return fBaseAddr;
}

void Offscreen::GetPortRect(MacRect& out) const {
  out = Exists() ? portRect : MacRect{0, 0, 0, 0};
}

void Offscreen::GetSize(int32_t& width, int32_t& height) const {
  if (!Exists()) {
    width = height = 0;
    return;
  }
  width = (int32_t)portRect.right - portRect.left;
  height = (int32_t)portRect.bottom - portRect.top;
}

void Offscreen::SetPort(const MacRect* clip, MacRect& outRect, uint8_t*& outBase,
                        int32_t& outRowBytes) {
  outRect = portRect;
  if (clip) MacSectRect(portRect, *clip, outRect);
  MacGetPort(fSavedPort);
  MacSetPort(nullptr, fOffscreenDC);
  fMadePort = fOffscreenDC != nullptr;
  outBase = fBaseAddr;
  outRowBytes = fRowBytes;
}

void Offscreen::RestorePort() {
  MacSetPort(fSavedPort.window, fSavedPort.dc);
  fMadePort = fOffscreenDC != nullptr && fSavedPort.dc == fOffscreenDC;
}

bool Offscreen::IsCurrentPort() const {
  // Only a world that made itself the port looks at the port: one that never did may be
  // used on a thread of its own.
  return fMadePort && fOffscreenDC != nullptr && gPort.dc == fOffscreenDC;
}

void Offscreen::SetPortToSelf(const MacRect* clip) {
  MacRect ignored;
  SetPort(clip, ignored, fBaseAddr, fRowBytes);
}

bool Offscreen::MakeDC() {
  fOffscreenDC = PlatformCreateMemoryDC();
  XASSERT(fOffscreenDC, "could not create fOffscreenDC");
  if (!fOffscreenDC) return false;
  fOldOffscreenObj = PlatformSelectBitmap(fOffscreenDC, fWorld);
  XASSERT(fOldOffscreenObj, "could not select in my bitmap");
  if (fPalette && fPalette->GetPalette()) {
    PlatformSelectPalette(fOffscreenDC, fPalette->GetPalette());
  }
  return fOldOffscreenObj != nullptr;
}

bool Offscreen::CopyToPort(const MacRect& source, const MacRect& dest) {
  XASSERT(!fAdopted, "can't do that");
  if (fAdopted || !fWorld) return false;
  if (!fOffscreenDC && !MakeDC()) return false;
  PlatformDC* port = gPort.dc;
  if (!port) return false;
  PlatformPalette* oldPalette = nullptr;
  if (fPalette && fPalette->GetPalette()) {
    oldPalette = PlatformSelectPalette(port, fPalette->GetPalette());
  }
  const int32_t sw = (int32_t)source.right - source.left, sh = (int32_t)source.bottom - source.top;
  const int32_t dw = (int32_t)dest.right - dest.left, dh = (int32_t)dest.bottom - dest.top;
  // Both rectangles are in the drawing contexts' coordinates: 0,0 is the bitmap's top-left.
  bool done = (sw == dw && sh == dh)
                  ? PlatformBitBlt(port, dest.left, dest.top, dw, dh, fOffscreenDC, source.left,
                                   source.top)
                  : PlatformStretchBlt(port, dest.left, dest.top, dw, dh, fOffscreenDC,
                                       source.left, source.top, sw, sh);
  if (oldPalette) PlatformSelectPalette(port, oldPalette);
  return done;
}

void Offscreen::Flip(bool horizontal, bool vertical) {
  XASSERT(fBaseAddr, "flipping unlocked offscreen");
  if (!fBaseAddr) return;
  XASSERT(portRect.left == 0 && portRect.top == 0, "unexpected top,left!=0,0");
  const int32_t width = (int32_t)portRect.right - portRect.left;
  const int32_t height = (int32_t)portRect.bottom - portRect.top;
  if (width <= 0 || height <= 0) return;
  if (vertical) {
    for (int32_t y = 0; y < height / 2; ++y) {
      uint8_t* a = fBaseAddr + (int64_t)y * fRowBytes;
      uint8_t* b = fBaseAddr + (int64_t)(height - 1 - y) * fRowBytes;
      std::swap_ranges(a, a + width, b);
    }
  }
  if (horizontal) {
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = fBaseAddr + (int64_t)y * fRowBytes;
      std::reverse(row, row + width);
    }
  }
}

bool Offscreen::CheckPointer(const void* pointer, int32_t length) const {
  XASSERT(fBaseAddr, "CheckPointer called on unlocked offscreen");
  if (!fBaseAddr || length < 0) return false;
  const int64_t height = (int64_t)portRect.bottom - portRect.top;
  const int64_t rowLength = fRowBytes < 0 ? -(int64_t)fRowBytes : fRowBytes;
  // With the negative row step the lowest address is the bottom row's.
  const uintptr_t low = (uintptr_t)(fBaseAddr - (height - 1) * rowLength);
  const uintptr_t high = (uintptr_t)(fBaseAddr + rowLength);
  const uintptr_t p = (uintptr_t)pointer;
  return p >= low && p <= high && (uintptr_t)length <= high - p;
}

void Offscreen::GetMaxSize(int32_t& width, int32_t& height) {
  width = kPlatformBitmapMaxSide;
  height = kPlatformBitmapMaxSide;
}

void Offscreen::ReleaseKeepingPixels() {
  if (!fOffscreenDC || !fWorld || fAdopted) return;
  const int32_t rowLength = fWorld->RowLength();
  const int32_t height = fWorld->Height();
  delete[] fScratch;
  fScratch = new uint8_t[(size_t)rowLength * height];
  std::memcpy(fScratch, fWorld->Bits(), (size_t)rowLength * height);
  fBaseAddr = fScratch + (int64_t)rowLength * (height - 1);
  if (IsCurrentPort()) RestorePort();
  PlatformSelectBitmap(fOffscreenDC, fOldOffscreenObj ? fOldOffscreenObj : PlatformStockBitmap());
  PlatformDeleteBitmap(fWorld);
  fWorld = nullptr;
  PlatformDeleteDC(fOffscreenDC);
  fOffscreenDC = nullptr;
  fOldOffscreenObj = nullptr;
}
