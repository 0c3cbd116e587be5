// Helpers of the encoder tests: offscreen worlds filled from a function of (x, y), pixel
// access, and copies of handle bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "MHandle.h"
#include "MacRect.h"
#include "offscrn.h"

namespace enctest {

inline void SetPixel(Offscreen& world, int x, int y, uint8_t value) {
  world.GetBaseAddr()[intptr_t(y) * world.GetRowBytes() + x] = value;
}

inline uint8_t GetPixel(Offscreen& world, int x, int y) {
  return world.GetBaseAddr()[intptr_t(y) * world.GetRowBytes() + x];
}

// A world of w x h at 0,0 (on `palette`, or the global palette) filled with fn(x, y).
inline std::unique_ptr<Offscreen> MakeWorld(int w, int h, const std::function<uint8_t(int, int)>& fn,
                                            PalWrap* palette = nullptr) {
  auto world = std::make_unique<Offscreen>();
  MacRect bounds{0, 0, int16_t(h), int16_t(w)};
  if (palette) world->Create(bounds, palette);
  else world->Create(bounds);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(*world, x, y, fn(x, y));
  return world;
}

// A world of w x h taking its pixels from rows of text, one character per pixel: '.' is 0,
// a digit its value, a letter 10 and up ('a' = 10).
inline std::unique_ptr<Offscreen> WorldFromText(const std::vector<const char*>& rows) {
  int w = rows.empty() ? 0 : int(std::char_traits<char>::length(rows[0]));
  return MakeWorld(w, int(rows.size()), [&](int x, int y) -> uint8_t {
    char c = rows[y][x];
    if (c == '.') return 0;
    if (c >= '0' && c <= '9') return uint8_t(c - '0');
    return uint8_t(c - 'a' + 10);
  });
}

inline std::vector<uint8_t> HandleBytes(MHandle* h) {
  std::vector<uint8_t> out;
  if (h == nullptr) return out;
  int32_t size = HGetSize(h);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(HLock(h));
  out.assign(p, p + size);
  HUnlock(h);
  return out;
}

// Frees the handle at the end of a scope.
struct HandleOwner {
  MHandle* h = nullptr;
  HandleOwner() = default;
  explicit HandleOwner(MHandle* handle) : h(handle) {}
  ~HandleOwner() {
    if (h) HFree(h);
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
};

}  // namespace enctest
