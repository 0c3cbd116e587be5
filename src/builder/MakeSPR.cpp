#include "MakeSPR.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ByteOrder.h"
#include "ImageFileReader.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "offscrn.h"
#include "palwrap.h"
#include "TGAParser.h"
#include "XAssert.h"
#include "bmpparser.h"

namespace {

const uint32_t kColourListVersion = 502;
const uint32_t kDepthListVersion = 503;
const uint8_t kDepthClear = 255;
const uint8_t kMinRepeat = 8;

// Settings flags (the compressor's flags byte).
const uint8_t kClearOn = 0x01;
const uint8_t kRepeatOn = 0x10;
const uint8_t kSuppressOn = 0x20;

const char kTooSmall[] = "tga file too small for some sprite position...did you export all frames?";

// Reads a little-endian u16/u32 at `p`; the headers are read field by field.
uint16_t ReadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct FileCloser {
  void operator()(PlatformFile* f) const { PlatformFileClose(f); }
};
using FilePtr = std::unique_ptr<PlatformFile, FileCloser>;

void MakeCompressor() {
  if (gCompressor == nullptr) gCompressor = new Compressor;
}

MacRect WorldBounds(Offscreen* world) {
  MacRect bounds;
  world->GetPortRect(bounds);
  return bounds;
}

bool Inside(const MacRect& r, const MacRect& bounds) {
  return r.top >= bounds.top && r.left >= bounds.left && r.bottom <= bounds.bottom &&
         r.right <= bounds.right && r.top <= r.bottom && r.left <= r.right;
}

uint8_t TopLeftPixel(Offscreen* world) { return world->GetBaseAddr()[0]; }

// The bytes of `file` from its place to its end (or to a failing read).
std::string ReadRest(PlatformFile* file) {
  std::string text;
  char block[8192];
  for (int64_t got; (got = PlatformFileRead(file, block, sizeof block)) > 0;) {
    text.append(block, static_cast<size_t>(got));
  }
  return text;
}

// Copies the next line of `text` from `at` on into `line`, as fgets would from a stream: up to
// and with its line feed, at most `size` - 1 bytes, ended by a 0. False at the end of `text`.
bool NextLine(const std::string& text, size_t& at, char* line, size_t size) {
  if (at >= text.size()) return false;
  size_t n = 0;
  while (at < text.size() && n + 1 < size) {
    const char c = text[at++];
    line[n++] = c;
    if (c == '\n') break;
  }
  line[n] = '\0';
  return true;
}

}  // namespace

void ReportError(const char* message) { ThrowError(message); }

void ReportFileLineError(const char* message, const char* file, int32_t line) {
  FixedStringBuffer<1024> text;
  snprintf(text.buffer(), static_cast<size_t>(text.capacity()), "%s in file %s on line %d",
           message, file, line);
  ThrowError(text.c_str());
}

void ReportFileCodeError(const char* message, const char* file, int32_t code) {
  FixedStringBuffer<1024> text;
  snprintf(text.buffer(), static_cast<size_t>(text.capacity()), "%s : %s : error #%d", message,
           file, code);
  ThrowError(text.c_str());
}

void ReportTGAError(const char* message, const char* file, int32_t code) {
  FixedStringBuffer<1024> text;
  snprintf(text.buffer(), static_cast<size_t>(text.capacity()), "%s : %s : error #%d (%s)",
           message, file, code, TGAResultText(code));
  ThrowError(text.c_str());
}

void ReportBMPSizeMismatch(const char* bmpPath, int32_t bmpWidth, int32_t bmpHeight,
                           const char* tgaPath, int32_t tgaWidth, int32_t tgaHeight) {
  const bool width = bmpWidth != tgaWidth;
  FixedStringBuffer<1024> text;
  snprintf(text.buffer(), static_cast<size_t>(text.capacity()),
           "%s: %s is %d x %d pixels, its TGA %s %d x %d; they must be the same size",
           width ? "bad bmp width" : "bad bmp height", bmpPath, int(bmpWidth), int(bmpHeight),
           tgaPath, int(tgaWidth), int(tgaHeight));
  ThrowError(text.c_str());
}

void CheckImageRendered(Offscreen* colour) {
  if (!colour->Exists()) ThrowError("cant make walls without tga");
}

