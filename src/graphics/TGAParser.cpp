#include "TGAParser.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "StringBuffer.h"
#include "XAssert.h"
#include "flatfile.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

constexpr int32_t kFileShort = -48;  // FlatFile: fewer bytes than asked
// Larger than the longest row (32767 pixels of 4 bytes), which is read in one piece.
constexpr size_t kBlockSize = 256 * 1024;

// Sequential reads of a FlatFile through a block buffer, so that pixel data arrive in big
// blocks however small the packets are, each block still in the cache when it is converted.
// The file is read rather than mapped: mapping a sheet costs a page fault per few pages and,
// when the view goes, a flush of every other thread's view of memory, which is most of a
// sheet's load when several are loaded side by side. The buffer is the thread's own, made once
// and never zero-filled (the file's bytes go straight into it), so that no sheet allocates or
// frees it.
class BlockReader {
 public:
  BlockReader(FlatFile* file, uint32_t start, uint32_t end)
      : fFile(file), fFilePos(start), fEnd(end), fBuffer(ThreadBuffer()) {}

  // Points `out` at the next `count` bytes (at most kBlockSize). Answers 0, kFileShort when
  // the file ends before them, or the file's error.
  int32_t Next(size_t count, const uint8_t*& out) {
    if (fSize - fNext < count) {
      int32_t err = Fill(count);
      if (err) return err;
    }
    out = fBuffer + fNext;
    fNext += count;
    return 0;
  }

 private:
  static uint8_t* ThreadBuffer() {
    thread_local std::unique_ptr<uint8_t[]> buffer;
    if (!buffer) buffer.reset(new uint8_t[kBlockSize]);
    return buffer.get();
  }

  int32_t Fill(size_t count) {
    const size_t kept = fSize - fNext;  // the unused tail moves to the front
    const size_t left = fEnd > fFilePos ? fEnd - fFilePos : 0;
    const size_t n = std::min(kBlockSize - kept, left);
    if (count > kBlockSize || kept + n < count) return kFileShort;
    if (kept > 0) std::memmove(fBuffer, fBuffer + fNext, kept);
    fNext = 0;
    fSize = kept;
    int32_t got = (int32_t)n;
    int32_t err = fFile->Read(fBuffer + kept, got);
    if (err) return err;
    fSize = kept + n;
    fFilePos += (uint32_t)n;
    return 0;
  }

  FlatFile* fFile;
  uint32_t fFilePos;
  uint32_t fEnd;
  uint8_t* fBuffer;  // kBlockSize bytes
  size_t fSize = 0;  // bytes of the buffer that hold file data
  size_t fNext = 0;  // first of them not yet answered
};

// Turns stored pixels (B, G, R[, A]) into a row of indices and a row of alpha bytes, and
// puts finished rows into the worlds the right way round.
class RowSink {
 public:
  RowSink(int32_t width, int32_t height, int32_t bytesPerPixel, bool flipH, bool flipV,
          Offscreen* color, Offscreen* alpha, PalWrap* pal)
      : fWidth(width), fHeight(height), fBpp(bytesPerPixel), fFlipH(flipH), fFlipV(flipV),
        fPal(pal), fIndices((size_t)width), fAlpha((size_t)width) {
    if (color) {
      fColorBase = color->GetBaseAddr();
      fColorStep = color->GetRowBytes();
      fLastIndex = Match(0, 0, 0);
    }
    if (alpha && bytesPerPixel == 4) {
      fAlphaBase = alpha->GetBaseAddr();
      fAlphaStep = alpha->GetRowBytes();
    }
  }

  bool Done() const { return fRow >= fHeight; }
  // Room left in the current row.
  int32_t Room() const { return fWidth - fColumn; }

  // Stores `count` pixels read one after the other from `p` (count <= Room()).
  void Pixels(const uint8_t* p, int32_t count) {
    uint8_t* indices = &fIndices[(size_t)fColumn];
    if (fColorBase && fPal) {
      fPal->FindColors(p, fBpp, count, indices);
    } else if (fColorBase) {
      for (int32_t i = 0; i < count; ++i) indices[i] = p[(size_t)i * fBpp + 2];
    }
    if (fAlphaBase) {
      uint8_t* alpha = &fAlpha[(size_t)fColumn];
      for (int32_t i = 0; i < count; ++i) alpha[i] = p[(size_t)i * 4 + 3];
    }
    Advance(count);
  }
  // Stores `count` copies of the pixel at `p` (count <= Room()).
  void Run(const uint8_t* p, int32_t count) {
    Store(p, fColumn, count);
    Advance(count);
  }

