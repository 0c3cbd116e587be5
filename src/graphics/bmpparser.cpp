#include "bmpparser.h"

#include <algorithm>
#include <cstring>

#include "StringBuffer.h"
#include "XAssert.h"
#include "offscrn.h"

namespace {

uint32_t GetLE32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint16_t GetLE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

// Refuses with an assertion that says why.
int32_t Refuse(bool failed, const char* why) {
  XASSERT(!failed, why);
  return kBMPErr;
}

}  // namespace

BMPParser::BMPParser() = default;

BMPParser::~BMPParser() { Close(); }

void BMPParser::Close() {
  mFile.Close();
  mColorCount = 0;
  mRowStep = 0;
  mPixelOffset = 0;
  mInfo = BMPInfoHeader();
  std::fill(mColors, mColors + 256, PlatformColorEntry());
}

int32_t BMPParser::Open(const StringBuffer& path) {
  Close();
  if (!mFile.Open(path.c_str())) return Refuse(true, "couldn't open bmp file");
  return ReadHeaders();
}

int32_t BMPParser::Open(ImageFileReader& file) {
  Close();
  if (!file.IsOpen()) return Refuse(true, "couldn't open bmp file");
  mFile.Swap(file);
  return ReadHeaders();
}

int32_t BMPParser::ReadHeaders() {
  uint8_t fileHeader[14];
  if (!mFile.ReadAt(0, fileHeader, sizeof fileHeader)) {
    Close();
    return Refuse(true, "couldn't read BMP header");
  }
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
    Close();
    return Refuse(true, "Not a BMP file");
  }
  uint8_t h[40];
  if (!mFile.ReadAt(14, h, sizeof h)) {
    Close();
    return Refuse(true, "Couldn't read bitmap header");
  }
  mInfo.biSize = GetLE32(h);
  mInfo.biWidth = (int32_t)GetLE32(h + 4);
  mInfo.biHeight = (int32_t)GetLE32(h + 8);
  mInfo.biPlanes = GetLE16(h + 12);
  mInfo.biBitCount = GetLE16(h + 14);
  mInfo.biCompression = GetLE32(h + 16);
  mInfo.biSizeImage = GetLE32(h + 20);
  mInfo.biXPelsPerMeter = (int32_t)GetLE32(h + 24);
  mInfo.biYPelsPerMeter = (int32_t)GetLE32(h + 28);
  mInfo.biClrUsed = GetLE32(h + 32);
  mInfo.biClrImportant = GetLE32(h + 36);
  const BMPInfoHeader& info = mInfo;

  // Larger headers (V4, V5) begin with the same 40 bytes; the colour table follows them.
  if (info.biSize < 40) {
    Close();
    return Refuse(true, "huh?");
  }
  XASSERT(info.biPlanes == 1, "too many color planes");
  XASSERT(info.biBitCount == 8, "not an 8-bit file");
  XASSERT(info.biCompression == 0L || info.biCompression == 1L, "not rgb or rgb-rle");
  const int64_t height = info.biHeight < 0 ? -(int64_t)info.biHeight : info.biHeight;
  if (info.biWidth < 1 || info.biWidth > kPlatformBitmapMaxSide || height < 1 ||
      height > kPlatformBitmapMaxSide) {
    Close();
    return Refuse(true, "bmp width or height out of range");
  }
  if (info.biHeight < 0 && info.biCompression == 1) {
    Close();
    return Refuse(true, "top-down RLE bmp");
  }

  const uint32_t shift = (uint32_t)info.biPlanes * info.biBitCount;
  const uint64_t count = info.biClrUsed ? info.biClrUsed : (shift < 32 ? (1ull << shift) : UINT64_MAX);
  if (count > 256) {
    Close();
    return Refuse(true, "too many colors");
  }
  mColorCount = (int32_t)count;
  uint8_t quads[256 * 4];
  const uint64_t tableOffset = 14 + (uint64_t)info.biSize;
  if (!mFile.ReadAt(tableOffset, quads, (size_t)count * 4)) {
    Close();
    return Refuse(true, "couldn't read palette");
  }
  for (int32_t i = 0; i < mColorCount; ++i) {
    mColors[i].red = quads[i * 4 + 2];
    mColors[i].green = quads[i * 4 + 1];
    mColors[i].blue = quads[i * 4];
    mColors[i].flags = 0;
  }

  // The pixels must begin inside the file, and uncompressed 8-bit rows must all be there
  // (the padding of the last row may be missing).
  mPixelOffset = GetLE32(fileHeader + 10);
  const uint64_t rowStep = ((uint64_t)info.biWidth + 3) & ~3ull;
  const uint64_t needed = info.biCompression == 0 && info.biBitCount == 8
                              ? rowStep * (uint64_t)(height - 1) + (uint64_t)info.biWidth
                              : 1;
  if (mPixelOffset >= mFile.Size() || needed > mFile.Size() - mPixelOffset) {
    Close();
    return Refuse(true, "premature eof reading BMP");
  }
  mRowStep = (int32_t)rowStep;
  return kBMPNoErr;
}

void BMPParser::GetSize(int16_t& width, int16_t& height) const {
  width = (int16_t)mInfo.biWidth;
  height = (int16_t)(mInfo.biHeight < 0 ? -mInfo.biHeight : mInfo.biHeight);
}