uint16_t GetBMPColorCount(PlatformFile* stream, int32_t& count) {
  count = 0;
  const int64_t start = PlatformFileTell(stream);
  uint8_t fileHeader[14];
  if (PlatformFileRead(stream, fileHeader, sizeof fileHeader) != sizeof fileHeader ||
      fileHeader[0] != 'B' || fileHeader[1] != 'M') {
    PlatformFileSeek(stream, start);
    return 0;
  }
  uint8_t info[40];
  if (PlatformFileRead(stream, info, sizeof info) != sizeof info) {
    PlatformFileSeek(stream, start);
    return 0;
  }
  const uint16_t planes = ReadLE16(info + 12);
  const uint16_t bitsPerPixel = ReadLE16(info + 14);
  const uint32_t colorsUsed = ReadLE32(info + 32);
  if (bitsPerPixel == 8) {
    int64_t n = colorsUsed;
    if (n == 0) {
      const int32_t shift = planes * bitsPerPixel;
      n = shift < 31 ? (int64_t{1} << shift) : INT32_MAX;
    }
    XASSERT(n <= 256, "palette too big");
    count = static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n);
    return 1;
  }
  XASSERT(0, "too many bits per pixel retrieving palette");
  PlatformFileSeek(stream, start);
  return 0;
}

namespace {

// Every pixel of the world (and the padding of its rows) becomes 0.
void ClearWorld(Offscreen* world) {
  int32_t width = 0;
  int32_t height = 0;
  world->GetSize(width, height);
  if (width <= 0 || height <= 0) return;
  const int32_t step = world->GetRowBytes();  // negative: the top row has the highest address
  uint8_t* lowest = world->GetBaseAddr() + static_cast<int64_t>(height - 1) * step;
  memset(lowest, 0, static_cast<size_t>(height) * static_cast<size_t>(step < 0 ? -step : step));
}

}  // namespace

namespace {

// RenderImageFile on `palette`, whose colours the caller has loaded from the BMP, open in
// `bmpFile` when it could be opened: the BMP is read through that one open file.
void RenderImageFileFrom(PalWrap* palette, const StringBuffer* bmpPath, ImageFileReader& bmpFile,
                         const StringBuffer* tgaPath, Offscreen* colour, Offscreen* second,
                         uint16_t colourFromTgaOff);

// Opens the BMP of `bmpPath` (when there is one) into `file`, loads `palette` from it and renders.
void RenderLoadingPalette(PalWrap* palette, const StringBuffer* bmpPath, const StringBuffer* tgaPath,
                          Offscreen* colour, Offscreen* second, uint16_t colourFromTgaOff) {
  ImageFileReader bmpFile;
  if (bmpPath != nullptr) {
    bmpFile.Open(bmpPath->c_str());
    palette->LoadFromFile(bmpFile, 0);
  }
  RenderImageFileFrom(palette, bmpPath, bmpFile, tgaPath, colour, second, colourFromTgaOff);
}

}  // namespace

void RenderImageFile(const StringBuffer* bmpPath, const StringBuffer* tgaPath, Offscreen* colour,
                     Offscreen* second, uint16_t colourFromTgaOff) {
  RenderLoadingPalette(GetGlobalPalette(), bmpPath, tgaPath, colour, second, colourFromTgaOff);
}

void RenderImageFileWithPalette(PalWrap* palette, const StringBuffer* bmpPath,
                                const StringBuffer* tgaPath, Offscreen* colour, Offscreen* second,
                                uint16_t colourFromTgaOff) {
  RenderLoadingPalette(palette, bmpPath, tgaPath, colour, second, colourFromTgaOff);
}

