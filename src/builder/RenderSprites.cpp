#include "RenderSprites.h"

#include <algorithm>
#include <array>
#include <map>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DGRPSpec.h"
#include "FramePool.h"
#include "ImageLoadAhead.h"
#include "SpriteThreadPlan.h"
#include "MHandle.h"
#include "MacRect.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "offscrn.h"
#include "palwrap.h"
#include "PlatformFile.h"
#include "ReportCapture.h"
#include "SpecSet.h"
#include "Sprite2Compressor.h"
#include "SpriteSpec.h"
#include "XAssert.h"
#include "resfile.h"

namespace {

const uint32_t kSpr2Type = 0x53505232;   // 'SPR2'
const uint32_t kSprType = 0x53505223;    // 'SPR#'
const uint32_t kPaletteType = 0x50414C54;  // 'PALT'
const uint32_t kSpr2ListVersion = 1000;
const int32_t kAlphaBits = 5;
const int32_t kListHeaderBytes = 12;


bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void LogFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogFormatted(const char* format, ...) {
  FixedStringBuffer<1024> message;
  va_list args;
  va_start(args, format);
  vsnprintf(message.buffer(), static_cast<size_t>(message.capacity()), format, args);
  va_end(args);
  LogMessage(message.c_str());
}

// Rows of a world that a mask is about to clear, kept so that the next sprite on the same
// source finds the image as it was loaded.
class SavedRows {
 public:
  void Save(Offscreen* world, int32_t firstRow, int32_t rows) {
    fWorld = world;
    if (!world->Exists()) return;
    int32_t width = 0;
    int32_t height = 0;
    world->GetSize(width, height);
    fFirst = firstRow < 0 ? 0 : firstRow;
    fRows = firstRow + rows > height ? height - fFirst : firstRow + rows - fFirst;
    fWidth = width;
    if (fRows <= 0 || fWidth <= 0) {
      fRows = 0;
      return;
    }
    fBytes.resize(static_cast<size_t>(fRows) * static_cast<size_t>(fWidth));
    for (int32_t y = 0; y < fRows; y++) {
      memcpy(fBytes.data() + static_cast<size_t>(y) * fWidth, Row(y), static_cast<size_t>(fWidth));
    }
  }
  void Restore() {
    for (int32_t y = 0; y < fRows; y++) {
      memcpy(Row(y), fBytes.data() + static_cast<size_t>(y) * fWidth, static_cast<size_t>(fWidth));
    }
    fRows = 0;
  }

 private:
  uint8_t* Row(int32_t y) {
    return fWorld->GetBaseAddr() + static_cast<int64_t>(fFirst + y) * fWorld->GetRowBytes();
  }
  Offscreen* fWorld = nullptr;
  int32_t fFirst = 0;
  int32_t fRows = 0;
  int32_t fWidth = 0;
  std::vector<uint8_t> fBytes;
};

// The global palette's colours, kept while a mask file is loaded so that the mask's colours
// do not become the palette written beside the sprite.
class SavedPalette {
 public:
  SavedPalette() {
    PalWrap* palette = GetGlobalPalette();
    if (palette->GetColors() == nullptr) return;
    memcpy(fColours, palette->GetColors(), sizeof fColours);
    fHad = true;
  }
  void Restore() {
    PalWrap* palette = GetGlobalPalette();
    if (fHad) {
      palette->Create(fColours, 0);
    } else {
      palette->Dispose();
    }
  }

