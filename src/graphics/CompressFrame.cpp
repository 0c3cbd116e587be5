// The SPR# frame encoder: Compressor::CompressFrame, the token chooser and the token writers,
// the settings check and colour suppression.
#include <cstring>
#include <memory>

#include "Compressor.h"
#include "DebugStream.h"
#include "MHandle.h"
#include "MacRect.h"
#include "offscrn.h"
#include "OffscreenPortScope.h"
#include "palwrap.h"
#include "SpriteList.h"
#include "XAssert.h"

bool Compressor::SettingsInconsistent() const {
  const CompressorSettings& s = fSettings;
  const bool clear = s.flags & kCompressClearColor;
  const bool shade1 = s.flags & kCompressShading1;
  const bool shade2 = s.flags & kCompressShading2;
  const bool patterns = s.flags & kCompressPatterns;
  const bool suppress = s.flags & kCompressSuppress;
  auto inside = [](uint8_t c, uint8_t low, uint8_t high) { return low <= c && c <= high; };
  const uint8_t pattern[3] = {s.patternColor1, s.patternColor2, s.patternColor3};
  const struct {
    bool on;
    uint8_t low, high;
  } range[2] = {{shade1, s.shading1Low, s.shading1High}, {shade2, s.shading2Low, s.shading2High}};

  if (clear && patterns)
    for (uint8_t p : pattern)
      if (s.clearColor == p) return true;
  for (const auto& r : range) {
    if (!r.on) continue;
    if (clear && inside(s.clearColor, r.low, r.high)) return true;
    if (patterns)
      for (uint8_t p : pattern)
        if (inside(p, r.low, r.high)) return true;
    if (r.low > r.high) return true;
  }
  if (shade1 && shade2 && s.shading1Low <= s.shading2High && s.shading2Low <= s.shading1High) return true;
  if (suppress && s.suppressLow > s.suppressHigh) return true;
  return false;
}

uint8_t Compressor::SuppressColor(uint8_t colour) {
  const CompressorSettings& s = fSettings;
  if (!(s.flags & kCompressSuppress)) return colour;
  SuppressionEntry& entry = fSuppressionCache[colour];
  if (entry.done) return entry.colour;
  uint8_t answer = colour;
  if (s.suppressLow <= colour && colour <= s.suppressHigh) {
    answer = colour;
  } else if (s.suppressLow != s.suppressHigh) {
    const PlatformColorEntry* table = fPalette ? fPalette->GetColors() : nullptr;
    XASSERT(table != nullptr, "attempting color supression with no palette");
    if (table != nullptr)
      answer = fPalette->FindNearestColor(table[colour].red, table[colour].green, table[colour].blue);
  } else {
    // A one-colour range: everything but the clear colour becomes that colour (not cached).
    return colour == s.clearColor ? colour : s.suppressLow;
  }
  entry.done = 1;
  entry.colour = answer;
  return answer;
}

namespace {

enum class Token : uint8_t {
  kLine,
  kClearLines,
  kEnd,
  kClear,
  kRepeat,
  kDraw,
  kShading,
  kShading2,
  kRepeatShading,
  kRepeatShading2,
  kPattern,
};

// The state of one frame while it is encoded. The output buffer is sized for the worst case
// (4 bytes per pixel and a 6-byte head per row), and every token checks its room as well.
class FrameEncoder {
 public:
  FrameEncoder(Compressor& compressor, const uint8_t* base, intptr_t rowBytes, const MacRect& bounds,
               const MacRect& rect)
      : c_(compressor), s_(compressor.fSettings), base_(base), rowBytes_(rowBytes), bounds_(bounds),
        rect_(rect) {
    const size_t rows = size_t(rect.bottom - rect.top), cols = size_t(rect.right - rect.left);
    cap_ = kSprFrameHeaderSize + rows * (6 + 4 * cols) + 16;
    buf_.reset(new uint8_t[cap_]);
  }

  // Runs the whole frame. Returns 0 or 1103.
  int32_t Encode() {
    std::memset(buf_.get(), 0, kSprFrameHeaderSize);
    Put16(4, uint16_t(rect_.bottom - rect_.top));
    Put16(6, uint16_t(rect_.right - rect_.left));
    w_ = kSprFrameHeaderSize;
    y_ = rect_.top - 1;
    WriteLine();
    for (;;) {
      if (error_) return error_;
      Token t = DetermineNextToken();
      switch (t) {
        case Token::kLine: WriteLine(); break;
        case Token::kClearLines: WriteClearLines(); break;
        case Token::kEnd: WriteEnd(); break;
        case Token::kClear: WriteClear(); break;
        case Token::kRepeat: WriteRepeat(); break;
        case Token::kDraw: WriteRun(Token::kDraw, kSprDrawToken, 0, 0); break;
        case Token::kShading: WriteRun(Token::kShading, kSprShadingToken, s_.shading1Low, kSprFlagShading); break;
        case Token::kShading2: WriteRun(Token::kShading2, kSprShadingToken2, s_.shading2Low, kSprFlagShading); break;
        case Token::kRepeatShading: WriteRepeatShading(kSprRepeatShadingToken, s_.shading1Low); break;
        case Token::kRepeatShading2: WriteRepeatShading(kSprRepeatShadingToken2, s_.shading2Low); break;
        case Token::kPattern: WritePattern(); break;
      }
      if (error_) return error_;
      Pad();
      if (t == Token::kEnd) break;
    }
    XASSERT(w_ <= cap_, "Trying to write off edge of buffer");
    buf_[9] = flags_;
    return 0;
  }