namespace {

void RenderImageFileFrom(PalWrap* palette, const StringBuffer* bmpPath, ImageFileReader& bmpFile,
                         const StringBuffer* tgaPath, Offscreen* colour, Offscreen* second,
                         uint16_t colourFromTgaOff) {
  // 1. Whether the BMP, whose colours `palette` holds, also gives the pixels.
  uint16_t bmpPixels = 0;
  // The reader reads at offsets of its own: the file's place is still its start.
  if (bmpPath != nullptr && bmpFile.IsOpen()) {
    int32_t count = 0;
    bmpPixels = GetBMPColorCount(bmpFile.File(), count);
  }

  // 2. The TGA: colour world at its size, second world for its alpha channel.
  MacRect bounds = {0, 0, 0, 0};
  uint16_t width = 0;
  uint16_t height = 0;
  if (tgaPath != nullptr) {
    TGAParser tga;
    const int32_t code = tga.Open(*tgaPath);
    if (code != 0) ReportTGAError("could not open tga file", tgaPath->c_str(), code);
    tga.GetSize(width, height);
    bounds.bottom = static_cast<int16_t>(height);
    bounds.right = static_cast<int16_t>(width);
    const bool hasAlpha = !tga.IsOpaque();
    // The worlds of the last image are reused when they have this one's size: a read that
    // succeeds writes every pixel of the worlds it is given, and any other is cleared.
    colour->CreateForOverwrite(bounds, palette);
    if (hasAlpha) {
      second->CreateForOverwrite(bounds, palette);
    } else if (second->Exists()) {
      second->Dispose();
    }
    if (!colour->Exists()) ThrowError("could not make offscreen");
    if (hasAlpha && !second->Exists()) ThrowError("could not make z offscreen");
    const bool tgaColours = bmpPixels == 0 && colourFromTgaOff == 0;
    if (!tgaColours && bmpPixels == 0) ClearWorld(colour);
    const int32_t rendered = tga.Render(tgaColours ? colour : nullptr, hasAlpha ? second : nullptr);
    if (rendered != 0) ReportTGAError("could not read tga file", tgaPath->c_str(), rendered);
  }

  // 3. The BMP's pixels.
  if (bmpPixels == 0) {
    // Without a TGA nothing was loaded: no world of an earlier image stays for this one.
    if (tgaPath == nullptr && colour->Exists()) colour->Dispose();
    return;
  }
  BMPParser bmp;
  if (bmp.Open(bmpFile) != 0) {
    XASSERT(false, "couldn't open BMP file");
    ThrowError("couldn't open BMP file");
  }
  int16_t bmpWidth = 0;
  int16_t bmpHeight = 0;
  bmp.GetSize(bmpWidth, bmpHeight);
  if (tgaPath == nullptr) {
    if (bmpWidth <= 0 || bmpHeight <= 0) ThrowError("could not make offscreen");
    bounds = {0, 0, bmpHeight, bmpWidth};
    colour->CreateForOverwrite(bounds, palette);
    if (!colour->Exists()) ThrowError("could not make offscreen");
    width = static_cast<uint16_t>(bmpWidth);
    height = static_cast<uint16_t>(bmpHeight);
  } else {
    // A BMP of another size than the TGA would give the sprite the wrong pixels.
    if (bmpWidth != static_cast<int16_t>(width)) {
      XASSERT(bmpWidth == static_cast<int16_t>(width), "bad bmp width");
    } else if (bmpHeight != static_cast<int16_t>(height)) {
      XASSERT(bmpHeight == static_cast<int16_t>(height), "bad bmp height");
    }
    if (bmpWidth != static_cast<int16_t>(width) || bmpHeight != static_cast<int16_t>(height)) {
      ReportBMPSizeMismatch(bmpPath->c_str(), bmpWidth, bmpHeight, tgaPath->c_str(), width,
                            height);
    }
  }
  // The pixels go straight into the colour world. Run-length rows need not cover every
  // pixel: what they leave is clear (0), as in a new world. A damaged BMP would give the
  // sprite the pixels that happened to be read, so it ends the build.
  if (bmp.GetInfo().biCompression != 0) ClearWorld(colour);
  const int32_t read = bmp.ReadPixels(colour);
  if (read != 0) ReportFileCodeError("could not read bmp file", bmpPath->c_str(), read);
}

}  // namespace

CompressorSettings MakeColourSettings(Offscreen* colour, uint8_t clearValue) {
  PalWrap* palette = GetGlobalPalette();
  CompressorSettings s = {};
  s.flags = kClearOn | kRepeatOn | kSuppressOn;
  s.clearColor = colour != nullptr && colour->Exists()
                     ? clearValue
                     : static_cast<uint8_t>(palette->FindNearestColor(0, 0, 255));
  s.minRepeat = kMinRepeat;
  s.suppressLow = static_cast<uint8_t>(palette->FirstUsableIndex());
  s.suppressHigh = static_cast<uint8_t>(palette->LastUsableIndex());
  return s;
}

CompressorSettings MakeDepthSettings() {
  CompressorSettings s = {};
  s.flags = kClearOn | kRepeatOn;
  s.clearColor = kDepthClear;
  s.minRepeat = kMinRepeat;
  return s;
}