 private:
  bool fHad = false;
  PlatformColorEntry fColours[256];
};

// The palette-id word of the sprite's SPR2 frames: the PALT it names, 0xFFFF for none.
uint16_t FramePaletteId(const SpriteSpec* sprite) {
  return sprite->fPaletteId >= 0 ? static_cast<uint16_t>(sprite->fPaletteId) : kSprite2NoPalette;
}

bool HasImage(Offscreen* world) {
  if (world == nullptr || !world->Exists()) return false;
  int32_t width = 0;
  int32_t height = 0;
  world->GetSize(width, height);
  return width > 0 && height > 0;
}

// The pixels of the sprite's cells, from its sizes alone (nothing is checked or reported).
int64_t CellPixels(const SpriteSpec* sprite) {
  const RenderSpec& sizes = sprite->GetSizes();
  int64_t perView = 0;
  for (int32_t zoom = 0; zoom < RenderSpec::kZoomCount; zoom++)
    perView += int64_t(sizes.fWidths[zoom]) * int64_t(sizes.fHeights[zoom]);
  return perView * sprite->fColumns * sprite->fFrames;
}

// A sprite whose id changed kind (its sheet went from 32-bit to 24-bit, say) takes away its
// resource of the other kind, as a fresh build would not have it.
void RemoveOtherKind(iResFile* file, uint32_t type, uint16_t id) {
  const uint32_t other = type == kSprType ? kSpr2Type : kSprType;
  if (!file->HasLanguageResource(other, id, 0)) return;
  MHandle* old = file->GetResource(other, id);
  if (old == nullptr) return;
  file->RemoveResource(old);
  if (file->GetError() != 0) ThrowError("could not remove the sprite's old resource from destfile");
}

// Adds a sprite list to the object file and writes it; a failure ends the build.
void AddSpriteList(iResFile* file, MHandle* list, uint32_t type, SpriteSpec* sprite) {
  file->AddResource(list, type, static_cast<uint16_t>(sprite->fId), sprite->fName, false);
  if (file->GetError() != 0) {
    HFree(list);
    ThrowError("could not add sprite to destfile");
  }
  // Written now, made durable by the file's next sync (at the latest when it is closed), so
  // that a build syncs a few times rather than once per sprite.
  file->WriteResource(list);
  if (file->GetError() != 0) ThrowError("could not update dest file");
  file->DetachAndDispose(list);
  if (file->GetError() != 0) ThrowError("could not write sprite to destfile");
  RemoveOtherKind(file, type, static_cast<uint16_t>(sprite->fId));
}

void FreeFrames(std::vector<MHandle*>& frames) {
  for (MHandle*& frame : frames) {
    if (frame != nullptr) HFree(frame);
    frame = nullptr;
  }
}

// The SPR2 list of `frames` (none null), made in one piece at its size: version, count, palette
// id, the frames' offsets, then the frames. Frees the frames, also when it throws.
MHandle* MakeSprite2List(int32_t paletteId, std::vector<MHandle*>& frames) {
  const uint32_t count = static_cast<uint32_t>(frames.size());
  int64_t total = kListHeaderBytes + 4 * int64_t(count);
  for (MHandle* frame : frames) total += HGetSize(frame);
  // The list's bytes are all written below: it is made empty and then given its size, which
  // leaves them unfilled.
  MHandle* list = total <= INT32_MAX ? HAlloc(0) : nullptr;
  if (list == nullptr || HSetSize(list, static_cast<uint32_t>(total)) != 0) {
    if (list != nullptr) HFree(list);
    FreeFrames(frames);
    XASSERT(false, "HAlloc failed!");
    ThrowError("HAlloc failed!");
  }
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(list));
  const uint32_t header[3] = {kSpr2ListVersion, count, static_cast<uint32_t>(paletteId)};
  memcpy(data, header, sizeof header);
  uint32_t at = kListHeaderBytes + 4 * count;
  for (uint32_t i = 0; i < count; i++) {
    const int32_t size = HGetSize(frames[i]);
    XASSERT((at & 1) == 0, "old size should always be even");
    XASSERT(((at + static_cast<uint32_t>(size)) & 1) == 0, "new size should always be even");
    memcpy(data + kListHeaderBytes + 4 * i, &at, 4);
    memcpy(data + at, HLock(frames[i]), static_cast<size_t>(size));
    HUnlock(frames[i]);
    HFree(frames[i]);
    frames[i] = nullptr;
    at += static_cast<uint32_t>(size);
  }
  HUnlock(list);
  return list;
}

