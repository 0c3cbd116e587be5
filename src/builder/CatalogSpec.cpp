// Catalog and bitmap-resource specs, and the bitmap files they store.

#include <cstdio>
#include <cstring>

#include "BuildStages.h"
#include "MHandle.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "SpecSet.h"
#include "StageSpecs.h"
#include "resfile.h"

namespace {

// Words of the object definition that a catalog sets.
enum : int32_t {
  kWordCost = 18,
  kWordInitialDepreciation = 35,
  kWordDailyDepreciation = 36,
  kWordStandardDepreciation = 37,
  kWordDepreciationLimit = 38,
  kWordRoomSort = 39,
  kWordFunctionSort = 40,
  kWordCatalogId = 41,
  kWordPopupId = 54,
  kWordFirstRating = 82,  // hunger .. room: 82 to 88
  kWordSkills = 89,
};

constexpr uint16_t kDefaultCatalogId = 2000;

struct NamedValue {
  const char* name;
  uint16_t value;
};

const NamedValue kRoomSorts[] = {
    {"Kitchen", 1},  {"Bedroom", 2},      {"Bathroom", 4},       {"Family Room", 8},
    {"Outside", 16}, {"Dining Room", 32}, {"Miscellaneous", 64}, {"Study", 128},
    {"", 0}};
const NamedValue kFunctionSorts[] = {
    {"Seating", 1},   {"Surfaces", 2},    {"Appliances", 4}, {"Electronics", 8},
    {"Plumbing", 16}, {"Decorative", 32}, {"General", 64},   {"Lighting", 128},
    {"", 0}};
const char* const kRatings[] = {"hunger", "comfort", "hygiene", "bladder",
                                "energy", "fun",     "room"};
const NamedValue kSkills[] = {{"cook", 1},        {"mechanical", 2}, {"logic", 4},
                              {"body", 8},        {"creativity", 16}, {"charisma", 32},
                              {"study", 64}};

// A sort word from its text: the table's value, or 0 with `warning` for text not in it.
// Absent: `absent`.
template <size_t N>
uint16_t SortWord(AttribTable& tag, const char* key, const NamedValue (&table)[N],
                  const char* warning, uint16_t absent) {
  AttribEntry* entry = tag.FindEntry(key);
  if (entry == nullptr) return absent;
  for (const NamedValue& item : table) {
    if (std::strcmp(EntryValue(entry), item.name) == 0) return item.value;
  }
  PrintWarning(warning, entry);
  return 0;
}

uint16_t ShortOr(AttribTable& tag, const char* key, uint16_t absent) {
  uint16_t value = absent;
  GetShortAttr(tag, key, value);
  return value;
}

}  // namespace

int32_t AddBitmapResource(const StringBuffer& directory, const StringBuffer& fileName,
                          iResFile* file, uint32_t type, uint16_t id, uint8_t language,
                          bool* fileFailed) {
  if (fileFailed != nullptr) *fileFailed = false;
  std::string path = directory.c_str();
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += fileName.c_str();

  PlatformFile* stream = PlatformFileOpen(PlatformResolvePath(path.c_str()).c_str(),
                                          PlatformOpenMode::kReadExisting);
  if (stream == nullptr) {
    PrintWarning("could not open bmpfile");
    PrintWarning(path.c_str());
    return -1;
  }
  const int64_t size = PlatformFileSize(stream);
  if (size < 0 || size > 0x7FFFFFFF) {
    PlatformFileClose(stream);
    PrintWarning("could not read bmp file");
    return -1;
  }
  MHandle* handle = HAlloc(uint32_t(size));
  if (handle == nullptr) {
    PlatformFileClose(stream);
    PrintWarning("could not allocate image handle");
    return MemError() != 0 ? MemError() : outOfMemoryErr;
  }
  const int64_t read = PlatformFileRead(stream, HLock(handle), size);
  HUnlock(handle);
  PlatformFileClose(stream);
  if (read != size) {
    HFree(handle);
    PrintWarning("could not read bmp file");
    return -1;
  }

  FixedStringBuffer<64> name(fileName.c_str());
  file->AddLanguageResource(handle, type, id, name, language, true);
  int32_t error = file->GetError();
  if (error != 0) {
    HFree(handle);  // the file did not take it
    PrintWarning("coult not add bmp resource");
    if (fileFailed != nullptr) *fileFailed = true;
    return error;
  }
  file->WriteResource(handle);
  error = file->GetError();
  if (error == 0) {
    file->DetachAndDispose(handle);
    error = file->GetError();
  }
  if (error != 0) {
    PrintWarning("coult not write bmp resource");
    if (fileFailed != nullptr) *fileFailed = true;
  }
  return error;  // on failure the data stay with the file, pending
}

namespace {

// AddBitmapResource for a stage: a bitmap that cannot be read stays a warning; a bitmap the
// object file did not take or write ends the build.
void SaveBitmapResource(const StringBuffer& directory, const StringBuffer& fileName, iResFile* file,
                        uint32_t type, uint16_t id, uint8_t language) {
  bool fileFailed = false;
  const int32_t error = AddBitmapResource(directory, fileName, file, type, id, language, &fileFailed);
  if (fileFailed) ThrowObjectFileError(error);
}

}  // namespace

// --- CatalogSpec ----------------------------------------------------------------------------

