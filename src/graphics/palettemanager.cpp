#include "palettemanager.h"

#include "XAssert.h"
#include "palwrap.h"

PaletteRef::PaletteRef() : mID(kNoPaletteRefId), mPalette(nullptr) {}

PaletteRef::PaletteRef(int32_t id, PalWrap* palette) : mID(id), mPalette(nullptr) { Take(palette); }

PaletteRef::PaletteRef(const PaletteRef& in) : mID(in.mID), mPalette(nullptr) { Take(in.mPalette); }

PaletteRef& PaletteRef::operator=(const PaletteRef& in) {
  if (&in == this) return *this;
  PalWrap* palette = in.mPalette;
  if (palette) palette->AddRef();  // before dropping ours: it may be the same palette
  Drop();
  mID = in.mID;
  mPalette = palette;
  return *this;
}

PaletteRef::~PaletteRef() { Drop(); }

bool PaletteRef::operator==(const PaletteRef& in) const {
  if (mID != in.mID) return false;
  XASSERT(mPalette == in.mPalette || in.mPalette == 0, "same id, different palettes");
  return true;
}

void PaletteRef::Take(PalWrap* palette) {
  mPalette = palette;
  if (mPalette) mPalette->AddRef();
}

void PaletteRef::Drop() {
  if (mPalette && mPalette->Release() == 0) delete mPalette;
  mPalette = nullptr;
}

void PaletteManager::Add(PalWrap* inPal, int32_t id) {
  XASSERT(mPalettes.size() != mPalettes.max_size(), "palette list full!");
  XASSERT(inPal != 0, "inPal is NULL");
  if (inPal == nullptr || mPalettes.size() == mPalettes.max_size()) return;
  mPalettes.push_back(PaletteRef(id, inPal));
}

PalWrap* PaletteManager::Find(int32_t id) const {
  PaletteRef key(id, nullptr);
  (void)key;
  return nullptr;
}