 private:
  uint8_t Match(uint8_t r, uint8_t g, uint8_t b) {
    return fPal ? fPal->FindColor(r, g, b) : r;
  }

  void Store(const uint8_t* p, int32_t column, int32_t count) {
    if (fColorBase) {
      const uint32_t rgb = ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
      if (rgb != fLastRGB) {
        fLastRGB = rgb;
        fLastIndex = Match(p[2], p[1], p[0]);
      }
      std::memset(&fIndices[(size_t)column], fLastIndex, (size_t)count);
    }
    if (fAlphaBase) std::memset(&fAlpha[(size_t)column], p[3], (size_t)count);
  }

  void Advance(int32_t count) {
    fColumn += count;
    if (fColumn < fWidth) return;
    const int32_t y = fFlipV ? fHeight - 1 - fRow : fRow;
    if (fColorBase) Put(fColorBase + (int64_t)y * fColorStep, fIndices);
    if (fAlphaBase) Put(fAlphaBase + (int64_t)y * fAlphaStep, fAlpha);
    fColumn = 0;
    ++fRow;
  }

  void Put(uint8_t* dest, const std::vector<uint8_t>& row) {
    if (fFlipH) {
      std::reverse_copy(row.begin(), row.end(), dest);
    } else {
      std::memcpy(dest, row.data(), row.size());
    }
  }

  const int32_t fWidth, fHeight, fBpp;
  const bool fFlipH, fFlipV;
  PalWrap* fPal;
  uint8_t* fColorBase = nullptr;
  int32_t fColorStep = 0;
  uint8_t* fAlphaBase = nullptr;
  int32_t fAlphaStep = 0;
  std::vector<uint8_t> fIndices;
  std::vector<uint8_t> fAlpha;
  int32_t fRow = 0;     // stored rows finished
  int32_t fColumn = 0;  // pixels of the current stored row
  uint32_t fLastRGB = 0;
  uint8_t fLastIndex = 0;
};

// The fewest bytes that can hold a picture of width x height pixels of `bytesPerPixel` bytes
// after the header: every stored pixel uncompressed, else one packet of at most 128 pixels,
// a header byte and one pixel, for every 128 pixels.
uint64_t LeastPixelBytes(bool rle, uint16_t width, uint16_t height, uint32_t bytesPerPixel) {
  const uint64_t pixels = (uint64_t)width * height;
  return rle ? (pixels + 127) / 128 * (1 + bytesPerPixel) : pixels * bytesPerPixel;
}

bool SizeMatches(Offscreen* world, int32_t width, int32_t height) {
  int32_t w = 0, h = 0;
  if (world->Exists()) world->GetSize(w, h);
  return world->Exists() && w == width && h == height && world->GetBaseAddr() != nullptr;
}

}  // namespace

TGAParser::TGAParser() : fFile(new FlatFile) {}

TGAParser::~TGAParser() {
  Close();
  delete fFile;
}

void TGAParser::Close() {
  if (fFile->ValidFile()) fFile->Close();
  fHasImage = false;
}

void TGAParser::GetSize(uint16_t& width, uint16_t& height) const {
  width = GetWidth();
  height = GetHeight();
}

const char* TGAResultText(int32_t code) {
  switch (code) {
    case 0: return "";
    case kFlatFailed: return "no such file, or it cannot be read";
    case kFileShort:
      return "the file is shorter than its header says: cut short, or not a TGA";
    case kTGABadDepth:
      return "a 16-bit or 8-bit TGA: only 24- and 32-bit true-colour TGAs are taken";
    case kTGABadType:
      return "not a true-colour TGA (colour-mapped, grey or of another image type): only "
             "uncompressed or run-length true-colour TGAs are taken";
    case kTGABadAlphaBits: return "a 32-bit TGA whose descriptor does not give 8 alpha bits";
    case kTGAHasColorMap: return "a TGA with a colour map: only true-colour TGAs are taken";
    case kTGABadSize: return "a width or height of 0 or above 32767";
    case kTGAWorldMismatch: return "the image is not the size of the world it is read into";
    case kTGARunPastEnd: return "a run-length packet goes past the last pixel";
    default: return "the file could not be read";
  }
}

