// An IFF 2.x resource file: one disk file holding typed, numbered, named resources, each
// behind a 76-byte big-endian header, with free blocks reused in place, an optional saved
// copy of the resource map (`rsmp`) so that opening need not walk the file, and compaction
// on close once enough space is wasted.
//
// Layout: a 64-byte file header, then records to the end of the file, each a 76-byte
// IFFHeader followed by its data. A free block has type "XXXX" and flag kInvalid.
//
// What the file promises: a resource that Update or Close reported as written is on disk
// (WriteResource and DetachResource write it, and the next Update or Close makes it durable
// with one sync for all that were written), a crash at any moment leaves each resource once,
// with its old data or its new, and no operation, failed or not, makes a resource that was
// on disk before unreadable. The rule (BlockLedger, BlockChain.h): a replaced resource's new
// data go into a free block, then its old block is marked free while it keeps its type, id,
// flags and name (a block flagged kInvalid is free whatever its type says), then the new
// header makes the new block live; an open that walks the file and finds no live record for
// a type, id and language brings back the one block marked with them. A removed resource's
// block becomes a plain "XXXX" free block. The saved map named in the file header is retired
// (the header names none, synced) just before the first write that changes a record, so a
// change that fails before that leaves the map named; compaction builds a new file beside
// the old one and swaps it in whole.
//
// Resources added stay in memory, owned by the file, until WriteResource, Update,
// DetachResource or Close writes them. Not thread-safe: one owner at a time.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "BlockChain.h"
#include "flatfile.h"
#include "IFFResMap.h"
#include "resfile.h"

constexpr int32_t kIFFHeaderSize = 76;     // a record header
constexpr uint32_t kMaxResourceSize = 0x40000000;  // largest data size a record may claim
constexpr uint32_t kDefragmentThreshold = 10240;   // wasted bytes that make Close compact
constexpr uint32_t kMapCopyType = MakeResType('r', 's', 'm', 'x');

// A record header in host order. On disk: type (4), size (4), id (2), flags (2), name (64),
// all numbers big-endian.
struct IFFHeader {
  uint32_t fType = 0;
  uint32_t fSize = 0;  // the whole record, these 76 bytes included
  int16_t fID = 0;
  uint16_t fFlags = 0;
  char fName[64] = {};  // NUL-terminated, at most 63 characters

  void SetName(const char* name);  // cut to 63 characters
  void SetName(const StringBuffer& name) { SetName(name.c_str()); }
  void GetName(StringBuffer& name) const;  // stops at 63 characters even without a NUL
};

void EncodeIFFHeader(const IFFHeader& header, uint8_t bytes[kIFFHeaderSize]);
void DecodeIFFHeader(const uint8_t bytes[kIFFHeaderSize], IFFHeader& header);

// The 64-byte file header, version 2.5, naming the saved map at `mapOffset` (0 = none).
void EncodeFileHeader(uint32_t mapOffset, uint8_t bytes[kUniqueHeaderSize]);
// Checks a file header: noErr with the map offset (0 for 2.0 or no map), else badHeaderErr.
int32_t DecodeFileHeader(const uint8_t bytes[kUniqueHeaderSize], uint32_t& mapOffset);

class IFFResFile2 : public iResFile {
 public:
  IFFResFile2();
  ~IFFResFile2() override;  // Closes the file if it is open.