MHandle* MakeSpriteList(Offscreen* colour, Offscreen* second, const std::vector<MacRect>& rects,
                        std::vector<MacRect>& trimmed, uint8_t sides, uint32_t paletteId,
                        uint16_t emptyToZero) {
  MakeCompressor();
  if (!trimmed.empty()) ThrowError("list already contains stuff");
  const MacRect bounds = WorldBounds(colour);
  for (const MacRect& r : rects) {
    if (!Inside(r, bounds)) ThrowError(kTooSmall);
  }
  if (rects.empty() || rects.size() > 32767) ThrowError("could not make sprite list");
  const uint8_t clearValue = TopLeftPixel(colour);
  trimmed = rects;
  gCompressor->SetSettings(MakeColourSettings(colour, clearValue));
  gCompressor->TrimFrames(colour, trimmed.data(), static_cast<int16_t>(trimmed.size()), sides,
                          emptyToZero);
  return CompressFramesToSpriteList(trimmed.data(), static_cast<uint16_t>(trimmed.size()), colour,
                                    second, clearValue, paletteId);
}

MHandle* CompressFramesToSpriteList(const MacRect* rects, uint16_t count, Offscreen* colour,
                                    Offscreen* second, uint8_t clearValue, uint32_t paletteId) {
  MakeCompressor();
  gCompressor->SetSettings(MakeColourSettings(colour, clearValue));
  MHandle* list = nullptr;
  if (gCompressor->CompressSpriteList(colour, rects, list, static_cast<int16_t>(count),
                                      colour->GetPalette(), paletteId, kColourListVersion) != 0) {
    ThrowError("could not make sprite list");
  }
  if (second != nullptr && second->Exists()) {
    gCompressor->SetSettings(MakeDepthSettings());
    MHandle* depth = nullptr;
    if (gCompressor->CompressSpriteList(second, rects, depth, static_cast<int16_t>(count),
                                        nullptr, 0xFFFFFFFFu, kDepthListVersion) != 0) {
      HFree(list);
      ThrowError("could not make sprite list");
    }
    const int32_t merged = Compressor::MergeSpriteLists(depth, list);
    HFree(depth);
    if (merged != 0) {
      HFree(list);
      ThrowError("could not make sprite list");
    }
  }
  const int32_t size = HGetSize(list);
  SwapSpriteListToBigEndian(reinterpret_cast<uint8_t*>(HLock(list)), size);
  HUnlock(list);
  return list;
}

namespace {

CompressorSettings Sprite2TrimSettings(Offscreen* depth) {
  CompressorSettings s = {};
  s.flags = kClearOn;
  s.clearColor = TopLeftPixel(depth);
  return s;
}

}  // namespace

void CheckSprite2Frames(Offscreen* depth, const std::vector<MacRect>& rects) {
  const MacRect bounds = WorldBounds(depth);
  for (const MacRect& r : rects) {
    if (!Inside(r, bounds)) ThrowError(kTooSmall);
  }
  if (rects.size() > 32767) ThrowError("could not make sprite list");
}

void TrimSprite2Frames(Offscreen* depth, const std::vector<MacRect>& rects,
                       std::vector<MacRect>& trimmed, uint8_t sides, uint32_t emptyToZero) {
  MakeCompressor();
  CheckSprite2Frames(depth, rects);
  trimmed = rects;
  gCompressor->SetSettings(Sprite2TrimSettings(depth));
  gCompressor->TrimFrames(depth, trimmed.data(), static_cast<int16_t>(trimmed.size()), sides,
                          emptyToZero);
}

MacRect TrimSprite2Frame(Offscreen* depth, const MacRect& rect, uint8_t sides,
                         uint32_t emptyToZero) {
  thread_local Compressor trimmer;
  MacRect trimmed = rect;
  trimmer.SetSettings(Sprite2TrimSettings(depth));
  trimmer.TrimFrames(depth, &trimmed, 1, sides, emptyToZero);
  return trimmed;
}

