#include "SpriteArtCheck.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "MacRect.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "RenderSprites.h"
#include "SpecSet.h"
#include "SpriteSpec.h"
#include "TGAParser.h"

namespace {

// Cells of one sprite list at most: the count field of the sprite lists is 16-bit signed.
constexpr size_t kMostCells = 32767;

// What the first 54 bytes of a file say when it is a BMP. Read without the readers'
// assertions, which stop the dialog program's builds with their own words.
struct BMPHeader {
  bool isBMP = false;  // begins with "BM"
  bool whole = false;  // both headers are there
  int32_t bits = 0;
  int32_t width = 0;
  int32_t height = 0;  // positive for top-down files too
  uint32_t colours = 0;
};

uint32_t LE(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; i--) value = (value << 8) | p[i];
  return value;
}

BMPHeader ReadBMPHeader(const std::string& path) {
  BMPHeader header;
  PlatformFile* file = PlatformFileOpen(path.c_str(), PlatformOpenMode::kReadExisting);
  if (file == nullptr) return header;
  uint8_t bytes[54] = {};
  const int64_t got = PlatformFileRead(file, bytes, sizeof bytes);
  PlatformFileClose(file);
  header.isBMP = got >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
  header.whole = header.isBMP && got == int64_t(sizeof bytes);
  if (!header.whole) return header;
  header.width = int32_t(LE(bytes + 18, 4));
  const int32_t height = int32_t(LE(bytes + 22, 4));
  header.height = height < 0 ? -height : height;
  header.bits = int32_t(LE(bytes + 28, 2));
  header.colours = LE(bytes + 46, 4);
  return header;
}

