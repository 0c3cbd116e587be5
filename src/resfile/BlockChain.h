// BlockChain.h - the block steps that IFF 1.0 and IFF 2.x files share, and the ledger of the
// blocks of one file.
//
// Both kinds of file hold a chain of blocks, each a header (type, whole size, id, flags, ...)
// followed by its data; a free block has flag kInvalid. The headers differ in size and layout,
// so each file reads and writes its own and hands these steps a reader and a writer:
//   readChain(Header&, uint32_t offset, uint32_t fileSize, bool& pastEnd) -> error
//     reads the header at offset with the chain's checks (badHeaderErr for one it cannot trust)
//   writeHeader(const Header&, uint32_t offset) -> error
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "IFFResMap.h"
#include "PlatformFile.h"
#include "flatfile.h"
#include "resfile.h"

constexpr int32_t kUniqueHeaderSize = 64;  // the file header of either format
constexpr uint32_t kFreeBlockType = MakeResType('X', 'X', 'X', 'X');

// Sorts block offsets ascending in time linear in their number (a saved map names thousands).
inline void SortBlockOffsets(std::vector<uint32_t>& offsets) {
  const size_t count = offsets.size();
  if (count < 256) {
    std::sort(offsets.begin(), offsets.end());
    return;
  }
  // Least significant byte first; a byte that all offsets share needs no pass.
  size_t counts[4][256] = {};
  for (uint32_t v : offsets)
    for (int b = 0; b < 4; ++b) counts[b][(v >> (8 * b)) & 0xFF]++;
  std::unique_ptr<uint32_t[]> spare(new uint32_t[count]);
  uint32_t* from = offsets.data();
  uint32_t* to = spare.get();
  for (int b = 0; b < 4; ++b) {
    const int shift = 8 * b;
    if (counts[b][(from[0] >> shift) & 0xFF] == count) continue;
    size_t start[256];
    size_t sum = 0;
    for (int d = 0; d < 256; ++d) {
      start[d] = sum;
      sum += counts[b][d];
    }
    for (size_t i = 0; i < count; ++i) to[start[(from[i] >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != offsets.data()) std::memcpy(offsets.data(), from, count * sizeof(uint32_t));
}

// The ledger of the blocks of one file: the blocks whose state their headers alone do not
// tell, whether a write may go to a place, and what waits on the file's next sync. Every
// write, header write, cut of the file and free-block search asks it, so the rule below is
// kept in one place for both formats.
//
// The rule that keeps each resource exactly once, whatever moment a kill or a power loss
// strikes: a resource is replaced by writing its new data into a free block, then marking its
// old block free while the mark keeps the resource's key (type, id and the format's tag), then
// writing the header that makes the new block live. An open that walks the file and finds no
// live record for a key brings back the one block marked with that key. Before a key's block
// is marked, removed or given another id, the key's earlier marks are cleared (made plain free
// blocks), so every state a kill can leave holds, for each key, a live record or exactly one
// mark. Every Update and Close ends with the sync that makes what it wrote durable, so a power
// loss leaves a state that a kill at that sync would have left. Each sync then clears, and
// syncs, the marks of the replacements it made durable: a file written back only in part
// (pages out of order) then holds no mark older than its last sync, so what a sync
// acknowledged is never lost to an older mark; such a file may list a resource whose change
// was in flight twice, the acknowledged record and the new one. A new resource is its live
// header alone; a removed one is freed with a plain free header.
//
// A file opened through a saved map (IFF 2.x) trusts the map instead of its headers, and the
// map saved at close names what the session kept of it. A damaged file may hold a header that
// says free where the map reads a record, or a record that runs over another the map names;
// and the file header names the saved map until the first change retires it, so a change
// that fails before that leaves every resource readable through the map.
//
// States of a block in the ledger, by its mark:
//   kReplaced  marked; the record that replaces it is not durable yet. No write may go there
//              (a free-block search that reaches it syncs first, once the replacement went
//              live): until that sync its bytes are what the disk holds of the resource. One
//              whose replacement failed stays held until its key's next change.
//   kRetired   marked; its replacement is durable. Free to the search; cleared, and synced,
//              by the sync that retired it when its replacement had gone live (Sync), else
//              before its key's next change and before a saved map is written.
//   kRevived   marked on disk, but the resource of its key (an open found no live record):
//              no write may go there; the first change writes its header live again.
// and by the saved map (NameSavedMap; a file opened without one, and every IFF 1.0 file, has
// no block in these):
//   read by the map   a block the saved map named at open, and the map's own block where it
//              is a record of the chain, until this session frees it (Freed). No write may
//              reach into it except at its own header; the search may not take it, nor a
//              free block that reaches into it, nor cut the file where one lies behind the
//              cut (the map's own block aside: retiring the map, which comes first, frees it).
//   freed since open  such a block that the session freed (marked or plainly): what its
//              header says again.
//
// The invariant, checked by Check:
//   1. every block in the ledger's marks holds the mark of its key;
//   2. a key has at most one block that is replaced or revived, and none that is retired
//      beside a replaced one (several marks of one key come only from a file that held them
//      when it was opened);
//   3. while the file header names a saved map, it is the one named at open and no block has
//      been freed since open (the first change retires the map before it frees anything);
//   4. every block the map reads that is not freed since open, and whose header read whole
//      when the ledger first read it, still ends where it ended then: no write reached
//      into it.
// Blocks in no state here are what their headers say. Not thread-safe.
class BlockLedger {
 public:
  enum class State : uint8_t { kReplaced, kRetired, kRevived };

  // A resource's key: its type, id and the format's tag (a language, or the internal flag).
  struct Key {
    uint32_t type = 0;
    int16_t id = 0;
    uint16_t tag = 0;
    bool operator==(const Key& o) const { return type == o.type && id == o.id && tag == o.tag; }
    uint64_t Packed() const { return (uint64_t(type) << 32) | (uint64_t(uint16_t(id)) << 16) | tag; }
  };

  struct Block {
    State state;
    Key key;
    bool superseded = false;  // the record that replaces it went live (Superseded)
  };

  // Forgets every block: at open, at close, and once a compaction moved them all.
  void Clear() {
    fBlocks.clear();
    fByKey.clear();
    fMapNamed.clear();
    fMapReads.clear();
    fMapReadsKnown = false;
    fFreed.clear();
    fFreedSinceOpen = false;
    fSavedMap = 0;
    fSavedMapInChain = false;
    fSavedMapRetired = false;
  }

  // The block at `offset`, or null when the ledger does not hold it.
  const Block* Find(uint32_t offset) const {
    auto found = fBlocks.find(offset);
    return found == fBlocks.end() ? nullptr : &found->second;
  }
  void Set(uint32_t offset, State state, const Key& key) {
    Forget(offset);
    fBlocks[offset] = Block{state, key};
    fByKey[key.Packed()].push_back(offset);
  }
  // The block at `offset` is what its header says again (freed plainly, or taken).
  void Forget(uint32_t offset) {
    auto found = fBlocks.find(offset);
    if (found == fBlocks.end()) return;
    auto list = fByKey.find(found->second.key.Packed());
    if (list != fByKey.end()) {
      auto& offsets = list->second;
      offsets.erase(std::remove(offsets.begin(), offsets.end(), offset), offsets.end());
      if (offsets.empty()) fByKey.erase(list);
    }
    fBlocks.erase(found);
  }

  // The free-block search may not take the block at `offset` now, nor merge it: a replaced
  // block until the next sync, a revived block until its key changes.
  bool Holds(uint32_t offset) const {
    const Block* block = Find(offset);
    return block && block->state != State::kRetired;
  }
  // Whether the ledger holds a mark of `key` (one its sync has not cleared yet).
  bool HasMarksOf(const Key& key) const { return fByKey.count(key.Packed()) != 0; }
  // A compaction, which keeps live blocks only, may run: no block is held (a replaced or
  // revived mark is its resource's only copy on disk).
  bool MayCompact() const {
    for (const auto& [offset, block] : fBlocks)
      if (block.state != State::kRetired) return false;
    return true;
  }
  // The block at `offset` becomes free to the search with the next sync.
  bool WaitsOnSync(uint32_t offset) const {
    const Block* block = Find(offset);
    return block && block->state == State::kReplaced && block->superseded;
  }

  // The file's bytes reached the disk: replaced blocks whose replacements went live retire.
  // One whose replacement failed stays held: it is its resource's only record on disk.
  void Synced() {
    for (auto& [offset, block] : fBlocks)
      if (block.state == State::kReplaced && block.superseded) block.state = State::kRetired;
  }

  // The live header of `key`'s replacement was written: its replaced blocks are superseded.
  // A replacement that failed leaves them as they are, its key's only record.
  void Superseded(const Key& key) {
    auto list = fByKey.find(key.Packed());
    if (list == fByKey.end()) return;
    for (uint32_t offset : list->second) {
      auto found = fBlocks.find(offset);
      if (found != fBlocks.end() && found->second.state == State::kReplaced)
        found->second.superseded = true;
    }
  }

  // A sync of the file: flush() makes its bytes durable; then the marks of the blocks whose
  // replacements went live before it are cleared (clear(offset) writes a plain free header)
  // and flushed in turn. A mark left on disk past the sync that acknowledged its replacement
  // could, beside a later mark of the same key in a file only partly written back, bring back
  // data older than what the sync acknowledged; cleared and synced here, every superseded
  // mark on disk is younger than the last sync. Returns the first error; a mark not cleared
  // stays retired, to be cleared before its key's next change as any other.
  template <class Flush, class ClearMark>
  int32_t Sync(Flush flush, ClearMark clear) {
    int32_t error = flush();
    if (error != noErr) return error;
    std::vector<uint32_t> superseded;
    for (const auto& [offset, block] : fBlocks)
      if (block.state == State::kReplaced && block.superseded) superseded.push_back(offset);
    Synced();
    if (superseded.empty()) return noErr;
    std::sort(superseded.begin(), superseded.end());
    for (uint32_t offset : superseded) {
      error = clear(offset);
      if (error != noErr) return error;
      Forget(offset);
    }
    return flush();
  }

  // Every block in `state`, by offset.
  std::vector<uint32_t> BlocksIn(State state) const {
    std::vector<uint32_t> out;
    for (const auto& [offset, block] : fBlocks)
      if (block.state == state) out.push_back(offset);
    std::sort(out.begin(), out.end());
    return out;
  }

  // Runs before the live record of `key` is marked, removed or given another id: the key's
  // replaced and retired marks are cleared (clear(offset) writes a plain free header there),
  // so that no state a kill can leave holds two marks of the key, or a mark of a removed one.
  template <class ClearMark>
  int32_t ClearMarksOf(const Key& key, ClearMark clear) {
    auto list = fByKey.find(key.Packed());
    if (list == fByKey.end()) return noErr;
    const std::vector<uint32_t> offsets = list->second;
    for (uint32_t offset : offsets) {
      if (fBlocks.at(offset).state == State::kRevived) continue;
      int32_t error = clear(offset);
      if (error != noErr) return error;
      Forget(offset);
    }
    return noErr;
  }

  // Clears every retired mark: at the end of a session, or before a saved map that a later
  // open trusts instead of meeting the marks on a walk.
  template <class ClearMark>
  int32_t ClearRetired(ClearMark clear) {
    for (uint32_t offset : BlocksIn(State::kRetired)) {
      int32_t error = clear(offset);
      if (error != noErr) return error;
      Forget(offset);
    }
    return noErr;
  }

  // ---- The saved map

  // The file header names the saved map at `mapOffset` (0: none), whose block is a record
  // of the chain when `mapInChain`; `named` are the blocks its entries name (empty when the
  // file was walked instead), sorted.
  void NameSavedMap(std::vector<uint32_t> named, uint32_t mapOffset, bool mapInChain) {
    fMapNamed = std::move(named);
    fSavedMap = mapOffset;
    fSavedMapInChain = mapOffset != 0 && mapInChain;
    fSavedMapRetired = mapOffset == 0;
    fMapReads.clear();
    fMapReadsKnown = false;
  }
  // The block of the saved map that retiring it frees: 0 when the header names none, or when
  // the map's block is no record of the chain (it may lie inside another record).
  uint32_t SavedMapBlock() const {
    return !fSavedMapRetired && fSavedMapInChain ? fSavedMap : 0;
  }
  // The file header (synced) names no saved map any more.
  void SavedMapRetired() { fSavedMapRetired = true; }
  // The session freed the block at `offset` (its free header, or its mark, is written).
  void Freed(uint32_t offset) {
    fFreedSinceOpen = true;
    if (!fMapNamed.empty()) fFreed.insert(offset);
  }

  // Where a block ends: after its header's bytes alone where the header does not read
  // (`sound` false), or is a free header that runs past the end of the file (`pastEnd`).
  struct Extent {
    uint64_t end = 0;
    bool pastEnd = false;
    bool sound = false;
  };

  // Whether `length` bytes may be written at `offset`: badHeaderErr when they reach into a
  // block the map reads, other than at its own header. blockEnd(offset, Extent&) reads the
  // extent of the block at `offset` and returns only the disk's errors; the ledger reads
  // them once, at the first question.
  template <class BlockEnd>
  int32_t CheckWrite(uint32_t offset, uint64_t length, BlockEnd blockEnd) {
    bool reaches = false;
    int32_t error = ReachesMapRead(offset, length, blockEnd, reaches);
    if (error == noErr && reaches) error = badHeaderErr;
    return error;
  }
  // Whether the free-block search may take or merge the free block of `size` bytes at
  // `offset` (`pastEnd`: its size runs past the end of the file): not a block the ledger
  // holds (replaced or revived), nor one the map reads, nor one that reaches into one.
  template <class BlockEnd>
  int32_t MayTake(uint32_t offset, uint32_t size, bool pastEnd, BlockEnd blockEnd, bool& may) {
    may = false;
    if (Holds(offset) || IsMapRead(offset)) return noErr;
    bool reaches = false;
    if (!pastEnd) {
      int32_t error = ReachesMapRead(offset, size, blockEnd, reaches);
      if (error != noErr) return error;
    }
    may = !reaches;
    return noErr;
  }
  // Whether the file may be cut at `tail` (a free header there runs past the end: an
  // allocation that never got its data): not while a block the map's entries read lies
  // behind it or runs past it; the header at `tail` is then what broke.
  template <class BlockEnd>
  int32_t MayCut(uint32_t tail, BlockEnd blockEnd, bool& may) {
    may = true;
    if (fMapNamed.empty()) return noErr;
    int32_t error = ReadMapReads(blockEnd);
    if (error != noErr) return error;
    for (const MapRead& block : fMapReads)
      if (!block.own && fFreed.count(block.offset) == 0 &&
          (block.offset >= tail || block.end > tail || block.pastEnd)) {
        may = false;
        break;
      }
    return noErr;
  }

  // Checks the invariant above against the disk. readMark(offset, Key& key, bool& marked)
  // reads the header at `offset` and tells whether it is a mark, and of which key; it
  // returns the read's error. noErr, badHeaderErr where the invariant fails (`why` says
  // which), or the read's error.
  // A file that names no saved map (IFF 1.0) has parts 1 and 2 only.
  template <class ReadMark>
  int32_t Check(ReadMark readMark, const char*& why) const {
    return Check(
        readMark, [](uint32_t& mapOffset) { mapOffset = 0; return int32_t(noErr); },
        [](uint32_t, Extent&) { return int32_t(noErr); }, why);
  }
  // Parts 3 and 4 read the map offset the file header names through
  // readSavedMap(uint32_t& mapOffset), and the blocks the map reads through blockEnd (as in
  // CheckWrite).
  template <class ReadMark, class ReadSavedMap, class BlockEnd>
  int32_t Check(ReadMark readMark, ReadSavedMap readSavedMap, BlockEnd blockEnd,
                const char*& why) const {
    why = "";
    std::unordered_map<uint64_t, int> held;  // replaced or revived
    std::unordered_map<uint64_t, int> replaced;
    std::unordered_map<uint64_t, int> marks;
    for (const auto& [offset, block] : fBlocks) {
      Key key;
      bool marked = false;
      int32_t error = readMark(offset, key, marked);
      if (error != noErr) return error;
      if (!marked || !(key == block.key)) {
        why = "a block of the ledger does not carry the mark of its key";
        return badHeaderErr;
      }
      const uint64_t packed = block.key.Packed();
      marks[packed]++;
      if (block.state != State::kRetired) held[packed]++;
      if (block.state == State::kReplaced) replaced[packed]++;
    }
    for (const auto& [packed, count] : marks)
      if (held[packed] > 1 || (replaced[packed] > 0 && count > 1)) {
        why = "a key has more than one mark";
        return badHeaderErr;
      }
    return CheckSavedMap(readSavedMap, blockEnd, why);
  }

 private:
  // A block the saved map reads: where it ends (`pastEnd`: its free header runs past the end
  // of the file), and the furthest end of it and those before it.
  struct MapRead {
    uint32_t offset;
    uint64_t end;
    uint64_t furthestEnd;
    bool own;  // the map's own block
    bool pastEnd;
    bool sound;
  };

  bool IsMapRead(uint32_t offset) const {
    return !fMapNamed.empty() && std::binary_search(fMapNamed.begin(), fMapNamed.end(), offset) &&
           fFreed.count(offset) == 0;
  }

  template <class BlockEnd>
  int32_t ReadMapReads(BlockEnd blockEnd) {
    if (fMapReadsKnown) return noErr;
    std::vector<uint32_t> offsets = fMapNamed;
    if (fSavedMapInChain) offsets.push_back(fSavedMap);
    SortBlockOffsets(offsets);
    std::vector<MapRead> blocks;
    blocks.reserve(offsets.size());
    uint64_t furthest = 0;
    for (uint32_t at : offsets) {
      Extent extent;
      // A disk that fails: read them again at the next question.
      int32_t error = blockEnd(at, extent);
      if (error != noErr) return error;
      furthest = std::max(furthest, extent.end);
      blocks.push_back({at, extent.end, furthest, fSavedMapInChain && at == fSavedMap,
                        extent.pastEnd, extent.sound});
    }
    fMapReads = std::move(blocks);
    fMapReadsKnown = true;
    return noErr;
  }

  // Whether the `length` bytes at `offset` reach into a block the map reads, other than one
  // at `offset` or one freed since open.
  template <class BlockEnd>
  int32_t ReachesMapRead(uint32_t offset, uint64_t length, BlockEnd blockEnd, bool& reaches) {
    reaches = false;
    if (fMapNamed.empty()) return noErr;
    int32_t error = ReadMapReads(blockEnd);
    if (error != noErr) return error;
    // The blocks that start before the range's end, back to the last that reaches past its start.
    const uint64_t rangeEnd = uint64_t(offset) + length;
    auto past = std::lower_bound(fMapReads.begin(), fMapReads.end(), rangeEnd,
                                 [](const MapRead& b, uint64_t at) { return b.offset < at; });
    for (auto it = past; it != fMapReads.begin();) {
      --it;
      if (it->furthestEnd <= offset) break;
      if (it->offset == offset || it->end <= offset || fFreed.count(it->offset)) continue;
      reaches = true;
      break;
    }
    return noErr;
  }

  // Parts 3 and 4 of the invariant.
  template <class ReadSavedMap, class BlockEnd>
  int32_t CheckSavedMap(ReadSavedMap readSavedMap, BlockEnd blockEnd, const char*& why) const {
    uint32_t named = 0;
    int32_t error = readSavedMap(named);
    if (error != noErr) return error;
    if (named != 0 && (fSavedMapRetired || named != fSavedMap || fFreedSinceOpen)) {
      why = "the file header names a saved map that no longer reads the file";
      return badHeaderErr;
    }
    if (!fMapReadsKnown) return noErr;
    // A header that did not read may read once the file has grown; one that did keeps its size.
    for (const MapRead& block : fMapReads) {
      if (!block.sound || fFreed.count(block.offset)) continue;
      Extent extent;
      error = blockEnd(block.offset, extent);
      if (error != noErr) return error;
      if (!extent.sound || extent.end != block.end) {
        why = "a write reached into a block the saved map reads";
        return badHeaderErr;
      }
    }
    return noErr;
  }

  std::unordered_map<uint32_t, Block> fBlocks;
  std::unordered_map<uint64_t, std::vector<uint32_t>> fByKey;
  // The saved map's part.
  std::vector<uint32_t> fMapNamed;     // sorted; the blocks its entries named at open
  std::unordered_set<uint32_t> fFreed;  // of those and the map's own, the ones freed since
  std::vector<MapRead> fMapReads;      // by offset; read at the first question
  bool fMapReadsKnown = false;
  bool fFreedSinceOpen = false;  // some block was freed this session
  uint32_t fSavedMap = 0;        // the map the file header named at open
  bool fSavedMapInChain = false;
  bool fSavedMapRetired = true;  // the header names it no more
};

// The header of a free block of `size` bytes, its header included.
template <class Header>
Header FreeBlockHeader(uint32_t size) {
  Header header;
  header.fType = kFreeBlockType;
  header.fSize = decltype(header.fSize)(size);
  header.fFlags = kInvalid;
  return header;
}

// `block` is the free block at `at`, wholly inside the file. The free blocks that follow it and
// that readFree(Header&, uint32_t offset, uint32_t fileSize, bool& pastEnd, bool& free) says
// the search may take are merged into it (while the merged size stays within maxBlockSize), then `need` bytes are taken
// from its front when they fill it exactly or leave room for a free block of the rest. On noErr
// `taken` tells whether it was taken; `block` is then the taken block's header, still free.
// No mark survives in a merged, split or taken block (a mark over data that are no longer its
// own would bring them back): unmark(header) makes a mark a plain free header and tells
// whether it was one; cleared(offset) is told of each block whose mark is gone from the chain
// (`at` once its header is written plain, and each block merged into it).
template <class Header, class ReadFree, class WriteHeader, class Unmark, class Cleared>
int32_t MergeAndTakeFreeBlock(Header& block, uint32_t at, uint32_t fileSize, uint32_t need,
                              uint32_t headerSize, uint64_t maxBlockSize, ReadFree readFree,
                              WriteHeader writeHeader, Unmark unmark, Cleared cleared,
                              bool& taken) {
  taken = false;
  uint32_t end = at + uint32_t(block.fSize);
  std::vector<uint32_t> merged;
  while (end < fileSize) {
    Header next;
    bool nextPastEnd = false;
    bool nextFree = false;
    int32_t error = readFree(next, end, fileSize, nextPastEnd, nextFree);
    if (error != noErr && error != badHeaderErr) return error;  // the disk failed
    // A bad header ends the merge; the walk reports it when it gets there.
    if (error != noErr || nextPastEnd || !nextFree) break;
    if (uint64_t(uint32_t(block.fSize)) + uint32_t(next.fSize) > maxBlockSize) break;
    block.fSize += next.fSize;
    merged.push_back(end);
    end += uint32_t(next.fSize);
  }
  const uint32_t size = uint32_t(block.fSize);
  const bool fits = size == need || uint64_t(size) >= uint64_t(need) + headerSize;
  const bool wasMark = unmark(block);
  if (!merged.empty() || (fits && wasMark)) {
    int32_t error = writeHeader(block, at);
    if (error != noErr) return error;
    cleared(at);
    for (uint32_t offset : merged) cleared(offset);
  }
  if (!fits) return noErr;
  if (size != need) {
    // The rest becomes a free block of its own, written before the taken part shrinks, so the
    // chain is sound after either write.
    int32_t error = writeHeader(FreeBlockHeader<Header>(size - need), at + need);
    if (error != noErr) return error;
    block.fSize = decltype(block.fSize)(need);
    error = writeHeader(block, at);
    if (error != noErr) return error;
  }
  taken = true;
  return noErr;
}

// The free-block search of both formats: from the hint (the block the last search ended at)
// to the end of the file, the first free block the ledger lets it take (BlockLedger::MayTake)
// whose size, merged with the free blocks after it, fits `need` bytes (MergeAndTakeFreeBlock);
// blocks too small to split are passed over. A free header that runs past the end of the
// file (an allocation that never got its data) is cut off, unless the ledger says blocks the
// saved map reads lie behind it; then, and at the end of the chain, a free block of `need`
// bytes is appended. Nothing that changes a record is written: the taken block's header is
// still free, and `header` and `offset` tell it; `hint` follows the search.
//
// The format's part is `steps`:
//   kHeaderSize, kMaxMerged (the largest block a merge makes), kMaxFileEnd (the largest
//   file an append makes), kShortTailFails (bytes after the chain too few for a header are
//   cut off before the append, and fail the search where the saved map reads blocks there;
//   else the new block is appended over them);
//   ReadChain(Header&, uint32_t offset, uint32_t fileSize, bool& pastEnd) -> error,
//   WriteFreeHeader(const Header&, uint32_t offset) -> error (a header that changes no record),
//   Append(const Header&, uint32_t offset) -> error (the free header of the block appended at
//   the end of the file: WriteFreeHeader, or that header and the data meant for the block in
//   one write, the header first),
//   Unmark(Header&) -> bool (makes a mark a plain free header; whether it was one),
//   Sync() -> error (the sync that a replaced block waits on), Cut(uint32_t at) -> error,
//   Took(uint32_t need) (the free space shrank by need), Complain(const char*), and
//   BlockEnds() (the ledger's reader of where blocks end).
template <class Header, class Steps>
int32_t FindFreeBlock(Steps& steps, BlockLedger& ledger, uint32_t fileSize, uint32_t need,
                      int32_t& hint, Header& header, uint32_t& offset) {
  constexpr uint32_t headerSize = Steps::kHeaderSize;
  // A header as the search reads it: the sync that a replaced block waits on comes first;
  // `free` tells a free block that the ledger lets the search take.
  auto read = [&](Header& block, uint32_t at, uint32_t size, bool& pastEnd, bool& free) {
    free = false;
    if (ledger.WaitsOnSync(at)) {
      int32_t error = steps.Sync();
      if (error != noErr) return error;
    }
    int32_t error = steps.ReadChain(block, at, size, pastEnd);
    if (error != noErr || !(block.fFlags & kInvalid)) return error;
    return ledger.MayTake(at, uint32_t(block.fSize), pastEnd, steps.BlockEnds(), free);
  };
  uint32_t at = hint > 0 ? uint32_t(hint) : uint32_t(kUniqueHeaderSize);
  if (at < uint32_t(kUniqueHeaderSize) || at > fileSize) at = kUniqueHeaderSize;
  while (fileSize - at >= headerSize) {
    Header block;
    bool pastEnd = false;
    bool free = false;
    int32_t error = read(block, at, fileSize, pastEnd, free);
    if (error != noErr) {
      // A header that the chain cannot trust: write nothing rather than guess.
      steps.Complain("iff headers ended before eof");
      return error;
    }
    hint = int32_t(at);
    if (free) {
      if (pastEnd) {
        // The rest of the file is free, unless the saved map still reads blocks behind it:
        // then the header is what broke, and the new block goes at the end of the file.
        bool mayCut = false;
        error = ledger.MayCut(at, steps.BlockEnds(), mayCut);
        if (error != noErr) return error;
        if (!mayCut) {
          steps.Complain("free header runs past the end of the file");
          at = fileSize;
          break;
        }
        error = steps.Cut(at);
        if (error != noErr) return error;
        fileSize = at;
        break;
      }
      bool taken = false;
      error = MergeAndTakeFreeBlock(
          block, at, fileSize, need, headerSize, uint64_t(Steps::kMaxMerged), read,
          [&](const Header& h, uint32_t o) { return steps.WriteFreeHeader(h, o); },
          [&](Header& h) { return steps.Unmark(h); }, [&](uint32_t o) { ledger.Forget(o); },
          taken);
      if (error != noErr) return error;
      if (taken) {
        ledger.Forget(at);
        steps.Took(need);
        header = block;
        offset = at;
        return noErr;
      }
    }
    at += uint32_t(block.fSize);
  }
  if (at != fileSize && Steps::kShortTailFails) {
    // Bytes too few for a header after the chain's end: what a write cut short at the end
    // of the file leaves (a full disk). They belong to no block, so they are cut off, unless
    // blocks the saved map reads lie there (a damaged chain, which nothing may write over).
    bool mayCut = false;
    int32_t error = ledger.MayCut(at, steps.BlockEnds(), mayCut);
    if (error != noErr) return error;
    if (!mayCut) {
      steps.Complain("iff headers ended before eof");
      return badHeaderErr;
    }
    error = steps.Cut(at);
    if (error != noErr) return error;
    fileSize = at;
  }
  if (uint64_t(at) + need > uint64_t(Steps::kMaxFileEnd)) return unsupportedErr;
  Header block = FreeBlockHeader<Header>(need);
  int32_t error = steps.Append(block, at);
  if (error != noErr) return error;
  hint = int32_t(at);
  header = block;
  offset = at;
  return noErr;
}

// Reads the header at `offset` through readHeader(Header&, uint32_t offset) with the chain's
// checks: badHeaderErr where no header fits between the file header and fileSize, where
// sizeOk(fSize) fails, or where a block in use runs past the end. A free block that does was
// never given its data: pastEnd says so.
template <class Header, class ReadHeader, class SizeOk>
int32_t ReadChainBlockHeader(Header& header, uint32_t offset, uint32_t fileSize,
                             uint32_t headerSize, ReadHeader readHeader, SizeOk sizeOk,
                             bool& pastEnd) {
  pastEnd = false;
  if (offset < uint32_t(kUniqueHeaderSize) || offset > fileSize || fileSize - offset < headerSize)
    return badHeaderErr;
  int32_t error = readHeader(header, offset);
  if (error != noErr) return error;
  if (!sizeOk(header.fSize)) return badHeaderErr;
  if (uint64_t(offset) + uint32_t(header.fSize) > fileSize) {
    if (!(header.fFlags & kInvalid)) return badHeaderErr;
    pastEnd = true;
  }
  return noErr;
}

// A block that compaction keeps: where it stands and its whole size.
struct ChainBlock {
  uint32_t offset;
  uint32_t size;
};

// Writes the compacted copy at `temp` into `out`, left open: the file header `fileHeader`
// (kUniqueHeaderSize bytes), then `blocks` of `source` back to back, blocks that lie side by
// side copied as one, and flushes it. The disk is asked to take what is written every few
// megabytes, so that the flush at the end waits for little more than the last of them.
// `moved`, where given, learns where each block lands.
inline int32_t WriteCompactedChain(FlatFile& out, const StringBuffer& temp, const uint8_t* fileHeader,
                                   const std::vector<ChainBlock>& blocks, FlatFile& source,
                                   std::unordered_map<uint32_t, uint32_t>* moved = nullptr) {
  out.Delete(temp);  // a leftover of an earlier attempt
  int32_t error = out.Create(temp);
  if (error == noErr) error = out.Open(temp);
  if (error != noErr) return error;
  constexpr uint32_t kWritebackStep = 4u << 20;
  int32_t count = kUniqueHeaderSize;
  error = out.Write(fileHeader, count);
  uint32_t to = kUniqueHeaderSize;
  uint32_t started = 0;  // bytes handed to the disk so far
  for (size_t i = 0; error == noErr && i < blocks.size();) {
    // A run of blocks that lie side by side, up to the next writeback.
    const uint32_t from = blocks[i].offset;
    uint32_t length = 0;
    do {
      if (moved) (*moved)[blocks[i].offset] = to + length;
      length += blocks[i].size;
      ++i;
    } while (i < blocks.size() && blocks[i].offset == from + length &&
             to + length - started < kWritebackStep);
    error = out.CopyFrom(source, from, length);
    to += length;
    if (error == noErr && to - started >= kWritebackStep) {
      out.StartWriteback(started, to - started);
      started = to;
    }
  }
  if (error == noErr) error = out.Flush();
  return error;
}

// The folder that holds the host path `hostPath`.
inline std::string FolderOfHostPath(const std::string& hostPath) {
  const size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : hostPath.substr(0, slash);
}

// Makes a new resource file at `path` that appears whole or not at all, whatever moment a
// kill or a power loss strikes: fill(temp) fills the file made at a temporary name beside it
// and makes its bytes durable; the file then takes its name without overwriting anything
// (fileExistsErr when the name was taken meanwhile), and the folder is synced. Answers
// fileExistsErr when `path` exists, createFailedErr when the file cannot be made or named,
// else fill's error or the folder sync's; on any error neither file is left behind.
template <class Fill>
int32_t CreateWholeFile(const StringBuffer& path, Fill fill) {
  if (PlatformPathExists(path.c_str())) return fileExistsErr;
  const std::string host = PlatformResolvePath(path.c_str());
  if (host.empty()) return createFailedErr;
  const std::string tempHost = host + "~create";
  FixedStringBuffer<280> temp(tempHost.c_str());
  FlatFile files;
  files.Delete(temp);  // a leftover of a creation cut short
  int32_t error = files.Create(temp);
  if (error == noErr) error = fill(temp);
  if (error == noErr && !PlatformFileMove(tempHost.c_str(), host.c_str()))
    error = PlatformPathExists(host.c_str()) ? int32_t(fileExistsErr) : int32_t(createFailedErr);
  if (error != noErr) {
    files.Delete(temp);
    return error;
  }
  // The new name must survive a power loss as the file's bytes do.
  if (!PlatformFolderSync(FolderOfHostPath(host).c_str())) {
    files.Delete(path);
    return kFlatFailed;
  }
  return noErr;
}
