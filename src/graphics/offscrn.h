// An offscreen world: an 8-bit palette-indexed drawing surface in memory, a bottom-up bitmap
// selected into a memory drawing context. Images are read into one, sprites are cut from one
// and tiles are drawn into one.
//
// Pixel (x, y), counted from the top-left of the port rectangle, lies at
//     GetBaseAddr() + y * GetRowBytes() + x
// The base address is the TOP row and the row step is negative (the bitmap is stored bottom
// row first); |GetRowBytes()| is the width rounded up to a multiple of 4. A new world is all
// zero. Every access through the base must stay inside width x height.
//
// The palette is not owned; it must outlive the world (the global palette does).
// Not thread-safe: one user at a time. A world that is never made the port (SetPort) touches
// no process-wide state, so it may be filled on a thread of its own.
#ifndef GRAPHICS_OFFSCRN_H
#define GRAPHICS_OFFSCRN_H

#include <cstdint>

#include "MacDrawing.h"
#include "MacRect.h"
#include "PlatformBitmap.h"

class PalWrap;

class Offscreen {
 public:
  Offscreen();                                 // no world
  explicit Offscreen(PlatformBitmap* bitmap);  // adopts the bitmap
  explicit Offscreen(const MacRect& bounds);   // Create(bounds) on the global palette
  ~Offscreen();                                // Dispose
  Offscreen(const Offscreen&) = delete;
  Offscreen& operator=(const Offscreen&) = delete;

  // Makes a zeroed world of the bounds' size with the palette's colours (the global palette
  // when none is given) and selects the palette's palette object. The port rectangle is the
  // bounds as given, not moved to 0,0. Bounds whose width or height is not in 1..32767 are
  // refused (assertion "bad offscreen bounds"). Any world held before is disposed first.
  // Answers Exists().
  bool Create(const MacRect& bounds);
  bool Create(const MacRect& bounds, PalWrap* palette);
  // Create(bounds) for a caller that writes every pixel of the new world: when this world
  // already has the bounds' size, its pixel memory is kept as it stands (not zeroed) instead
  // of new memory being made and zeroed. Everything else is as after Create.
  bool CreateForOverwrite(const MacRect& bounds);
  bool CreateForOverwrite(const MacRect& bounds, PalWrap* palette);

  // Exchanges the worlds (pixels, context, palette) of two offscreens, neither of which may
  // be the current port. For worlds filled on another thread and handed over whole.
  void Swap(Offscreen& other);
  // Makes `palette` the world's palette and selects its palette object (the stock one when it
  // has none), as Create does; the pixels and the bitmap's colours stay. Nothing to do
  // without a context.
  void UsePalette(PalWrap* palette);

  // Takes over an existing 8-bit bitmap without a drawing context; it is never freed here.
  // The port rectangle becomes {0, 0, height, width}. Asserts "can't set when already
  // allocated" and answers false when a world exists.
  bool Adopt(PlatformBitmap* bitmap);

  // Frees the drawing context and the bitmap (unless adopted) and the kept pixels; every
  // field becomes zero. When the world is still the current port, the port it replaced is
  // restored first. The object can be created again.
  void Dispose();

  bool Exists() const { return fWorld != nullptr || fExists != 0; }
  void SetExists(bool exists) { fExists = exists ? 1 : 0; }

  // The top row's address; asserts "getting base of unlocked offscreen" when there is none.
  uint8_t* GetBaseAddr() const;
  int32_t GetRowBytes() const { return fRowBytes; }  // negative
  void GetPortRect(MacRect& out) const;              // all zero without a world
  void GetSize(int32_t& width, int32_t& height) const;  // 0 and 0 without a world
  PalWrap* GetPalette() const { return fPalette; }
  PlatformBitmap* GetWorld() const { return fWorld; }
  PlatformDC* GetDC() const { return fOffscreenDC; }

  // Bracket direct pixel access; nothing to do for a memory world.
  void Lock() {}
  void Unlock() {}

  // Makes the world the current port until RestorePort. outRect is the port rectangle, or
  // its intersection with `clip` when one is given; outBase and outRowBytes are the base and
  // row step.
  void SetPort(const MacRect* clip, MacRect& outRect, uint8_t*& outBase, int32_t& outRowBytes);
  void RestorePort();
  // SetPort, keeping the base and row step it answers.
  void SetPortToSelf(const MacRect* clip);

  // Copies the `source` block of the world to the `dest` block of the current port's
  // drawing context; a stretch when the sizes differ. Both are in the contexts' own
  // coordinates (0,0 is a bitmap's top-left pixel). Refused for an adopted world
  // (assertion "can't do that") and when the port has no drawing context. Answers true when
  // the copy was made.
  bool CopyToPort(const MacRect& source, const MacRect& dest);

  // Mirrors the pixels in place: vertically (row y with row height - 1 - y) first, then
  // horizontally. Asserts "flipping unlocked offscreen" and does nothing without a base.
  void Flip(bool horizontal, bool vertical);

  // True when [pointer, pointer + length) lies inside the pixel memory.
  bool CheckPointer(const void* pointer, int32_t length) const;
  static void GetMaxSize(int32_t& width, int32_t& height);  // 32767 and 32767
  bool SameWorld(const Offscreen& other) const { return fWorld == other.fWorld; }

  // Copies the pixels to memory of the world's own, keeps the base and row step pointing
  // there and frees the drawing context and the bitmap (the world no longer Exists).
  void ReleaseKeepingPixels();

 private:
  void Zero();
  bool IsCurrentPort() const;
  // Create on a disposed world; the pixels come from `recycled` when it is given.
  bool Make(const MacRect& bounds, PalWrap* palette, PlatformBitmap* recycled);
  bool MakeDC();
  bool TakeBitmapLayout(int32_t width, int32_t height);

  int32_t fAdopted = 0;
  PlatformBitmap* fWorld = nullptr;
  PlatformBitmap* fOldOffscreenObj = nullptr;
  PlatformDC* fOffscreenDC = nullptr;
  MacPort fSavedPort;
  MacRect portRect = {0, 0, 0, 0};
  PalWrap* fPalette = nullptr;
  uint8_t* fBaseAddr = nullptr;
  int32_t fRowBytes = 0;
  uint8_t* fScratch = nullptr;
  int32_t fExists = 0;
  bool fMadePort = false;  // SetPort made this world the port, which it may still be
};

#endif  // GRAPHICS_OFFSCRN_H
