#include "Sprite2Compressor.h"

#include <cstdio>
#include <cstring>

#include "offscrn.h"
#include "DebugStream.h"
#include "XAssert.h"

// ---- Sprite2Stream --------------------------------------------------------------------------

Sprite2Stream::Sprite2Stream(size_t reserveBytes) { mBytes.reserve(reserveBytes); }

uint16_t Sprite2Stream::GetToken(size_t i) const {
  XASSERT((i & 1) == 0, "Getting token from uneven address");
  return uint16_t(mBytes[i] | (mBytes[i + 1] << 8)) & kSprite2TokenMask;
}

uint16_t Sprite2Stream::GetData(size_t i) const {
  XASSERT((i & 1) == 0, "Getting data from uneven address");
  return uint16_t(mBytes[i] | (mBytes[i + 1] << 8)) & kSprite2CountMask;
}

void Sprite2Stream::SetToken(size_t i, uint16_t code) {
  XASSERT((i & 1) == 0, "Setting token from uneven address");
  uint16_t word = uint16_t(mBytes[i] | (mBytes[i + 1] << 8));
  word = uint16_t((word & kSprite2CountMask) | (code & kSprite2TokenMask));
  mBytes[i] = uint8_t(word);
  mBytes[i + 1] = uint8_t(word >> 8);
}

void Sprite2Stream::SetData(size_t i, uint16_t value) {
  XASSERT((i & 1) == 0, "Setting data from uneven address");
  uint16_t word = uint16_t(mBytes[i] | (mBytes[i + 1] << 8));
  word = uint16_t((word & kSprite2TokenMask) | (value & kSprite2CountMask));
  mBytes[i] = uint8_t(word);
  mBytes[i + 1] = uint8_t(word >> 8);
}

void Sprite2Stream::PushPair(uint8_t a, uint8_t b) {
  XASSERT((size() & 1) == 0, "Pushing pair to uneven address");
  mBytes.push_back(a);
  mBytes.push_back(b);
}

void Sprite2Stream::PushTriple(uint8_t a, uint8_t b, uint8_t c) {
  mBytes.push_back(a);
  mBytes.push_back(b);
  mBytes.push_back(c);
}

uint8_t* Sprite2Stream::Grow(size_t count) {
  size_t at = mBytes.size();
  mBytes.resize(at + count);
  return mBytes.data() + at;
}

void Sprite2Stream::Pad() {
  if (mBytes.size() & 1) mBytes.push_back(kSprite2Pad);
}

size_t Sprite2Stream::StartToken(uint16_t code, uint16_t count) {
  Pad();
  size_t at = mBytes.size();
  uint16_t word = uint16_t((code & kSprite2TokenMask) | (count & kSprite2CountMask));
  mBytes.push_back(uint8_t(word));
  mBytes.push_back(uint8_t(word >> 8));
  mLastToken = long(at);
  return at;
}

size_t Sprite2Stream::LastToken() const {
  XASSERT(mLastToken != -1, "bad token!");
  return mLastToken < 0 ? 0 : size_t(mLastToken);
}

void Sprite2Stream::DropLastToken() {
  XASSERT(mLastToken != -1 && mBytes.size() - size_t(mLastToken) == 2, "uh oh");
  if (mLastToken >= 0 && mBytes.size() - size_t(mLastToken) == 2) mBytes.resize(size_t(mLastToken));
  mLastToken = -1;
}

void Sprite2Stream::Truncate(size_t newSize) {
  if (newSize < mBytes.size()) mBytes.resize(newSize);
  if (mLastToken >= long(newSize)) mLastToken = -1;
}

bool Sprite2Stream::Reindex() {
  mTokens.clear();
  size_t i = 0;
  while (i + 2 <= mBytes.size()) {
    if (i & 1) return false;
    mTokens.push_back(i);
    uint16_t code = GetToken(i);
    uint16_t count = GetData(i);
    i += 2;
    switch (code) {
      case kEOS: return true;
      case kRunP: i += count + (count & 1); break;
      case kRunZP: i += 2 * size_t(count); break;
      case kRunZPA: i += 3 * size_t(count) + (count & 1); break;
      default: break;  // kNL, kClear, kSL: nothing more; a line's tokens follow its kNL
    }
  }
  return false;
}

