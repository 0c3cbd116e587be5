#include "TagKeys.h"

#include <cstdio>
#include <cstring>

#include "GenericSpec.h"
#include "ObjectBuilder.h"

namespace {

struct TagKeys {
  const char* tag;
  const char* const* keys;  // ends with nullptr
};

const char* const kSpriteKeys[] = {
    "id",      "name",   "language", "tgafile", "bmpfile",  "mask",    "position", "frames",
    "columns", "shrink", "reverse",  "paletteid", "symmetry", "pairing", "rotation", nullptr};
const char* const kSizesKeys[] = {
    "slopwidth", "uniform slopwidth", "border",  "lwidth",   "lheight",  "lxorigin",
    "lyorigin",  "mwidth",            "mheight", "mxorigin", "myorigin", "swidth",
    "sheight",   "sxorigin",          "syorigin", nullptr};
const char* const kCommonKeys[] = {"id", "name", "language", nullptr};
const char* const kDrawGroupKeys[] = {"id", "name", "language", "ordering", nullptr};
const char* const kItemKeys[] = {"id", "alt", "x", "y", "direction offset", "luminous", nullptr};
const char* const kWallStyleKeys[] = {"id",      "name",           "language",
                                      "tgafile", "cutaway tgafile", "global", nullptr};
const char* const kCatalogKeys[] = {
    "guid", "id", "bmpfile", "thumbnail", "popup bmpfile", "popup id", "cost",
    "initial depreciation", "daily depreciation", "standard depreciation",
    "depreciation limit", "room sort", "function sort", "hunger", "comfort", "hygiene",
    "bladder", "energy", "fun", "room", "cook", "mechanical", "logic", "body", "creativity",
    "charisma", "study", nullptr};
const char* const kTreeTableKeys[] = {"guid", "name", nullptr};
const char* const kInteractionKeys[] = {"index", "name", nullptr};
const char* const kBitmapKeys[] = {"id", "name", "language", "filename", nullptr};
const char* const kTargetKeys[] = {"guid", "object", nullptr};
const char* const kSlotKeys[] = {
    "name", "x", "y", "alt", "type", "maximum size", "surface", "height", "standing",
    "sitting", "ground", "target", "min", "max", "optimal", "gradient", "resolution",
    "north", "northeast", "east", "southeast", "south", "southwest", "west", "northwest",
    "no rotation snap", "absolute", "ignore rooms", "snap to direction", "random",
    "alt not required", "average object location", "facing not required",
    "opposite facing", nullptr};
const char* const kAttributeKeys[] = {"index", "label", nullptr};
const char* const kSkillTableKeys[] = {"id", "name", nullptr};
const char* const kSkillKeys[] = {"index", "name", "type", nullptr};

const TagKeys kTags[] = {
    {"sprite", kSpriteKeys},         {"headline", kSpriteKeys},
    {"sizes", kSizesKeys},           {"drawgroup", kDrawGroupKeys},
    {"item", kItemKeys},             {"wall style", kWallStyleKeys},
    {"catalog", kCatalogKeys},       {"ttab", kTreeTableKeys},
    {"interaction", kInteractionKeys}, {"bmpfile", kBitmapKeys},
    {"target", kTargetKeys},         {"sound", kCommonKeys},
    {"slots", kCommonKeys},          {"slot", kSlotKeys},
    {"attributes", kCommonKeys},     {"attribute", kAttributeKeys},
    {"skill table", kSkillTableKeys}, {"skill", kSkillKeys},
};

bool Listed(const char* const* keys, const char* key) {
  for (; *keys != nullptr; keys++) {
    if (std::strcmp(*keys, key) == 0) return true;
  }
  return false;
}

}  // namespace

void WarnUnknownKeys(AttribTable& tag) {
  const char* name = TagName(tag);
  const char* const* keys = nullptr;
  for (const TagKeys& known : kTags) {
    if (std::strcmp(known.tag, name) == 0) keys = known.keys;
  }
  if (keys == nullptr) return;
  const int32_t first = std::strcmp(name, "item") == 0 ? 2 : 1;
  for (int32_t index = first; index < tag.EntryCount(); index++) {
    AttribEntry* entry = tag.GetEntry(index);
    if (Listed(keys, entry->fName.c_str())) continue;
    char message[512];
    std::snprintf(message, sizeof message, "unknown key \"%.128s\" in tag \"%.64s\"",
                  entry->fName.c_str(), name);
    PrintWarning(message, entry);
  }
}
