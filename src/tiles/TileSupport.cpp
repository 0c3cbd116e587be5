#include "TileSupport.h"

#include <cstdio>
#include <cstring>

#include "BuildStages.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "SpriteList.h"
#include "StringBuffer.h"
#include "WallError.h"
#include "XAssert.h"
#include "offscrn.h"
#include "palwrap.h"
#include "resfile.h"

const TileWriteSteps kTileSpriteSteps = {"could not add sprites", "could not add write sprites",
                                         "could not update file"};
const TileWriteSteps kTilePaletteSteps = {"could not add palette to destfile",
                                          "could not write palette to destfile",
                                          "could not update dest file"};

CompressorSettings TileColourSettings(Offscreen* colour) {
  CompressorSettings settings;
  settings.flags = kCompressClearColor | kCompressRepeats | kCompressSuppress;
  settings.clearColor = colour != nullptr && colour->Exists() ? colour->GetBaseAddr()[0] : 0;
  settings.minRepeat = 16;
  PalWrap* palette = GetGlobalPalette();
  settings.suppressLow = static_cast<uint8_t>(palette->FirstUsableIndex());
  settings.suppressHigh = static_cast<uint8_t>(palette->LastUsableIndex());
  return settings;
}

void RequirePaletteBmp(const StringBuffer& bmp) {
  PlatformFile* file = PlatformFileOpen(bmp.c_str(), PlatformOpenMode::kReadExisting);
  if (file != nullptr) {
    PlatformFileClose(file);
    return;
  }
  char message[400];
  std::snprintf(message, sizeof message, "BMP file %s required.  Could not obtain palette.", bmp.c_str());
  ThrowError(message);
}

void RequireTileBmp(const StringBuffer& bmp) {
  char message[400];
  PlatformFile* file = PlatformFileOpen(bmp.c_str(), PlatformOpenMode::kReadExisting);
  if (file == nullptr) {
    std::snprintf(message, sizeof message, "could not open BMP file %s", bmp.c_str());
    ThrowError(message);
  }
  // The file header (14 bytes) and the info header up to its bit count (offset 28).
  uint8_t header[30] = {};
  const bool whole = PlatformFileRead(file, header, sizeof header) == static_cast<int64_t>(sizeof header);
  PlatformFileClose(file);
  if (!whole || header[0] != 'B' || header[1] != 'M') {
    std::snprintf(message, sizeof message, "%s is not a BMP file", bmp.c_str());
    ThrowError(message);
  }
  const int32_t bits = header[28] | (header[29] << 8);
  if (bits != 8) {
    std::snprintf(message, sizeof message, "BMP file %s is %d-bit: tiles are cut from 8-bit BMPs", bmp.c_str(),
                  static_cast<int>(bits));
    ThrowError(message);
  }
}

void CheckTileMade(int32_t result, const char* kind, int32_t number) {
  if (result == kTileNotMade) {
    char message[200];
    std::snprintf(message, sizeof message, "%s %d not made, nothing written", kind, static_cast<int>(number));
    ThrowError(message);
  }
  CheckObjectFileWrite(result);
}

bool TileRectsInside(Offscreen* world, const MacRect* rects, int32_t count) {
  if (world == nullptr || !world->Exists()) return false;
  int32_t width = 0;
  int32_t height = 0;
  world->GetSize(width, height);
  for (int32_t i = 0; i < count; i++) {
    const MacRect& r = rects[i];
    if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.left > r.right ||
        r.top > r.bottom) {
      return false;
    }
  }
  return true;
}

