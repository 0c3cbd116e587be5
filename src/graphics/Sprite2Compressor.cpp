#include "Sprite2Compressor.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "offscrn.h"
#include "DebugStream.h"
#include "PlatformFile.h"
#include "ReportCapture.h"
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

// The three encoders, by the token kinds they write.
enum class Kind { kColour, kColourZ, kColourZAlpha };

// Pixel classes: transparent, the plain run kind (kRunP or kRunZP) and kRunZPA.
constexpr uint8_t kClassClear = 0, kClassPlain = 1, kClassAlpha = 2;
constexpr uint8_t kClassNone = 0xFF;  // before the first pixel of a row; also the row's end mark

struct Inputs {
  Plane colour, z, alpha;
  uint8_t clearColour = 0;  // colour encoder: transparent colour
  int shift = 0;            // alpha reduction
  uint8_t alphaMask = 0;    // the alpha bits that survive the reduction
  uint8_t opaqueBits = 0;   // the opaque value, unreduced: (a & alphaMask) == opaqueBits is opaque
  Kind kind = Kind::kColour;
};

uint32_t FlagsOf(Kind kind) {
  switch (kind) {
    case Kind::kColour: return kColorData;
    case Kind::kColourZ: return kColorData | kZData;
    default: return kColorData | kZData | kAlphaData;
  }
}

// The scratch of one row while it is encoded, laid out for the run loop: the class of each
// pixel, a bit per pixel where a run starts, and the data bytes of every pixel already in the
// order that each kind of run stores them, so that a run's data is one contiguous block.
struct RowScratch {
  const uint8_t* cls;     // class per pixel; cls[-1] and cls[cols...] are kClassNone
  const uint64_t* runs;   // bit x set where pixel x starts a run; bit `cols` is set too
  const uint8_t* plain;   // colour bytes, or {z, colour} pairs (colour + z encoders)
  const uint8_t* alpha;   // {z, colour, reduced alpha} triples (colour + z + alpha encoder)
};

// Run data are copied in blocks of this many bytes; the scratch rows and the stream keep this
// much room past their ends for the last block.
constexpr size_t kCopyBlock = 16;

// The bytes of one frame's token stream while it is encoded, and the scratch of its rows.
// Kept by the thread from frame to frame, so encoding a frame neither allocates nor clears
// memory once it is as large as the largest frame and the widest row seen.
class StreamBuffer {
 public:
  // Makes room for `more` bytes past the first `used`, keeping those.
  uint8_t* Reserve(size_t used, size_t more) {
    if (used + more > fCapacity) {
      size_t capacity = std::max(used + more, 2 * fCapacity);
      std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
      if (used) std::memcpy(bigger.get(), fBytes.get(), used);
      fBytes = std::move(bigger);
      fCapacity = capacity;
    }
    return fBytes.get();
  }
  uint8_t* Data() { return fBytes.get(); }

  // Sizes the row scratch for rows of `cols` pixels.
  void SizeRows(size_t cols) {
    const size_t classes = cols + 2 * kCopyBlock, words = cols / 64 + 3, data = 3 * cols + 2 * kCopyBlock;
    if (fClasses.size() < classes) fClasses.resize(classes);
    if (fRuns.size() < words) fRuns.resize(words);
    if (fPlain.size() < data) fPlain.resize(data);
    if (fAlpha.size() < data) fAlpha.resize(data);
  }
  uint8_t* Classes() { return fClasses.data() + 1; }  // one kClassNone byte in front
  uint64_t* Runs() { return fRuns.data(); }
  uint8_t* Plain() { return fPlain.data(); }
  uint8_t* Alpha() { return fAlpha.data(); }

 private:
  std::unique_ptr<uint8_t[]> fBytes;
  size_t fCapacity = 0;
  std::vector<uint8_t> fClasses;
  std::vector<uint64_t> fRuns;
  std::vector<uint8_t> fPlain, fAlpha;
};

