// BlockChain.h - the free-block steps that IFF 1.0 and IFF 2.x files share.
//
// Both kinds of file hold a chain of blocks, each a header (type, whole size, id, flags, ...)
// followed by its data; a free block has type kFreeBlockType and flag kInvalid. The headers
// differ in size and layout, so each file reads and writes its own and hands these steps a
// reader and a writer:
//   readChain(Header&, uint32_t offset, uint32_t fileSize, bool& pastEnd) -> error
//     reads the header at offset with the chain's checks (badHeaderErr for one it cannot trust)
//   writeHeader(const Header&, uint32_t offset) -> error
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "IFFResFile2.h"
#include "flatfile.h"

// The header of a free block of `size` bytes, its header included.
template <class Header>
Header FreeBlockHeader(uint32_t size) {
  Header header;
  header.fType = kFreeBlockType;
  header.fSize = decltype(header.fSize)(size);
  header.fFlags = kInvalid;
  return header;
}

// `block` is the free block at `at`, wholly inside the file. The free blocks that follow it are
// merged into it (while the merged size stays within maxBlockSize), then `need` bytes are taken
// from its front when they fill it exactly or leave room for a free block of the rest. On noErr
// `taken` tells whether it was taken; `block` is then the taken block's header, still free.
template <class Header, class ReadChain, class WriteHeader>
int32_t MergeAndTakeFreeBlock(Header& block, uint32_t at, uint32_t fileSize, uint32_t need,
                              uint32_t headerSize, uint64_t maxBlockSize, ReadChain readChain,
                              WriteHeader writeHeader, bool& taken) {
  taken = false;
  uint32_t end = at + uint32_t(block.fSize);
  bool merged = false;
  while (end < fileSize) {
    Header next;
    bool nextPastEnd = false;
    int32_t error = readChain(next, end, fileSize, nextPastEnd);
    if (error != noErr && error != badHeaderErr) return error;  // the disk failed
    // A bad header ends the merge; the walk reports it when it gets there.
    if (error != noErr || nextPastEnd || !(next.fFlags & kInvalid)) break;
    if (uint64_t(uint32_t(block.fSize)) + uint32_t(next.fSize) > maxBlockSize) break;
    block.fSize += next.fSize;
    end += uint32_t(next.fSize);
    merged = true;
  }
  if (merged) {
    int32_t error = writeHeader(block, at);
    if (error != noErr) return error;
  }
  const uint32_t size = uint32_t(block.fSize);
  if (size != need && uint64_t(size) < uint64_t(need) + headerSize) return noErr;
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