// How the frames of a sprite's SPR2 list are encoded: colour and depth, and alpha when the
// sprite has an alpha image. Holds the worlds, which the encodings only read.
struct Sprite2Encoder {
  Offscreen* colour = nullptr;
  Offscreen* depth = nullptr;
  Offscreen* alpha = nullptr;
  uint16_t paletteId = kSprite2NoPalette;

  MHandle* operator()(const MacRect& cell, const MacRect& frame) const {
    if (alpha != nullptr)
      return EncodeSprite2ColorZAlpha(colour, depth, alpha, cell, frame, kAlphaBits, paletteId);
    return EncodeSprite2ColorZ(colour, depth, cell, frame, paletteId);
  }
};

}  // namespace

// A sprite's cells trimmed and encoded on the pool's threads, possibly while the sprite
// before it is written. Nothing it does is reported: when any job reported anything, Finish
// says so and the sprite is done on the build's thread in its turn, where the reports appear.
class SpriteWork {
 public:
  SpriteWork() = default;
  ~SpriteWork() {
    Finish();
    FreeFrames(frames);
  }
  SpriteWork(const SpriteWork&) = delete;
  SpriteWork& operator=(const SpriteWork&) = delete;

  // Starts the work; false, with nothing started, when the sprite's cells would not pass the
  // checks (its turn then stops the build with the error, in its place). Callers start it only
  // for the sprites that the build's thread plan pools.
  bool Start(FramePool* pool, SpriteSpec* spriteSpec, const Sprite2Encoder& encode) {
    sprite = spriteSpec;
    fEncode = encode;
    fSides = static_cast<uint8_t>(sprite->fShrink);
    try {
      sprite->GetSpriteRects(cells, cuts);
      CheckSprite2Frames(encode.depth, cells);
    } catch (...) {
      return false;
    }
    trimmed = cells;
    frames.assign(cells.size(), nullptr);
    fPool = pool;
    pool->Start(cells.size(), [this](size_t i) { Job(i); });
    return true;
  }

  // Waits for the work: true when every trim and encoding went quietly; false, keeping no
  // frame, otherwise.
  bool Finish() {
    if (fPool != nullptr) fPool->Wait();
    fPool = nullptr;
    if (!fQuiet) FreeFrames(frames);
    return fQuiet;
  }

  SpriteSpec* sprite = nullptr;
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  std::vector<MacRect> trimmed;
  std::vector<MHandle*> frames;

 private:
  void Job(size_t i) {
    const bool quiet = RunReportingNothing([&] {
      trimmed[i] = TrimSprite2Frame(fEncode.depth, cells[i], fSides, 1);
      frames[i] = fEncode(cells[i], trimmed[i]);
      return frames[i] != nullptr;
    });
    if (!quiet) fQuiet = false;
  }

  FramePool* fPool = nullptr;  // while the work may be under way
  Sprite2Encoder fEncode;
  uint8_t fSides = 0;
  std::atomic<bool> fQuiet{true};
};

