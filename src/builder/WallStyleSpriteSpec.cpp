#include "WallStyleSpriteSpec.h"

#include "ObjectBuilder.h"

void WallStyleSpriteSpec::Parse(AttribTable& tag) {
  // The style's six sprites take the ids id to id + 5.
  ParseCommonAttrs(*this, tag, IntRange{0, kResourceIdRange.max - 5});
  AttribEntry* tga = tag.FindEntry("tgafile");
  if (tga == nullptr || EntryValue(tga)[0] == '\0') {
    ThrowError("wall style tag requires tgafile attribute", TagPlace(tag));
  }
  fTgaFile.assign(EntryValue(tga));
  AttribEntry* cutaway = tag.FindEntry("cutaway tgafile");
  fCutawayTgaFile.assign(cutaway ? EntryValue(cutaway) : "");
  fGlobal = 0;
  GetBoolAttr(tag, "global", fGlobal);
}
