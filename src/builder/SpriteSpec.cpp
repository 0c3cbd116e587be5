#include "SpriteSpec.h"

#include <cstdio>
#include <cstring>

#include "ObjectBuilder.h"
#include "XAssert.h"

// --- RenderSpec -------------------------------------------------------------------------

RenderSpec::RenderSpec() {
  for (int32_t z = 0; z < kZoomCount; z++) {
    fHeights[z] = fWidths[z] = fXOrigins[z] = fYOrigins[z] = fSlopWidths[z] = fBorders[z] = 0;
  }
}

void RenderSpec::CopyFrom(const RenderSpec& other) {
  fId = other.fId;
  fLanguage = other.fLanguage;
  fName.assign(other.fName);
  for (int32_t z = 0; z < kZoomCount; z++) {
    fHeights[z] = other.fHeights[z];
    fWidths[z] = other.fWidths[z];
    fXOrigins[z] = other.fXOrigins[z];
    fYOrigins[z] = other.fYOrigins[z];
    fSlopWidths[z] = other.fSlopWidths[z];
    fBorders[z] = other.fBorders[z];
  }
}

void RenderSpec::SetHeadlineDefaults() {
  static const int32_t kHeights[kZoomCount] = {96, 48, 24};
  static const int32_t kWidths[kZoomCount] = {64, 32, 16};
  for (int32_t z = 0; z < kZoomCount; z++) {
    fHeights[z] = kHeights[z];
    fWidths[z] = kWidths[z];
    fXOrigins[z] = fYOrigins[z] = fSlopWidths[z] = 0;
    fBorders[z] = 1;
  }
}

void RenderSpec::ParseSizes(AttribTable& tag) {
  int32_t slop = 0;
  int32_t uniform = 0;
  const bool hasSlop = GetIntAttr(tag, "slopwidth", slop);
  const bool hasUniform = GetIntAttr(tag, "uniform slopwidth", uniform);
  if (hasSlop && hasUniform) {
    ThrowError("slopwidth and uniform slopwidth not allowed together", TagPlace(tag));
  }
  if (hasSlop) {
    fSlopWidths[kLarge] = slop;
    fSlopWidths[kMedium] = slop / 2;
    fSlopWidths[kSmall] = slop / 4;
  } else {
    for (int32_t z = 0; z < kZoomCount; z++) fSlopWidths[z] = hasUniform ? uniform : 0;
  }

  int32_t border = 0;
  GetIntAttr(tag, "border", border);

  static const char kPrefixes[kZoomCount] = {'l', 'm', 's'};
  static const int32_t kScales[kZoomCount] = {3, 2, 1};
  for (int32_t z = 0; z < kZoomCount; z++) {
    char key[32];
    fBorders[z] = border;

    std::snprintf(key, sizeof key, "%cwidth", kPrefixes[z]);
    if (!GetIntAttr(tag, key, fWidths[z])) {
      char message[128];
      std::snprintf(message, sizeof message, "%s required in sizes attribute", key);
      ThrowError(message, TagPlace(tag));
    }
    std::snprintf(key, sizeof key, "%cheight", kPrefixes[z]);
    if (!GetIntAttr(tag, key, fHeights[z])) {
      char message[128];
      std::snprintf(message, sizeof message, "%s required in sizes attribute", key);
      ThrowError(message, TagPlace(tag));
    }
    std::snprintf(key, sizeof key, "%cxorigin", kPrefixes[z]);
    if (!GetIntAttr(tag, key, fXOrigins[z])) fXOrigins[z] = fWidths[z] / 2;
    std::snprintf(key, sizeof key, "%cyorigin", kPrefixes[z]);
    if (!GetIntAttr(tag, key, fYOrigins[z])) {
      fYOrigins[z] = fHeights[z] - (4 << kScales[z]) - fSlopWidths[z] - fBorders[z];
    }
  }
}

// --- SpriteSpec -------------------------------------------------------------------------