namespace {

// The palettes this build wrote, by id, as their records' bytes. A sprite writes the global
// palette as its PALT; when the record it would write holds the very bytes that this build
// last wrote under that id, the live record already says it and nothing is written: most
// objects' sprites share one palette, and rewriting it after every sprite left the copy
// before as a free block in the file.
class WrittenPalettes {
 public:
  // Writes the global palette as PALT `paletteId` unless its record is already live. Each
  // step is checked as it is made: the file resets its error with every operation.
  void Write(iResFile* file, int32_t paletteId) {
    std::array<uint8_t, kPaletteRsrcSize> bytes;
    PaletteRsrcFromPalWrap(GetGlobalPalette(), bytes.data());
    auto known = fWritten.find(paletteId);
    if (known != fWritten.end() && known->second == bytes) return;
    MHandle* h = HAlloc(kPaletteRsrcSize);
    if (h == nullptr) {
      XASSERT(h != nullptr, "HAlloc failed!");
      ThrowError("HAlloc failed!");
    }
    memcpy(HLock(h), bytes.data(), bytes.size());
    HUnlock(h);
    // Forgotten first: a write that fails part way leaves the file's record unknown.
    fWritten.erase(paletteId);
    FixedStringBuffer<64> noName;
    file->AddResource(h, kPaletteType, static_cast<uint16_t>(paletteId), noName, false);
    if (file->GetError() != 0) {
      HFree(h);
      ThrowError("could not add palette to destfile");
    }
    file->WriteResource(h);
    if (file->GetError() != 0) ThrowError("could not write palette to destfile");
    file->DetachAndDispose(h);
    if (file->GetError() != 0) ThrowError("could not write palette to destfile");
    fWritten[paletteId] = bytes;
  }

 private:
  std::map<int32_t, std::array<uint8_t, kPaletteRsrcSize>> fWritten;
};

}  // namespace

// What one sprite build keeps from sprite to sprite: the sprite the loop compresses next,
// whose cells may be trimmed and encoded while the current one is written (same worlds,
// unchanged), the work started for it, and the palettes written.
struct SpriteLookahead {
  FramePool* pool = nullptr;  // the build's, which encodes the next sprite's frames
  SpriteSpec* next = nullptr;
  Sprite2Encoder encode;
  std::unique_ptr<SpriteWork> work;
  WrittenPalettes palettes;
};

