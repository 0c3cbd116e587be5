// Tree-table specs: the "ttab" tag names an object whose tree table is loaded, renamed by the
// "interaction" tags and saved with every interaction the object-make file leaves out marked
// as debug.

#include <algorithm>
#include <cstdio>
#include <string>

#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "StageSpecs.h"
#include "TreeTable.h"
#include "resfile.h"

namespace {

// The definition word that holds the object's tree-table id.
constexpr int32_t kWordTreeTableId = 7;
// Motive effects per interaction in every table the builder makes.
constexpr int32_t kTreeTableAds = 16;

}  // namespace

TreeTableSpec::TreeTableSpec() = default;
TreeTableSpec::~TreeTableSpec() = default;

void TreeTableSpec::Parse(AttribTable& tag, SpecSet& specs) {
  if (tag.FindEntry("guid") == nullptr) ThrowError("guid required for tree table", TagPlace(tag));
  fTarget = specs.GetTargetForTag(tag);
  if (fTarget == nullptr) {
    ThrowError("could not resolve target for tree table tag", TagPlace(tag));
  }
  fTable = std::make_unique<TreeTable>(kTreeTableAds);
  fFile = fTarget->GetFile();
  ObjDefinition* definition = fTarget->GetDefinition();
  fTableId = definition ? int16_t(definition->fWords[kWordTreeTableId]) : 0;
  const int32_t loaded = fTable->Load(fFile, fTableId);
  if (loaded != 0) {
    PrintWarning("Could not load existing tree table", TagPlace(tag));
    // A table that is not there is made new; one that is there but does not read (damaged,
    // or of a later version) must not be saved over: the author's interactions would go.
    const bool missing = loaded == -1 || (loaded == -99 && fFile->GetError() == noSuchResourceErr);
    fUnreadable = !missing;
  }
  AttribEntry* name = tag.FindEntry("name");
  fName.assign(name ? EntryValue(name) : "");
}

void TreeTableSpec::ParseInteraction(AttribTable& tag) {
  int32_t index = 0;
  if (!GetRangedAttr(tag, "index", kInt32Range, index)) {
    ThrowError("index required for tree table interaction", TagPlace(tag));
  }
  fInteractions.push_back(index);
  AttribEntry* name = tag.FindEntry("name");
  if (name == nullptr) ThrowError("name required for tree table interactions", TagPlace(tag));
  TreeTableEntry* entry = fTable ? fTable->FindEntryByIndex(index) : nullptr;
  if (entry == nullptr) {
    char message[128];
    std::snprintf(message, sizeof message, "interaction #%d not found in existing tree table",
                  int(index));
    PrintWarning(message, TagPlace(tag));
    return;
  }
  entry->fName = EntryValue(name);
}

void TreeTableSpec::Save() {
  if (fUnreadable) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "existing tree table %d could not be read; it is left as it was", int(fTableId));
    ThrowError(message);
  }
  if (!fTable || fTable->Save(fFile, fTableId, fName.c_str()) != 0) {
    ThrowError("couldn't save tree table");
  }
  StringSet strings;
  strings.Init(fFile, uint16_t(fTableId), kTreeTableStringsType, 0, 0);
  if (strings.Read(0, 1) != 0) {
    ThrowError("couldn't load tree table strings after saving tree table");
  }
  for (int32_t i = 0; i < fTable->EntryCount(); i++) {
    const TreeTableEntry* entry = fTable->GetEntry(i);
    if (entry == nullptr) continue;
    const int32_t n = entry->GetIndex();
    const char* stored = strings.GetComment(n + 1);
    std::string comment = stored ? stored : "";
    if (std::find(fInteractions.begin(), fInteractions.end(), n) != fInteractions.end()) {
      comment.erase(0, comment.find_first_not_of('!') == std::string::npos
                           ? comment.size()
                           : comment.find_first_not_of('!'));
    } else {
      char message[512];
      std::snprintf(message, sizeof message,
                    "Interaction \"%s\", #%d not found in OMK, marking menu text as debug",
                    entry->fName.GetBuffer(), int(n));
      PrintWarning(message);
      if (comment.empty() || comment[0] != '!') comment.insert(comment.begin(), '!');
    }
    strings.SetComment(n + 1, comment.c_str());
  }
  if (strings.Write() != 0) ThrowError("couldn't save strings after saving tree table");
}
