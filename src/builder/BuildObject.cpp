// The build driver: opens the destination object file, runs the tile and report stages that
// need no object-make file, compiles the object-make file and runs, option by option, the
// stages that write what its specs describe. The stage order is fixed (the numbers below);
// each stage runs only when its option is set, and a stage that writes checks first that
// the object file is writable.
//
// The object file is closed on every way out of the build, a fatal error included, so that
// whatever the stages wrote reaches the disk. A stage whose resources the file did not take
// or write, and a close that could not write what was pending, end the build with a fatal
// error naming the object file: no build whose writes were lost ends as a success.

#include <cstdio>
#include <memory>

#include "attribtable.h"
#include "BuildStages.h"
#include "IFFResFile2.h"
#include "ObjectBuilder.h"
#include "ResourceStages.h"
#include "SeqResFile.h"
#include "SpecSet.h"
#include "SpriteArtCheck.h"
#include "TileStageHooks.h"
#include "TemplateStages.h"
#include "flatfile.h"

void CheckWritable(iResFile* file) {
  if (!file->IsWritable()) {
    // The path as the author gave it; a file set answers its name without the extension.
    FixedStringBuffer<260> path;
    if (gCurrentBuilder != nullptr && gCurrentBuilder->fObjectFile.length() > 0) {
      path.assign(gCurrentBuilder->fObjectFile);
    } else {
      file->GetName(path);
    }
    char message[400];
    std::snprintf(message, sizeof message, "object file %s is read-only",
                  path.c_str());
    ThrowError(message);
  }
}

void ThrowObjectFileError(int32_t error) {
  char message[400];
  if (gCurrentBuilder != nullptr && gCurrentBuilder->fObjectFile.length() > 0) {
    std::snprintf(message, sizeof message, "could not write object file %s (error %d)",
                  gCurrentBuilder->fObjectFile.c_str(), int(error));
  } else {
    std::snprintf(message, sizeof message, "could not write object file (error %d)", int(error));
  }
  ThrowError(message);
}

void CheckObjectFileWrite(int32_t error) {
  if (error != 0) ThrowObjectFileError(error);
}

void StageNotBuilt(const char* option) {
  char message[256];
  std::snprintf(message, sizeof message, "%s: this stage is not built yet", option);
  ThrowError(message);
}

namespace {

// Stage 2: the destination as a standard file set (path.iff, path.spf, path.dir), else as a
// single IFF 2.x file.
std::unique_ptr<iResFile> OpenObjectFile(const StringBuffer& path) {
  std::unique_ptr<iResFile> set(new StdResFile);
  if (set->Open(path) == 0) return set;
  set.reset();
  std::unique_ptr<iResFile> file(new IFFResFile2);
  if (file->Open(path) != 0) {
    char message[400];
    std::snprintf(message, sizeof message, "could not open object file %s", path.c_str());
    ThrowError(message);
  }
  return file;
}

// Closing writes whatever is still pending and the file's index: a failure there means the
// build's resources are not on disk, and the build must not pass for a success.
void CloseObjectFile(std::unique_ptr<iResFile>& file) {
  const int32_t error = file->Close();
  file.reset();
  CheckObjectFileWrite(error);
}

}  // namespace

void ObjectBuilder::Build() {
  // 1. Template.
  if (fTemplateFile.length() > 0) MakeNewObject(fTemplateFile, fObjectFile, fRetain != 0, fPrefix);

  // 2. Open the destination. It is closed when `file` goes, on every path.
  std::unique_ptr<iResFile> file = OpenObjectFile(fObjectFile);
  // A stage that writes, not built yet: its writable check still comes first.
  auto writingStageNotBuilt = [&file](const char* option) {
    CheckWritable(file.get());
    StageNotBuilt(option);
  };

  // A tile stage runs as the tile layer installed it; without one, as a stage not built.
  auto tileStage = [this, &file, &writingStageNotBuilt](TileStage stage, const char* option) {
    if (TileStageProc proc = GetTileStage(stage)) {
      proc(*this, file.get());
    } else {
      writingStageNotBuilt(option);
    }
  };

  // 3-10. Tile and report stages; they need no object-make file.
  if (fMakeWall) tileStage(TileStage::kWall, "-wall");
  if (fMakeWallStyle) tileStage(TileStage::kWallStyle, "-wallstyle");
  if (fMakeWallPattern) tileStage(TileStage::kWallPattern, "-wallpattern");
  if (fMakeFloor) {
    tileStage(TileStage::kFloor, fPoolTile ? "-pooltile" : fFloorShadow ? "-floorshadow" : "-floor");
  }
  if (fMakeWaterTile) tileStage(TileStage::kWaterTile, "-watertile");
  if (fMakeThickWalls) tileStage(TileStage::kThickWalls, "-thickwalls");
  if (fMakeThickCutaway) tileStage(TileStage::kThickCutaway, "-thickcutaway");
  if (fMakeFamilyHistory) WriteFamilyHistoryReport(file.get(), fFamilyHistoryFile);

  // Without an object-make file the build ends here.
  if (fAttributesFile.length() == 0) {
    CloseObjectFile(file);
    return;
  }

  // 11. Read the object-make file into a new spec set. The tags live until the close.
  delete fSpecs;
  fSpecs = nullptr;
  fSpecs = new SpecSet(file.get());
  AttribTableList tags;
  {
    FlatFile markup;
    markup.Open(fAttributesFile);
    if (!markup.ValidFile()) {
      char message[400];
      std::snprintf(message, sizeof message, "could not open attributes file %s",
                    fAttributesFile.c_str());
      ThrowError(message);
    }
    ReadMarkupFile(tags, &markup);
    fSpecs->ParseSpecTags(tags);
    markup.Close();
  }

  // 12-21. The stages that write what the specs describe.
  if (fMakeGraphics) {
    // Sprites and palettes, then the draw groups that show them, then the sprites of the
    // wall-style tags, made by the wall makers. The sprites' art is checked before the first
    // of them is written.
    CheckWritable(file.get());
    CheckSpriteArt(*fSpecs, fGraphicsDir, this);
    fSpecs->RenderSprites(file.get(), fGraphicsDir);
    fSpecs->WriteDrawGroups();
    if (fSpecs->fWallStyles.Count() > 0) tileStage(TileStage::kWallStyleTags, "wall style");
  }
  // -sounds: the writable check comes before the old sounds are removed, so a read-only
  // file loses nothing.
  if (fMakeSounds) WriteSoundsStage(*fSpecs, file.get());
  if (fMakeSlots) WriteSlotsStage(*fSpecs, file.get());
  if (fMakeHeadline) {
    WriteHeadlineStage(*fSpecs, file.get(), fHeadlinePaletteFile, fHeadlineTgaFile);
  }
  if (fMakeAttributes) WriteAttributesStage(*fSpecs, file.get());
  if (fMakeSkills) WriteSkillsStage(*fSpecs, file.get());
  if (fPrintDrawGroups) fSpecs->PrintDrawGroups(stdout);
  if (fMakeCatalog) WriteCatalogStage(*fSpecs, file.get(), fCatalogDir);
  if (fMakeTreeTables) WriteTreeTableStage(*fSpecs);
  if (fMakeBitmaps) WriteBitmapStage(*fSpecs, file.get(), fBitmapDir);

  // 22. Close: the object file writes what is pending; the tags go with it.
  CloseObjectFile(file);
}