namespace {

// The sprite's palette, when it names one: through the build's record of the palettes it
// wrote, or written as it is without one.
void WriteSpritePalette(iResFile* file, SpriteSpec* sprite, SpriteLookahead* lookahead) {
  if (sprite->fPaletteId < 0) return;
  if (lookahead != nullptr) {
    lookahead->palettes.Write(file, sprite->fPaletteId);
  } else {
    WrittenPalettes().Write(file, sprite->fPaletteId);
  }
}

// The SPR2 list of the sprite's cells, each frame encoded by `encode`. With a pool the cells
// are trimmed and encoded on its threads (or were, while the sprite before was written), and
// the next sprite's work starts before this one is written. The list is made once its frames
// are all encoded, in one piece at its size.
void CompressSprite2List(iResFile* file, SpriteSpec* sprite, FramePool* pool,
                         const Sprite2Encoder& encode, SpriteLookahead* lookahead) {
  Offscreen* depth = encode.depth;
  std::unique_ptr<SpriteWork> work;
  if (lookahead != nullptr && lookahead->work != nullptr && lookahead->work->sprite == sprite)
    work = std::move(lookahead->work);
  if (lookahead != nullptr) lookahead->work.reset();
  if (work == nullptr && pool != nullptr) {
    work = std::make_unique<SpriteWork>();
    if (!work->Start(pool, sprite, encode)) work.reset();
  }
  const bool ahead = work != nullptr && work->Finish();
  std::vector<MacRect> localCells;
  std::vector<SpriteCut> localCuts;
  std::vector<MacRect> localTrimmed;
  std::vector<MHandle*> localFrames;
  if (!ahead) sprite->GetSpriteRects(localCells, localCuts);
  const std::vector<MacRect>& cells = ahead ? work->cells : localCells;
  const std::vector<SpriteCut>& cuts = ahead ? work->cuts : localCuts;
  std::vector<MacRect>& trimmed = ahead ? work->trimmed : localTrimmed;
  std::vector<MHandle*>& frames = ahead ? work->frames : localFrames;
  if (!ahead) {
    TrimSprite2Frames(depth, cells, trimmed, static_cast<uint8_t>(sprite->fShrink), 1);
    localFrames.assign(cells.size(), nullptr);
  }

  MHandle* list = nullptr;
  try {
    for (size_t i = 0; i < cells.size(); i++) {
      LogFormatted("Compressing row:%d size:%s column:%d into sprite #%d", cuts[i].fRow,
                   cuts[i].fZoomName.c_str(), cuts[i].fColumn, static_cast<int32_t>(i));
      if (!ahead) frames[i] = encode(cells[i], trimmed[i]);
      // Out of memory, or a frame whose lines do not fit the format's 13-bit counts.
      if (frames[i] == nullptr) ThrowError("could not encode sprite frame");
    }
    list = MakeSprite2List(sprite->fPaletteId, frames);
  } catch (...) {
    FreeFrames(frames);
    throw;
  }
  // The next sprite's cells are trimmed and encoded while this one is written.
  if (lookahead != nullptr && lookahead->next != nullptr && lookahead->pool != nullptr) {
    auto next = std::make_unique<SpriteWork>();
    if (next->Start(lookahead->pool, lookahead->next, lookahead->encode))
      lookahead->work = std::move(next);
  }
  AddSpriteList(file, list, kSpr2Type, sprite);
  sprite->SetCompressionBounds(cells, trimmed);
  WriteSpritePalette(file, sprite, lookahead);
}

const size_t kNoSheet = SIZE_MAX;

// The build's plan, made once before anything is loaded: every sprite the loop renders, in its
// order, with the sheet it is cut from. A run of sprites cut from one source is one sheet of
// the plan, loaded once, at its first sprite, or ahead of it where it may be.
struct SpritePlan {
  struct Sheet {
    std::string source;     // the graphics folder and the sprite's file name
    std::string alphaName;  // the alpha image, which makes the load the build's own
    bool hasAlpha = false;
    int64_t pixels = 0;  // in the cells of its sprites: the work it gives
    SheetPrefetch::Load load;
  };
  struct Step {
    SpriteSpec* sprite = nullptr;
    size_t sheet = kNoSheet;  // none for a headline, which names no image
    bool loads = false;       // the first sprite of its sheet: the sheet is loaded here
    bool pooled = false;      // its frames are encoded on the pool (the thread plan's)
    // The sprite whose frames the pool may encode while this one is written (the plan's).
    SpriteSpec* following = nullptr;
  };
  std::vector<Sheet> sheets;
  std::vector<Step> steps;
  int32_t loaders = 0;      // threads loading sheets ahead (the thread plan's)
  int32_t poolThreads = 0;  // the frame pool's threads, 0 for none (the thread plan's)
};

SpritePlan MakeSpritePlan(const std::vector<SpriteSpec*>& sprites, const StringBuffer& graphicsDir,
                          ObjectBuilder* builder) {
  SpritePlan plan;
  std::vector<PlannedSheet> sheetSizes;
  std::vector<PlannedSprite> spriteSizes;
  for (SpriteSpec* sprite : sprites) {
    if (builder != nullptr && !ShouldRenderSprite(builder, sprite)) continue;
    SpritePlan::Step step;
    step.sprite = sprite;
    PlannedSprite size;
    if (sprite->mFileName.length() > 0) {
      const std::string source = std::string(graphicsDir.c_str()) + sprite->mFileName.c_str();
      step.loads = plan.sheets.empty() || plan.sheets.back().source != source;
      if (step.loads) {
        SpritePlan::Sheet sheet;
        sheet.source = source;
        sheet.alphaName = ReplaceTail(source, 4, "alpha.tga");
        sheet.hasAlpha = FileReadable(sheet.alphaName);
        sheet.load.files = {ReplaceTail(source, 3, "bmp"), source, sprite->fIsBMP != 0};
        plan.sheets.push_back(sheet);
        sheetSizes.push_back({0, sheet.hasAlpha});
      }
      step.sheet = plan.sheets.size() - 1;
      size.sheet = step.sheet;
      size.pixels = CellPixels(sprite);
      size.masked = sprite->fMaskFile.length() > 0;
      sheetSizes.back().pixels += size.pixels;
    }
    plan.steps.push_back(step);
    spriteSizes.push_back(size);
  }
  const SpriteThreadPlan threads =
      PlanSpriteThreads(sheetSizes, spriteSizes, CurrentSpriteThreadSettings());
  plan.loaders = threads.loaders;
  plan.poolThreads = threads.poolThreads;
  for (size_t i = 0; i < plan.sheets.size(); i++) plan.sheets[i].load.ahead = threads.ahead[i];
  for (size_t i = 0; i < plan.steps.size(); i++) {
    plan.steps[i].pooled = threads.pooled[i];
    if (threads.following[i] != kNoFollowing)
      plan.steps[i].following = plan.steps[threads.following[i]].sprite;
  }
  return plan;
}

}  // namespace