  const uint8_t* data() const { return buf_.get(); }
  size_t size() const { return w_; }

 private:
  const uint8_t* Row(int y) const { return base_ + intptr_t(y - bounds_.top) * rowBytes_ - bounds_.left; }
  uint8_t Pixel() const { return row_[x_]; }

  // Length of the run of equal suppressed colours from x to the right edge, scanning no
  // further than `limit` pixels.
  int Run(int x, const uint8_t* row, int limit) {
    const uint8_t first = c_.SuppressColor(row[x]);
    int n = 1;
    while (n < limit && x + n < rect_.right && c_.SuppressColor(row[x + n]) == first) ++n;
    return n;
  }
  int FullRun() { return Run(x_, row_, rect_.right - x_); }
  bool RunReachesRight(int x, const uint8_t* row) { return x + Run(x, row, rect_.right - x) == rect_.right; }

  Token DetermineNextToken() {
    XASSERT(y_ <= rect_.bottom, "Somehow compressor state->read past bottom line of state->bounds");
    if (y_ >= rect_.bottom) return Token::kEnd;
    if (x_ == rect_.right) return Token::kLine;
    const uint8_t p = Pixel();
    if ((s_.flags & kCompressClearColor) && p == s_.clearColor) {
      if (RunReachesRight(x_, row_)) return x_ != rect_.left ? Token::kLine : Token::kClearLines;
      return Token::kClear;
    }
    const bool repeats = s_.flags & kCompressRepeats;
    auto longRun = [&] { return repeats && Run(x_, row_, s_.minRepeat) >= s_.minRepeat; };
    if ((s_.flags & kCompressShading1) && s_.shading1Low <= p && p <= s_.shading1High)
      return longRun() ? Token::kRepeatShading : Token::kShading;
    if ((s_.flags & kCompressShading2) && s_.shading2Low <= p && p <= s_.shading2High)
      return longRun() ? Token::kRepeatShading2 : Token::kShading2;
    if ((s_.flags & kCompressPatterns) &&
        (p == s_.patternColor3 || p == s_.patternColor2 || p == s_.patternColor1))
      return Token::kPattern;
    return longRun() ? Token::kRepeat : Token::kDraw;
  }

  void Put16(size_t at, uint16_t v) {
    buf_[at] = uint8_t(v);
    buf_[at + 1] = uint8_t(v >> 8);
  }
  bool Room(size_t bytes) {
    if (w_ + bytes <= cap_) return true;
    XASSERT(false, "Trying to write off edge of buffer");
    error_ = kFrameUnencodableErr;
    return false;
  }
  void Pad() {
    if (w_ & 1) buf_[w_++] = 0;
  }
  bool Fits(int count, int max) {
    if (count <= max) return true;
    error_ = kFrameUnencodableErr;
    return false;
  }
  void Token2(uint8_t code, uint8_t count) {
    buf_[w_++] = code;
    buf_[w_++] = count;
  }

  // Closes the open line (writing its head) and opens the next one.
  void WriteLine() {
    if (lineOpen_) {
      size_t length = w_ - lineBegin_;
      if (length <= 255) {
        buf_[lineBegin_] = kSprLineToken;
        buf_[lineBegin_ + 1] = uint8_t(length);
      } else if (length + 4 <= 0xFFFF) {
        if (!Room(4)) return;
        std::memmove(&buf_[lineBegin_ + 6], &buf_[lineBegin_ + 2], length - 2);
        buf_[lineBegin_] = kSprLineToken;
        buf_[lineBegin_ + 1] = 2;
        buf_[lineBegin_ + 2] = kSprEndToken;
        buf_[lineBegin_ + 3] = 0xFF;
        buf_[lineBegin_ + 4] = uint8_t((length + 4) >> 8);
        buf_[lineBegin_ + 5] = uint8_t(length + 4);
        w_ += 4;
      } else {
        error_ = kFrameUnencodableErr;  // a line of 64 KiB or more has no head
        return;
      }
    }
    OpenLine();
    x_ = rect_.left;
    ++y_;
    row_ = y_ < rect_.bottom ? Row(y_) : nullptr;
  }

  void OpenLine() {
    if (!Room(2)) return;
    lineBegin_ = w_;
    w_ += 2;
    lineOpen_ = true;
  }

  void WriteClearLines() {
    XASSERT(x_ == rect_.left, "shouldn't be here if counter is not at beginning of line");
    XASSERT(w_ - lineBegin_ == 2, "bad pointer alignment");
    int n = 0;
    while (n < 255 && y_ + n < rect_.bottom) {
      const uint8_t* row = Row(y_ + n);
      if (row[rect_.left] != s_.clearColor || !RunReachesRight(rect_.left, row)) break;
      ++n;
    }
    XASSERT(n > 0, "no clear lines found");
    if (n == 0) n = 1;
    buf_[lineBegin_] = kSprClearLinesToken;
    buf_[lineBegin_ + 1] = uint8_t(n);
    OpenLine();
    y_ += n;
    x_ = rect_.left;
    row_ = y_ < rect_.bottom ? Row(y_) : nullptr;
  }

