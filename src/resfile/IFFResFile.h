// An IFF 1.0 resource file: the older IFF kind. One disk file holds a fixed 64-byte text header
// and then blocks to the end of the file, each a 16-byte big-endian FileBlockHeader followed by
// the resource's data. Names do not stand in the block headers: each block carries a name
// index, and the names live in a bookkeeping resource of the file itself, the name list
// (`NAME` id 1, flagged internal), read and written through the reconstitution stream.
//
// The file caches every block's header at Open and loads data only when asked. Resources added
// stay in memory, owned by the file, until WriteResource, DetachResource, Update or Close
// writes them.
//
// What the file promises: a resource that Update or Close reported as written is on disk
// (WriteResource and DetachResource write it, and the next Update or Close makes it durable
// with one sync for all that were written), a crash at any moment leaves each resource once,
// with its old data or its new, and no operation, failed or not, makes a resource that was
// on disk before unreadable. The rule (BlockLedger, BlockChain.h): a replaced resource's new
// data go into a block of their own, then its old block becomes a free block (type XXXX,
// kInvalid) that marks it, then the new header makes the new block live. An open that finds
// no live block of a type and id (internal or not) brings back the one block marked with
// them. A free block's id and name index carry nothing to a reader, the original writer's
// free blocks keep the ones they had, and a file of another tool may hold anything there, so
// a mark is told from them by its header alone (MakeIFF1Mark): its id is the resource's, its
// flags have no bit but kInvalid, internal and native, and its name index is a word that no
// name index takes: negative but not -1, holding the resource's type as a number below 95^4
// (four characters each 0x20-0x7E) and four bits of check over that number, the id, flags,
// size and the block's offset. No free block that this system or the original writer makes
// has that shape: their name indexes are -1 or positive, and frees, merges and splits here
// write -1 over a word of the shape. The check is short because the 48 bits of id and name
// index must hold the key (44 bits with the sign), and nothing else the open could consult
// survives every state a power loss leaves (the mark's page may be written back without
// those of the new block): a free block of another tool whose name index has the shape by
// chance passes one time in 16, one merged, split or moved without a new word fails 15 times
// in 16. The mark has no room for the name index: a resource brought back gets its name only
// when the name list shows which it was (NameRevived). A type with a character outside
// 0x20-0x7E cannot be marked: its old block is freed plainly, and a crash between that free
// and the new header loses the resource. A removed resource's block is freed as the layout
// says (id and name index kept, but a word of the marks' shape). Compaction builds a new file
// beside the old one and swaps it in whole.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BlockChain.h"
#include "flatfile.h"
#include "IFFResFile2.h"
#include "resfile.h"

class ReconStream;

constexpr int32_t kFileBlockHeaderSize = 16;  // a block header
constexpr uint32_t kNameListType = MakeResType('N', 'A', 'M', 'E');
constexpr uint16_t kInternalFlag = 0x08;  // a bookkeeping resource of the file itself
constexpr int32_t kNoNameIndex = -1;

// A block header in host order. On disk, all big-endian: type (4), size (4), id (2),
// flags (2), name index (4).
struct FileBlockHeader {
  uint32_t fType = 0;
  int32_t fSize = 0;  // the whole block, these 16 bytes included
  int16_t fID = 0;
  uint16_t fFlags = 0;
  int32_t fNameIndex = kNoNameIndex;
};

void EncodeFileBlockHeader(const FileBlockHeader& header, uint8_t bytes[kFileBlockHeaderSize]);
void DecodeFileBlockHeader(const uint8_t bytes[kFileBlockHeaderSize], FileBlockHeader& header);
// The 64-byte file header of IFF 1.0 files, written whole by Create and compared whole by Open.
void EncodeIFF1FileHeader(uint8_t bytes[kUniqueHeaderSize]);
bool IsIFF1FileHeader(const uint8_t bytes[kUniqueHeaderSize]);
// Makes `header`, the block at `offset` (its id, flags and size as the mark keeps them), the
// mark of a resource of `type`: type XXXX, kInvalid, the mark's word in the name index.
// False, and `header` unchanged, for a type with a character outside 0x20-0x7E.
bool MakeIFF1Mark(FileBlockHeader& header, uint32_t type, uint32_t offset);

// One name of the name list.
struct IFFName {
  int32_t fIndex = 0;
  FixedStringBuffer<64> fName;  // at most 63 characters
};