thread_local StreamBuffer tStreamBuffer;

inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Bit j of the answer is set when byte j of `classes` differs from byte j of `before`.
inline uint64_t ClassChanges(uint64_t classes, uint64_t before) {
  const uint64_t diff = classes ^ before;
  // Classes are 0..2 and kClassNone, so a byte differs exactly when one of its two low bits
  // does; the multiply gathers bit 0 of each byte into the top byte.
  const uint64_t low = (diff | diff >> 1) & 0x0101010101010101ull;
  return (low * 0x0102040810204080ull) >> 56;
}

// Bit j of the answer is bit 1 of byte j of `classes`: set for the kClassAlpha bytes (and the
// kClassNone marks).
inline uint64_t AlphaClasses(uint64_t classes) { return ((classes >> 1 & 0x0101010101010101ull) * 0x0102040810204080ull) >> 56; }

// Lays out the {z, colour, reduced alpha} triples of the `n` (1..64) pixels from `x`.
void PutTriples(const uint8_t* c, const uint8_t* z, const uint8_t* a, int shift, size_t x, size_t n, uint8_t* out) {
  uint32_t packed[65];
  for (size_t i = 0; i < n; ++i)
    packed[i] = uint32_t(z[x + i]) | uint32_t(c[x + i]) << 8 | uint32_t(uint8_t(a[x + i] >> shift)) << 16;
  packed[n] = 0;
  // Two pixels' words make six bytes: one 8-byte store, the next one overwriting its last two.
  uint8_t* to = out + 3 * x;
  for (size_t i = 0; i < n; i += 2, to += 6) {
    uint64_t pair;
    std::memcpy(&pair, packed + i, sizeof pair);
    pair = (pair & 0xFFFFFFull) | (pair >> 8 & 0xFFFFFF000000ull);
    std::memcpy(to, &pair, sizeof pair);
  }
}

// What the row preparation asks for ahead of its use, spread over its pass: the next row's
// pixels (null for planes not encoded or past the last row) and the room where the next row's
// stream is likely to go. The worlds' rows run bottom-up in memory, which the processor's own
// look-ahead follows badly.
struct RowAhead {
  const uint8_t* next[3];
  const uint8_t* out;
  size_t outBytes;
};

