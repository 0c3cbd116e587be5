#include "TileStageHooks.h"

namespace {

TileStageProc gTileStages[static_cast<int>(TileStage::kCount)] = {};

bool Valid(TileStage stage) { return static_cast<int>(stage) < static_cast<int>(TileStage::kCount); }

}  // namespace

TileStageProc SetTileStage(TileStage stage, TileStageProc proc) {
  if (!Valid(stage)) return nullptr;
  TileStageProc previous = gTileStages[static_cast<int>(stage)];
  gTileStages[static_cast<int>(stage)] = proc;
  return previous;
}

TileStageProc GetTileStage(TileStage stage) {
  return Valid(stage) ? gTileStages[static_cast<int>(stage)] : nullptr;
}
