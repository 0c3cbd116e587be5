// The in-memory index of an IFF 2.x resource file: a node per resource type and, in it, an
// entry per resource with its file offset, id, flags, name and, once loaded or added, its
// data handle. It also counts the bytes wasted in free blocks of the file, which decides
// defragmentation. Saved into the file as the resource `rsmp` id 0 when a changed file is
// closed, and loaded from there when the file is opened.
//
// Entries and nodes are owned by the map: a pointer to one stays valid until that entry (or
// its node) is removed or the map is cleared. Entries and their names are carved from large
// blocks of the map, and a loaded map keeps its stored form as the text of its names, so
// that opening a file of thousands of resources makes a handful of allocations, not one
// per resource. The map never disposes a handle except through DisposeHandles. Not
// thread-safe.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <memory_resource>
#include <unordered_map>
#include <vector>

#include "MHandle.h"
#include "PlatformMemory.h"
#include "StringBuffer.h"
#include "resfile.h"

class ReconStream;

// Flag bits of a resource (file header and map entry). The high byte is the language.
enum : uint16_t {
  kInvalid = 0x04,      // a free block
  kNativeOrder = 0x10,  // the data are in little-endian (host) order
};

constexpr uint32_t kNotOnDisk = 0xFFFFFFFFu;  // file offset of a resource held only in memory
constexpr uint32_t kResMapType = MakeResType('r', 's', 'm', 'p');

inline uint8_t LanguageOfFlags(uint16_t flags) { return uint8_t(flags >> 8); }

struct IFFTypeNode;

// The name of an entry, at most 63 characters. Its text lies in storage of the map that holds
// the entry, so it is changed only through IFFResMap::SetName.
class IFFResName {
 public:
  const char* c_str() const { return fText != nullptr ? fText : ""; }
  int32_t length() const { return fLength; }
  int32_t compare(const StringBuffer& other) const { return std::strcmp(c_str(), other.c_str()); }

 private:
  friend class IFFResMap;
  char* fText = nullptr;  // null for the empty name
  uint8_t fLength = 0;
  uint8_t fRoom = 0;  // characters that fText's storage holds; a longer name gets new storage
};

struct IFFResEntry {
  IFFResEntry() = default;
  IFFResEntry(const IFFResEntry&) = delete;  // the map copies entries (IFFResMap's copy)
  IFFResEntry& operator=(const IFFResEntry&) = delete;

  uint32_t fFileoffset = kNotOnDisk;  // offset of the 76-byte header; kNotOnDisk in memory only
  // The id and the handle are indexed by the map: change them only through
  // IFFResMap::SetID and IFFResMap::SetHandle.
  int32_t fID = -1;                   // the file stores 16 bits; sign-extended
  uint16_t fFlags = 0xFFFF;           // current flags
  uint16_t fStoredFlags = 0xFFFF;     // flags as last written to disk
  // A block of the file that this entry replaces. It stays valid on disk until the new data
  // are written, so that a failed write never loses the resource that was there.
  uint32_t fReplacedOffset = kNotOnDisk;
  MHandle* fHandle = nullptr;         // the data, null when not loaded
  IFFResName fName;                   // changed only through IFFResMap::SetName

  uint8_t Language() const { return LanguageOfFlags(fFlags); }
  int16_t ID16() const { return int16_t(fID); }

  IFFTypeNode* fNode = nullptr;  // the node holding the entry
  uint64_t fOrder = 0;           // rises with each entry made: the order of entries in a node
};

struct IFFTypeNode {
  std::vector<IFFResEntry*> fEntries;  // in order of creation; owned by the map
  uint32_t fType = 0;
  SwizzleProc fSwizzle = nullptr;  // the procedure last given in a look-up of this type
  // The entries of each 16-bit id, in no particular order (look-ups pick the first by fOrder);
  // made at the first look-up by id, so that opening and listing a file never pays for it.
  std::unordered_map<int16_t, std::vector<IFFResEntry*>> fByID;
  bool fIndexed = false;
};

// Frees memory of PlatformAllocPrefaulted of `size` bytes.
struct PrefaultedFree {
  size_t size = 0;
  void operator()(uint8_t* p) const { PlatformFreePrefaulted(p, size); }
};

class IFFResMap {
 public:
  IFFResMap() = default;
  IFFResMap(const IFFResMap& other);  // copies nodes, entries (without handles) and wasted
  IFFResMap& operator=(const IFFResMap&) = delete;

  // The node of `type`; with `create`, a missing node is appended. Null when none.
  IFFTypeNode* FindNode(uint32_t type, bool create);
  // Appends a new entry (offset kNotOnDisk, id -1, flags 0xFFFF, no handle, empty name).
  IFFResEntry* AddEntry(uint32_t type);
  // Change an entry's id or handle and keep the look-ups by id and by handle in step.
  void SetID(IFFResEntry& entry, int32_t id);
  void SetHandle(IFFResEntry& entry, MHandle* handle);
  // Changes an entry's name; a longer text is cut to 63 characters (with the assertion
  // "append losing characters", as a FixedStringBuffer<64> cuts it).
  void SetName(IFFResEntry& entry, const char* name);
  void SetName(IFFResEntry& entry, const StringBuffer& name) { SetName(entry, name.c_str()); }