// The names of a file's resources, by name index. Dirty at construction and whenever a name
// changes; clean after a load or a save.
class IFFNameList {
 public:
  // The record of `index`, or null.
  const IFFName* FindIndex(int32_t index) const;
  // The first record whose name equals `name` (A-Z case ignored), or null.
  const IFFName* FindName(const StringBuffer& name) const;
  // The next record after `after` with the same name (A-Z case ignored), or null.
  const IFFName* FindNextName(const IFFName* after) const;
  // (The largest index in the list, or 0 when that is smaller) + 1.
  int32_t NewIndex() const;
  // Nothing for index -1; else the record of `index` is removed and, for a non-empty name,
  // {index, name} appended. Sets the dirty flag.
  void SetName(int32_t index, const StringBuffer& name);
  // Appends a record as it stands (old-form names).
  void Append(int32_t index, const StringBuffer& name);
  void Clear() { fNames.clear(); }

  bool IsDirty() const { return fDirty; }
  void SetDirty(bool dirty) { fDirty = dirty; }
  size_t Count() const { return fNames.size(); }
  const IFFName& At(size_t i) const { return fNames[i]; }

  // The stored form: an i32 count, then per record an i32 index and a string. A count that
  // cannot fit in the bytes left fails the stream before anything is sized from it.
  void Reconstitute(ReconStream& stream, int32_t version);

 private:
  std::vector<IFFName> fNames;
  bool fDirty = true;
};

// One resource in a cache.
struct ResCacheEntry {
  int16_t fID = 0;
  uint16_t fFlags = 0;          // as in the block header; native also once loaded data are swapped
  int32_t fileoffset = -1;      // offset of the block header; -1 while in memory only
  int32_t fNameIndex = kNoNameIndex;
  MHandle* fData = nullptr;     // null while not loaded
  // A block that this entry's data replace. It stays a live block on disk until the new data
  // are written, so a failed write never loses the resource that was there.
  int32_t fReplacedOffset = -1;
};

// The resources of one type. Entries are kept oldest first; the most recent is index 1.
struct ResCacheNode {
  uint32_t fType = 0;
  std::vector<std::unique_ptr<ResCacheEntry>> fEntries;
};

// Nodes are kept oldest first; the most recently added type is index 1.
using ResCache = std::vector<std::unique_ptr<ResCacheNode>>;

class IFFResFile : public iResFile {
 public:
  IFFResFile();
  ~IFFResFile() override;  // Closes the file if it is open.

  // Makes a new file holding the header and an empty name list, left closed. A file that could
  // not be made whole is deleted again.
  int32_t Create(const StringBuffer& path) override;
  int32_t Delete(const StringBuffer& path) override;
  // Opens the file, caches every block header and loads the names. A block whose size is below
  // 16, or a resource that runs past the end of the file, ends the walk: the blocks before it
  // are kept. A read that fails fails the open. Returns its result without storing it.
  int32_t Open(const StringBuffer& path) override;
  int32_t Suspend() override;  // unavailableErr
  int32_t Resume() override;   // unavailableErr
  // Update, frees every cached handle, compacts a writable file with at least 10,240 free
  // bytes, and closes. Returns the first error of these steps, else that of closing the file.
  // The file is closed in every case.
  int32_t Close() override;
  // Saves the names when they changed, then writes every resource held only in memory, oldest
  // first, and flushes.
  int32_t Update() override;
  bool IsWritable() override;
  void GetName(StringBuffer& path) override;
  bool ValidFile() override;

