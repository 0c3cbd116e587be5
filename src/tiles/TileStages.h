// The build stages of the tile layer, installed into the build driver's tile-stage hooks.
// Each program calls InstallTileStages once at start, before any build runs.
#pragma once

class ObjectBuilder;
class iResFile;

void InstallTileStages();

// The stages themselves (what InstallTileStages installs).
// -wall: the wall of the TGA (colours from the palette file, depth from its alpha channel).
void MakeWallStage(ObjectBuilder& builder, iResFile* file);
// -wallstyle: the wall style `fTileId` from the TGA's alpha channel.
void MakeWallStyleStage(ObjectBuilder& builder, iResFile* file);
// -wallpattern: the wall pattern `fTileId` from the BMP, with its palette.
void MakeWallPatternStage(ObjectBuilder& builder, iResFile* file);
// The "wall style" tags of the object-make file (last step of -graphics), filtered by
// `fWallStyleIds` unless it is empty.
void MakeWallStyleTagsStage(ObjectBuilder& builder, iResFile* file);
