// The tile makers (walls, wall styles and patterns, floors, water tiles, thick walls, and the
// wall-style tags of the graphics stage) live in the layer above the builder. Each installs
// its stage here, once at program start (see InstallTileStages in the tile layer); the build
// driver runs the installed stage at its place in the stage order, or, when none is
// installed, ends the build with "<option>: this stage is not built yet".
//
// An installed stage makes its own checks (writable, images) and reports through
// ThrowError like any other stage. Install before any build runs; not guarded by a lock.
#pragma once

#include <cstdint>

class ObjectBuilder;
class iResFile;

enum class TileStage : uint8_t {
  kWall,           // -wall
  kWallStyle,      // -wallstyle
  kWallPattern,    // -wallpattern
  kFloor,          // -floor, -floorshadow, -pooltile
  kWaterTile,      // -watertile
  kThickWalls,     // -thickwalls
  kThickCutaway,   // -thickcutaway
  kWallStyleTags,  // the "wall style" tags, last step of -graphics
  kCount
};

using TileStageProc = void (*)(ObjectBuilder& builder, iResFile* file);

// Installs `proc` for `stage` (null removes it) and returns the previous one.
TileStageProc SetTileStage(TileStage stage, TileStageProc proc);

// The installed stage, or null.
TileStageProc GetTileStage(TileStage stage);
