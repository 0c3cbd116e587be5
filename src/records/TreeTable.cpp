#include "TreeTable.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "MHandle.h"
#include "Recon.h"
#include "XAssert.h"
#include "resfile.h"
#include "strset.h"

namespace {

// Resource type of behaviour trees, whose names stand in for missing menu texts.
constexpr uint32_t kBehaviourType = 0x42484156;  // 'BHAV'

// Menu texts live at string index + 1 of 'TTAs'; an index beyond what a string set can hold
// (only corrupt data carry one) gets no text rather than a set padded without end.
constexpr int32_t kMaxStringIndex = 0x7FFF;

}  // namespace

// --- TreeTableEntry -------------------------------------------------------------------------

TreeTableEntry::TreeTableEntry(int32_t motiveCount)
    : fEffects(size_t(motiveCount > 0 ? motiveCount : 0)) {}

TreeTableEntry& TreeTableEntry::operator=(const TreeTableEntry& other) {
  if (this == &other) return *this;
  fSecondTree = other.fSecondTree;
  fActionTree = other.fActionTree;
  const size_t n = std::min(fEffects.size(), other.fEffects.size());
  for (size_t k = 0; k < n; k++) fEffects[k] = other.fEffects[k];
  fFlags = other.fFlags;
  fAttenuationCode = other.fAttenuationCode;
  fAttenuationValue = other.fAttenuationValue;
  fIndex = other.fIndex;
  fValueD = other.fValueD;
  fName = other.fName;
  return *this;
}

void TreeTableEntry::SetCustomAttenuation(float value) {
  fAttenuationCode = 0;
  fAttenuationValue = value;
}

float TreeTableEntry::GetAttenuation(bool /*alternate*/) const {
  switch (fAttenuationCode) {
    case 0: return fAttenuationValue;
    case 1: return 0.0f;
    case 2: return 0.002f;
    case 3: return 0.02f;
    case 4: return 0.1f;
    default:
      XASSERT(false, "bad attenuation");
      return 0.02f;
  }
}

void TreeTableEntry::SetMotiveEffect(int32_t k, int16_t value) {
  if (k < 0 || k >= MotiveCount()) return;
  MotiveEffect& effect = fEffects[size_t(k)];
  effect.third = uint16_t(int32_t(value) - int16_t(effect.second));
}

void TreeTableEntry::Reconstitute(ReconStream& stream, int32_t version) {
  if (version >= 6) {
    stream.ReconInt16(&fActionTree);
    stream.ReconInt16(&fSecondTree);
    int32_t count = MotiveCount();
    stream.ReconInt32(&count);
    if (stream.IsReading()) {
      // Each effect takes three values; the array is sized to what was stored.
      if (!stream.CountFits(count, 3)) return;
      fEffects.assign(size_t(count), MotiveEffect());
    }
    stream.ReconInt32(&fFlags);
    stream.ReconInt32(&fIndex);
    stream.ReconInt32(&fAttenuationCode);
    stream.ReconFloat(&fAttenuationValue);
    stream.ReconInt32(&fValueC);
    stream.ReconInt32(&fValueD);
    for (MotiveEffect& effect : fEffects) {
      if (stream.Failed()) return;
      stream.ReconInt16(&effect.second);
      stream.ReconInt16(&effect.third);
      stream.ReconInt16(&effect.first);
    }
    if (version == 7) {
      std::string name = fName.str();
      stream.ReconString(name);
      if (stream.IsReading()) fName = name;
    }
    return;
  }

  // Versions 0 to 5 are only read.
  if (!stream.IsReading()) return;
  int16_t value = 0;
  stream.ReconInt16(&value);
  fActionTree = uint16_t(value);
  if (version >= 1) {
    stream.ReconInt16(&value);
    fSecondTree = uint16_t(value);
  }
  int16_t n = 0;
  stream.ReconInt16(&n);
  if (version <= 1) {
    if (!stream.CountFits(n, 4)) return;
    for (int32_t i = 0; i < n && !stream.Failed(); i++) {
      int16_t motive = 0;
      int16_t amount = 0;
      stream.ReconInt16(&motive);
      stream.ReconInt16(&amount);
      if (!stream.Failed()) SetMotiveEffect(motive, amount);
    }
    return;
  }
  if (version == 3) {
    stream.ReconInt16(&value);
    fFlags = value;
  } else if (version >= 4) {
    stream.ReconInt32(&fFlags);
    stream.ReconInt32(&fIndex);
  }
  float custom = 0;
  stream.ReconFloat(&custom);
  SetCustomAttenuation(custom);
  if (version == 2) {
    int16_t unused = 0;
    stream.ReconInt16(&unused);
  }
  if (version >= 4) stream.ReconInt32(&fValueC);
  if (version == 5) stream.ReconInt32(&fValueD);
  if (!stream.CountFits(n, 2)) return;
  for (int32_t k = 0; k < n && !stream.Failed(); k++) {
    int16_t amount = 0;
    stream.ReconInt16(&amount);
    if (!stream.Failed()) SetMotiveEffect(k, amount);
  }
}