int32_t TGAParser::Open(const StringBuffer& path) {
  Close();
  int32_t err = fFile->Open(path);
  if (err) return err;
  err = ReadHeader();
  if (err) fFile->Close();
  return err;
}

int32_t TGAParser::ReadHeader() {
  uint8_t h[18];
  uint32_t fileSize = 0;
  int32_t err = fFile->SetPos(0);
  if (err) return err;
  int32_t count = (int32_t)sizeof h;
  err = fFile->Read(h, count);
  if (err) return err;
  err = fFile->GetEOF(fileSize);
  if (err) return err;
  const uint8_t idLength = h[0], colorMapType = h[1], imageType = h[2];
  const uint16_t width = (uint16_t)(h[12] | (h[13] << 8));
  const uint16_t height = (uint16_t)(h[14] | (h[15] << 8));
  const uint8_t depth = h[16], descriptor = h[17];
  if (imageType != 2 && imageType != 10) return kTGABadType;
  if (depth != 24 && depth != 32) return kTGABadDepth;
  if (depth == 32 && (descriptor & 15) != 8) return kTGABadAlphaBits;
  if (colorMapType != 0) return kTGAHasColorMap;
  if (width == 0 || height == 0 || width > 32767 || height > 32767) return kTGABadSize;
  // A file too short for the picture it declares is refused before anyone makes a world of
  // that size for it.
  if (fileSize < 18u + idLength + LeastPixelBytes(imageType == 10, width, height, depth / 8u)) {
    return kFileShort;
  }
  fRLE = imageType == 10;
  f24Bit = depth == 24;
  fPixelOffset = 18u + idLength;
  fWidth = width;
  fHeight = height;
  fFlipHorizontal = (descriptor & 0x10) != 0;
  fFlipVertical = (descriptor & 0x20) == 0;
  fHasImage = true;
  return 0;
}

int32_t TGAParser::Render(Offscreen* color, Offscreen* alpha) {
  XASSERT(fHasImage, "no image file");
  if (!fHasImage) return -49;  // FlatFile: no file open
  int32_t err = fFile->SetPos(fPixelOffset);
  if (err) return err;
  uint32_t fileSize = 0;
  err = fFile->GetEOF(fileSize);
  if (err) return err;
  const int32_t bpp = f24Bit ? 3 : 4;
  // The file may have been cut since Open: what is left is measured again before decoding.
  if (fileSize < fPixelOffset || fileSize - fPixelOffset < LeastPixelBytes(fRLE, fWidth, fHeight, bpp)) {
    return kFileShort;
  }
  if ((color && !SizeMatches(color, fWidth, fHeight)) ||
      (alpha && !f24Bit && !SizeMatches(alpha, fWidth, fHeight))) {
    XASSERT(false, "tga size does not match the offscreen");
    return kTGAWorldMismatch;
  }
  PalWrap* pal = nullptr;
  if (color) {
    color->Lock();
    pal = color->GetPalette();
    XASSERT(pal, "no palette");
  }
  if (alpha && !f24Bit) alpha->Lock();

  BlockReader in(fFile, fPixelOffset, fileSize);
  RowSink out(fWidth, fHeight, bpp, fFlipHorizontal, fFlipVertical, color, f24Bit ? nullptr : alpha,
              pal);
  int32_t result = 0;
  const uint8_t* p = nullptr;
  if (!fRLE) {
    for (int32_t y = 0; y < fHeight && result == 0; ++y) {
      result = in.Next((size_t)fWidth * bpp, p);
      if (result == 0) out.Pixels(p, fWidth);
    }
  } else {
    while (!out.Done() && result == 0) {
      result = in.Next(1, p);
      if (result) break;
      const int32_t header = *p;
      int32_t count = (header & 127) + 1;
      const bool run = header >= 128;
      result = in.Next(run ? (size_t)bpp : (size_t)count * bpp, p);
      if (result) break;
      // A packet may go on from the end of one row into the next, but not past the last.
      while (count > 0 && !out.Done()) {
        const int32_t n = std::min(count, out.Room());
        if (run) {
          out.Run(p, n);
        } else {
          out.Pixels(p, n);
          p += (size_t)n * bpp;
        }
        count -= n;
      }
      if (count > 0) {
        XASSERT(false, "tga run past edge of bitmap");
        result = kTGARunPastEnd;
      }
    }
  }
  if (color) color->Unlock();
  if (alpha && !f24Bit) alpha->Unlock();
  return result;
}