namespace {

bool EndsWith(const StringBuffer& text, const char* suffix) {
  const size_t length = size_t(text.length());
  const size_t suffixLength = std::strlen(suffix);
  return length >= suffixLength &&
         std::strcmp(text.c_str() + length - suffixLength, suffix) == 0;
}

// Takes a source file name from `key`; false when the tag has no such key or it is empty.
bool ReadSourceName(AttribTable& tag, const char* key, StringBuffer& out) {
  AttribEntry* entry = tag.FindEntry(key);
  if (entry == nullptr) return false;
  const char* text = EntryValue(entry);
  if (text[0] == '\0') return false;
  if (std::strlen(text) >= 255) ThrowError("file name too long", entry);
  out.assign(text);
  return true;
}

const char* const kSymmetryNames[] = {"none", "bi-lateral", "radial", "radial-flip"};

// The view count that a symmetry draws.
int32_t SymmetryViews(int32_t symmetry) {
  switch (symmetry) {
    case SpriteSpec::kSymmetryNone: return 4;
    case SpriteSpec::kSymmetryBilateral: return 2;
    default: return 1;
  }
}

// A 32-bit coordinate as a rectangle field; a sheet that big cannot be cut.
int16_t Coordinate(int64_t value) {
  if (value < INT16_MIN || value > INT16_MAX) {
    ThrowError("sprite cell lies outside the image coordinates (sizes or position too large)");
  }
  return int16_t(value);
}

}  // namespace

SpriteSpec::SpriteSpec() : fSizes(std::make_unique<RenderSpec>()) {}

SpriteSpec::~SpriteSpec() = default;

void SpriteSpec::Parse(AttribTable& tag, int32_t& counter, const RenderSpec& sizes,
                       const StringBuffer* previousSource, bool headline) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  fSizes->CopyFrom(sizes);

  // The source image.
  if (ReadSourceName(tag, "tgafile", mFileName)) {
    fIsBMP = 0;
    XASSERT(EndsWith(mFileName, ".tga") || EndsWith(mFileName, ".TGA"),
            "really a tga file next to tgafile tag in omk file?");
  } else if (ReadSourceName(tag, "bmpfile", mFileName)) {
    fIsBMP = 1;
    XASSERT(EndsWith(mFileName, ".bmp") || EndsWith(mFileName, ".BMP"),
            "really a bmp file next to bmpfile tag in omk file?");
  } else if (headline) {
    // A headline may name no image: the -headline stage cuts it from the one headline sheet
    // named on the command line.
    mFileName.clear();
    fIsBMP = 0;
  } else {
    // Without a source nothing could be rendered later: refuse the tag now.
    char message[128];
    std::snprintf(message, sizeof message, "%s tag requires a tgafile or bmpfile attribute",
                  TagName(tag));
    ThrowError(message, TagPlace(tag));
  }

  if (AttribEntry* mask = tag.FindEntry("mask")) {
    fMaskFile.assign(EntryValue(mask));
  } else {
    fMaskFile.clear();
  }

  // Rows run on within one source image and start again at 0 with another.
  if (previousSource != nullptr && previousSource->compare(mFileName) != 0) counter = 0;
  if (!GetIntAttr(tag, "position", fPosition)) fPosition = counter;

  fFrames = 1;
  GetIntAttr(tag, "frames", fFrames);
  if (fFrames <= 0) ThrowError("negative frames", TagPlace(tag));
  // No sheet holds more rows than 16-bit coordinates reach; this also keeps the sprite
  // count within range.
  if (fFrames > INT16_MAX) ThrowError("frames expected to be at most 32767", TagPlace(tag));
  counter += fFrames;

  fColumns = 4;
  if (GetIntAttr(tag, "columns", fColumns)) {
    if (fColumns != 1 && fColumns != 2 && fColumns != 4) {
      ThrowError("columns expected to be 1, 2, or 4", tag.FindEntry("columns"));
    }
  }

  fShrink = kShrinkAll;
  if (AttribEntry* shrink = tag.FindEntry("shrink")) {
    const char* text = EntryValue(shrink);
    if (std::strcmp(text, "true") == 0) {
      fShrink = kShrinkAll;
    } else if (std::strcmp(text, "top") == 0) {
      fShrink = kShrinkTop;
    } else if (std::strcmp(text, "false") == 0) {
      fShrink = 0;
    } else {
      ThrowError("unexpected shrink tag value", shrink);
    }
  }

  fReverse = 0;
  GetBoolAttr(tag, "reverse", fReverse);
  fPaletteId = -1;
  // Any negative number means no palette; others are the id of the palette resource.
  GetRangedAttr(tag, "paletteid", IntRange{INT32_MIN, kResourceIdRange.max}, fPaletteId);

  fSymmetry = kSymmetryNone;
  if (AttribEntry* symmetry = tag.FindEntry("symmetry")) {
    const char* text = EntryValue(symmetry);
    int32_t found = -1;
    for (int32_t i = 0; i < 4; i++) {
      if (std::strcmp(text, kSymmetryNames[i]) == 0) found = i;
    }
    if (found < 0) ThrowError("unexpected symmetry value", symmetry);
    fSymmetry = found;
  }

  fPairing = 0;
  GetIntAttr(tag, "pairing", fPairing);
  fRotation = 0;
  if (GetIntAttr(tag, "rotation", fRotation)) {
    AttribEntry* rotation = tag.FindEntry("rotation");
    if (fRotation < 0 || fRotation > 6) {
      ThrowError("sprite rotation expected to be >=0 and <=6", rotation);
    }
    if (fRotation % 2 != 0) ThrowError("sprite rotation expected to be an even number", rotation);
  }

  if (headline) {
    static const char* const kRefused[] = {"columns", "shrink", "reverse", "symmetry"};
    for (const char* key : kRefused) {
      if (tag.FindEntry(key) != nullptr) {
        char message[128];
        std::snprintf(message, sizeof message, "headline tag not expecting %s", key);
        ThrowError(message, TagPlace(tag));
      }
    }
    fColumns = 1;
    fShrink = kShrinkTop;
    fReverse = 0;
    fSymmetry = kSymmetryNone;
  }
}

