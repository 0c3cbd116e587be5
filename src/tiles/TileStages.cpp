#include "TileStages.h"

#include <algorithm>

#include "BuildStages.h"
#include "FloorStages.h"
#include "MakeSPR.h"
#include "MakeWalls.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "TileStageHooks.h"
#include "TileSupport.h"
#include "WallStyleSpriteSpec.h"
#include "XAssert.h"
#include "offscrn.h"

void InstallTileStages() {
  SetTileStage(TileStage::kWall, MakeWallStage);
  SetTileStage(TileStage::kWallStyle, MakeWallStyleStage);
  SetTileStage(TileStage::kWallPattern, MakeWallPatternStage);
  SetTileStage(TileStage::kWallStyleTags, MakeWallStyleTagsStage);
  InstallFloorStages();
}

void MakeWallStage(ObjectBuilder& builder, iResFile* file) {
  CheckWritable(file);
  XASSERT(!builder.fMakeWallStyle && !builder.fMakeWallPattern, "logic error");
  // The style is kept in a byte: a larger one would write over another style's sprites.
  if (builder.fWallStyle < 1 || builder.fWallStyle > 255) ThrowError("wall style out of range (1 to 255)");
  Offscreen colour;
  Offscreen second;
  const StringBuffer* palette = builder.fPaletteFile.length() > 0 ? &builder.fPaletteFile : nullptr;
  // Without its palette file the wall would be matched to whatever palette was loaded last.
  if (palette != nullptr) RequirePaletteBmp(*palette);
  RenderImageFile(palette, &builder.fTgaFile, &colour, &second, 0);
  CheckImageRendered(&colour);
  CheckTileMade(MakeWall(&colour, &second, static_cast<uint8_t>(builder.fWallStyle), builder.fCutaway, file), "wall",
                builder.fWallStyle);
}

void MakeWallStyleStage(ObjectBuilder& builder, iResFile* file) {
  CheckWritable(file);
  // Ids of a style outside 0 to 255 fall on those of another style or zoom.
  if (builder.fTileId < 0 || builder.fTileId >= static_cast<int32_t>(kMaxStyles)) {
    ThrowError("wall style out of range (0 to 255)");
  }
  Offscreen colour;
  Offscreen second;
  RenderImageFile(nullptr, &builder.fTgaFile, &colour, &second, 1);
  CheckImageRendered(&colour);
  CheckTileMade(MakeWallStyle(&second, builder.fTileId, builder.fCutaway, file), "wall style", builder.fTileId);
}

void MakeWallPatternStage(ObjectBuilder& builder, iResFile* file) {
  CheckWritable(file);
  // Ids of a pattern outside 0 to 255 fall on those of another pattern or zoom.
  if (builder.fTileId < 0 || builder.fTileId >= static_cast<int32_t>(kMaxPatterns)) {
    ThrowError("wall pattern out of range (0 to 255)");
  }
  RequireTileBmp(builder.fBmpFile);
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&builder.fBmpFile, nullptr, &colour, &second, 0);
  CheckImageRendered(&colour);
  CheckTileMade(MakeWallPattern(&colour, builder.fTileId, file), "wall pattern", builder.fTileId);
}

void MakeWallStyleTagsStage(ObjectBuilder& builder, iResFile* file) {
  if (builder.fSpecs == nullptr) return;
  const std::vector<int16_t>& wanted = builder.fWallStyleIds;
  for (PtrListIterator<WallStyleSpriteSpec> it(builder.fSpecs->fWallStyles); it.Current() != nullptr; it.Next()) {
    WallStyleSpriteSpec* spec = it.Current();
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), spec->fId) == wanted.end()) continue;
    FixedStringBuffer<520> path(builder.fGraphicsDir.c_str());
    path.append(spec->fTgaFile.c_str());
    Offscreen colour;
    Offscreen alpha;
    RenderImageFile(nullptr, &path, &colour, &alpha, 1);
    CheckImageRendered(&colour);
    Offscreen cutawayColour;
    Offscreen cutawayAlpha;
    if (spec->fCutawayTgaFile.length() > 0) {
      FixedStringBuffer<520> cutawayPath(builder.fGraphicsDir.c_str());
      cutawayPath.append(spec->fCutawayTgaFile.c_str());
      RenderImageFile(nullptr, &cutawayPath, &cutawayColour, &cutawayAlpha, 1);
    }
    CheckTileMade(MakeWallStyleSprites(&alpha, &cutawayAlpha, file, spec->fId, spec->fName), "wall style tag",
                  spec->fId);
  }
}
