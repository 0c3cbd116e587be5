#include "IFFResMap.h"

#include <algorithm>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_set>

#include "Recon.h"
#include "XAssert.h"

IFFResMap::IFFResMap(const IFFResMap& other) : fWasted(other.fWasted) {
  fNodes.reserve(other.fNodes.size());
  for (const auto& node : other.fNodes) {
    fNodes.push_back(std::make_unique<IFFTypeNode>());
    IFFTypeNode& copy = *fNodes.back();
    copy.fType = node->fType;
    copy.fSwizzle = node->fSwizzle;
    copy.fEntries.reserve(node->fEntries.size());
    for (const IFFResEntry* entry : node->fEntries) {
      IFFResEntry* made = NewEntry(copy);
      made->fFileoffset = entry->fFileoffset;
      made->fID = entry->fID;
      made->fFlags = entry->fFlags;
      made->fStoredFlags = entry->fStoredFlags;
      made->fReplacedOffset = entry->fReplacedOffset;
      SetName(*made, entry->fName.c_str());
    }
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
  void* room;
  if (!fFreeEntries.empty()) {
    room = fFreeEntries.back();
    fFreeEntries.pop_back();
  } else {
    room = fArena.allocate(sizeof(IFFResEntry), alignof(IFFResEntry));
  }
  node.fEntries.push_back(nullptr);  // may throw: the room stays with the arena
  IFFResEntry* entry = new (room) IFFResEntry;
  node.fEntries.back() = entry;
  entry->fNode = &node;
  entry->fOrder = fNextOrder++;
  if (node.fIndexed) node.fByID[entry->ID16()].push_back(entry);
  return entry;
}

void IFFResMap::ReleaseEntry(IFFResEntry* entry) {
  static_assert(std::is_trivially_destructible_v<IFFResEntry>, "entries are dropped with the arena");
  entry->fNode = nullptr;
  fFreeEntries.push_back(entry);
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

void IFFResMap::SetName(IFFResEntry& entry, const char* name) {
  IFFResName& to = entry.fName;
  if (name == to.fText) return;  // a name set to itself stays
  size_t length = std::strlen(name);
  if (length > 63) {
    XASSERT(false, "append losing characters");
    length = 63;
  }
  if (length > to.fRoom) {
    to.fText = static_cast<char*>(fArena.allocate(length + 1, 1));
    to.fRoom = uint8_t(length);
  }
  if (length == 0 && to.fText == nullptr) return;
  std::memmove(to.fText, name, length);
  to.fText[length] = 0;
  to.fLength = uint8_t(length);
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
    for (IFFResEntry* entry : node->fEntries) node->fByID[entry->ID16()].push_back(entry);
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
  for (IFFResEntry* entry : node->fEntries)
    if (entry->Language() == 0 && entry->fName.compare(name) == 0) return entry;
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
  return node->fEntries[size_t(index) - 1];
}

bool IFFResMap::RemoveEntry(IFFResEntry* entry) {
  for (size_t n = 0; n < fNodes.size(); ++n) {
    auto& entries = fNodes[n]->fEntries;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] != entry) continue;
      Unindex(*fNodes[n], *entry);
      entries.erase(entries.begin() + std::ptrdiff_t(i));
      ReleaseEntry(entry);
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
      for (IFFResEntry* entry : fNodes[n]->fEntries) {
        Unindex(*fNodes[n], *entry);
        ReleaseEntry(entry);
      }
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
  fFreeEntries.clear();
  fArena.release();
  fStoredForm.reset();
  fStoredSize = 0;
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

// Reads the fields of a stored form in order, as a reading ReconStream does: a number that
// would run past the data, or a name without its NUL, fails with the assertion "overflow";
// a count that cannot fit what is left fails quietly.
class StoredFormReader {
 public:
  StoredFormReader(uint8_t* data, uint32_t size, bool swap) : fData(data), fSize(size), fSwap(swap) {}

  bool Word(uint32_t& value) {
    if (fSize - fPosition < 4) return Overflow();
    std::memcpy(&value, fData + fPosition, 4);
    if (fSwap) value = __builtin_bswap32(value);
    fPosition += 4;
    return true;
  }

  // An entry's offset, id and flags.
  bool EntryFields(uint32_t& offset, uint16_t& id, uint16_t& flags) {
    if (fSize - fPosition < 8) return Overflow();
    const uint8_t* p = fData + fPosition;
    std::memcpy(&offset, p, 4);
    std::memcpy(&id, p + 4, 2);
    std::memcpy(&flags, p + 6, 2);
    if (fSwap) {
      offset = __builtin_bswap32(offset);
      id = __builtin_bswap16(id);
      flags = __builtin_bswap16(flags);
    }
    fPosition += 8;
    return true;
  }

  bool CountFits(uint32_t count, uint32_t minBytes) const {
    return int32_t(count) >= 0 && uint64_t(count) * minBytes <= fSize - fPosition;
  }

  // The NUL-terminated name at the position and its length, then past it and its pad byte.
  bool Name(char*& text, uint32_t& length) {
    text = reinterpret_cast<char*>(fData + fPosition);
    const void* nul = fPosition < fSize ? std::memchr(text, 0, fSize - fPosition) : nullptr;
    if (nul == nullptr) return Overflow();
    length = uint32_t(static_cast<const char*>(nul) - text);
    fPosition += length + 1;
    if ((fPosition & 1) != 0 && fPosition < fSize) fPosition++;
    return true;
  }

 private:
  static bool Overflow() {
    XASSERT(false, "overflow");
    return false;
  }

  uint8_t* fData;
  uint32_t fSize;
  uint32_t fPosition = 0;
  bool fSwap;
};

}  // namespace

void IFFResMap::Reconstitute(ReconStream& stream, int32_t /*version*/) {
  if (stream.IsReading()) {
    stream.CountFits(-1);  // fails the stream: see LoadStoredForm
    return;
  }
  stream.ReconInt32(&fWasted);
  int32_t nodeCount = int32_t(fNodes.size());
  stream.ReconInt32(&nodeCount);
  std::string name;
  for (const auto& node : fNodes) {
    if (stream.Failed()) break;
    stream.ReconInt32(&node->fType);
    int32_t entryCount = int32_t(node->fEntries.size());
    stream.ReconInt32(&entryCount);
    for (IFFResEntry* entry : node->fEntries) {
      if (stream.Failed()) break;
      stream.ReconInt32(&entry->fFileoffset);
      uint16_t id = uint16_t(entry->fID);
      stream.ReconInt16(&id);
      stream.ReconInt16(&entry->fStoredFlags);
      name.assign(entry->fName.c_str(), size_t(entry->fName.length()));
      stream.ReconString(name);
    }
  }
}

uint8_t* IFFResMap::NewStoredForm(uint32_t size) {
  Clear();
  const size_t bytes = size == 0 ? 1 : size;
  fStoredForm = std::unique_ptr<uint8_t[], PrefaultedFree>(
      static_cast<uint8_t*>(PlatformAllocPrefaulted(bytes)), PrefaultedFree{bytes});
  fStoredSize = fStoredForm ? size : 0;
  return fStoredForm.get();
}

bool IFFResMap::LoadStoredForm(uint32_t type) {
  const uint32_t recordSize = fStoredSize;
  uint8_t* record = fStoredForm.get();
  auto refuse = [this] {
    Clear();
    fWasted = 0;
    return false;
  };
  if (record == nullptr || recordSize < uint32_t(kReconHeaderSize)) return refuse();
  const ReconHeader header = ReconHeader::ReadFrom(record);
  XASSERT(header.type == type, "reconstitution type mismatch");
  if (header.type != type) return refuse();

  StoredFormReader in(record + kReconHeaderSize, recordSize - kReconHeaderSize, header.swapFlag != 0);
  uint32_t wasted = 0;
  uint32_t nodeCount = 0;
  if (!in.Word(wasted) || !in.Word(nodeCount) || !in.CountFits(nodeCount, kMinNodeBytes)) return refuse();
  fWasted = wasted;
  fNodes.reserve(nodeCount);
  std::unordered_set<uint32_t> types;
  for (uint32_t n = 0; n < nodeCount; ++n) {
    fNodes.push_back(std::make_unique<IFFTypeNode>());
    IFFTypeNode& node = *fNodes.back();
    uint32_t entryCount = 0;
    if (!in.Word(node.fType) || !in.Word(entryCount) || !in.CountFits(entryCount, kMinEntryBytes))
      return refuse();
    // A type has one node: look-ups and counts would answer the first of two, listing its
    // entries twice and hiding the other's.
    if (!types.insert(node.fType).second) return refuse();
    // The entries of a node lie side by side: one piece of the arena for all of them.
    auto* room = static_cast<IFFResEntry*>(
        fArena.allocate(size_t(entryCount) * sizeof(IFFResEntry), alignof(IFFResEntry)));
    node.fEntries.resize(entryCount);
    for (uint32_t i = 0; i < entryCount; ++i) {
      uint32_t offset = 0;
      uint16_t id = 0;
      uint16_t flags = 0;
      char* text = nullptr;
      uint32_t length = 0;
      if (!in.EntryFields(offset, id, flags) || !in.Name(text, length)) return refuse();
      IFFResEntry* entry = new (room + i) IFFResEntry;
      entry->fFileoffset = offset;
      entry->fID = int16_t(id);
      entry->fFlags = entry->fStoredFlags = flags;
      if (length > 63) {
        SetName(*entry, text);  // cut, into storage of its own
      } else if (length > 0) {
        entry->fName.fText = text;
        entry->fName.fLength = uint8_t(length);
        entry->fName.fRoom = uint8_t(length);
      }
      entry->fNode = &node;
      entry->fOrder = fNextOrder++;
      node.fEntries[i] = entry;
    }
  }
  return true;
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
  const int32_t size = data != nullptr ? HGetSize(data) : 0;
  uint8_t* copy = map.NewStoredForm(uint32_t(std::max(size, 0)));
  if (copy != nullptr && size > 0) {
    std::memcpy(copy, HLock(data), size_t(size));
    HUnlock(data);
  }
  return map.LoadStoredForm(type);
}
