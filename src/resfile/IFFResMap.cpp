#include "IFFResMap.h"

#include <algorithm>

#include "Recon.h"
#include "XAssert.h"

IFFResEntry::IFFResEntry(const IFFResEntry& other)
    : fFileoffset(other.fFileoffset),
      fID(other.fID),
      fFlags(other.fFlags),
      fStoredFlags(other.fStoredFlags),
      fHandle(nullptr),
      fReplacedOffset(other.fReplacedOffset) {
  fName.assign(other.fName);
}

IFFResMap::IFFResMap(const IFFResMap& other) : fWasted(other.fWasted) {
  for (const auto& node : other.fNodes) {
    auto copy = std::make_unique<IFFTypeNode>();
    copy->fType = node->fType;
    copy->fSwizzle = node->fSwizzle;
    for (const auto& entry : node->fEntries) {
      auto made = std::make_unique<IFFResEntry>(*entry);
      made->fNode = copy.get();
      made->fOrder = fNextOrder++;
      copy->fEntries.push_back(std::move(made));
    }
    fNodes.push_back(std::move(copy));
  }
}

IFFTypeNode* IFFResMap::FindNode(uint32_t type, bool create) {
  for (auto& node : fNodes)
    if (node->fType == type) return node.get();
  if (!create) return nullptr;
  auto node = std::make_unique<IFFTypeNode>();
  node->fType = type;
  fNodes.push_back(std::move(node));
  return fNodes.back().get();
}

IFFResEntry* IFFResMap::NewEntry(IFFTypeNode& node) {
  node.fEntries.push_back(std::make_unique<IFFResEntry>());
  IFFResEntry* entry = node.fEntries.back().get();
  entry->fNode = &node;
  entry->fOrder = fNextOrder++;
  if (node.fIndexed) node.fByID[entry->ID16()].push_back(entry);
  return entry;
}

namespace {

void RemoveFromIDList(IFFTypeNode& node, IFFResEntry& entry) {
  if (!node.fIndexed) return;
  auto bucket = node.fByID.find(entry.ID16());
  if (bucket == node.fByID.end()) return;
  auto& list = bucket->second;
  list.erase(std::remove(list.begin(), list.end(), &entry), list.end());
  if (list.empty()) node.fByID.erase(bucket);
}

}  // namespace

void IFFResMap::Unindex(IFFTypeNode& node, IFFResEntry& entry) {
  RemoveFromIDList(node, entry);
  if (entry.fHandle != nullptr) {
    auto held = fByHandle.find(entry.fHandle);
    if (held != fByHandle.end() && held->second == &entry) fByHandle.erase(held);
  }
}

IFFResEntry* IFFResMap::AddEntry(uint32_t type) { return NewEntry(*FindNode(type, true)); }

void IFFResMap::SetID(IFFResEntry& entry, int32_t id) {
  IFFTypeNode* node = entry.fNode;
  XASSERT(node != nullptr, "entry in no node");
  if (node != nullptr && node->fIndexed && int16_t(id) != entry.ID16()) {
    RemoveFromIDList(*node, entry);
    node->fByID[int16_t(id)].push_back(&entry);
  }
  entry.fID = id;
}

void IFFResMap::SetHandle(IFFResEntry& entry, MHandle* handle) {
  if (entry.fHandle == handle) return;
  if (entry.fHandle != nullptr) {
    auto held = fByHandle.find(entry.fHandle);
    if (held != fByHandle.end() && held->second == &entry) fByHandle.erase(held);
  }
  entry.fHandle = handle;
  // The first entry to take a handle keeps answering for it, as a walk in entry order would.
  if (handle != nullptr) fByHandle.emplace(handle, &entry);
}