MHandle* AssembleSprite2List(const std::vector<MHandle*>& frames, uint32_t paletteId) {
  struct FrameSet {
    const std::vector<MHandle*>& frames;
    ~FrameSet() {
      for (MHandle* frame : frames) HFree(frame);
    }
  } owned{frames};
  for (MHandle* frame : frames) {
    if (frame == nullptr) {
      XASSERT(frame != nullptr, "HAlloc failed!");
      return nullptr;
    }
  }
  const uint32_t count = static_cast<uint32_t>(frames.size());
  MHandle* list = HAlloc(kSpriteListHeaderSize + 4 * count);
  if (list == nullptr) {
    XASSERT(list != nullptr, "HAlloc failed!");
    return nullptr;
  }
  const uint32_t header[3] = {kSpriteListSprite2Version, count, paletteId};
  std::memcpy(HLock(list), header, sizeof header);
  HUnlock(list);
  for (uint32_t i = 0; i < count; i++) {
    const uint32_t oldSize = HGetSize(list);
    const uint32_t frameSize = HGetSize(frames[i]);
    const uint32_t newSize = oldSize + frameSize;
    XASSERT((oldSize & 1) == 0, "old size should always be even");
    XASSERT((newSize & 1) == 0, "new size should always be even");
    if (HSetSize(list, newSize) != 0) {
      XASSERT(false, "HSetSize failed!");
      HFree(list);
      return nullptr;
    }
    uint8_t* data = reinterpret_cast<uint8_t*>(HLock(list));
    std::memcpy(data + kSpriteListHeaderSize + 4 * i, &oldSize, 4);
    std::memcpy(data + oldSize, HLock(frames[i]), frameSize);
    HUnlock(frames[i]);
    HUnlock(list);
  }
  return list;
}

int32_t AddTileResource(iResFile* file, MHandle* h, uint32_t type, uint16_t id, const char* name,
                        bool native, const TileWriteSteps& steps, const char*& failed) {
  FixedStringBuffer<256> resName(name != nullptr ? name : "");
  file->AddResource(h, type, id, resName, native);
  if (file->GetError() != 0) {
    HFree(h);  // the file keeps no handle that it refused
    failed = steps.fAdd;
    return file->GetError();
  }
  file->WriteResource(h);
  if (file->GetError() != 0) {
    failed = steps.fWrite;
    return file->GetError();
  }
  file->Update();
  if (file->GetError() != 0) {
    failed = steps.fUpdate;
    return file->GetError();
  }
  // A detach that cannot write leaves the handle with the file, which reports it.
  file->DetachAndDispose(h);
  if (file->GetError() != 0) {
    failed = steps.fWrite;
    return file->GetError();
  }
  return 0;
}

int32_t AddTilePalette(iResFile* file, uint16_t id, const char*& failed) {
  MHandle* h = HAlloc(kPaletteRsrcSize);
  if (h == nullptr) {
    XASSERT(h != nullptr, "HAlloc failed!");
    failed = kTilePaletteSteps.fAdd;
    return kMemFullErr;
  }
  PaletteRsrcFromPalWrap(GetGlobalPalette(), HLock(h));
  HUnlock(h);
  return AddTileResource(file, h, kTilePaletteType, id, nullptr, false, kTilePaletteSteps, failed);
}

void WriteTileSprites(iResFile* file, MHandle* list, uint32_t type, uint16_t id, const char* name) {
  const char* failed = nullptr;
  const int32_t error = AddTileResource(file, list, type, id, name, true, kTileSpriteSteps, failed);
  if (error != 0) ThrowWallWriteError(failed, error);
}

void WriteTilePalette(iResFile* file, uint16_t id) {
  const char* failed = nullptr;
  const int32_t error = AddTilePalette(file, id, failed);
  if (error != 0) ThrowWallWriteError(failed, error);
}

TileLists::~TileLists() {
  for (Entry& entry : fEntries) {
    if (entry.list != nullptr) HFree(entry.list);
  }
}

void TileLists::Add(MHandle* list, uint16_t id, const std::string& name) {
  if (list == nullptr) fComplete = false;
  fEntries.push_back(Entry{list, id, name});
}

void TileLists::WriteAll(iResFile* file, uint32_t type) {
  for (Entry& entry : fEntries) {
    MHandle* list = entry.list;
    entry.list = nullptr;  // the file's, or freed, from here on
    WriteTileSprites(file, list, type, entry.id, entry.name.c_str());
  }
}