// Classifies the row's pixels, lays out their data bytes for the run loop and marks where the
// runs start. Sets `alphaZero` when a kRunZPA pixel's alpha reduces to 0 (which
// ApplyAlphaToZBuffer should have made transparent).
template <Kind K>
RowScratch PrepareRow(const Inputs& in, const uint8_t* c, const uint8_t* z, const uint8_t* a, int cols,
                      StreamBuffer& buffer, bool& alphaZero, const RowAhead& ahead) {
  uint8_t* __restrict cls = buffer.Classes();
  uint8_t* __restrict plain = buffer.Plain();
  if (K == Kind::kColour) {
    const uint8_t clear = in.clearColour;
    for (int x = 0; x < cols; ++x) cls[x] = c[x] == clear ? kClassClear : kClassPlain;
    std::memcpy(plain, c, size_t(cols));
  } else {
    if (K == Kind::kColourZ) {
      for (int x = 0; x < cols; ++x) cls[x] = z[x] == 255 ? kClassClear : kClassPlain;
    } else {
      const uint8_t mask = in.alphaMask, opaque = in.opaqueBits;
      uint8_t zeros = 0;
      for (int x = 0; x < cols; ++x) {
        const uint8_t bits = a[x] & mask;
        const uint8_t k = z[x] == 255 ? kClassClear : bits == opaque ? kClassPlain : kClassAlpha;
        zeros |= uint8_t(k == kClassAlpha) & uint8_t(bits == 0);
        cls[x] = k;
      }
      alphaZero |= zeros != 0;
    }
    for (int x = 0; x < cols; ++x) {
      plain[2 * x] = z[x];
      plain[2 * x + 1] = c[x];
    }
  }
  cls[-1] = kClassNone;
  std::memset(cls + cols, kClassNone, 2 * kCopyBlock - 1);

  // Bit x of the run marks: pixel x's class differs from pixel x-1's (always at 0 and at the
  // end mark `cols`, never past it). The triples are laid out only where there are kRunZPA
  // pixels, 64 pixels at a time.
  uint64_t* runs = buffer.Runs();
  const size_t words = size_t(cols) / 64 + 1;
  for (size_t w = 0; w < words; ++w) {
    for (const uint8_t* next : ahead.next)
      if (next) __builtin_prefetch(next + 64 * w);
    // Four bytes of stream per pixel: about what rows of short runs take.
    for (size_t at = 256 * w; at < 256 * w + 256 && at < ahead.outBytes; at += 64)
      __builtin_prefetch(ahead.out + at, 1);
    uint64_t word = 0, alphas = 0;
    for (size_t j = 0; j < 8; ++j) {
      const uint8_t* p = cls + 64 * w + 8 * j;
      uint64_t now, before;
      std::memcpy(&now, p, 8);
      std::memcpy(&before, p - 1, 8);
      word |= ClassChanges(now, before) << (8 * j);
      if (K == Kind::kColourZAlpha) alphas |= AlphaClasses(now) << (8 * j);
      if (64 * w + 8 * j + 8 > size_t(cols)) break;  // the end mark is in this group
    }
    runs[w] = word;
    const size_t x = 64 * w, n = std::min<size_t>(64, size_t(cols) - x);
    if (n < 64) alphas &= (uint64_t(1) << n) - 1;  // not the end marks
    if (K == Kind::kColourZAlpha && alphas != 0) PutTriples(c, z, a, in.shift, x, n, buffer.Alpha());
  }
  return RowScratch{cls, runs, plain, buffer.Alpha()};
}

// Token code and data bytes per pixel of each class.
struct ClassTable {
  uint16_t code[3];
  uint8_t bytes[3];
};

constexpr ClassTable TableOf(Kind kind) {
  return kind == Kind::kColour    ? ClassTable{{kClear, kRunP, kRunP}, {0, 1, 1}}
         : kind == Kind::kColourZ ? ClassTable{{kClear, kRunZP, kRunZP}, {0, 2, 2}}
                                  : ClassTable{{kClear, kRunZP, kRunZPA}, {0, 2, 3}};
}

inline void CopyBlock(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, kCopyBlock); }

// What a run of each class writes: its token code, its data bytes per pixel and where those
// are laid out in the row scratch.
struct RunKind {
  const uint8_t* source;
  uint32_t bytes;
  uint32_t code;
};

// Writes the run of `n` pixels from `x` at `to`: its token, its data (block copies from the
// scratch) and a pad when the data are odd. Answers the end, which is even past an even `to`;
// writes up to kCopyBlock bytes past it. Only in rows wider than kSprite2CountMask (`kWide`)
// can `n` be too large for its count, which is then cut (and the frame refused).
template <bool kWide>
inline uint8_t* PutRun(uint8_t* to, const RunKind& kind, size_t x, size_t n) {
  Put16(to, uint16_t(kind.code | (kWide ? n & kSprite2CountMask : n)));
  const size_t length = n * size_t(kind.bytes);
  const uint8_t* from = kind.source + x * kind.bytes;
  to += 2;
  CopyBlock(to, from);
  for (size_t i = kCopyBlock; i < length; i += kCopyBlock) CopyBlock(to + i, from + i);
  to[length] = kSprite2Pad;
  return to + ((length + 1) & ~size_t(1));
}