bool ShouldRenderSprite(ObjectBuilder* builder, SpriteSpec* sprite) {
  if (builder->fDrawGroupIds.empty()) return true;
  if (builder->fSpecs == nullptr) return false;
  for (PtrListIterator<DGRPSpec> it(builder->fSpecs->fDrawGroups); it.Current() != nullptr;
       it.Next()) {
    DGRPSpec* group = it.Current();
    if (WantsDrawGroup(builder, group->fId) && group->ShowsSprite(sprite->fId)) return true;
  }
  return false;
}

void ApplyMask(Offscreen* destination, Offscreen* mask, int32_t firstRow) {
  if (destination == nullptr || !destination->Exists()) ThrowError("no destination to apply mask");
  if (mask == nullptr || !mask->Exists()) ThrowError("no mask to apply");
  uint8_t* to = destination->GetBaseAddr();
  const uint8_t* from = mask->GetBaseAddr();
  const uint8_t destClear = to[0];
  const uint8_t maskClear = from[0];
  int32_t destWidth = 0;
  int32_t destHeight = 0;
  int32_t maskWidth = 0;
  int32_t maskHeight = 0;
  destination->GetSize(destWidth, destHeight);
  mask->GetSize(maskWidth, maskHeight);
  if (firstRow < 0 || static_cast<int64_t>(firstRow) + maskHeight > destHeight ||
      maskWidth > destWidth) {
    ThrowError("mask too large or sprite file too small");
  }
  const int32_t toStep = destination->GetRowBytes();
  const int32_t fromStep = mask->GetRowBytes();
  for (int32_t y = 0; y < maskHeight; y++) {
    uint8_t* row = to + static_cast<int64_t>(firstRow + y) * toStep;
    const uint8_t* maskRow = from + static_cast<int64_t>(y) * fromStep;
    for (int32_t x = 0; x < maskWidth; x++) {
      if (maskRow[x] == maskClear) row[x] = destClear;
    }
  }
}

void CompressSprites(iResFile* file, Offscreen* colour, Offscreen* depth, SpriteSpec* sprite,
                     FramePool* pool, SpriteLookahead* lookahead) {
  if (HasImage(depth)) {
    CompressSprite2List(file, sprite, pool, {colour, depth, nullptr, FramePaletteId(sprite)},
                        lookahead);
    return;
  }
  std::vector<MacRect> cells;
  std::vector<SpriteCut> cuts;
  sprite->GetSpriteRects(cells, cuts);
  std::vector<MacRect> trimmed;
  MHandle* list = MakeSpriteList(colour, depth, cells, trimmed,
                                 static_cast<uint8_t>(sprite->fShrink),
                                 static_cast<uint32_t>(sprite->fPaletteId), 1);
  AddSpriteList(file, list, kSprType, sprite);
  sprite->SetCompressionBounds(cells, trimmed);
  WriteSpritePalette(file, sprite, lookahead);
}

void CompressAlphaSprites(iResFile* file, Offscreen* colour, Offscreen* depth, Offscreen* alpha,
                          SpriteSpec* sprite, FramePool* pool, SpriteLookahead* lookahead) {
  if (!HasImage(depth)) {
    // Without depth the alpha encoder would read a world that does not exist.
    XASSERT(HasImage(depth), "only supports alpha sprites with z at this time");
    ThrowError("only supports alpha sprites with z at this time");
  }
  CompressSprite2List(file, sprite, pool, {colour, depth, alpha, FramePaletteId(sprite)},
                      lookahead);
}

