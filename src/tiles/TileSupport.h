// What the tile makers share: the compressor settings of tile colour frames, the check that
// frame rectangles lie inside an image, the SPR2 list put together from encoded frames, and
// the checked adding of a sprite list or of the global palette to the object file.
//
// AddTileResource and AddTilePalette answer failures as status codes and messages, for each
// maker to raise its own way (Terminate for the water maker); WriteTileSprites and
// WriteTilePalette throw them as WallError for the makers that catch it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Compressor.h"
#include "MHandle.h"
#include "MacRect.h"
#include "StringBuffer.h"

class Offscreen;
class iResFile;

// Resource types written by the tile makers.
constexpr uint32_t kTileSpr2Type = 0x53505232;     // 'SPR2'
constexpr uint32_t kTileSprType = 0x53505223;      // 'SPR#'
constexpr uint32_t kTilePaletteType = 0x50414C54;  // 'PALT'

// Colour frames of tiles: flags 0x31 (clear colour, repeat runs, suppression), the clear colour
// is the top-left pixel of `colour`, repeat runs of 16 or more, and suppression to the usable
// range of the global palette.
CompressorSettings TileColourSettings(Offscreen* colour);

// Ends the build with "BMP file %s required.  Could not obtain palette." unless `bmp` is a
// file that can be read: a maker whose palette comes from a BMP must not go on with another.
void RequirePaletteBmp(const StringBuffer& bmp);

// Ends the build unless `bmp` is an 8-bit BMP, the only kind a tile's colour indices and palette
// are cut from: "could not open BMP file <path>", "<path> is not a BMP file", or "BMP file
// <path> is <n>-bit: tiles are cut from 8-bit BMPs".
void RequireTileBmp(const StringBuffer& bmp);

// Ends a tile stage as its maker answered: nothing for 0; for kTileNotMade the fatal error
// "<kind> <number> not made, nothing written"; for a file's error, the object file's error.
void CheckTileMade(int32_t result, const char* kind, int32_t number);

// True when `world` exists and holds every one of the `count` rectangles whole.
bool TileRectsInside(Offscreen* world, const MacRect* rects, int32_t count);

// An SPR2 sprite list {version 1000, count, palette id, offsets} followed by `frames` in order.
// The frames are freed whatever happens; null when one of them is null or memory runs out
// (the assertions "HAlloc failed!", "HSetSize failed!", "old size should always be even" and
// "new size should always be even" say which).
MHandle* AssembleSprite2List(const std::vector<MHandle*>& frames, uint32_t paletteId);

// The messages of the three checked steps of adding a resource.
struct TileWriteSteps {
  const char* fAdd;
  const char* fWrite;
  const char* fUpdate;
};
// Sprite lists: "could not add sprites", "could not add write sprites", "could not update file".
extern const TileWriteSteps kTileSpriteSteps;
// Palettes: "could not add palette to destfile", "could not write palette to destfile",
// "could not update dest file".
extern const TileWriteSteps kTilePaletteSteps;

// Adds `h` to `file` (`name` null for an empty name), writes it, updates the file and hands the
// handle back to the file's keeping (DetachAndDispose). Answers 0, or the file's error with
// `failed` set to the message of the step that failed. `h` never leaks: a handle the file
// refused is freed here, one the file took stays the file's.
int32_t AddTileResource(iResFile* file, MHandle* h, uint32_t type, uint16_t id, const char* name,
                        bool native, const TileWriteSteps& steps, const char*& failed);

// Adds the global palette as a 784-byte PALT `id` (empty name, not native order) as
// AddTileResource does, with the palette messages.
int32_t AddTilePalette(iResFile* file, uint16_t id, const char*& failed);

// The sprite lists of one tile, each with the id and name it is written under. A maker makes
// every list of its tile before it writes any: a tile one of whose lists could not be made is
// not made, and writes nothing. The lists not written are freed with the set.
class TileLists {
 public:
  TileLists() = default;
  ~TileLists();
  TileLists(const TileLists&) = delete;
  TileLists& operator=(const TileLists&) = delete;

  // Takes `list` (null when it could not be made, which leaves the tile incomplete).
  void Add(MHandle* list, uint16_t id, const std::string& name = std::string());
  // True when every list added was made.
  bool Complete() const { return fComplete; }
  // Writes the lists in the order added, as `type` in host order (WriteTileSprites); throws
  // WallWriteError at the first one the file does not take or write.
  void WriteAll(iResFile* file, uint32_t type);

 private:
  struct Entry {
    MHandle* list;
    uint16_t id;
    std::string name;
  };
  std::vector<Entry> fEntries;
  bool fComplete = true;
};

// AddTileResource of a sprite list (native order) and AddTilePalette that throw WallWriteError
// with the failed step's message and the file's error.
void WriteTileSprites(iResFile* file, MHandle* list, uint32_t type, uint16_t id, const char* name);
void WriteTilePalette(iResFile* file, uint16_t id);