// Writes the row's runs after its kNL at `o` and answers the new end, which is even. Trailing
// transparent pixels are implied and need no token. Nothing branches on a pixel's class, so
// rows whose class changes every pixel or two cost about as much per run as rows of long runs.
// Writes up to kCopyBlock bytes past the answer. Sets `tooLong` when a count does not fit its
// 13 bits, which only rows wider than that can make (`kWide`).
template <Kind K, bool kWide>
size_t EncodeRuns(const RowScratch& row, int cols, uint8_t* out, size_t o, bool& tooLong) {
  static constexpr ClassTable kTable = TableOf(K);
  // Transparent runs copy a block of no bytes from anywhere readable.
  const RunKind kinds[3] = {
      {row.plain, kTable.bytes[0], kTable.code[0]},
      {row.plain, kTable.bytes[1], kTable.code[1]},
      {K == Kind::kColourZAlpha ? row.alpha : row.plain, kTable.bytes[2], kTable.code[2]}};
  const uint8_t* cls = row.cls;
  const uint64_t* runs = row.runs;
  const size_t end = size_t(cols);
  uint64_t marks = runs[0] & ~uint64_t(1);  // the run at 0 is the first one
  const uint64_t* word = runs;
  size_t base = 0;  // pixel of the word's bit 0
  size_t x = 0;
  size_t longest = 0;
  uint8_t* to = out + o;
  for (;;) {
    while (marks == 0) {
      marks = *++word;
      base += 64;
    }
    const size_t next = base + size_t(std::countr_zero(marks));
    marks &= marks - 1;
    if (next >= end) break;  // the end mark
    if (kWide) longest = std::max(longest, next - x);
    to = PutRun<kWide>(to, kinds[cls[x]], x, next - x);
    x = next;
  }
  if (cls[x] != kClassClear) {
    if (kWide) longest = std::max(longest, end - x);
    to = PutRun<kWide>(to, kinds[cls[x]], x, end - x);
  }
  if (longest > kSprite2CountMask) tooLong = true;
  return size_t(to - out);
}

// Writes the tokens of `n` consecutive empty lines at `out` (or only counts them when `out`
// is null): bare kNL tokens for one or two, else kSL tokens of at least 3 lines each (several
// when n is beyond a kSL count). Answers the bytes they take.
size_t PutEmptyLines(uint8_t* out, size_t n) {
  if (n < 3) {
    for (size_t o = 0; out && o < 2 * n; o += 2) Put16(out + o, uint16_t(kNL | 2));
    return 2 * n;
  }
  size_t o = 0;
  while (n > 0) {
    size_t take = n;
    if (take > kSprite2CountMask) take = n - kSprite2CountMask >= 3 ? kSprite2CountMask : n - 3;
    if (out) Put16(out + o, uint16_t(kSL | take));
    o += 2;
    n -= take;
  }
  return o;
}

// A line of a frame's stream: its first token after the kNL word, and the next line's token.
struct Sprite2Line {
  size_t at, end;
};

// The first half of the self-check: walks the line and skip tokens from the header's end, each
// kNL's count leading to the next one, up to a kEOS that must end the `size` bytes; fills
// `lines`. False, asserting "bad kNL data" for a count that lands on anything else, when the
// walk fails.
bool FrameLines(const uint8_t* frame, size_t size, std::vector<Sprite2Line>& lines) {
  lines.clear();
  size_t i = Sprite2FrameHeaderSize();
  auto word = [&](size_t at) { return uint16_t(frame[at] | (frame[at + 1] << 8)); };
  for (;;) {
    if (i + 2 > size) return false;
    const uint16_t token = word(i) & kSprite2TokenMask;
    const uint16_t count = word(i) & kSprite2CountMask;
    if (token == kEOS) return i + 2 == size;
    if (token == kSL) {
      i += 2;
      continue;
    }
    if (token != kNL) return false;
    const size_t next = i + count;
    const uint16_t t = next + 2 <= size ? word(next) & kSprite2TokenMask : 0xFFFF;
    if (count < 2 || (next & 1) || (t != kNL && t != kSL && t != kEOS)) {
      XASSERT(false, "bad kNL data");
      return false;
    }
    lines.push_back({i + 2, next});
    i = next;
  }
}

