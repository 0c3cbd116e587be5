// The build stages of the floor, water and thick-wall makers, as the build driver runs them
// once the tile layer has installed them (InstallFloorStages). Each loads its images, makes
// the driver's checks and calls its maker; failures of the checks and of the image loading
// end the build (Terminate).
#pragma once

class ObjectBuilder;
class iResFile;

// -floor, -floorshadow, -pooltile: the writable check, the BMP `fBmpFile`, the image check,
// then the floor maker with `fTileId`, `fFloorShadow` and `fPoolTile`.
void FloorStage(ObjectBuilder& builder, iResFile* file);

// -watertile: the water maker with `fBmpFile`, `fTgaFile` and `fTileId`; no writable check.
void WaterTileStage(ObjectBuilder& builder, iResFile* file);

// -thickwalls: the BMP `fBmpFile`, the image check, the thick-wall maker at
// `fThickWallScale`; no writable check.
void ThickWallsStage(ObjectBuilder& builder, iResFile* file);

// -thickcutaway: `fBmpFile` (which must exist: it gives the palette) and `fTgaFile`, the
// image check, the cutaway maker at
// `fThickWallScale`; no writable check.
void ThickCutawayStage(ObjectBuilder& builder, iResFile* file);

// Installs the four stages above into the build driver.
void InstallFloorStages();