  int16_t CountTypes() override;
  uint32_t GetIndType(uint16_t index) override;
  int16_t Count(uint32_t type) override;
  MHandle* GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle = nullptr) override;
  MHandle* GetNamedResource(uint32_t type, const StringBuffer& name,
                            SwizzleProc swizzle = nullptr) override;
  MHandle* GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle = nullptr) override;

  void GetResName(MHandle* h, StringBuffer& name) override;
  uint32_t GetResType(MHandle* h) override;
  void GetResID(MHandle* h, int16_t& id) override;
  void GetResAttrs(MHandle* h, int16_t& attrs) override;
  // Keeps `name` unless a resource of the type has it (A-Z case ignored); else appends 0, 1,
  // 2 ... in decimal to the name as given, cut so that the number always fits in 63 characters.
  void UniqueName(uint32_t type, StringBuffer& name) override;
  uint16_t UniqueID(uint32_t type) override;
  // A resource held only in memory is written first; then the handle is the caller's.
  void DetachResource(MHandle* h) override;
  void UnusedOperation() override;
  bool IsNativeOrder(MHandle* h) override;

  void SetResID(MHandle* h, uint16_t id) override;
  // Adds the handle under (type, id); a resource of that type and id is replaced (its block
  // stays on disk until the new data are written). Nothing is written now.
  void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                   bool native) override;
  // Writes the data into a new block, marking the block it replaces before the new header.
  void WriteResource(MHandle* h) override;
  void RemoveResource(MHandle* h) override;
  void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) override;

  // Internal mode: the two caches are exchanged, so that the operations above work on the
  // bookkeeping resources (the name list), and resources added get the internal flag.
  void EnterInternalMode();
  void ExitInternalMode();

  // Checks the ledger of the file's blocks against the disk (BlockLedger::Check): noErr, else
  // badHeaderErr or the read's error, with a complaint saying what is wrong.
  int32_t CheckLedger();

  // For tests and diagnostics.
  uint32_t GetFreeBytes() const { return fFreeBytes; }
  int32_t GetAllocationHint() const { return fAllocationHint; }
  const IFFNameList* GetNameList() const { return fNameList.get(); }

 private:
  struct Found {  // an entry and its node
    ResCacheEntry* entry = nullptr;
    ResCacheNode* node = nullptr;
  };

  bool BeginOperation();  // fileNotOpenErr or noErr; true when the file is open
  bool BeginWriting();    // the same, then readOnlyErr when not writable
  int32_t Report(int32_t error) {
    SetError(error);
    return error;
  }

  static ResCacheNode* FindNodeIn(ResCache& cache, uint32_t type, bool create);
  // A name index that neither the name list nor any block read at Open uses.
  int32_t NewNameIndex() const;
  // Another entry of either cache carries the name index of `entry` (a damaged file may
  // give one index to several blocks); then the name stays in the list when `entry` drops it.
  bool NameIndexShared(const ResCacheEntry& entry) const;
  ResCacheNode* FindNode(uint32_t type, bool create) { return FindNodeIn(fMainCache, type, create); }
  ResCacheEntry* FindEntry(ResCacheNode* node, int16_t id);
  Found FindHandle(MHandle* h);
  MHandle* Load(ResCacheEntry* entry, uint32_t type, SwizzleProc swizzle);
  int32_t LoadResource(ResCacheEntry& entry, uint32_t type, SwizzleProc swizzle);
  bool TypeHasName(uint32_t type, const StringBuffer& name);

  int32_t LoadNames();
  int32_t SaveNames();
  // Writes the entry's data into a new block, marking the block it replaces.
  int32_t WriteEntry(ResCacheEntry& entry, uint32_t type);
  BlockLedger::Key KeyOf(const ResCacheEntry& entry, uint32_t type) const;
  // Marks the live block of `key` at `offset` replaced.
  int32_t MarkReplaced(uint32_t offset, const BlockLedger::Key& key);
  // BlockLedger::ClearMarksOf with this file's clear.
  int32_t ClearMarksOf(const BlockLedger::Key& key);
  // Writes a plain free header over the mark at `offset`.
  int32_t ClearMark(uint32_t offset);
  // Runs before the first write that changes a block: the blocks brought back at open are
  // written live again (without a name).
  int32_t BeginChange();
  // After the walk of Open: brings back, for each key without a live block, its one mark.
  void ReviveMarks(const std::vector<std::pair<uint32_t, FileBlockHeader>>& marks);
  // After the names are loaded: gives a resource brought back at open its name when the
  // name list shows which it was.
  void NameRevived();
  int32_t Sync();  // flushes the file to disk and tells the ledger
  // Frees the entry's blocks (its marks first), removes its name and frees its handle; the
  // entry stays.
  int32_t ReleaseEntry(ResCacheEntry& entry, uint32_t type);

  int32_t ReadBytes(uint32_t offset, void* buffer, int32_t count);
  int32_t WriteBytes(uint32_t offset, const void* buffer, int32_t count);
  int32_t ReadBlockHeader(FileBlockHeader& header, uint32_t offset);
  int32_t WriteBlockHeader(const FileBlockHeader& header, uint32_t offset);
  // Reads the block header at `offset` and checks it against a file of `fileSize` bytes:
  // badHeaderErr for a size below 16 or a live block that runs past the end; `pastEnd` is set
  // for a free block that runs past the end (an allocation at the end cut short).
  int32_t ReadChainHeader(FileBlockHeader& header, uint32_t offset, uint32_t fileSize,
                          bool& pastEnd);
  // Finds or makes a block of dataSize + 16 bytes (FindFreeBlock: next fit from the
  // allocation hint), its header still free.
  int32_t NewBlockHeader(FileBlockHeader& header, uint32_t dataSize, int32_t& offset);
  struct SearchSteps;
  int32_t FreeBlock(uint32_t offset);
  int32_t Defragment();
  void FreeCaches();
  const StringBuffer& PathForMessages();

  FlatFile fFile;
  ResCache fMainCache;
  ResCache fInternalCache;
  uint32_t fFreeBytes = 0;
  std::unique_ptr<IFFNameList> fNameList;  // made by Open, deleted by Close
  // The largest name index that a block read at Open carries, named in the list or not.
  int32_t fLargestBlockNameIndex = 0;
  bool fInternalMode = false;
  int32_t fAllocationHint = -1;
  BlockLedger fLedger;  // the blocks whose state their headers alone do not tell
  FixedStringBuffer<260> fPathForMessages;

  static bool sCreatingNewFile;
};