// Bytes from a token word to the next token, per word: the word and its data (count times 2
// for kRunZP, 3 plus a pad for kRunZPA, 1 plus a pad for kRunP, none for kClear). Tokens that
// cannot be inside a line (kNL, kSL, kEOS, 0xE000) answer 1, so that the walk lands on an odd
// offset and fails. The table is made by the compiler and lies in the program's read-only
// data: a build that walks a few lines touches only the pages it reads, instead of filling
// 128 KB at its first frame.
struct TokenSkipTable {
  uint16_t skip[65536];
};

constexpr TokenSkipTable MakeTokenSkips() {
  TokenSkipTable t{};
  for (uint32_t word = 0; word < 65536; ++word) {
    const uint32_t count = word & kSprite2CountMask;
    switch (word & kSprite2TokenMask) {
      case kRunZP: t.skip[word] = uint16_t(2 + 2 * count); break;
      case kRunZPA: t.skip[word] = uint16_t(2 + 3 * count + (count & 1)); break;
      case kRunP: t.skip[word] = uint16_t(2 + count + (count & 1)); break;
      case kClear: t.skip[word] = 2; break;
      default: t.skip[word] = 1; break;
    }
  }
  return t;
}

constexpr TokenSkipTable kTokenSkips = MakeTokenSkips();

const uint16_t* TokenSkips() { return kTokenSkips.skip; }

// The second half: walks the run, clear and pixel tokens of `n` lines of the bytes at `base`,
// eight walks at a time, each line that is done making room for the next, so that the walks
// of different lines overlap. Each walk must end
// exactly at its line's end ("bad kNL data" otherwise) with every token at an even offset
// ("parity error"; a token that cannot be inside a line counts as odd).
bool WalkLines(const uint8_t* base, const Sprite2Line* lines, size_t n) {
  const uint16_t* skips = TokenSkips();
  size_t odd = 0;
  auto step = [&](size_t at) {
    uint16_t word;
    std::memcpy(&word, base + at, sizeof word);  // little-endian
    at += skips[word];
    odd |= at;
    return at;
  };
  auto check = [&](size_t at, size_t end) {
    if (odd & 1) {
      XASSERT(false, "parity error");
      return false;
    }
    if (at != end) XASSERT(false, "bad kNL data");
    return at == end;
  };
  constexpr size_t kWalks = 8;
  size_t p[kWalks], e[kWalks], live = 0, next = 0;
  for (; live < kWalks && next < n; ++live, ++next) p[live] = lines[next].at, e[live] = lines[next].end;
  while (live == kWalks) {
    for (size_t j = 0; j < kWalks; ++j) {
      if (p[j] < e[j]) {
        p[j] = step(p[j]);
        continue;
      }
      if (!check(p[j], e[j])) return false;
      if (next == n) {  // no more lines: the others finish one by one
        p[j] = p[kWalks - 1], e[j] = e[kWalks - 1];
        --live;
        break;
      }
      p[j] = lines[next].at, e[j] = lines[next].end;
      ++next;
    }
  }
  for (size_t j = 0; j < live; ++j) {
    while (p[j] < e[j]) p[j] = step(p[j]);
    if (!check(p[j], e[j])) return false;
  }
  return true;
}

// Bytes per pixel that a row can take at most, its kNL and one byte aside: a kRunZPA of one
// pixel (6 bytes) is followed by another run of at least 4 bytes (kRunZP) or 2 (kClear),
// and kRunP and kRunZP runs of one pixel (4 bytes) by a kClear.
constexpr size_t RowBytesPerPixel(Kind kind) { return kind == Kind::kColourZAlpha ? 5 : 3; }

