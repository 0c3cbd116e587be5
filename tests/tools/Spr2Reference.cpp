// A frozen copy of the SPR2 frame encoder as it was before its loops were rewritten for speed:
// a pixel-class scan per run over a growable token stream. The encoder tests compare the
// library's frames with these byte for byte; it is never used outside the tests.
#include "Spr2Reference.h"

#include <cstdio>
#include <cstring>

#include "DebugStream.h"
#include "XAssert.h"
#include "offscrn.h"

namespace spr2ref {


namespace {

// One 8-bit plane of a world, addressed from its top row.
struct Plane {
  const uint8_t* base = nullptr;
  intptr_t rowBytes = 0;
  const uint8_t* Row(int y) const { return base + intptr_t(y) * rowBytes; }
};

bool WorldSize(Offscreen* world, int& width, int& height) {
  width = height = 0;
  if (world == nullptr || !world->Exists()) return false;
  int32_t w = 0, h = 0;
  world->GetSize(w, h);
  width = w;
  height = h;
  return true;
}

Plane PlaneOf(Offscreen* world) {
  Plane p;
  p.base = world->GetBaseAddr();
  p.rowBytes = world->GetRowBytes();
  return p;
}

MHandle* Refuse(const char* reason) {
  char text[256];
  std::snprintf(text, sizeof text, "SPR2 frame refused: %s\n", reason);
  gDebugStream << text;
  return nullptr;
}

// Pixel classes of the three encoders.
enum class Px : uint8_t { kTransparent, kP, kZP, kZPA };

struct Inputs {
  Plane colour, z, alpha;
  uint8_t clearColour = 0;  // colour encoder: transparent colour
  int shift = 0;            // alpha reduction
  uint8_t opaque = 0;       // reduced opaque alpha
  uint32_t flags = kColorData;
};

// Class of pixel x of a row.
inline Px Classify(const Inputs& in, const uint8_t* c, const uint8_t* z, const uint8_t* a, int x) {
  if (in.flags == kColorData) return c[x] == in.clearColour ? Px::kTransparent : Px::kP;
  if (z[x] == 255) return Px::kTransparent;
  if (in.flags == (kColorData | kZData)) return Px::kZP;
  return uint8_t(a[x] >> in.shift) == in.opaque ? Px::kZP : Px::kZPA;
}

// Folds runs of three or more empty lines (bare kNL of count 2) into kSL tokens, compacting
// the stream in one pass. A run longer than a kSL count holds becomes several kSL tokens of
// at least 3 lines each. Answers the offset of the first of the kSL tokens that directly
// precede kEOS (or the kEOS offset when none do) and whether anything comes before them.
void FoldEmptyLines(Sprite2Stream& stream, size_t& trailingSkips, bool& somethingBefore) {
  uint8_t* d = stream.data();
  size_t r = 0, w = 0;
  size_t skipsStart = size_t(-1);
  somethingBefore = false;
  auto word = [&](size_t at) { return uint16_t(d[at] | (d[at + 1] << 8)); };
  auto put = [&](uint16_t value) {
    d[w] = uint8_t(value);
    d[w + 1] = uint8_t(value >> 8);
    w += 2;
  };
  for (;;) {
    uint16_t token = word(r) & kSprite2TokenMask;
    uint16_t count = word(r) & kSprite2CountMask;
    if (token == kNL && count == 2) {
      size_t n = 0;
      while ((word(r + 2 * n) & kSprite2TokenMask) == kNL && (word(r + 2 * n) & kSprite2CountMask) == 2)
        ++n;
      if (n >= 3) {
        if (skipsStart == size_t(-1)) skipsStart = w;
        r += 2 * n;
        while (n > 0) {
          size_t take = n;
          if (take > kSprite2CountMask) take = n - kSprite2CountMask >= 3 ? kSprite2CountMask : n - 3;
          put(uint16_t(kSL | take));
          n -= take;
        }
        continue;
      }
    }
    if (token == kEOS) {
      put(word(r));
      break;
    }
    XASSERT(token == kNL, "bad token skip logic");
    XASSERT((count & 1) == 0, "parity error");
    skipsStart = size_t(-1);  // skips followed by a line are not trailing
    somethingBefore = true;
    if (w != r) std::memmove(d + w, d + r, count);
    w += count;
    r += count;
  }
  stream.Truncate(w);
  trailingSkips = skipsStart == size_t(-1) ? w - 2 : skipsStart;
}

void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Encodes the frame rect of the worlds in `in`. `width` and `height` are the worlds' size.
MHandle* EncodeFrame(const Inputs& in, int width, int height, const MacRect& reference,
                     const MacRect& rect, uint16_t paletteId) {
  bool empty = rect.left >= rect.right || rect.top >= rect.bottom;
  if (!empty && (rect.left < 0 || rect.top < 0 || rect.right > width || rect.bottom > height))
    return Refuse("frame rect lies outside the offscreen");
  int rows = empty ? 0 : rect.bottom - rect.top;
  int cols = empty ? 0 : rect.right - rect.left;
  int dataBytes = in.flags == kColorData ? 1 : in.flags == (kColorData | kZData) ? 2 : 3;
  Sprite2Stream stream(size_t(rows) * (4 + size_t(cols) * dataBytes) / 2 + 64);

  size_t lastLine = size_t(-1);
  bool tooLong = false;
  int alphaZero = 0;
  for (int y = rect.top; y < rect.top + rows; ++y) {
    size_t line = stream.StartToken(kNL, 0);
    if (lastLine != size_t(-1)) {
      if (line - lastLine > kSprite2CountMask) tooLong = true;
      stream.SetData(lastLine, uint16_t(line - lastLine));
    }
    lastLine = line;
    const uint8_t* c = in.colour.Row(y);
    const uint8_t* z = in.z.base ? in.z.Row(y) : nullptr;
    const uint8_t* a = in.alpha.base ? in.alpha.Row(y) : nullptr;
    int x = rect.left;
    const int right = rect.left + cols;
    while (x < right) {
      Px cls = Classify(in, c, z, a, x);
      int end = x + 1;
      while (end < right && Classify(in, c, z, a, end) == cls) ++end;
      int n = end - x;
      // Trailing transparent pixels are implied and need no count.
      if (n > kSprite2CountMask && (cls != Px::kTransparent || end < right)) tooLong = true;
      switch (cls) {
        case Px::kTransparent:
          if (end < right) stream.StartToken(kClear, uint16_t(n));
          break;
        case Px::kP:
          stream.StartToken(kRunP, uint16_t(n));
          std::memcpy(stream.Grow(n), c + x, n);
          break;
        case Px::kZP: {
          stream.StartToken(kRunZP, uint16_t(n));
          uint8_t* out = stream.Grow(2 * size_t(n));
          for (int i = x; i < end; ++i) {
            *out++ = z[i];
            *out++ = c[i];
          }
          break;
        }
        case Px::kZPA: {
          stream.StartToken(kRunZPA, uint16_t(n));
          uint8_t* out = stream.Grow(3 * size_t(n));
          for (int i = x; i < end; ++i) {
            uint8_t reduced = uint8_t(a[i] >> in.shift);
            alphaZero += reduced == 0;
            *out++ = z[i];
            *out++ = c[i];
            *out++ = reduced;
          }
          break;
        }
      }
      x = end;
    }
    if (tooLong) break;
  }
  if (tooLong) return Refuse("a run or line does not fit a 13-bit count");
  XASSERT(alphaZero == 0, "should have filtered out invisible pixels!");
  size_t eos = stream.StartToken(kEOS, 0);
  if (lastLine != size_t(-1)) {
    if (eos - lastLine > kSprite2CountMask) return Refuse("a line does not fit a 13-bit count");
    stream.SetData(lastLine, uint16_t(eos - lastLine));
  }

  size_t trailingSkips = 0;
  bool somethingBefore = false;
  FoldEmptyLines(stream, trailingSkips, somethingBefore);
  if (somethingBefore && trailingSkips + 2 < stream.size()) {
    // Transparent rows at the bottom: the decoder implies them from the height.
    gDebugStream << "SPR2: skip line before end-of-sprite removed\n";
    uint8_t* d = stream.data();
    std::memmove(d + trailingSkips, d + stream.size() - 2, 2);
    stream.Truncate(trailingSkips + 2);
  }

  size_t total = Sprite2FrameHeaderSize() + stream.size();
  MHandle* handle = HAlloc(uint32_t(total));
  if (handle == nullptr) {
    XASSERT(false, "could not allocate memory!");
    return nullptr;
  }
  uint8_t* p = reinterpret_cast<uint8_t*>(HLock(handle));
  Put16(p + 0, uint16_t(cols));
  Put16(p + 2, uint16_t(rows));
  Put16(p + 4, uint16_t(in.flags));
  Put16(p + 6, 0);
  Put16(p + 8, paletteId);
  Put16(p + 10, in.colour.base[0]);
  Put16(p + 12, empty ? 0 : uint16_t(rect.top - reference.top));
  Put16(p + 14, empty ? 0 : uint16_t(rect.left - reference.left));
  std::memcpy(p + Sprite2FrameHeaderSize(), stream.data(), stream.size());
  bool ok = CheckSprite2Frame(p, total);
  HUnlock(handle);
  if (!ok) {
    HFree(handle);
    XASSERT(ok, "Sprite sanity check failed!");
    return nullptr;
  }
  return handle;
}

}  // namespace

MHandle* EncodeColor(Offscreen* colour, const MacRect& reference, const MacRect& frame,
                     uint16_t paletteId) {
  int w, h;
  if (!WorldSize(colour, w, h)) return Refuse("no colour offscreen");
  Inputs in;
  in.colour = PlaneOf(colour);
  in.clearColour = in.colour.base[0];
  in.flags = kColorData;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

MHandle* EncodeColorZ(Offscreen* colour, Offscreen* z, const MacRect& reference, const MacRect& frame,
                      uint16_t paletteId) {
  int w, h, zw, zh;
  if (!WorldSize(colour, w, h) || !WorldSize(z, zw, zh)) return Refuse("no colour or z offscreen");
  if (zw != w || zh != h) return Refuse("colour and z offscreens differ in size");
  Inputs in;
  in.colour = PlaneOf(colour);
  in.z = PlaneOf(z);
  in.flags = kColorData | kZData;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

MHandle* EncodeColorZAlpha(Offscreen* colour, Offscreen* z, Offscreen* alpha, const MacRect& reference,
                           const MacRect& frame, int alpha_bits, uint16_t paletteId) {
  int w, h, zw, zh, aw, ah;
  if (!WorldSize(colour, w, h) || !WorldSize(z, zw, zh) || !WorldSize(alpha, aw, ah))
    return Refuse("no colour, z or alpha offscreen");
  if (zw != w || zh != h || aw != w || ah != h)
    return Refuse("colour, z and alpha offscreens differ in size");
  if (alpha_bits < 1 || alpha_bits > 8) return Refuse("alpha_bits outside 1..8");
  Inputs in;
  in.colour = PlaneOf(colour);
  in.z = PlaneOf(z);
  in.alpha = PlaneOf(alpha);
  in.shift = 8 - alpha_bits;
  in.opaque = uint8_t(uint8_t(255 - in.alpha.base[0]) >> in.shift);
  in.flags = kColorData | kZData | kAlphaData;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

}  // namespace spr2ref
