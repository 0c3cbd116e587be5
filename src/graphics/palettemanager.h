// Palettes by id: PaletteRef holds a counted reference to a palette (the last release deletes
// it), and PaletteManager keeps a list of references. Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

class PalWrap;

constexpr int32_t kNoPaletteRefId = static_cast<int32_t>(0x80000000u);

class PaletteRef {
 public:
  PaletteRef();
  PaletteRef(int32_t id, PalWrap* palette);  // adds a reference to `palette`
  PaletteRef(const PaletteRef& in);
  PaletteRef& operator=(const PaletteRef& in);
  ~PaletteRef();  // releases; the last release deletes the palette

  // Equal ids; reports "same id, different palettes" when the other's palette differs.
  bool operator==(const PaletteRef& in) const;
  bool operator<(const PaletteRef& in) const { return mID < in.mID; }

  int32_t GetID() const { return mID; }
  PalWrap* GetPalette() const { return mPalette; }

 private:
  void Take(PalWrap* palette);
  void Drop();

  int32_t mID;
  PalWrap* mPalette;
};

class PaletteManager {
 public:
  PaletteManager() = default;
  ~PaletteManager() = default;

  void Clear() { mPalettes.clear(); }
  int32_t Count() const { return static_cast<int32_t>(mPalettes.size()); }
  // Appends a reference; reports "palette list full!" or "inPal is NULL" and adds nothing then.
  void Add(PalWrap* inPal, int32_t id);
  // Nothing is looked up: the answer is always null.
  PalWrap* Find(int32_t id) const;

 private:
  std::vector<PaletteRef> mPalettes;
};