// ---- Encoding -------------------------------------------------------------------------------

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

MHandle* EncodeSprite2Color(Offscreen* colour, const MacRect& reference, const MacRect& frame,
                            uint16_t paletteId) {
  int w, h;
  if (!WorldSize(colour, w, h)) return Refuse("no colour offscreen");
  Inputs in;
  in.colour = PlaneOf(colour);
  in.clearColour = in.colour.base[0];
  in.flags = kColorData;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

MHandle* EncodeSprite2ColorZ(Offscreen* colour, Offscreen* z, const MacRect& reference,
                             const MacRect& frame, uint16_t paletteId) {
  int w, h, zw, zh;
  if (!WorldSize(colour, w, h) || !WorldSize(z, zw, zh)) return Refuse("no colour or z offscreen");
  if (zw != w || zh != h) return Refuse("colour and z offscreens differ in size");
  Inputs in;
  in.colour = PlaneOf(colour);
  in.z = PlaneOf(z);
  in.flags = kColorData | kZData;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

MHandle* EncodeSprite2ColorZAlpha(Offscreen* colour, Offscreen* z, Offscreen* alpha,
                                  const MacRect& reference, const MacRect& frame, int alpha_bits,
                                  uint16_t paletteId) {
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

bool CheckSprite2Frame(const uint8_t* frame, size_t size) {
  size_t i = Sprite2FrameHeaderSize();
  auto word = [&](size_t at) { return uint16_t(frame[at] | (frame[at + 1] << 8)); };
  while (i + 2 <= size) {
    if (i & 1) {
      XASSERT(false, "parity error");
      return false;
    }
    uint16_t token = word(i) & kSprite2TokenMask;
    uint16_t count = word(i) & kSprite2CountMask;
    switch (token) {
      case kNL: {
        size_t next = i + count;
        uint16_t t = next + 2 <= size ? word(next) & kSprite2TokenMask : 0xFFFF;
        if (count < 2 || (next & 1) || (t != kNL && t != kSL && t != kEOS)) {
          XASSERT(false, "bad kNL data");
          return false;
        }
        i += 2;
        break;
      }
      case kRunZP: i += 2 + 2 * size_t(count); break;
      case kRunZPA: i += 2 + 3 * size_t(count) + (count & 1); break;
      case kRunP: i += 2 + count + (count & 1); break;
      case kClear:
      case kSL: i += 2; break;
      case kEOS: return i + 2 == size;
      default: return false;
    }
  }
  return false;
}

// ---- Z-buffer passes ------------------------------------------------------------------------

void CleanUpZBuffer(Offscreen* colour, Offscreen* z) {
  int w, h, zw, zh;
  if (!WorldSize(colour, w, h)) return;
  WorldSize(z, zw, zh);
  if (zw != w || zh != h) {
    XASSERT(zw == 0 && zh == 0, "pixel and z-buffers are different dimensions!");
    return;
  }
  if (w == 0 || h == 0) return;
  Plane c = PlaneOf(colour);
  uint8_t* zBase = z->GetBaseAddr();
  intptr_t zRow = z->GetRowBytes();
  const uint8_t clear = c.base[0];
  auto zAt = [&](int x, int y) { return zBase[intptr_t(y) * zRow + x]; };
  for (int y = 0; y < h; ++y) {
    const uint8_t* cr = c.Row(y);
    uint8_t* zr = zBase + intptr_t(y) * zRow;
    for (int x = 0; x < w; ++x) {
      if (cr[x] == clear || zr[x] != 255) continue;
      unsigned sum = 0, count = 0;
      auto add = [&](int nx, int ny) {
        if (nx < 0 || ny < 0 || nx >= w || ny >= h) return;
        sum += zAt(nx, ny);
        ++count;
      };
      add(x - 1, y);
      add(x + 1, y);
      if (sum == 0) {
        add(x, y - 1);
        add(x, y + 1);
      }
      if (sum == 0) {
        add(x - 1, y - 1);
        add(x + 1, y - 1);
        add(x - 1, y + 1);
        add(x + 1, y + 1);
      }
      if (sum != 0) {
        zr[x] = uint8_t(double(sum) / count + 0.5);
      } else {
        std::fputs("Could not find neighboring z-value in z-clean up...throwing away pixel\n", stderr);
      }
    }
  }
}

void ApplyAlphaToZBuffer(Offscreen* colour, Offscreen* z, Offscreen* alpha, int alpha_bits) {
  XASSERT(alpha_bits <= 8 && alpha_bits > 3, "odd-looking alpha_bits parameters...");
  CleanUpZBuffer(colour, z);
  int w, h, zw, zh, aw, ah;
  if (!WorldSize(colour, w, h) || !WorldSize(z, zw, zh)) return;
  WorldSize(alpha, aw, ah);
  if (aw != w || ah != h) {
    XASSERT(aw == w && ah == h, "alpha offscreen different size than z & pixels");
    return;
  }
  if (zw != w || zh != h || alpha_bits < 1 || alpha_bits > 8) return;
  const int shift = 8 - alpha_bits;
  Plane a = PlaneOf(alpha);
  uint8_t* zBase = z->GetBaseAddr();
  intptr_t zRow = z->GetRowBytes();
  for (int y = 0; y < h; ++y) {
    const uint8_t* ar = a.Row(y);
    uint8_t* zr = zBase + intptr_t(y) * zRow;
    for (int x = 0; x < w; ++x)
      if (zr[x] < 255 && (ar[x] >> shift) == 0) zr[x] = 255;
  }
}

// ---- Debug dump -----------------------------------------------------------------------------

void DebugDecodeSprite2(const uint8_t* frame, size_t size) {
  std::FILE* out = std::fopen("debugdecode.txt", "w");
  if (out == nullptr) return;
  auto word = [&](size_t at) { return unsigned(frame[at] | (frame[at + 1] << 8)); };
  std::fputs("Sprite2 Debug Decoder\n", out);
  if (frame == nullptr || size < size_t(Sprite2FrameHeaderSize())) {
    std::fputs("[BAD TOKEN DATA!]\n", out);
    std::fclose(out);
    return;
  }
  unsigned flags = word(4) | (word(6) << 16);
  std::fprintf(out, "Width = %u\n", word(0));
  std::fprintf(out, "Height = %u\n", word(2));
  std::fputs("Flags = ", out);
  if (flags & kColorData) std::fputs("kColorData ", out);
  if (flags & kZData) std::fputs("kZData ", out);
  if (flags & kAlphaData) std::fputs("kAlphaData ", out);
  std::fprintf(out, "\nOrigin = (%u, %u)\n", word(14), word(12));
  std::fprintf(out, "Clear color = %u\n", word(10));
  std::fprintf(out, "Palette ID = %u\n", word(8));
  size_t i = Sprite2FrameHeaderSize();
  bool done = false;
  while (!done) {
    if (i + 2 > size || (i & 1)) {
      std::fputs("[BAD TOKEN DATA!]\n", out);
      break;
    }
    unsigned token = word(i) & kSprite2TokenMask, count = word(i) & kSprite2CountMask;
    i += 2;
    size_t skip = 0;
    switch (token) {
      case kNL: std::fputs("\n[kNL] ", out); break;
      case kSL: std::fprintf(out, "\n[kSL(%u)] ", count); break;
      case kClear: std::fprintf(out, "[kClear(%u)] ", count); break;
      case kRunP:
        std::fprintf(out, "[kRunP{%u}] ", count);
        skip = count + (count & 1);
        break;
      case kRunZP:
        std::fprintf(out, "[kRunZP{%u}] ", count);
        skip = 2 * size_t(count);
        break;
      case kRunZPA:
        std::fprintf(out, "[kRunZPA{%u}] ", count);
        skip = 3 * size_t(count) + (count & 1);
        break;
      case kEOS:
        std::fputs("[kEOS]\n\n", out);
        done = true;
        break;
      default:
        std::fputs("[BAD TOKEN DATA!]\n", out);
        done = true;
        break;
    }
    i += skip;
  }
  std::fclose(out);
}