template <Kind K>
size_t EncodeRowOf(const Inputs& in, const uint8_t* c, const uint8_t* z, const uint8_t* a, int cols,
                   StreamBuffer& buffer, bool& alphaZero, const RowAhead& ahead, uint8_t* out, size_t o,
                   bool& tooLong) {
  const RowScratch row = PrepareRow<K>(in, c, z, a, cols, buffer, alphaZero, ahead);
  if (cols > kSprite2CountMask) return EncodeRuns<K, true>(row, cols, out, o, tooLong);
  return EncodeRuns<K, false>(row, cols, out, o, tooLong);
}

// Encodes the frame rect of the worlds in `in`. `width` and `height` are the worlds' size.
MHandle* EncodeFrame(const Inputs& in, int width, int height, const MacRect& reference,
                     const MacRect& rect, uint16_t paletteId) {
  bool empty = rect.left >= rect.right || rect.top >= rect.bottom;
  if (!empty && (rect.left < 0 || rect.top < 0 || rect.right > width || rect.bottom > height))
    return Refuse("frame rect lies outside the offscreen");
  int rows = empty ? 0 : rect.bottom - rect.top;
  int cols = empty ? 0 : rect.right - rect.left;
  StreamBuffer& buffer = tStreamBuffer;
  buffer.SizeRows(size_t(cols));
  // A row holds at most its kNL and its pixels' bytes, and the run loop writes a copy block
  // past its end; each empty row before it adds at most a word.
  const size_t rowBound = 3 + RowBytesPerPixel(in.kind) * size_t(cols) + kCopyBlock;
  const size_t header = size_t(Sprite2FrameHeaderSize());

  // Empty rows are not written as they come: `pending` counts those since the last row with
  // pixels, and their tokens go in front of the next such row, folded when there are three or
  // more. Each line's kNL count is its byte length, pad included.
  size_t o = 0;
  size_t pending = 0;
  bool alphaZero = false;
  bool lastLineTooLong = false;
  // The self-check walks the tokens of each line as soon as the line is final, while its bytes
  // are still in the cache, 32 lines at a time; the line structure of the whole frame is
  // walked at the end.
  thread_local std::vector<Sprite2Line> lines;
  lines.clear();
  size_t walked = 0;
  bool linesOk = true;
  for (int y = rect.top; y < rect.top + rows; ++y) {
    // Room for this row and for the next one's look-ahead.
    uint8_t* out = buffer.Reserve(o, 2 * rowBound + PutEmptyLines(nullptr, pending));
    const size_t line = o;
    Put16(out + o, kNL);
    o += 2;
    const uint8_t* c = in.colour.Row(y) + rect.left;
    const uint8_t* z = in.z.base ? in.z.Row(y) + rect.left : nullptr;
    const uint8_t* a = in.alpha.base ? in.alpha.Row(y) + rect.left : nullptr;
    const bool more = y + 1 < rect.top + rows;
    const size_t likely = std::min(rowBound, 4 * size_t(cols));  // this row's stream, about
    const RowAhead ahead = {{more ? in.colour.Row(y + 1) + rect.left : nullptr,
                             more && in.z.base ? in.z.Row(y + 1) + rect.left : nullptr,
                             more && in.alpha.base ? in.alpha.Row(y + 1) + rect.left : nullptr},
                            out + o + likely, likely};
    bool tooLong = false;
    switch (in.kind) {
      case Kind::kColour:
        o = EncodeRowOf<Kind::kColour>(in, c, z, a, cols, buffer, alphaZero, ahead, out, o, tooLong);
        break;
      case Kind::kColourZ:
        o = EncodeRowOf<Kind::kColourZ>(in, c, z, a, cols, buffer, alphaZero, ahead, out, o, tooLong);
        break;
      case Kind::kColourZAlpha:
        o = EncodeRowOf<Kind::kColourZAlpha>(in, c, z, a, cols, buffer, alphaZero, ahead, out, o, tooLong);
        break;
    }
    if (tooLong) return Refuse("a run or line does not fit a 13-bit count");
    if (o == line + 2) {  // an empty row
      o = line;
      ++pending;
      continue;
    }
    const size_t length = o - line;
    if (length > kSprite2CountMask) {
      if (y + 1 < rect.top + rows) return Refuse("a run or line does not fit a 13-bit count");
      lastLineTooLong = true;  // refused after the checks of the whole frame
      break;
    }
    Put16(out + line, uint16_t(kNL | length));
    size_t skip = 0;
    if (pending > 0) {
      skip = PutEmptyLines(nullptr, pending);
      std::memmove(out + line + skip, out + line, length);
      PutEmptyLines(out + line, pending);
      if (pending < 3)  // bare kNL lines
        for (size_t i = 0; i < pending; ++i) lines.push_back({line + 2 * i + 2, line + 2 * i + 2});
      o += skip;
      pending = 0;
    }
    lines.push_back({line + skip + 2, line + skip + length});
    if (lines.size() - walked == 32) {
      linesOk = linesOk && WalkLines(out, lines.data() + walked, 32);
      walked += 32;
    }
  }
  XASSERT(!alphaZero, "should have filtered out invisible pixels!");
  if (lastLineTooLong) return Refuse("a line does not fit a 13-bit count");
  linesOk = linesOk && WalkLines(buffer.Data(), lines.data() + walked, lines.size() - walked);
  uint8_t* out = buffer.Reserve(o, PutEmptyLines(nullptr, pending) + 2);
  if (pending >= 3 && size_t(rows) > pending) {
    // Transparent rows at the bottom: the decoder implies them from the height.
    gDebugStream << "SPR2: skip line before end-of-sprite removed\n";
  } else if (pending > 0) {
    if (pending < 3)  // bare kNL lines
      for (size_t i = 0; i < pending; ++i) lines.push_back({o + 2 * i + 2, o + 2 * i + 2});
    o += PutEmptyLines(out + o, pending);
  }
  Put16(out + o, kEOS);
  o += 2;

  const size_t total = header + o;
  // The handle's bytes are all written below, so it is not filled first: it is made empty and
  // then given its size, which leaves the new bytes unspecified.
  MHandle* handle = HAlloc(0);
  if (handle == nullptr || HSetSize(handle, uint32_t(total)) != 0) {
    if (handle) HFree(handle);
    XASSERT(false, "could not allocate memory!");
    return nullptr;
  }
  uint8_t* p = reinterpret_cast<uint8_t*>(HLock(handle));
  std::memcpy(p + header, out, o);
  Put16(p + 0, uint16_t(cols));
  Put16(p + 2, uint16_t(rows));
  Put16(p + 4, uint16_t(FlagsOf(in.kind)));
  Put16(p + 6, 0);
  Put16(p + 8, paletteId);
  Put16(p + 10, in.colour.base[0]);
  Put16(p + 12, empty ? 0 : uint16_t(rect.top - reference.top));
  Put16(p + 14, empty ? 0 : uint16_t(rect.left - reference.left));
  // The frame's line structure must lead through exactly the lines walked above.
  thread_local std::vector<Sprite2Line> frameLines;
  bool ok = linesOk && FrameLines(p, total, frameLines) && frameLines.size() == lines.size();
  for (size_t i = 0; ok && i < lines.size(); ++i)
    ok = frameLines[i].at == lines[i].at + header && frameLines[i].end == lines[i].end + header;
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
  in.kind = Kind::kColour;
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
  in.kind = Kind::kColourZ;
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
  in.alphaMask = uint8_t(0xFF << in.shift);
  in.opaqueBits = uint8_t(uint8_t(255 - in.alpha.base[0]) & in.alphaMask);
  in.kind = Kind::kColourZAlpha;
  return EncodeFrame(in, w, h, reference, frame, paletteId);
}