namespace {

IFFTypeNode* NodeForLookup(IFFResMap& map, uint32_t type, SwizzleProc swizzle) {
  IFFTypeNode* node = map.FindNode(type, false);
  if (node != nullptr && swizzle != nullptr) node->fSwizzle = swizzle;
  return node;
}

IFFResEntry* FirstWithLanguage(IFFTypeNode* node, int32_t id, uint8_t language) {
  if (node == nullptr) return nullptr;
  if (!node->fIndexed) {
    for (auto& entry : node->fEntries) node->fByID[entry->ID16()].push_back(entry.get());
    node->fIndexed = true;
  }
  auto bucket = node->fByID.find(int16_t(id));
  if (bucket == node->fByID.end()) return nullptr;
  IFFResEntry* first = nullptr;
  for (IFFResEntry* entry : bucket->second)
    if (entry->Language() == language && (first == nullptr || entry->fOrder < first->fOrder)) first = entry;
  return first;
}

}  // namespace

IFFResEntry* IFFResMap::FindEntry(uint32_t type, int32_t id, SwizzleProc swizzle) {
  return FirstWithLanguage(NodeForLookup(*this, type, swizzle), id, 0);
}

IFFResEntry* IFFResMap::FindEntry(uint32_t type, int32_t id, uint8_t language,
                                  SwizzleProc swizzle) {
  IFFTypeNode* node = NodeForLookup(*this, type, swizzle);
  IFFResEntry* entry = nullptr;
  if (language != 0) entry = FirstWithLanguage(node, id, language);
  if (entry == nullptr) entry = FirstWithLanguage(node, id, 0);
  return entry;
}

IFFResEntry* IFFResMap::FindEntryExact(uint32_t type, int32_t id, uint8_t language) {
  return FirstWithLanguage(FindNode(type, false), id, language);
}

IFFResEntry* IFFResMap::FindEntryByName(uint32_t type, const StringBuffer& name,
                                        SwizzleProc swizzle) {
  IFFTypeNode* node = NodeForLookup(*this, type, swizzle);
  if (node == nullptr) return nullptr;
  for (auto& entry : node->fEntries)
    if (entry->Language() == 0 && entry->fName.compare(name) == 0) return entry.get();
  return nullptr;
}

IFFResEntry* IFFResMap::FindEntryByHandle(const MHandle* handle, uint32_t& type) {
  type = 0;
  if (handle == nullptr) return nullptr;
  auto held = fByHandle.find(handle);
  if (held == fByHandle.end()) return nullptr;
  XASSERT(held->second->fHandle == handle, "handle index out of step");
  type = held->second->fNode->fType;
  return held->second;
}

IFFResEntry* IFFResMap::GetIndEntry(uint32_t type, int32_t index, SwizzleProc swizzle) {
  IFFTypeNode* node = NodeForLookup(*this, type, swizzle);
  if (node == nullptr || index < 1 || size_t(index) > node->fEntries.size()) return nullptr;
  return node->fEntries[size_t(index) - 1].get();
}

bool IFFResMap::RemoveEntry(IFFResEntry* entry) {
  for (size_t n = 0; n < fNodes.size(); ++n) {
    auto& entries = fNodes[n]->fEntries;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].get() != entry) continue;
      Unindex(*fNodes[n], *entry);
      entries.erase(entries.begin() + std::ptrdiff_t(i));
      if (entries.empty()) fNodes.erase(fNodes.begin() + std::ptrdiff_t(n));
      return true;
    }
  }
  XASSERT(false, "node not found");
  return false;
}

uint32_t IFFResMap::GetIndType(int32_t index) const {
  if (index < 1 || size_t(index) > fNodes.size()) return 0;
  return fNodes[size_t(index) - 1]->fType;
}

int16_t IFFResMap::Count(uint32_t type) const {
  for (const auto& node : fNodes)
    if (node->fType == type) return int16_t(node->fEntries.size());
  return 0;
}

void IFFResMap::RemoveType(uint32_t type) {
  for (size_t n = 0; n < fNodes.size(); ++n)
    if (fNodes[n]->fType == type) {
      for (auto& entry : fNodes[n]->fEntries) Unindex(*fNodes[n], *entry);
      fNodes.erase(fNodes.begin() + std::ptrdiff_t(n));
      return;
    }
}

SwizzleProc IFFResMap::GetSwizzle(uint32_t type) const {
  for (const auto& node : fNodes)
    if (node->fType == type) return node->fSwizzle;
  return nullptr;
}