int32_t BMPParser::ReadPixels(Offscreen* world) {
  if (!mFile.IsOpen()) return Refuse(true, "no bmp file open");
  int16_t width, height;
  GetSize(width, height);
  int32_t worldWidth = 0, worldHeight = 0;
  if (world) world->GetSize(worldWidth, worldHeight);
  if (!world || !world->Exists() || worldWidth != width || worldHeight != height) {
    return Refuse(true, "bmp size does not match the offscreen");
  }
  if (mInfo.biBitCount != 8) return Refuse(true, "not an 8-bit file");
  world->Lock();
  uint8_t* base = world->GetBaseAddr();
  const int32_t rowBytes = world->GetRowBytes();
  int32_t result = kBMPErr;
  if (mInfo.biCompression == 0) {
    result = ReadRaw(base, rowBytes);
  } else if (mInfo.biCompression == 1) {
    result = ReadRLE8(base, rowBytes);
  } else {
    XASSERT(false, "unknown compression scheme");
  }
  world->Unlock();
  return result;
}

int32_t BMPParser::ReadRaw(uint8_t* base, int32_t rowBytes) {
  int16_t width, height;
  GetSize(width, height);
  const bool topDown = mInfo.biHeight < 0;
  if (!topDown && rowBytes == -mRowStep) {
    // Stored bottom row first with the world's own row length: the pixel block is the
    // world's memory as it stands, read in one piece (the last row's padding may be missing
    // from the file). The padding bytes are then cleared, as in a new world.
    uint8_t* bottom = base + (int64_t)(height - 1) * rowBytes;
    const size_t bytes = (size_t)mRowStep * (size_t)(height - 1) + (size_t)width;
    if (!mFile.ReadAt(mPixelOffset, bottom, bytes)) return Refuse(true, "fread failed");
    if (mRowStep > width) {
      for (int32_t i = 0; i < height; ++i)
        std::memset(bottom + (size_t)i * mRowStep + width, 0, (size_t)(mRowStep - width));
    }
    return kBMPNoErr;
  }
  mFile.StartSequential(mPixelOffset);
  uint8_t pad[4];
  for (int32_t i = 0; i < height; ++i) {
    // Stored rows run bottom-up unless the height is negative.
    const int32_t y = topDown ? i : height - 1 - i;
    if (!mFile.ReadNext(base + (int64_t)y * rowBytes, (size_t)width)) {
      return Refuse(true, "fread failed");
    }
    if (i + 1 < height && !mFile.ReadNext(pad, (size_t)(mRowStep - width))) {
      return Refuse(true, "fread failed");
    }
  }
  return kBMPNoErr;
}

int32_t BMPParser::ReadRLE8(uint8_t* base, int32_t rowBytes) {
  int16_t width, height;
  GetSize(width, height);
  // Position: column x of stored row y, counted from the bottom of the picture. Many writers
  // encode each row over its padded length (a multiple of 4), so runs and literals may go on
  // past the width into the padding: what falls there is dropped. The position never passes
  // the padded length, and nothing is written above the top row.
  const int32_t padded = mRowStep;
  int32_t x = 0, y = 0;
  auto row = [&](int32_t storedRow) { return base + (int64_t)(height - 1 - storedRow) * rowBytes; };
  // Pixels of a run or literal of `count` at the position that land inside the picture;
  // -1 when the run would leave its padded row or the picture.
  auto visible = [&](int32_t count) -> int32_t {
    if (y >= height || count > padded - x) return -1;
    return std::max(0, std::min(count, width - x));
  };
  mFile.StartSequential(mPixelOffset);
  uint8_t pair[2];
  uint8_t literal[256];
  for (;;) {
    if (!mFile.ReadNext(pair, 2)) {
      // A file that ends after its last row without an end-of-bitmap marker is complete.
      if (y >= height) return kBMPNoErr;
      return Refuse(true, "read failed reading RLE BMP");
    }
    const int32_t count = pair[0];
    if (count > 0) {
      const int32_t fits = visible(count);
      if (fits < 0) return Refuse(true, "RLE run leaves its row");
      if (fits > 0) std::memset(row(y) + x, pair[1], (size_t)fits);
      x += count;
      continue;
    }
    switch (pair[1]) {
      case 0:  // end of line (rows past the top stay refused, however many)
        x = 0;
        if (y < height) ++y;
        break;
      case 1:  // end of bitmap
        return kBMPNoErr;
      case 2: {  // delta
        uint8_t d[2];
        if (!mFile.ReadNext(d, 2)) return Refuse(true, "read failed reading RLE BMP");
        x += d[0];
        y += d[1];
        if (x > padded || y > height) return Refuse(true, "RLE delta leaves the bitmap");
        break;
      }
      default: {  // literal run of n bytes, padded to an even length
        const int32_t n = pair[1];
        if (!mFile.ReadNext(literal, (size_t)(n + (n & 1)))) {
          return Refuse(true, "read failed reading RLE BMP");
        }
        const int32_t fits = visible(n);
        if (fits < 0) return Refuse(true, "RLE literal leaves its row");
        if (fits > 0) std::memcpy(row(y) + x, literal, (size_t)fits);
        x += n;
        break;
      }
    }
  }
}