// --- TreeTable ------------------------------------------------------------------------------

TreeTable::TreeTable(int32_t motiveCount) : fNumAds(motiveCount) {
  XASSERT(fNumAds >= 0, "bad # ads");
  if (fNumAds < 0) fNumAds = 0;
}

TreeTable::~TreeTable() = default;

void TreeTable::DeleteEntries() {
  fEntries.clear();
  fNumEntries = 0;
}

TreeTableEntry* TreeTable::GetEntry(int32_t i) const {
  if (i < 0 || i >= int32_t(fEntries.size())) return nullptr;
  return fEntries[size_t(i)].get();
}

TreeTableEntry* TreeTable::FindEntryByIndex(int32_t index) const {
  for (const auto& entry : fEntries) {
    if (entry && entry->fIndex == index) return entry.get();
  }
  return nullptr;
}

TreeTableEntry* TreeTable::FindEntry(int16_t secondTree, int16_t actionTree) const {
  for (const auto& entry : fEntries) {
    if (entry && entry->fSecondTree == uint16_t(secondTree) &&
        entry->fActionTree == uint16_t(actionTree)) {
      return entry.get();
    }
  }
  return nullptr;
}

bool TreeTable::AddEntry(uint16_t secondTree, uint16_t actionTree) {
  if (FindEntry(int16_t(secondTree), int16_t(actionTree)) != nullptr) {
    XASSERT(false, "adding existent tree to table");
    return false;
  }
  int32_t index = 0;
  bool any = false;
  for (const auto& entry : fEntries) {
    if (!entry) continue;
    if (!any || entry->fIndex + 1 > index) index = entry->fIndex + 1;
    any = true;
  }
  auto entry = std::make_unique<TreeTableEntry>(fNumAds);
  entry->fSecondTree = secondTree;
  entry->fActionTree = actionTree;
  entry->fIndex = index;
  fEntries.push_back(std::move(entry));
  fNumEntries = int32_t(fEntries.size());
  return true;
}

bool TreeTable::RemoveEntry(TreeTableEntry* entry) {
  for (auto it = fEntries.begin(); it != fEntries.end(); ++it) {
    if (it->get() == entry) {
      it->release();
      fEntries.erase(it);
      fNumEntries = int32_t(fEntries.size());
      return true;
    }
  }
  return false;
}

void TreeTable::Reconstitute(ReconStream& stream, iResFile* file, uint16_t id) {
  XASSERT(fNumEntries >= 0, "bad # entries");
  uint16_t count = uint16_t(fEntries.size());
  uint16_t version = kTreeTableVersion;
  stream.ReconInt16(&count);
  stream.ReconInt16(&version);
  if (stream.Failed()) return;
  if (stream.IsReading()) {
    fLoadedVersion = version;
    // A later version's layout is unknown: reading it as ours would make up entries.
    if (version > kTreeTableVersion) {
      DeleteEntries();
      return;
    }
  }
  if (version >= 9) {
    bool packed = true;
    stream.ReconBool(&packed);
    if (packed) stream.SetCompressed();
  }
  if (stream.IsReading()) {
    DeleteEntries();
    if (version == 7) stream.UseStringTable(file, kTreeTableStringsType, id);
    if (!stream.CountFits(count, 1)) return;
    fEntries.reserve(count);
    for (int32_t i = 0; i < count && !stream.Failed(); i++) {
      fEntries.push_back(std::make_unique<TreeTableEntry>(fNumAds));
      fEntries.back()->Reconstitute(stream, version);
      if (version <= 3) fEntries.back()->fIndex = i;
    }
    if (stream.Failed()) {
      DeleteEntries();
      return;
    }
    fNumEntries = count;
    return;
  }
  for (auto& entry : fEntries) entry->Reconstitute(stream, version);
}