void SwapSpriteListToBigEndian(uint8_t* list, int32_t size) {
  if (list == nullptr || size < 8) return;
  uint32_t version = 0;
  uint32_t count = 0;
  memcpy(&version, list, 4);
  memcpy(&count, list + 4, 4);
  const bool withPalette = version >= kColourListVersion;
  const int64_t offsetsAt = withPalette ? 12 : 8;
  SwapBytes32(list);
  if (withPalette && size >= 12) SwapBytes32(list + 8);
  for (uint32_t i = 0; i < count; i++) {
    const int64_t slot = offsetsAt + 4 * static_cast<int64_t>(i);
    if (slot + 4 > size) break;
    uint32_t offset = 0;
    memcpy(&offset, list + slot, 4);
    if (static_cast<int64_t>(offset) + 8 <= size) {
      for (int w = 0; w < 4; w++) SwapBytes16(list + offset + 2 * w);
    }
    SwapBytes32(list + slot);
  }
  SwapBytes32(list + 4);
}

void ReadRectFile(const char* path, PtrList<RectRecord>& records) {
  FilePtr f(PlatformFileOpen(path, PlatformOpenMode::kReadExisting));
  if (!f) ReportFileCodeError("could not open rect file", path, -1);
  const std::string text = ReadRest(f.get());
  f.reset();
  char line[256];
  size_t at = 0;
  int32_t lineNumber = 0;
  RectRecord* current = nullptr;
  while (NextLine(text, at, line, sizeof line)) {
    lineNumber++;
    const char* colon = strchr(line, ':');
    if (colon != nullptr && colon > line) {
      if (current != nullptr && current->fRects.empty()) {
        ReportFileLineError("empty sprite list", path, lineNumber);
      }
      long id = 0;
      if (sscanf(line, "%ld", &id) != 1) {
        ReportFileLineError("could not read SPR# id number", path, lineNumber);
      }
      if (id < 0 || id >= 32767) ReportFileLineError("number out of range", path, lineNumber);
      current = new RectRecord;
      current->fSpriteId = static_cast<uint16_t>(id);
      records.Append(current);
      continue;
    }
    long v[5];
    const int n = sscanf(line, "%ld %ld %ld %ld %ld", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n <= 0) continue;
    if (current == nullptr) ReportFileLineError("expected id number", path, lineNumber);
    if (n != 4) ReportFileLineError("bad rectangle", path, lineNumber);
    for (int i = 0; i < 4; i++) {
      if (v[i] < 0 || v[i] >= 32767) ReportFileLineError("number out of range", path, lineNumber);
    }
    MacRect r;
    r.left = static_cast<int16_t>(v[0]);
    r.top = static_cast<int16_t>(v[1]);
    r.right = static_cast<int16_t>(v[2]);
    r.bottom = static_cast<int16_t>(v[3]);
    current->fRects.push_back(r);
  }
}

void WriteSpriteListFile(const char* bmpPath, const char* tgaPath, const std::vector<MacRect>& rects,
                         const char* outPath) {
  FixedStringBuffer<260> bmp(bmpPath);
  FixedStringBuffer<260> tga(tgaPath);
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&bmp, &tga, &colour, &second, 0);
  CheckImageRendered(&colour);
  std::vector<MacRect> trimmed;
  MHandle* list = MakeSpriteList(&colour, &second, rects, trimmed, 15, 0xFFFFFFFFu, 1);
  FilePtr out(PlatformFileOpen(outPath, PlatformOpenMode::kCreateAlways));
  if (out) PlatformFileWrite(out.get(), HLock(list), HGetSize(list));
  HUnlock(list);
  HFree(list);
  if (!out) ReportFileCodeError("could not open sprite list file", outPath, -1);
}

void DumpPalette(Offscreen* world, FILE* out) {
  PalWrap* palette = world->GetPalette();
  if (palette == nullptr || palette->GetColors() == nullptr) return;
  const auto* colours = palette->GetColors();
  for (int i = 0; i < 256; i++) {
    fprintf(out, "%d,%d,%d\n", colours[i].red, colours[i].green, colours[i].blue);
  }
}

void DumpWorld(Offscreen* world, FILE* out) {
  if (!world->Exists()) return;
  int32_t width = 0;
  int32_t height = 0;
  world->GetSize(width, height);
  const uint8_t* base = world->GetBaseAddr();
  const int32_t step = world->GetRowBytes();
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* row = base + static_cast<int64_t>(y) * step;
    for (int32_t x = 0; x < width; x++) {
      int c = row[x];
      if (c < 32) c += 32;
      if (c > 127) c /= 2;
      fputc(c, out);
    }
    fputc('\n', out);
  }
}
