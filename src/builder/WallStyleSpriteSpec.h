// One "wall style" tag: the images from which the wall-style sprites are made.
#pragma once

#include <cstdint>

#include "GenericSpec.h"

class WallStyleSpriteSpec : public GenericSpec {
 public:
  // ParseCommonAttrs; "tgafile" required and not empty ("wall style tag requires tgafile
  // attribute" at the tag); "cutaway tgafile" (empty when absent); "global" (boolean, 0).
  void Parse(AttribTable& tag);

  FixedStringBuffer<260> fTgaFile;
  FixedStringBuffer<260> fCutawayTgaFile;
  uint16_t fGlobal = 0;
};