  // In every look-up by type a non-null `swizzle` is first stored in the type's node.
  // First entry with that id and language 0.
  IFFResEntry* FindEntry(uint32_t type, int32_t id, SwizzleProc swizzle);
  // Language not 0: the first entry with that id and exactly that language; otherwise, or
  // when there is none, the first entry with that id and language 0.
  IFFResEntry* FindEntry(uint32_t type, int32_t id, uint8_t language, SwizzleProc swizzle);
  // The first entry with that id and exactly that language (no fall-back).
  IFFResEntry* FindEntryExact(uint32_t type, int32_t id, uint8_t language);
  // First entry of language 0 whose name equals `name` exactly.
  IFFResEntry* FindEntryByName(uint32_t type, const StringBuffer& name, SwizzleProc swizzle);
  // The entry holding `handle` in any node; `type` gets its node's type (0 when not found).
  IFFResEntry* FindEntryByHandle(const MHandle* handle, uint32_t& type);
  // Entry number `index` (from 1) of the type; null when out of range.
  IFFResEntry* GetIndEntry(uint32_t type, int32_t index, SwizzleProc swizzle);
  // Removes and deletes the entry, and its node when that becomes empty. The handle is not
  // disposed. False (with an assertion) when the entry is in no node.
  bool RemoveEntry(IFFResEntry* entry);

  int16_t CountTypes() const { return int16_t(fNodes.size()); }
  uint32_t GetIndType(int32_t index) const;  // from 1; 0 when out of range
  int16_t Count(uint32_t type) const;        // 0 without a node
  void RemoveType(uint32_t type);            // drops the node; handles are not disposed
  SwizzleProc GetSwizzle(uint32_t type) const;
  // The largest id of the type as a signed 16-bit number, or `floor` when none is larger.
  int16_t MaxID(uint32_t type, int16_t floor) const;

  void DisposeHandles();  // disposes every entry's handle
  void Clear();           // removes all nodes

  // The first entry (node and entry order) whose offset is `offset` gets offset - distance.
  // False when there is none, or when distance is negative.
  bool UpdateOffset(uint32_t offset, int32_t distance);

  void AddWasted(int64_t delta);  // the count never goes below 0
  uint32_t GetWasted() const { return fWasted; }
  void SetWasted(uint32_t value) { fWasted = value; }

  // Writes or measures the stored form (`rsmp`): wasted, node count, then per node its type,
  // entry count and per entry offset, id, stored flags and name. The stored form is read by
  // LoadStoredForm (through ReadMapFromHandle or the file's open), not through a stream: a
  // reading stream is failed and the map left as it was.
  void Reconstitute(ReconStream& stream, int32_t version);

  // Empties the map and gives storage for a stored form of `size` bytes (its 12-byte record
  // header first), which the map keeps until it is cleared; null when memory runs out.
  uint8_t* NewStoredForm(uint32_t size);
  // Fills the map, once, from the stored form put into the storage of NewStoredForm. Names
  // stay in that storage instead of being copied. Every count, number and name is checked
  // against the bytes left, with the assertions and the result of a reading ReconStream:
  // false, with the map cleared (wasted 0), when the record is not of `type` or something
  // does not fit. Names longer than 63 characters are cut.
  bool LoadStoredForm(uint32_t type);

  // Direct access for the file's walks over all entries.
  size_t NodeCount() const { return fNodes.size(); }
  IFFTypeNode& NodeAt(size_t index) { return *fNodes[index]; }
  const IFFTypeNode& NodeAt(size_t index) const { return *fNodes[index]; }

 private:
  IFFResEntry* NewEntry(IFFTypeNode& node);  // appended to the node, id -1 indexed
  void Unindex(IFFTypeNode& node, IFFResEntry& entry);
  void ReleaseEntry(IFFResEntry* entry);  // its storage goes to the next NewEntry

  std::vector<std::unique_ptr<IFFTypeNode>> fNodes;  // in order of creation
  std::unordered_map<const MHandle*, IFFResEntry*> fByHandle;  // every entry holding a handle
  uint64_t fNextOrder = 0;
  uint32_t fWasted = 0;
  // Storage of entries and of names set since the map was loaded; released by Clear. Its
  // large pieces come whole from the system (a map of thousands of entries fills them at once).
  std::pmr::monotonic_buffer_resource fArena{PlatformPrefaultedMemory()};
  std::vector<IFFResEntry*> fFreeEntries;  // storage of removed entries, for reuse
  // The stored form loaded, the text of its names; prefaulted too, as it is read at once.
  std::unique_ptr<uint8_t[], PrefaultedFree> fStoredForm;
  uint32_t fStoredSize = 0;
};

// The stored form of `map` as a record of `type` (`rsmp`, or `rsmx` for a placeholder): its
// size with the 12-byte record header, and a new handle holding it (null when memory runs
// out).
uint32_t MeasureMap(IFFResMap& map, uint32_t type);
MHandle* WriteMapToHandle(IFFResMap& map, uint32_t type);
// Fills `map` from a handle holding its stored form (copied: the handle stays the caller's).
// False, with the map cleared, when the record is not of `type` or its counts or names do not
// fit its bytes (see LoadStoredForm), or memory runs out.
bool ReadMapFromHandle(IFFResMap& map, MHandle* data, uint32_t type);