[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void Fail(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  ThrowError(message);
}

// A sheet's size and kind, from its headers.
struct Sheet {
  int32_t width = 0;
  int32_t height = 0;
  bool deep = false;  // a 32-bit TGA: the sprite has depth
};

// What is wrong with a file that should be an 8-bit BMP, or null.
const char* NotEightBit(const BMPHeader& header, char (&words)[64]) {
  if (!header.isBMP) return "is not a BMP";
  if (!header.whole) return "is a BMP cut short";
  if (header.bits == 8) return nullptr;
  std::snprintf(words, sizeof words, "is a %d-bit BMP", int(header.bits));
  return words;
}

Sheet CheckSheet(const std::string& source, bool isBMP) {
  const std::string palette = ReplaceTail(source, 3, "bmp");
  if (!FileReadable(palette)) {
    Fail("BMP file %s required.  Could not obtain palette.", palette.c_str());
  }
  const BMPHeader colours = ReadBMPHeader(palette);
  Sheet sheet;
  char words[64];
  if (const char* fault = NotEightBit(colours, words)) {
    if (isBMP) {
      Fail("bmpfile %s %s: a sprite's bmpfile must be an 8-bit BMP", palette.c_str(), fault);
    } else if (colours.isBMP) {
      // Any other BMP holds no colour table of 256 entries: its header bytes would become
      // the palette.
      Fail("palette BMP %s %s: a palette file must be an 8-bit BMP or a raw file of 256 red, "
           "green, blue triples",
           palette.c_str(), fault);
    }
  }
  if (colours.whole && colours.bits == 8 && colours.colours > 256) {
    Fail("palette BMP %s has %u colours: at most 256 are taken", palette.c_str(),
         unsigned(colours.colours));
  }
  if (isBMP) {
    sheet.width = colours.width;
    sheet.height = colours.height;
  } else {
    TGAParser tga;
    FixedStringBuffer<260> path(source.c_str());
    const int32_t code = tga.Open(path);
    if (code != 0) ReportTGAError("could not open tga file", source.c_str(), code);
    sheet.width = tga.GetWidth();
    sheet.height = tga.GetHeight();
    sheet.deep = tga.IsOpaque() == 0;
    if (colours.isBMP && (colours.width != sheet.width || colours.height != sheet.height)) {
      ReportBMPSizeMismatch(palette.c_str(), colours.width, colours.height, source.c_str(),
                            sheet.width, sheet.height);
    }
  }

  const std::string alpha = ReplaceTail(source, 4, "alpha.tga");
  if (FileReadable(alpha)) {
    if (!sheet.deep) {
      Fail("only supports alpha sprites with z at this time: the alpha image %s needs a "
           "32-bit TGA sheet, and %s is %s",
           alpha.c_str(), source.c_str(), isBMP ? "a BMP" : "a 24-bit TGA");
    }
    TGAParser tga;
    FixedStringBuffer<260> path(alpha.c_str());
    const int32_t code = tga.Open(path);
    if (code != 0) ReportTGAError("could not open tga file", alpha.c_str(), code);
    if (tga.GetWidth() != sheet.width || tga.GetHeight() != sheet.height) {
      Fail("alpha image %s is %d x %d pixels, its sheet %s %d x %d; they must be the same size",
           alpha.c_str(), int(tga.GetWidth()), int(tga.GetHeight()), source.c_str(),
           int(sheet.width), int(sheet.height));
    }
  }
  return sheet;
}

void CheckMask(const SpriteSpec& sprite, const std::string& maskPath, const std::string& source,
               const Sheet& sheet) {
  const BMPHeader mask = ReadBMPHeader(maskPath);
  char words[64];
  if (const char* fault = NotEightBit(mask, words)) {
    Fail("no mask to apply: the mask %s of sprite %d (line %d) %s", maskPath.c_str(),
         int(sprite.fId), int(sprite.fLine),
         FileReadable(maskPath) ? fault : "cannot be read");
  }
  const int64_t firstRow =
      int64_t(sprite.GetSizes().fHeights[RenderSpec::kLarge]) * sprite.fPosition;
  if (firstRow < 0 || firstRow + mask.height > sheet.height || mask.width > sheet.width) {
    Fail("mask too large or sprite file too small: the mask %s of sprite %d (line %d) is %d x "
         "%d pixels from row %lld of %s, which is %d x %d",
         maskPath.c_str(), int(sprite.fId), int(sprite.fLine), int(mask.width),
         int(mask.height), static_cast<long long>(firstRow), source.c_str(), int(sheet.width),
         int(sheet.height));
  }
}

// The cells of the sprite, which its keys and the sizes in force decide: every one must be a
// rectangle the sheet holds.
void CheckCells(SpriteSpec& sprite, const std::string& source, const Sheet& sheet) {
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  try {
    sprite.GetSpriteRects(cells, cuts);
  } catch (const Terminate& error) {
    ThrowErrorAtSpec(error.c_str(), sprite);
  }
  char message[1024];
  if (cells.size() > kMostCells) {
    std::snprintf(message, sizeof message,
                  "sprite %d has %zu cells (views x 3 zooms x frames): a sprite holds at most %zu",
                  int(sprite.fId), cells.size(), kMostCells);
    ThrowErrorAtSpec(message, sprite);
  }
  int32_t right = 0;
  int32_t bottom = 0;
  for (const MacRect& cell : cells) {
    if (cell.right > right) right = cell.right;
    if (cell.bottom > bottom) bottom = cell.bottom;
  }
  if (right > sheet.width || bottom > sheet.height) {
    std::snprintf(message, sizeof message,
                  "tga file too small for some sprite position...did you export all frames? "
                  "sprite %d needs %d x %d pixels of %s, which is %d x %d",
                  int(sprite.fId), int(right), int(bottom), source.c_str(), int(sheet.width),
                  int(sheet.height));
    ThrowErrorAtSpec(message, sprite);
  }
}

}  // namespace

void CheckSpriteArt(SpecSet& specs, const StringBuffer& graphicsDir, ObjectBuilder* builder) {
  if (graphicsDir.length() == 0) return;
  std::map<std::string, Sheet> sheets;
  for (PtrListIterator<SpriteSpec> it(specs.fSprites); it.Current() != nullptr; it.Next()) {
    SpriteSpec* sprite = it.Current();
    if (sprite->mFileName.length() == 0) continue;  // a headline left to -headline
    if (builder != nullptr && !ShouldRenderSprite(builder, sprite)) continue;
    const std::string source = std::string(graphicsDir.c_str()) + sprite->mFileName.c_str();
    const std::string key = source + (sprite->fIsBMP ? "\n1" : "\n0");
    auto found = sheets.find(key);
    if (found == sheets.end()) {
      found = sheets.emplace(key, CheckSheet(source, sprite->fIsBMP != 0)).first;
    }
    if (sprite->fMaskFile.length() > 0) {
      CheckMask(*sprite, std::string(graphicsDir.c_str()) + sprite->fMaskFile.c_str(), source,
                found->second);
    }
    CheckCells(*sprite, source, found->second);
  }
}