bool CheckSprite2Frame(const uint8_t* frame, size_t size) {
  thread_local std::vector<Sprite2Line> lines;
  return FrameLines(frame, size, lines) && WalkLines(frame, lines.data(), lines.size());
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
  // Pixels to fill (coloured, but with no depth) are rare: blocks without one are passed
  // over in one vector test. Filled pixels feed the later ones, so the fills keep their
  // order, row by row and left to right.
  constexpr int kBlock = 64;
  for (int y = 0; y < h; ++y) {
    const uint8_t* cr = c.Row(y);
    uint8_t* zr = zBase + intptr_t(y) * zRow;
    for (int x = 0; x < w; ++x) {
      if ((x & (kBlock - 1)) == 0 && x + kBlock <= w) {
        // A fixed-length test without an early exit, which the compiler turns into a few
        // vector compares.
        uint8_t any = 0;
        for (int k = 0; k < kBlock; ++k) any |= uint8_t((cr[x + k] != clear) & (zr[x + k] == 255));
        if (any == 0) {
          x += kBlock - 1;
          continue;
        }
      }
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
        ReportToStandardError("Could not find neighboring z-value in z-clean up...throwing away pixel\n");
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
  PlatformFile* out = PlatformFileOpen("debugdecode.txt", PlatformOpenMode::kCreateAlways);
  if (out == nullptr) return;
  auto word = [&](size_t at) { return unsigned(frame[at] | (frame[at + 1] << 8)); };
  PlatformFilePrintf(out, "Sprite2 Debug Decoder\n");
  if (frame == nullptr || size < size_t(Sprite2FrameHeaderSize())) {
    PlatformFilePrintf(out, "[BAD TOKEN DATA!]\n");
    PlatformFileClose(out);
    return;
  }
  unsigned flags = word(4) | (word(6) << 16);
  PlatformFilePrintf(out, "Width = %u\n", word(0));
  PlatformFilePrintf(out, "Height = %u\n", word(2));
  PlatformFilePrintf(out, "Flags = ");
  if (flags & kColorData) PlatformFilePrintf(out, "kColorData ");
  if (flags & kZData) PlatformFilePrintf(out, "kZData ");
  if (flags & kAlphaData) PlatformFilePrintf(out, "kAlphaData ");
  PlatformFilePrintf(out, "\nOrigin = (%u, %u)\n", word(14), word(12));
  PlatformFilePrintf(out, "Clear color = %u\n", word(10));
  PlatformFilePrintf(out, "Palette ID = %u\n", word(8));
  size_t i = Sprite2FrameHeaderSize();
  bool done = false;
  while (!done) {
    if (i + 2 > size || (i & 1)) {
      PlatformFilePrintf(out, "[BAD TOKEN DATA!]\n");
      break;
    }
    unsigned token = word(i) & kSprite2TokenMask, count = word(i) & kSprite2CountMask;
    i += 2;
    size_t skip = 0;
    switch (token) {
      case kNL: PlatformFilePrintf(out, "\n[kNL] "); break;
      case kSL: PlatformFilePrintf(out, "\n[kSL(%u)] ", count); break;
      case kClear: PlatformFilePrintf(out, "[kClear(%u)] ", count); break;
      case kRunP:
        PlatformFilePrintf(out, "[kRunP{%u}] ", count);
        skip = count + (count & 1);
        break;
      case kRunZP:
        PlatformFilePrintf(out, "[kRunZP{%u}] ", count);
        skip = 2 * size_t(count);
        break;
      case kRunZPA:
        PlatformFilePrintf(out, "[kRunZPA{%u}] ", count);
        skip = 3 * size_t(count) + (count & 1);
        break;
      case kEOS:
        PlatformFilePrintf(out, "[kEOS]\n\n");
        done = true;
        break;
      default:
        PlatformFilePrintf(out, "[BAD TOKEN DATA!]\n");
        done = true;
        break;
    }
    i += skip;
  }
  PlatformFileClose(out);
}