int32_t SpriteSpec::SymmetryViewCount() const { return SymmetryViews(fSymmetry); }

const char* SpriteSpec::SymmetryName() const {
  return fSymmetry >= 0 && fSymmetry < 4 ? kSymmetryNames[fSymmetry] : "unknown";
}

int32_t SpriteSpec::ViewsPerZoom() const {
  const int32_t views = SymmetryViews(fSymmetry);
  return fColumns < views ? fColumns : views;
}

void SpriteSpec::GetSpriteRect(int32_t n, MacRect& rect, MacPoint& origin, SpriteCut& cut) const {
  if (n < 0 || n >= SpriteCount()) ThrowError("bad sprite count");
  const int32_t perFrame = SpritesPerFrame();
  const int32_t views = ViewsPerZoom();
  const int64_t row = int64_t(fPosition) + n / perFrame;
  int32_t k = n % perFrame;
  if (fReverse) k = perFrame - 1 - k;
  const int32_t z = k / views;
  if (z > 2) ThrowError("bad sprite num");

  const RenderSpec& sizes = *fSizes;
  int64_t left = 0;
  if (z >= 1) left += int64_t(sizes.fWidths[RenderSpec::kLarge]) * fColumns;
  if (z == 2) left += int64_t(sizes.fWidths[RenderSpec::kMedium]) * fColumns;
  const int32_t column = (k % views + fRotation / 2) % fColumns;
  left += int64_t(sizes.fWidths[z]) * column;
  const int64_t top = row * sizes.fHeights[RenderSpec::kLarge];
  const int64_t border = sizes.fBorders[z];

  rect.top = Coordinate(top + border);
  rect.left = Coordinate(left + border);
  rect.bottom = Coordinate(top + sizes.fHeights[z] - border);
  rect.right = Coordinate(left + sizes.fWidths[z] - border);

  origin.v = Coordinate(int64_t(sizes.fHeights[z]) - sizes.fYOrigins[z]);
  origin.h = Coordinate(-int64_t(sizes.fXOrigins[z]));

  if (MacEmptyRect(rect)) {
    ThrowError("Empty rectangle found for compression -- sizes may not be specified.");
  }

  static const char* const kZoomNames[3] = {"large", "medium", "small"};
  cut.fRow = int32_t(row);
  cut.fColumn = column;
  cut.fZoomName.assign(fReverse ? "unknown" : kZoomNames[z]);
}