int16_t IFFResMap::MaxID(uint32_t type, int16_t floor) const {
  int16_t result = floor;
  for (const auto& node : fNodes)
    if (node->fType == type)
      for (const auto& entry : node->fEntries) result = std::max(result, entry->ID16());
  return result;
}

void IFFResMap::DisposeHandles() {
  for (auto& node : fNodes)
    for (auto& entry : node->fEntries)
      if (entry->fHandle != nullptr) {
        HFree(entry->fHandle);
        entry->fHandle = nullptr;
      }
  fByHandle.clear();
}

void IFFResMap::Clear() {
  fNodes.clear();
  fByHandle.clear();
}

bool IFFResMap::UpdateOffset(uint32_t offset, int32_t distance) {
  if (distance < 0) {
    XASSERT(false, "wasn't expecting things to move the other way");
    return false;
  }
  for (auto& node : fNodes)
    for (auto& entry : node->fEntries)
      if (entry->fFileoffset == offset) {
        entry->fFileoffset = offset - uint32_t(distance);
        return true;
      }
  return false;
}

void IFFResMap::AddWasted(int64_t delta) {
  int64_t value = int64_t(fWasted) + delta;
  fWasted = uint32_t(std::clamp<int64_t>(value, 0, 0xFFFFFFFF));
}

namespace {

// Fewest stored bytes of a node (type, count) and of an entry (offset, id, flags, an empty
// name with its pad byte): a count read from the file must fit the bytes left at that rate.
constexpr int32_t kMinNodeBytes = 8;
constexpr int32_t kMinEntryBytes = 10;

}  // namespace

void IFFResMap::Reconstitute(ReconStream& stream, int32_t /*version*/) {
  const bool reading = stream.IsReading();
  uint32_t wasted = fWasted;
  stream.ReconInt32(&wasted);
  int32_t nodeCount = int32_t(fNodes.size());
  stream.ReconInt32(&nodeCount);
  if (reading) {
    Clear();
    fWasted = wasted;
    if (stream.Failed() || !stream.CountFits(nodeCount, kMinNodeBytes)) return;
    fNodes.reserve(size_t(nodeCount));
  }
  for (int32_t n = 0; n < nodeCount && !stream.Failed(); ++n) {
    if (reading) fNodes.push_back(std::make_unique<IFFTypeNode>());
    IFFTypeNode& node = *fNodes[size_t(n)];
    stream.ReconInt32(&node.fType);
    if (reading) {
      node.fByID.clear();
      node.fIndexed = false;
    }
    int32_t entryCount = int32_t(node.fEntries.size());
    stream.ReconInt32(&entryCount);
    if (reading && (stream.Failed() || !stream.CountFits(entryCount, kMinEntryBytes))) return;
    if (reading) node.fEntries.reserve(size_t(entryCount));
    for (int32_t i = 0; i < entryCount && !stream.Failed(); ++i) {
      if (reading) NewEntry(node);
      IFFResEntry& entry = *node.fEntries[size_t(i)];
      stream.ReconInt32(&entry.fFileoffset);
      uint16_t id = uint16_t(entry.fID);
      stream.ReconInt16(&id);
      stream.ReconInt16(&entry.fStoredFlags);
      stream.ReconString(entry.fName);
      if (reading) {
        SetID(entry, int16_t(id));
        entry.fFlags = entry.fStoredFlags;
      }
    }
  }
}

uint32_t MeasureMap(IFFResMap& map, uint32_t type) {
  ReconStream measure;
  SimpleReconObject<IFFResMap> object(map, type);
  object.Reconstitute(measure, 0);
  return uint32_t(measure.GetPosition() + kReconHeaderSize);
}

MHandle* WriteMapToHandle(IFFResMap& map, uint32_t type) {
  SimpleReconObject<IFFResMap> object(map, type);
  return ReconToHandle(object, 0);
}

bool ReadMapFromHandle(IFFResMap& map, MHandle* data, uint32_t type) {
  SimpleReconObject<IFFResMap> object(map, type);
  if (ReconFromHandle(object, data, nullptr) == 0) return true;
  map.Clear();
  map.SetWasted(0);
  return false;
}