CatalogSpec::~CatalogSpec() = default;

void CatalogSpec::Parse(AttribTable& tag, SpecSet& specs) {
  fWords = std::make_unique<ObjDefinition>();
  fTarget = tag.FindEntry("guid") ? specs.GetTargetForTag(tag) : specs.GetDefaultTarget();
  if (fTarget == nullptr) ThrowError("could not resolve target for catalog tag", TagPlace(tag));
  ObjDefinition empty;
  const ObjDefinition* definition = fTarget->GetDefinition();
  if (definition == nullptr) definition = &empty;
  const uint16_t* target = definition->fWords;
  uint16_t* words = fWords->fWords;

  AttribEntry* thumbnail = tag.FindEntry("bmpfile");
  if (thumbnail == nullptr) thumbnail = tag.FindEntry("thumbnail");
  if (thumbnail == nullptr) {
    ThrowError("bmpfile or thumbnail required for catalog tag", TagPlace(tag));
  }
  fThumbnailFile.assign(EntryValue(thumbnail));
  words[kWordPopupId] = 0;
  fPopupFile.clear();
  if (AttribEntry* popup = tag.FindEntry("popup bmpfile")) {
    fPopupFile.assign(EntryValue(popup));
    // Popup id 0 means no popup: the named file would not be stored.
    int32_t popupId = 0;
    if (!GetRangedAttr(tag, "popup id", IntRange{1, kResourceIdRange.max}, popupId,
                       kShortExpected)) {
      ThrowError("popup id required for catalog with popup bmp file", TagPlace(tag));
    }
    words[kWordPopupId] = uint16_t(popupId);
  }

  int32_t id = target[kWordCatalogId] != 0 ? target[kWordCatalogId] : kDefaultCatalogId;
  GetRangedAttr(tag, "id", kResourceIdRange, id, kShortExpected);
  words[kWordCatalogId] = uint16_t(id);
  fId = id;

  words[kWordCost] = ShortOr(tag, "cost", target[kWordCost]);
  words[kWordInitialDepreciation] =
      ShortOr(tag, "initial depreciation", target[kWordInitialDepreciation]);
  words[kWordDailyDepreciation] = ShortOr(tag, "daily depreciation", target[kWordDailyDepreciation]);
  int32_t standard = 0;
  if (GetIntAttr(tag, "standard depreciation", standard)) {
    words[kWordStandardDepreciation] = standard == 0 ? 1 : 0;
  } else {
    words[kWordStandardDepreciation] = int16_t(target[kWordStandardDepreciation]) > 0 ? 1 : 0;
  }
  words[kWordDepreciationLimit] = ShortOr(tag, "depreciation limit", target[kWordDepreciationLimit]);
  words[kWordRoomSort] =
      SortWord(tag, "room sort", kRoomSorts, "no valid room sort value", target[kWordRoomSort]);
  words[kWordFunctionSort] = SortWord(tag, "function sort", kFunctionSorts,
                                      "no valid function sort value", target[kWordFunctionSort]);
  for (int32_t k = 0; k < 7; k++) {
    int32_t rating = 0;
    GetIntAttr(tag, kRatings[k], rating);
    words[kWordFirstRating + k] = uint16_t(rating);
  }
  uint16_t skills = 0;
  for (const NamedValue& skill : kSkills) {
    uint16_t on = 0;
    if (GetBoolAttr(tag, skill.name, on) && on) skills |= skill.value;
  }
  words[kWordSkills] = skills;
}

void CatalogSpec::Save(const StringBuffer& bitmapDir, iResFile* /*file*/) {
  if (fTarget == nullptr || !fWords) return;
  iResFile* file = fTarget->GetFile();
  const uint16_t* words = fWords->fWords;
  SaveBitmapResource(bitmapDir, fThumbnailFile, file, kBitmapResourceType, uint16_t(fId), 0);
  if (words[kWordPopupId] != 0) {
    SaveBitmapResource(bitmapDir, fPopupFile, file, kBitmapResourceType, words[kWordPopupId], 0);
  }
  ObjDefinition* definition = fTarget->GetDefinition();
  if (definition == nullptr) ThrowError("no definition to save");
  definition->fWords[kWordCatalogId] = uint16_t(fId);
  definition->fWords[kWordPopupId] = words[kWordPopupId];
  definition->fWords[kWordCost] = words[kWordCost];
  for (int32_t w = kWordInitialDepreciation; w <= kWordFunctionSort; w++) {
    definition->fWords[w] = words[w];
  }
  for (int32_t w = kWordFirstRating; w <= kWordSkills; w++) definition->fWords[w] = words[w];
  fTarget->SaveDefinition();
}

// --- BMPResourceSpec ------------------------------------------------------------------------

void BMPResourceSpec::Parse(AttribTable& tag) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  GetRangedAttr(tag, "language", kLanguageRange, fLanguage);
  AttribEntry* name = tag.FindEntry("filename");
  if (name == nullptr) ThrowError("filename required for bmpfile tag", TagPlace(tag));
  fFileName.assign(EntryValue(name));
}

void BMPResourceSpec::Save(const StringBuffer& bitmapDir, iResFile* file) {
  SaveBitmapResource(bitmapDir, fFileName, file, kBitmapResourceType, uint16_t(fId),
                     uint8_t(fLanguage));
}