void SpriteSpec::GetSpriteNumber(int32_t direction, int32_t zoom, int32_t frame, int32_t& number,
                                 bool& flip) const {
  const bool odd = (direction & 1) != 0;
  if (direction < 0 || direction > 7 || (odd && fFrames != 2)) {
    ThrowError("logic error. bad direction.");
  }
  if (fFrames == 2 && odd) frame += 1;

  int32_t view = 0;
  flip = false;
  switch (fSymmetry) {
    case kSymmetryNone:
      view = direction / 2;
      break;
    case kSymmetryBilateral:
      view = (direction == 0 || direction == 6) ? 0 : 1;
      flip = direction == 4 || direction == 6;
      break;
    case kSymmetryRadial:
      view = 0;
      break;
    case kSymmetryRadialFlip:
      view = 0;
      flip = (direction == 2 || direction == 6) && fPairing == 0;
      break;
  }
  number = view + frame * SpritesPerFrame() + (3 - zoom) * ViewsPerZoom();
}

void SpriteSpec::SetCompressionBounds(const std::vector<MacRect>& computed,
                                      const std::vector<MacRect>& bounds) {
  if (computed.size() != bounds.size()) ThrowError("logic error. bad rect count.");
  if (computed.size() % 3 != 0) ThrowError("unusual rect count");
  if (computed.size() != size_t(SpriteCount())) ThrowError("rect count not what it should be.");
  fCompressionBounds.clear();
  for (size_t i = 0; i < computed.size(); i++) {
    MacRect cell;
    MacPoint origin;
    SpriteCut cut;
    GetSpriteRect(int32_t(i), cell, origin, cut);
    if (!MacEqualRect(cell, computed[i])) ThrowError("incorrect rect computation");
    fCompressionBounds.push_back(bounds[i]);
  }
}

MacPoint SpriteSpec::GetDrawOffset(MacPoint& out, int32_t direction, int32_t zoom,
                                   int32_t frame) const {
  int32_t number = 0;
  bool flip = false;
  GetSpriteNumber(direction, zoom, frame, number, flip);
  if (number < 0 || size_t(number) >= fCompressionBounds.size()) {
    ThrowError("logic error. offsets not initialized");
  }
  const MacRect& bound = fCompressionBounds[size_t(number)];
  MacRect cell;
  MacPoint origin;
  SpriteCut cut;
  GetSpriteRect(number, cell, origin, cut);
  int32_t h = origin.h + (bound.left - cell.left);
  if (flip) h = -(bound.right - bound.left) - h - 1;
  const int32_t v = origin.v + (bound.bottom - cell.bottom);
  out.h = int16_t(h);
  out.v = int16_t(v);
  return out;
}

void SpriteSpec::GetSpriteRects(std::vector<MacRect>& cells, std::vector<SpriteCut>& cuts) const {
  const int32_t views = ViewsPerZoom();
  XASSERT(views == 1 || views == 2 || views == 4, "bad number of sprites per zoom");
  const int32_t count = SpriteCount();
  for (int32_t n = 0; n < count; n++) {
    MacRect cell;
    MacPoint origin;
    SpriteCut cut;
    GetSpriteRect(n, cell, origin, cut);
    cells.push_back(cell);
    cuts.push_back(cut);
  }
}
