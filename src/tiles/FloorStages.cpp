#include "FloorStages.h"

#include "BuildStages.h"
#include "MakeFloors.h"
#include "MakeSPR.h"
#include "MakeThickWalls.h"
#include "MakeWater.h"
#include "ObjectBuilder.h"
#include "TileSupport.h"
#include "TileStageHooks.h"
#include "offscrn.h"

void FloorStage(ObjectBuilder& builder, iResFile* file) {
  CheckWritable(file);
  RequireTileBmp(builder.fBmpFile);
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&builder.fBmpFile, nullptr, &colour, &second, 0);
  CheckImageRendered(&colour);
  const char* kind = builder.fFloorShadow ? "floor shadow" : builder.fPoolTile ? "pool tile" : "floor";
  CheckTileMade(MakeFloorTile(&colour, file, static_cast<uint32_t>(builder.fTileId), builder.fFloorShadow,
                              builder.fPoolTile),
                kind, builder.fTileId);
}

void WaterTileStage(ObjectBuilder& builder, iResFile* file) {
  MakeWaterTile(builder.fBmpFile, builder.fTgaFile, file, builder.fTileId);
}

void ThickWallsStage(ObjectBuilder& builder, iResFile* file) {
  RequireTileBmp(builder.fBmpFile);
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&builder.fBmpFile, nullptr, &colour, &second, 0);
  CheckImageRendered(&colour);
  CheckTileMade(MakeThickWalls(&colour, builder.fThickWallScale, file), "thick walls of zoom",
                builder.fThickWallScale);
}

void ThickCutawayStage(ObjectBuilder& builder, iResFile* file) {
  // Without its BMP the cutaway would be matched to whatever palette was loaded last.
  RequirePaletteBmp(builder.fBmpFile);
  Offscreen colour;
  Offscreen alpha;
  RenderImageFile(&builder.fBmpFile, &builder.fTgaFile, &colour, &alpha, 0);
  CheckImageRendered(&colour);
  CheckTileMade(MakeThickCutaway(&colour, &alpha, builder.fThickWallScale, file), "thick wall cutaway of zoom",
                builder.fThickWallScale);
}

void InstallFloorStages() {
  SetTileStage(TileStage::kFloor, FloorStage);
  SetTileStage(TileStage::kWaterTile, WaterTileStage);
  SetTileStage(TileStage::kThickWalls, ThickWallsStage);
  SetTileStage(TileStage::kThickCutaway, ThickCutawayStage);
}