int32_t TreeTable::Load(iResFile* file, int16_t id) {
  if (file == nullptr || !file->ValidFile() || id == 0) return -1;
  DeleteEntries();
  MHandle* handle = file->GetResource(kTreeTableType, uint16_t(id), nullptr);
  if (handle == nullptr) {
    XASSERT(file->GetError(), "NULL handle, no error");
    return -99;
  }
  fFile = file;
  fId = id;
  bool failed = false;
  {
    ReconStream stream(HLock(handle), HGetSize(handle), ReconStream::kReading, false);
    Reconstitute(stream, file, uint16_t(id));
    failed = stream.Failed();
  }
  HUnlock(handle);
  const int32_t storedBytes = HGetSize(handle);
  FixedStringBuffer<64> name;
  file->GetResName(handle, name);
  file->DetachAndDispose(handle);
  if (failed) {
    DeleteEntries();
    return shortReadErr;
  }
  if (fLoadedVersion > kTreeTableVersion) return unsupportedErr;

  StringSet strings;
  strings.Init(file, uint16_t(id), kTreeTableStringsType, 0, kLanguageEnglish);
  const bool haveStrings = strings.Read(0, 1) == 0;
  if (!IndexesFit(haveStrings ? strings.Count() : 0, storedBytes)) {
    DeleteEntries();
    return shortReadErr;
  }

  if (fLoadedVersion < 8) {
    XASSERT(false, "old tree table found");
    if (file->IsWritable()) Resave(name.c_str());
    return 0;
  }

  if (!haveStrings) return 0;
  for (auto& entry : fEntries) {
    const char* text = entry->fIndex >= 0 && entry->fIndex < kMaxStringIndex
                           ? strings.GetString(entry->fIndex + 1)
                           : nullptr;
    if (text != nullptr && text[0] != 0) {
      entry->fName = text;
      continue;
    }
    FixedStringBuffer<64> treeName;
    MHandle* tree = file->GetResource(kBehaviourType, entry->fActionTree, nullptr);
    if (tree != nullptr) file->GetResName(tree, treeName);
    if (treeName.length() > 0) {
      entry->fName = treeName.c_str();
    } else {
      char fallback[16];
      std::snprintf(fallback, sizeof fallback, "?%d", int(int16_t(entry->fActionTree)));
      entry->fName = fallback;
    }
  }
  return 0;
}

bool TreeTable::IndexesFit(int32_t storedStrings, int32_t storedBytes) const {
  const int64_t limit = int64_t(storedStrings) + int64_t(storedBytes);
  for (const auto& entry : fEntries) {
    if (entry->fIndex >= limit) return false;
  }
  return true;
}

int32_t TreeTable::Save(iResFile* file, int16_t id, const char* name) {
  XASSERT(id > 0, "no more defaults for tree tables");
  if (id < 1) return -1;
  if (file == nullptr || !file->ValidFile()) {
    XASSERT(false, "invalid information for saving");
    return -1;
  }

  int32_t size = 0;
  {
    ReconStream measure;
    Reconstitute(measure, file, uint16_t(id));
    size = measure.GetPosition();
  }
  MHandle* handle = HAlloc(uint32_t(size));
  if (handle == nullptr) return outOfMemoryErr;
  bool failed = false;
  {
    ReconStream stream(HLock(handle), size, ReconStream::kWriting, false);
    Reconstitute(stream, file, uint16_t(id));
    failed = stream.Failed();
  }
  HUnlock(handle);
  if (failed) {
    HFree(handle);
    return shortWriteErr;
  }
  fFile = file;
  fId = id;
  FixedStringBuffer<64> resName(name ? name : "");
  file->AddResource(handle, kTreeTableType, uint16_t(id), resName, true);
  int32_t error = file->GetError();
  if (error != 0) {
    HFree(handle);  // the file did not take it
    return error;
  }
  file->DetachAndDispose(handle);
  error = file->GetError();
  if (error != 0) return error;  // the write failed; the file keeps the data, pending

  StringSet strings;
  strings.Init(file, uint16_t(id), kTreeTableStringsType, 0, kLanguageEnglish);
  strings.Read(0, 1);
  for (auto& entry : fEntries) {
    const int32_t i = entry->fIndex;
    if (i < 0 || i >= kMaxStringIndex) continue;
    while (strings.Count() < i) strings.SetString(uint32_t(strings.Count() + 1), "");
    strings.SetString(uint32_t(i + 1), entry->fName.GetBuffer());
    const char* stored = strings.GetComment(i + 1);
    std::string comment = stored ? stored : "";
    const bool debug = (entry->fFlags & kTreeTableDebugFlag) != 0;
    const bool marked = !comment.empty() && comment[0] == '!';
    if (!marked && debug) {
      strings.SetComment(i + 1, "!");
    } else if (marked && !debug) {
      comment.erase(0, 1);
      strings.SetComment(i + 1, comment.empty() ? " " : comment.c_str());
    }
  }
  if (strings.Write() != 0) {
    XASSERT(false, "saving tree table succeeded but saving strings failed");
  }
  return 0;
}

int32_t TreeTable::Resave(const char* name) {
  if (fFile == nullptr) {
    XASSERT(false, "NULL file, not previously loaded.");
    return -1;
  }
  return Save(fFile, fId, name);
}

void SwizzleTreeTable(void* /*data*/, int32_t /*size*/) {
  XASSERT(false, "big endian tree table found");
}