void UpdateDrawGroupsForSprite(PtrList<DGRPSpec>& groups, SpriteSpec* sprite) {
  for (PtrListIterator<DGRPSpec> it(groups); it.Current() != nullptr; it.Next()) {
    it.Current()->UpdateDrawOffsets(sprite);
  }
}

void SpecSet::RenderSprites(iResFile* file, const StringBuffer& graphicsDir) {
  if (graphicsDir.length() == 0) ThrowError("not enough info to determine tga file");

  Offscreen colour;
  Offscreen depth;
  Offscreen alpha;
  Offscreen mask;
  std::string lastMask;
  std::vector<SpriteSpec*> sprites;
  for (PtrListIterator<SpriteSpec> it(fSprites); it.Current() != nullptr; it.Next())
    sprites.push_back(it.Current());
  const SpritePlan plan = MakeSpritePlan(sprites, graphicsDir, gCurrentBuilder);
  // The loader and the pool that the thread plan asks for: the next sheets are read while the
  // sprites of this one are compressed and written, and a sprite's frames are encoded side by
  // side. Where neither pays, the build runs on its own thread as it does on one processor.
  std::unique_ptr<SheetPrefetch> ahead;
  std::unique_ptr<FramePool> pool;
  if (plan.loaders > 0) {
    std::vector<SheetPrefetch::Load> loads;
    for (const SpritePlan::Sheet& sheet : plan.sheets) loads.push_back(sheet.load);
    ahead = std::make_unique<SheetPrefetch>(std::move(loads), plan.loaders);
  }
  if (plan.poolThreads > 0) pool = std::make_unique<FramePool>(plan.poolThreads);
  SpriteLookahead lookahead;  // goes before the pool, waiting for what it started

  for (const SpritePlan::Step& step : plan.steps) {
    SpriteSpec* sprite = step.sprite;
    if (step.sheet == kNoSheet) {
      // Only a headline names no image; the -headline stage cuts it from its sheet.
      FixedStringBuffer<128> message;
      snprintf(message.buffer(), static_cast<size_t>(message.capacity()),
               "headline %d names no tgafile or bmpfile: left to -headline", sprite->fId);
      PrintWarning(message.c_str());
      continue;
    }
    // Work started for another sprite is done with before any world changes.
    if (lookahead.work != nullptr && lookahead.work->sprite != sprite) lookahead.work.reset();
    const SpritePlan::Sheet& sheet = plan.sheets[step.sheet];
    LogFormatted("Generating sprite %d, %s...", sprite->fId, sprite->fName.c_str());

    const bool hasMask = sprite->fMaskFile.length() > 0;
    if (hasMask) {
      const std::string maskPath = std::string(graphicsDir.c_str()) + sprite->fMaskFile.c_str();
      if (!SameNoCase(maskPath, lastMask)) {
        if (mask.Exists()) mask.Dispose();
        SavedPalette palette;
        FixedStringBuffer<260> path(maskPath.c_str());
        Offscreen scratch;
        RenderImageFile(&path, nullptr, &mask, &scratch, 0);
        palette.Restore();
        lastMask = maskPath;
      }
    }

    const bool isBmp = sheet.load.files.isBmp;
    const std::string& paletteName = sheet.load.files.palettePath;
    // Looked for once per sheet, where it is loaded: its other sprites reuse its worlds.
    if (step.loads && !FileReadable(paletteName)) {
      FixedStringBuffer<1024> message;
      snprintf(message.buffer(), static_cast<size_t>(message.capacity()),
               "BMP file %s required.  Could not obtain palette.", paletteName.c_str());
      ThrowError(message.c_str());
    }
    FixedStringBuffer<260> palettePath(paletteName.c_str());
    FixedStringBuffer<260> sourcePath(sheet.source.c_str());

    const int32_t firstRow = sprite->GetSizes().fHeights[RenderSpec::kLarge] * sprite->fPosition;
    SavedRows keptColour;
    SavedRows keptDepth;
    SavedRows keptAlpha;
    int32_t maskWidth = 0;
    int32_t maskHeight = 0;
    if (hasMask) mask.GetSize(maskWidth, maskHeight);
    SpriteSpec* following = pool != nullptr ? step.following : nullptr;
    FramePool* spritePool = step.pooled ? pool.get() : nullptr;
    lookahead.pool = pool.get();
    lookahead.next = following;
    lookahead.encode = {&colour, &depth, sheet.hasAlpha ? &alpha : nullptr,
                        following != nullptr ? FramePaletteId(following) : kSprite2NoPalette};

    if (!sheet.hasAlpha) {
      if (step.loads) {
        LogFormatted("Rendering file %s...", sprite->mFileName.c_str());
        if (ahead == nullptr || !ahead->Take(step.sheet, &colour, &depth)) {
          // The worlds of the last source are reused where the sizes allow.
          if (isBmp && depth.Exists()) depth.Dispose();
          RenderImageFile(&palettePath, isBmp ? nullptr : &sourcePath, &colour, &depth, 0);
          if (!colour.Exists()) ThrowError("cant make dgrps without tga");
          CleanUpZBuffer(&colour, &depth);
        }
      }
      if (hasMask) {
        keptColour.Save(&colour, firstRow, maskHeight);
        keptDepth.Save(&depth, firstRow, maskHeight);
        ApplyMask(&colour, &mask, firstRow);
        ApplyMask(&depth, &mask, firstRow);
      }
      CompressSprites(file, &colour, &depth, sprite, spritePool, &lookahead);
    } else {
      if (step.loads) {
        LogFormatted("Rendering file %s...", sprite->mFileName.c_str());
        if (isBmp && depth.Exists()) depth.Dispose();
        GetGlobalPalette()->Dispose();
        FixedStringBuffer<260> alphaPath(sheet.alphaName.c_str());
        Offscreen scratch;
        RenderImageFile(nullptr, &alphaPath, &alpha, &scratch, 0);
        if (!alpha.Exists()) ThrowError("Couldn't prepare alpha layer offscreen");
        RenderImageFile(&palettePath, isBmp ? nullptr : &sourcePath, &colour, &depth, 0);
        if (!colour.Exists()) ThrowError("cant make dgrps without tga");
        // Without depth the sprite stops in CompressAlphaSprites; there is nothing to clear.
        if (HasImage(&depth)) ApplyAlphaToZBuffer(&colour, &depth, &alpha, kAlphaBits);
      }
      if (hasMask) {
        keptAlpha.Save(&alpha, firstRow, maskHeight);
        keptDepth.Save(&depth, firstRow, maskHeight);
        keptColour.Save(&colour, firstRow, maskHeight);
        ApplyMask(&alpha, &mask, firstRow);
        ApplyMask(&depth, &mask, firstRow);
        ApplyMask(&colour, &mask, firstRow);
      }
      CompressAlphaSprites(file, &colour, &depth, &alpha, sprite, spritePool, &lookahead);
    }
    keptColour.Restore();
    keptDepth.Restore();
    keptAlpha.Restore();

    UpdateDrawGroupsForSprite(fDrawGroups, sprite);
  }
}

bool FileReadable(const std::string& path) {
  PlatformFile* f = PlatformFileOpen(path.c_str(), PlatformOpenMode::kReadExisting);
  if (f == nullptr) return false;
  PlatformFileClose(f);
  return true;
}

std::string ReplaceTail(const std::string& path, size_t drop, const char* tail) {
  return path.substr(0, path.size() >= drop ? path.size() - drop : 0) + tail;
}
