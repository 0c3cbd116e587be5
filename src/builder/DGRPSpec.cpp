#include "DGRPSpec.h"

#include <cstring>

#include "ObjectBuilder.h"

DGRPSpec::~DGRPSpec() { DeleteAll(fEmbedded); }

void DGRPSpec::Parse(AttribTable& tag, iResFile* file) {
  ParseCommonAttrs(*this, tag);
  fFile = file;
  fOrdering = kOrderingFixed;
  if (AttribEntry* ordering = tag.FindEntry("ordering")) {
    const char* text = EntryValue(ordering);
    if (std::strcmp(text, "fixed") == 0) {
      fOrdering = kOrderingFixed;
    } else if (std::strcmp(text, "obscured") == 0) {
      fOrdering = kOrderingObscured;
    } else {
      ThrowError("unknown ordering", ordering);
    }
  }
}

void DGRPSpec::ParseItem(AttribTable& tag, SpecSet& /*set*/) {
  ThrowError("draw group items are not built yet", TagPlace(tag));
}

DGRPEmbedded* DGRPSpec::FindEmbedded(const SpriteSpec* sprite) const {
  for (PtrListIterator<DGRPEmbedded> it(fEmbedded); it.Current(); it.Next()) {
    if (it.Current()->fSprite == sprite) return it.Current();
  }
  return nullptr;
}

void DGRPSpec::AddEmbedded(int32_t directionOffset, SpriteSpec* sprite) {
  DGRPEmbedded* pair = new DGRPEmbedded;
  pair->fDirectionOffset = directionOffset;
  pair->fSprite = sprite;
  fEmbedded.Append(pair);
}

void DGRPSpec::CompletePairGroup(const PtrList<SpriteSpec>& /*group*/) {
  ThrowError("draw-group pair groups are not built yet");
}