  int32_t Create(const StringBuffer& path) override;
  int32_t Delete(const StringBuffer& path) override;
  // Opens the file and loads its saved map, or walks it when there is none (or the map is
  // unusable). A record header that is corrupt ends the walk; the records before it stay.
  // A read that fails fails the open.
  int32_t Open(const StringBuffer& path) override;
  int32_t Suspend() override;
  int32_t Resume() override;
  // Writes every resource held only in memory, compacts the file when dirty with at least
  // kDefragmentThreshold wasted bytes (unless SetNoDefragment), saves the map when dirty,
  // and closes. Returns the first error of these steps, else that of closing the file. The
  // file is closed in every case.
  int32_t Close() override;
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
  // The checks of a load (the stored header read and sound), without reading the data.
  bool HasLanguageResource(uint32_t type, uint16_t id, uint8_t language) override;
  MHandle* GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                               SwizzleProc swizzle = nullptr) override;

  void GetResName(MHandle* h, StringBuffer& name) override;
  uint32_t GetResType(MHandle* h) override;
  void GetResID(MHandle* h, int16_t& id) override;
  void GetResAttrs(MHandle* h, int16_t& attrs) override;
  uint8_t GetResLanguage(MHandle* h) override;
  // Keeps `name` if no language-0 resource of the type has it; else appends 0, 1, 2 ... in
  // decimal, cutting the name so that the number always fits in 63 characters.
  void UniqueName(uint32_t type, StringBuffer& name) override;
  uint16_t UniqueID(uint32_t type) override;
  void DetachResource(MHandle* h) override;
  void UnusedOperation() override;
  bool IsNativeOrder(MHandle* h) override;

  void SetResID(MHandle* h, uint16_t id) override;
  void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                   bool native) override;
  // Adds the handle under (type, id, language); an entry of exactly that type, id and
  // language is replaced (its old block stays on disk until the new data are written).
  void AddLanguageResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                           uint8_t language, bool native) override;
  // Writes the data into a new block, marking the block it replaces before the new header.
  void WriteResource(MHandle* h) override;
  void RemoveResource(MHandle* h) override;
  void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) override;

  // Suppresses compaction at Close.
  void SetNoDefragment() { fNoDefragment = true; }
  // Rewrites the header of the (closed) file at `path` so that it names no saved map; the
  // next open walks the file. alreadyOpenErr while this object is open.
  int32_t ClearSavedMap(const StringBuffer& path);
  // Writes a compacted copy of this file to `path` (replacing it), with the saved map first.
  int32_t CopyOptimized(const StringBuffer& path);
  // Compacts the open file: no free block and no stale map block remain, every record keeps
  // its order, and the map's offsets follow. The compacted file is built beside this one and
  // swapped in whole, so a failure at any point leaves the old file as it was.
  int32_t Defragment();

  // For tests and diagnostics.
  uint32_t GetWasted() const { return fMap ? fMap->GetWasted() : 0; }
  int32_t GetRovingOffset() const { return fRovingOffset; }
  uint32_t GetMapOffset() const { return fMapOffset; }
  bool IsDirty() const { return fDirty; }
  // Checks the ledger of the file's blocks against the disk (BlockLedger::Check): noErr, else
  // badHeaderErr or the read's error, with a complaint saying what is wrong.
  int32_t CheckLedger();
  // The index of the open file (null while closed): its types and, per resource, the id,
  // name and flags, for listing a file without loading any data.
  const IFFResMap* GetMap() const { return fMap.get(); }

 private:
  struct Found {  // an entry and the type of its node
    IFFResEntry* entry = nullptr;
    uint32_t type = 0;
  };

  bool BeginOperation();  // fileNotOpenErr or noErr; true when the file is open
  bool BeginWriting();    // the same, then readOnlyErr when not writable
  int32_t Report(int32_t error) {  // keeps and returns `error`
    SetError(error);
    return error;
  }
  Found FindHandle(MHandle* h, int32_t missingError);
  MHandle* Load(IFFResEntry* entry, uint32_t type, SwizzleProc swizzle);
  int32_t LoadEntry(IFFResEntry& entry, uint32_t type, SwizzleProc swizzle);
  // The stored header of an entry not in memory, checked as a load checks it.
  int32_t ReadEntryHeader(const IFFResEntry& entry, uint32_t type, IFFHeader& header);
  int32_t WriteEntry(IFFResEntry& entry, uint32_t type);
  BlockLedger::Key KeyOf(const IFFResEntry& entry, uint32_t type) const;
  // Marks the live block of `key` at `offset` replaced (kInvalid set, the rest kept).
  int32_t MarkReplaced(uint32_t offset, const BlockLedger::Key& key);
  // BlockLedger::ClearMarksOf with this file's clear.
  int32_t ClearMarksOf(const BlockLedger::Key& key);
  // Writes a plain free header over the mark at `offset`.
  int32_t ClearMark(uint32_t offset);
  // Clears every retired mark (before a saved map is written, which a later open trusts
  // instead of walking the file and meeting them).
  int32_t ClearRetiredMarks();
  // Writes the headers of blocks brought back at open live again.
  int32_t RestoreRevived();
  // After a walk: brings back, for each key without a live record, its one marked block.
  void ReviveMarks(const std::vector<std::pair<uint32_t, IFFHeader>>& marks);
  // Makes every write so far durable (one sync, when something was written since the last).
  int32_t CommitWrites();
  // CommitWrites, complaining when it fails.
  int32_t CommitHeldWrites();
  // Writes every resource held only in memory; no sync. The first error.
  int32_t WriteHeldEntries();
  // The copy and swap of Defragment; `replaced` says whether the copy took this file's place.
  int32_t WriteCompactedFile(bool& replaced);
  int32_t Sync();  // flushes the file to disk; noErr clears fUnsynced and tells the ledger

  int32_t ReadBytes(uint32_t offset, void* buffer, int32_t count);
  // Writes at `offset`; the headers held in fHeaders that the bytes reach into are dropped
  // first, so a write that fails leaves none that the disk may no longer hold.
  int32_t WriteBytes(uint32_t offset, const void* buffer, int32_t count);
  // Drops the held headers that the `length` bytes at `offset` reach into.
  void ForgetHeaders(uint32_t offset, uint64_t length);
  // The record header at `offset`: the held one, else read from the disk and then held.
  int32_t ReadResHeader(uint32_t offset, IFFHeader& header);
  // Writes a record header. One that changes no record (`freeSpace`: a free block merged,
  // split or made at the end by the free-block search) leaves a saved map named; any other
  // first retires it (BeginChange).
  int32_t WriteResHeader(uint32_t offset, const IFFHeader& header, bool freeSpace = false);
  // A free header and the `count` bytes of data that follow it, in one write.
  int32_t WriteFreeHeaderAndData(uint32_t offset, const IFFHeader& header, const void* data,
                                 int32_t count);
  // Reads the record header at `offset` of a file of `fileSize` bytes and checks that its
  // size is sound and that the record ends within the file (a free block may run past the
  // end: an allocation at the end that was cut short). badHeaderErr when not.
  int32_t ReadChainHeader(uint32_t offset, uint32_t fileSize, IFFHeader& header, bool& pastEnd);
  int32_t GetFileSize(uint32_t& size);

  // Marks the file dirty and, if its header names a saved map, retires that map (header
  // first, synced, then the map's block is freed); then writes the headers of blocks brought
  // back at open live again. Runs before the first write that changes a record, so that a
  // change that fails before it (a free-block search that meets a damaged header) leaves
  // the map named and the file readable through it.
  int32_t BeginChange();
  // In a file opened through its saved map: badHeaderErr (and nothing written) when the
  // `length` bytes at `offset` reach into a record the map names, other than one at `offset`
  // or one freed since opening (BlockLedger::CheckWrite). A damaged map may name records that
  // overlap, so that writing one's header would write over another's data.
  int32_t CheckWritePlace(uint32_t offset, uint32_t length);
  // Where the blocks the ledger asks about end, read from their headers (the file's size
  // read once per reader).
  struct BlockEndReader {
    IFFResFile2* fFile;
    uint32_t fFileSize = 0;
    bool fSizeKnown = false;
    int32_t operator()(uint32_t offset, BlockLedger::Extent& extent);
  };
  BlockEndReader BlockEnds();
  int32_t WriteFileHeader(FlatFile& file, uint32_t mapOffset);
  // Frees the block at `offset`, adding its size to the wasted count unless told not to.
  int32_t InvalidateBlock(uint32_t offset, bool countWasted = true);
  // The header at `offset`, checked as a walk checks it (a free block may run past the end).
  int32_t ReadBlockHeader(uint32_t offset, IFFHeader& header);
  // A free block for `dataSize` bytes of data (FindFreeBlock), its header still free. Given
  // `data`, a block appended at the end of the file gets them with its free header, in one
  // write, and `dataWritten` says so; elsewhere the caller writes them.
  int32_t NewBlockHeader(IFFHeader& header, uint32_t dataSize, uint32_t& offset,
                         const void* data = nullptr, bool* dataWritten = nullptr);
  struct SearchSteps;

  int32_t Scan(uint32_t fileSize);  // a bad header ends it (noErr); a disk error is returned
  // The walk of Scan; the marked blocks it meets are gathered in `marks`.
  int32_t Walk(uint32_t fileSize, std::vector<std::pair<uint32_t, IFFHeader>>& marks);
  // Loads the saved map at fMapOffset; `named` learns the blocks its entries name, sorted.
  bool LoadSavedMap(uint32_t fileSize, std::vector<uint32_t>& named);
  int32_t SaveMap();
  void ReleaseMap();
  // The file's path, for the text of assertions.
  const StringBuffer& PathForMessages();

  FlatFile fFile;
  std::unique_ptr<IFFResMap> fMap;  // null while closed
  int32_t fRovingOffset = -1;       // where the next free-block search starts
  uint32_t fMapOffset = 0;          // the saved map named in the file header; 0 = none
  bool fDirty = false;              // something was written since opening
  bool fUnsynced = false;           // something was written to the file since its last sync
  bool fNoDefragment = false;
  // The blocks whose state their headers alone do not tell: marks, and what the saved map
  // named at open reads.
  BlockLedger fLedger;
  // The record headers this session read or wrote, by offset, as their bytes stand in the
  // file: each is read from the disk once. The file changes only through this object while
  // it is open, and every write and cut drops the headers it reaches, so these are the
  // disk's (CheckLedger compares them).
  std::map<uint32_t, std::array<uint8_t, kIFFHeaderSize>> fHeaders;
  std::unique_ptr<FixedStringBuffer<260>> fSuspendedPath;
  FixedStringBuffer<260> fPathForMessages;
};