  void WriteEnd() {
    XASSERT(w_ - lineBegin_ == 2, "bad pointer alignment");
    buf_[lineBegin_] = kSprEndToken;
    buf_[lineBegin_ + 1] = 0;
  }

  void WriteClear() {
    int n = FullRun();
    if (!Fits(n, 255) || !Room(2)) return;
    Token2(kSprClearToken, uint8_t(n));
    x_ += n;
  }

  void WriteRepeat() {
    int n = FullRun();
    if (!Fits(n, 255) || !Room(4)) return;
    const uint8_t colour = c_.SuppressColor(Pixel());
    Token2(kSprRepeatToken, uint8_t(n));
    Token2(colour, colour);
    x_ += n;
    flags_ |= kSprFlagRepeat;
  }

  // Draw and shading runs: one byte per pixel while the chooser keeps choosing `kind`.
  void WriteRun(Token kind, uint8_t code, uint8_t low, uint8_t flag) {
    if (!Room(3 + size_t(rect_.right - x_))) return;
    const size_t countAt = w_ + 1;
    Token2(code, 0);
    int count = 0;
    flags_ |= flag;
    while (DetermineNextToken() == kind) {
      if (!Fits(count + 1, 254)) return;
      const uint8_t p = Pixel();
      buf_[w_++] = kind == Token::kDraw ? c_.SuppressColor(p) : uint8_t(p - low);
      ++count;
      ++x_;
    }
    buf_[countAt] = uint8_t(count);
  }

  void WriteRepeatShading(uint8_t code, uint8_t low) {
    int n = FullRun();
    if (!Fits(n, 255) || !Room(4)) return;
    const uint8_t level = uint8_t(Pixel() - low);
    Token2(code, uint8_t(n));
    Token2(level, level);
    x_ += n;
    flags_ |= kSprFlagShading;
  }

  void WritePattern() {
    int n = FullRun();
    if (!Fits(n, 255) || !Room(4)) return;
    const uint8_t p = Pixel();
    uint8_t code;
    if (p == s_.patternColor3) {
      code = kSprPatternToken3;
      flags_ |= kSprFlagPattern3;
    } else if (p == s_.patternColor2) {
      code = kSprPatternToken2;
      flags_ |= kSprFlagPattern2;
    } else {
      code = kSprPatternToken1;
      flags_ |= kSprFlagPattern1;
    }
    Token2(code, uint8_t(n));
    Token2(uint8_t(y_ - rect_.top), uint8_t(x_ - rect_.left));
    x_ += n;
    flags_ |= kSprFlagPattern;
  }

  Compressor& c_;
  const CompressorSettings s_;
  const uint8_t* base_;
  intptr_t rowBytes_;
  MacRect bounds_;
  MacRect rect_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t cap_ = 0;
  size_t w_ = 0;
  size_t lineBegin_ = 0;
  bool lineOpen_ = false;
  int x_ = 0;
  int y_ = 0;
  const uint8_t* row_ = nullptr;
  uint8_t flags_ = 0;
  int32_t error_ = 0;
};

}  // namespace

namespace {

// Holds the suppression palette for one frame; an assertion that throws (the dialog program's
// worker thread) does not leave it behind.
struct PaletteScope {
  Compressor& c;
  PaletteScope(Compressor& compressor, PalWrap* palette) : c(compressor) { c.fPalette = palette; }
  ~PaletteScope() { c.fPalette = nullptr; }
};

}  // namespace

int32_t Compressor::CompressFrame(Offscreen* world, const MacRect& frame, MHandle*& outFrame, PalWrap* palette) {
  outFrame = nullptr;
  PaletteScope paletteScope(*this, palette);
  if (SettingsInconsistent()) return kCompressorSettingsErr;
  ClearSuppressionCache();

  MacRect bounds{0, 0, 0, 0};
  if (world != nullptr) world->GetPortRect(bounds);
  MacRect rect{0, 0, 0, 0};
  MacSectRect(frame, bounds, rect);
  XASSERT(MacEqualRect(rect, frame), "this is suspicious");

  OffscreenPortScope port(world);
  FrameEncoder encoder(*this, MacEmptyRect(rect) ? nullptr : world->GetBaseAddr(), world ? world->GetRowBytes() : 0,
                       bounds, rect);
  int32_t status = encoder.Encode();
  if (status != 0) {
    gDebugStream << "SPR# frame refused: a run, draw count or line does not fit its field\n";
    return status;
  }

  MHandle* handle = HAlloc(uint32_t(encoder.size()));
  if (handle == nullptr) return MemError() ? MemError() : kMemFullErr;
  std::memcpy(HLock(handle), encoder.data(), encoder.size());
  HUnlock(handle);
  outFrame = handle;
  return 0;
}
