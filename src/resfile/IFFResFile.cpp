#include "IFFResFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "BlockChain.h"
#include "PlatformFile.h"
#include "Recon.h"
#include "XAssert.h"

namespace {

const char kIFF1Header[kUniqueHeaderSize + 1] =
    "IFF FILE 1.0:TYPE FOLLOWED BY SIZE"
    "\0"
    " PELOR VANTRICK & KOBRU 1996";

constexpr uint32_t kDefragmentFreeBytes = 10240;  // free bytes from which Close compacts
constexpr int32_t kMaxBlockSize = 0x7FFFFFFF;

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

uint32_t Get32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reports a broken condition with the file's path after the message.
void Complain(const char* message, const StringBuffer& path) {
  std::string text(message);
  text += ' ';
  text += path.c_str();
  XASSERT(false, text.c_str());
}

// The byte-order callback of old-form names: there is no code to swap them.
void SwizzleOldNames(void* /*data*/, int32_t /*size*/) {
  XASSERT(false, "code to swizzle names not implemented");
}

// Reads old-form names: records back to back, each a u32 index in host order, a u8 length and
// that many characters. Every record must fit in the data.
bool ReadOldNames(IFFNameList& list, const uint8_t* data, int32_t size) {
  int32_t at = 0;
  while (at < size) {
    if (size - at < 5) return false;
    uint32_t index = 0;
    std::memcpy(&index, data + at, 4);
    int32_t length = data[at + 4];
    at += 5;
    if (size - at < length) return false;
    FixedStringBuffer<256> text;
    text.append(reinterpret_cast<const char*>(data + at), length);
    FixedStringBuffer<64> name;
    name.append(text, std::min<int32_t>(text.length(), 63));
    list.Append(int32_t(index), name);
    at += length;
  }
  return true;
}

// The mark's word (its name index): 0x80000000 | code << 4 | check, where code is the type's
// four characters, each 0x20-0x7E, as a number in base 95 (below 95^4, so 27 bits), and check
// four bits mixed from the code, the rest of the mark's header (id, flags, size) and its
// offset. A mark's flags have no bit but kInvalid, internal and native.
constexpr uint32_t kTypeCodes = 95u * 95u * 95u * 95u;
constexpr uint32_t kMarkBit = 0x80000000u;
// The flags a mark may carry: kInvalid and the resource's own, the other bits 0 as the layout
// has them.
constexpr uint16_t kMarkFlags = kInvalid | kInternalFlag | kNativeOrder;

bool TypeCode(uint32_t type, uint32_t& code) {
  code = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const uint32_t c = (type >> shift) & 0xFF;
    if (c < 0x20 || c > 0x7E) return false;
    code = code * 95 + (c - 0x20);
  }
  return true;
}

uint32_t CodeType(uint32_t code) {
  uint32_t type = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    type |= (code % 95 + 0x20) << shift;
    code /= 95;
  }
  return type;
}

uint32_t MarkCheck(uint32_t code, const FileBlockHeader& header, uint32_t offset) {
  uint32_t h = code * 0x9E3779B1u;
  h ^= uint32_t(uint16_t(header.fID)) * 0x85EBCA77u;
  h ^= uint32_t(header.fFlags & ~kInvalid) * 0xC2B2AE3Du;
  h ^= uint32_t(header.fSize) * 0x27D4EB2Fu;
  h ^= offset * 0x165667B1u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h >> 28;
}

// The word has the marks' shape, whatever the check: a free block written here never keeps
// such a word unless it is a mark.
bool MarkShaped(const FileBlockHeader& header) {
  const uint32_t word = uint32_t(header.fNameIndex);
  return (word & kMarkBit) && ((word >> 4) & 0x7FFFFFFu) < kTypeCodes;
}

// A free block that marks a replaced resource (see the file's comment): type XXXX and
// kInvalid like any free block, its id the resource's, its name index the mark's word.
bool IsMark(const FileBlockHeader& header, uint32_t offset) {
  if (header.fType != kFreeBlockType || (header.fFlags & ~kMarkFlags) != 0 ||
      !(header.fFlags & kInvalid) || !MarkShaped(header))
    return false;
  const uint32_t word = uint32_t(header.fNameIndex);
  return (word & 0xF) == MarkCheck((word >> 4) & 0x7FFFFFFu, header, offset);
}

BlockLedger::Key MarkKey(const FileBlockHeader& header) {
  BlockLedger::Key key;
  key.type = CodeType((uint32_t(header.fNameIndex) >> 4) & 0x7FFFFFFu);
  key.id = header.fID;
  key.tag = uint16_t(header.fFlags & kInternalFlag);
  return key;
}

}  // namespace

bool IFFResFile::sCreatingNewFile = false;

// ---------------------------------------------------------------------------------------------
// Byte layouts

void EncodeFileBlockHeader(const FileBlockHeader& header, uint8_t bytes[kFileBlockHeaderSize]) {
  Put32(bytes, header.fType);
  Put32(bytes + 4, uint32_t(header.fSize));
  bytes[8] = uint8_t(uint16_t(header.fID) >> 8);
  bytes[9] = uint8_t(header.fID);
  bytes[10] = uint8_t(header.fFlags >> 8);
  bytes[11] = uint8_t(header.fFlags);
  Put32(bytes + 12, uint32_t(header.fNameIndex));
}

void DecodeFileBlockHeader(const uint8_t bytes[kFileBlockHeaderSize], FileBlockHeader& header) {
  header.fType = Get32(bytes);
  header.fSize = int32_t(Get32(bytes + 4));
  header.fID = int16_t((bytes[8] << 8) | bytes[9]);
  header.fFlags = uint16_t((bytes[10] << 8) | bytes[11]);
  header.fNameIndex = int32_t(Get32(bytes + 12));
}

void EncodeIFF1FileHeader(uint8_t bytes[kUniqueHeaderSize]) {
  std::memcpy(bytes, kIFF1Header, kUniqueHeaderSize);
}

bool IsIFF1FileHeader(const uint8_t bytes[kUniqueHeaderSize]) {
  return std::memcmp(bytes, kIFF1Header, kUniqueHeaderSize) == 0;
}

bool MakeIFF1Mark(FileBlockHeader& header, uint32_t type, uint32_t offset) {
  uint32_t code = 0;
  if (!TypeCode(type, code)) return false;
  header.fType = kFreeBlockType;
  header.fFlags = uint16_t((header.fFlags & kMarkFlags) | kInvalid);
  header.fNameIndex = int32_t(kMarkBit | code << 4 | MarkCheck(code, header, offset));
  return true;
}

// ---------------------------------------------------------------------------------------------
// The name list

const IFFName* IFFNameList::FindIndex(int32_t index) const {
  for (const IFFName& n : fNames)
    if (n.fIndex == index) return &n;
  return nullptr;
}

const IFFName* IFFNameList::FindName(const StringBuffer& name) const {
  for (const IFFName& n : fNames)
    if (n.fName.compare_nocase(name) == 0) return &n;
  return nullptr;
}

const IFFName* IFFNameList::FindNextName(const IFFName* after) const {
  if (after == nullptr) return nullptr;
  for (const IFFName* n = after + 1; n < fNames.data() + fNames.size(); ++n)
    if (n->fName.compare_nocase(after->fName) == 0) return n;
  return nullptr;
}

int32_t IFFNameList::NewIndex() const {
  int32_t largest = 0;
  for (const IFFName& n : fNames) largest = std::max(largest, n.fIndex);
  return largest < INT32_MAX ? largest + 1 : INT32_MAX;
}

void IFFNameList::SetName(int32_t index, const StringBuffer& name) {
  if (index == kNoNameIndex) return;
  fNames.erase(std::remove_if(fNames.begin(), fNames.end(),
                              [index](const IFFName& n) { return n.fIndex == index; }),
               fNames.end());
  if (name.length() > 0) Append(index, name);
  fDirty = true;
}

void IFFNameList::Append(int32_t index, const StringBuffer& name) {
  IFFName record;
  record.fIndex = index;
  record.fName.assign(name);
  fNames.push_back(record);
}

void IFFNameList::Reconstitute(ReconStream& stream, int32_t /*version*/) {
  int32_t count = int32_t(fNames.size());
  stream.ReconInt32(&count);
  // Each record takes at least its index and a string's NUL and pad.
  if (stream.Failed() || !stream.CountFits(count, 6)) return;
  if (stream.IsReading()) fNames.assign(size_t(count), IFFName());
  for (int32_t i = 0; i < count && !stream.Failed(); ++i) {
    stream.ReconInt32(&fNames[size_t(i)].fIndex);
    stream.ReconString(fNames[size_t(i)].fName);
  }
}

// ---------------------------------------------------------------------------------------------
// Life cycle

IFFResFile::IFFResFile() = default;

IFFResFile::~IFFResFile() {
  if (fFile.ValidFile()) Close();
}

bool IFFResFile::BeginOperation() {
  if (!fFile.ValidFile()) {
    SetError(fileNotOpenErr);
    return false;
  }
  SetError(noErr);
  return true;
}

bool IFFResFile::BeginWriting() {
  if (!BeginOperation()) return false;
  if (fFile.IsWritable()) return true;
  SetError(readOnlyErr);
  return false;
}

const StringBuffer& IFFResFile::PathForMessages() {
  fPathForMessages.clear();
  if (fFile.ValidFile()) fFile.GetName(fPathForMessages);
  return fPathForMessages;
}

int32_t IFFResFile::Create(const StringBuffer& path) {
  if (fFile.ValidFile()) return alreadyOpenErr;
  // The file appears with its header and its name list or not at all: a file without them is
  // no resource file, and would stand in the way of every later attempt.
  return CreateWholeFile(path, [this](const StringBuffer& temp) {
    int32_t error = noErr;
    {
      FlatFile header;
      error = header.Open(temp);
      if (error != noErr) {
        Complain("could not open newly created file", temp);
        return error;
      }
      uint8_t bytes[kUniqueHeaderSize];
      EncodeIFF1FileHeader(bytes);
      int32_t count = kUniqueHeaderSize;
      error = header.Write(bytes, count);
      int32_t closeError = header.Close();
      if (error == noErr) error = closeError;
    }
    if (error != noErr) return error;
    sCreatingNewFile = true;
    error = Open(temp);
    if (error != noErr) {
      Complain("could not open brand new file", temp);
    } else {
      EnterInternalMode();
      error = SaveNames();
      ExitInternalMode();
      int32_t closeError = Close();  // synced by its Update
      if (error == noErr) error = closeError;
    }
    sCreatingNewFile = false;
    return error;
  });
}

int32_t IFFResFile::Delete(const StringBuffer& path) {
  if (fFile.ValidFile()) return Report(alreadyOpenErr);
  return Report(fFile.Delete(path));
}

int32_t IFFResFile::Open(const StringBuffer& path) {
  if (fFile.ValidFile()) return alreadyOpenErr;
  int32_t error = fFile.Open(path);
  if (error != noErr) return error;
  uint32_t fileSize = 0;
  uint8_t bytes[kUniqueHeaderSize];
  error = fFile.GetEOF(fileSize);
  if (error == noErr && fileSize < uint32_t(kUniqueHeaderSize)) error = badHeaderErr;
  if (error == noErr) error = ReadBytes(0, bytes, kUniqueHeaderSize);
  if (error == noErr && !IsIFF1FileHeader(bytes)) error = badHeaderErr;

  fFreeBytes = 0;
  fLargestBlockNameIndex = 0;
  fAllocationHint = -1;  // a hint of an earlier file never reaches this one
  fLedger.Clear();
  std::vector<std::pair<uint32_t, FileBlockHeader>> marks;
  for (uint32_t at = kUniqueHeaderSize; error == noErr && fileSize - at >= kFileBlockHeaderSize;) {
    FileBlockHeader header;
    bool pastEnd = false;
    error = ReadChainHeader(header, at, fileSize, pastEnd);
    if (error == badHeaderErr) {
      Complain("bad block found", path);
      error = noErr;  // what lies before it is kept
      break;
    }
    if (error != noErr || pastEnd) break;
    if (header.fFlags & kInvalid) {
      fFreeBytes += uint32_t(header.fSize);
      if (IsMark(header, at)) marks.emplace_back(at, header);
    } else {
      ResCache& cache = (header.fFlags & kInternalFlag) ? fInternalCache : fMainCache;
      ResCacheNode* node = FindNodeIn(cache, header.fType, true);
      auto entry = std::make_unique<ResCacheEntry>();
      entry->fID = header.fID;
      entry->fFlags = header.fFlags;
      entry->fileoffset = int32_t(at);
      entry->fNameIndex = header.fNameIndex;
      fLargestBlockNameIndex = std::max(fLargestBlockNameIndex, header.fNameIndex);
      node->fEntries.push_back(std::move(entry));
    }
    at += uint32_t(header.fSize);
  }
  if (error == noErr) ReviveMarks(marks);
  if (error == noErr) {
    if (fNameList) Complain("double open?", path);
    fNameList = std::make_unique<IFFNameList>();
    EnterInternalMode();
    int32_t namesError = LoadNames();
    ExitInternalMode();
    // A name list that the disk failed to give would be saved empty over the stored one.
    if (namesError != noErr && namesError != noSuchResourceErr && namesError != badHeaderErr)
      error = namesError;
    else if (namesError != noErr && !sCreatingNewFile)
      Complain("no names cache", path);
    if (error == noErr) NameRevived();
  }
  if (error != noErr) {
    FreeCaches();
    fNameList.reset();
    fFile.Close();
  }
  return error;
}

int32_t IFFResFile::Suspend() { return Report(unavailableErr); }

int32_t IFFResFile::Resume() { return Report(unavailableErr); }

void IFFResFile::FreeCaches() {
  if (fInternalMode) ExitInternalMode();
  for (ResCache* cache : {&fMainCache, &fInternalCache}) {
    for (auto& node : *cache)
      for (auto& entry : node->fEntries)
        if (entry->fData != nullptr) HFree(entry->fData);
    cache->clear();
  }
}

int32_t IFFResFile::Close() {
  if (!fFile.ValidFile()) return Report(fileNotOpenErr);
  bool writable = fFile.IsWritable();
  int32_t error = writable ? Update() : int32_t(noErr);
  // The session ends: its marks go, with no sync of their own (one that does not reach the
  // disk is met by the next open's walk as a mark beside its live block).
  if (writable && error == noErr)
    error = fLedger.ClearRetired([this](uint32_t offset) { return ClearMark(offset); });
  // The copy keeps live blocks only: resources brought back at open are made live first, and
  // a session that failed to write what it held compacts nothing (a marked block may then be
  // its resource's only copy).
  int32_t defragError = noErr;
  bool compact = writable && error == noErr && fFreeBytes >= kDefragmentFreeBytes;
  if (compact) defragError = BeginChange();
  if (compact && defragError == noErr && !fLedger.MayCompact()) compact = false;
  FreeCaches();
  if (compact) {
    if (defragError == noErr) defragError = Defragment();
  }
  if (error == noErr) error = defragError;
  fNameList.reset();
  int32_t closeError = fFile.ValidFile() ? fFile.Close() : int32_t(noErr);
  if (error == noErr) error = closeError;
  fFreeBytes = 0;
  fLedger.Clear();
  return Report(error);
}

int32_t IFFResFile::Update() {
  if (!BeginOperation()) return fileNotOpenErr;
  if (!fFile.IsWritable()) {
    // Nothing can be pending in a read-only file but names, which never change there.
    return Report(noErr);
  }
  EnterInternalMode();
  int32_t first = SaveNames();
  ExitInternalMode();
  // Every pending resource is written, and one sync makes them durable with the names.
  for (auto& node : fMainCache)
    for (auto& entry : node->fEntries)
      if (entry->fileoffset < 0 && entry->fData != nullptr) {
        int32_t error = WriteEntry(*entry, node->fType);
        if (first == noErr) first = error;
      }
  int32_t error = Sync();
  if (error != noErr) {
    Complain("could not flush file", PathForMessages());
    return Report(first != noErr ? first : error);
  }
  return Report(first);
}

bool IFFResFile::IsWritable() { return fFile.ValidFile() && fFile.IsWritable(); }

void IFFResFile::GetName(StringBuffer& path) {
  path.clear();
  if (fFile.ValidFile()) fFile.GetName(path);
}

bool IFFResFile::ValidFile() { return fFile.ValidFile(); }

void IFFResFile::EnterInternalMode() {
  XASSERT(!fInternalMode, "entering internal mode more than once");
  if (fInternalMode) return;
  std::swap(fMainCache, fInternalCache);
  fInternalMode = true;
}

void IFFResFile::ExitInternalMode() {
  XASSERT(fInternalMode, "exiting internal mode more than once");
  if (!fInternalMode) return;
  std::swap(fMainCache, fInternalCache);
  fInternalMode = false;
}

// ---------------------------------------------------------------------------------------------
// Caches and look-ups

ResCacheNode* IFFResFile::FindNodeIn(ResCache& cache, uint32_t type, bool create) {
  for (auto& node : cache)
    if (node->fType == type) return node.get();
  if (!create) return nullptr;
  cache.push_back(std::make_unique<ResCacheNode>());
  cache.back()->fType = type;
  return cache.back().get();
}

ResCacheEntry* IFFResFile::FindEntry(ResCacheNode* node, int16_t id) {
  if (node == nullptr) return nullptr;
  for (size_t i = node->fEntries.size(); i-- > 0;)
    if (node->fEntries[i]->fID == id) return node->fEntries[i].get();
  return nullptr;
}

IFFResFile::Found IFFResFile::FindHandle(MHandle* h) {
  Found found;
  if (h == nullptr) return found;
  for (auto& node : fMainCache)
    for (auto& entry : node->fEntries)
      if (entry->fData == h) {
        found.entry = entry.get();
        found.node = node.get();
        return found;
      }
  return found;
}

int16_t IFFResFile::CountTypes() {
  if (!BeginOperation()) return 0;
  return int16_t(fMainCache.size());
}

uint32_t IFFResFile::GetIndType(uint16_t index) {
  if (!BeginOperation()) return 0;
  size_t i = index < 1 ? 1 : index;
  if (i > fMainCache.size()) {
    SetError(badTypeIndexErr);
    return 0;
  }
  return fMainCache[fMainCache.size() - i]->fType;
}

int16_t IFFResFile::Count(uint32_t type) {
  if (!BeginOperation()) return 0;
  ResCacheNode* node = FindNode(type, false);
  return node ? int16_t(std::min<size_t>(node->fEntries.size(), 0x7FFF)) : 0;
}

MHandle* IFFResFile::GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  ResCacheEntry* entry = FindEntry(FindNode(type, false), int16_t(id));
  if (entry == nullptr) {
    SetError(noSuchResourceErr);
    return nullptr;
  }
  return Load(entry, type, swizzle);
}

MHandle* IFFResFile::GetNamedResource(uint32_t type, const StringBuffer& name,
                                      SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  ResCacheNode* node = FindNode(type, false);
  if (name.length() > 0 && node != nullptr) {
    for (const IFFName* n = fNameList->FindName(name); n != nullptr;
         n = fNameList->FindNextName(n))
      for (size_t i = node->fEntries.size(); i-- > 0;)
        if (node->fEntries[i]->fNameIndex == n->fIndex)
          return Load(node->fEntries[i].get(), type, swizzle);
  }
  SetError(notMemberErr);
  return nullptr;
}

MHandle* IFFResFile::GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  ResCacheNode* node = FindNode(type, false);
  size_t i = index < 1 ? 1 : index;
  if (node == nullptr || i > node->fEntries.size()) {
    SetError(noSuchResourceErr);
    return nullptr;
  }
  return Load(node->fEntries[node->fEntries.size() - i].get(), type, swizzle);
}

MHandle* IFFResFile::Load(ResCacheEntry* entry, uint32_t type, SwizzleProc swizzle) {
  int32_t error = LoadResource(*entry, type, swizzle);
  SetError(error);
  return error == noErr ? entry->fData : nullptr;
}

int32_t IFFResFile::LoadResource(ResCacheEntry& entry, uint32_t type, SwizzleProc swizzle) {
  if (entry.fData != nullptr) return noErr;
  if (entry.fileoffset < 0) {
    Complain("resource not in ram or on disk", PathForMessages());
    return noSuchResourceErr;
  }
  uint32_t fileSize = 0;
  int32_t error = fFile.GetEOF(fileSize);
  FileBlockHeader header;
  bool pastEnd = false;
  if (error == noErr) error = ReadChainHeader(header, uint32_t(entry.fileoffset), fileSize, pastEnd);
  if (error != noErr) return error;
  // The block must still be the one that was cached (or the mark an open brought back).
  const bool revived = fLedger.Holds(uint32_t(entry.fileoffset)) && IsMark(header, uint32_t(entry.fileoffset));
  if (pastEnd || ((header.fFlags & kInvalid) && !revived) ||
      (revived ? MarkKey(header).type : header.fType) != type) {
    Complain("block changed under its cache entry", PathForMessages());
    return badHeaderErr;
  }
  int32_t size = header.fSize - kFileBlockHeaderSize;
  MHandle* handle = HAlloc(uint32_t(size));
  if (handle == nullptr) return MemError() != 0 ? MemError() : int32_t(outOfMemoryErr);
  if (size > 0) {
    error = ReadBytes(uint32_t(entry.fileoffset) + kFileBlockHeaderSize, HLock(handle), size);
    HUnlock(handle);
    if (error != noErr) {
      // Data half read must not pass for the resource.
      Complain("could not read resource", PathForMessages());
      HFree(handle);
      return error;
    }
  }
  if (!(entry.fFlags & kNativeOrder) && swizzle != nullptr) {
    swizzle(HLock(handle), size);
    HUnlock(handle);
    entry.fFlags |= kNativeOrder;
  }
  entry.fData = handle;
  return noErr;
}

void IFFResFile::GetResName(MHandle* h, StringBuffer& name) {
  name.clear();
  if (!BeginOperation()) return;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(noSuchResourceErr);
    return;
  }
  if (found.entry->fNameIndex == kNoNameIndex) return;
  const IFFName* record = fNameList->FindIndex(found.entry->fNameIndex);
  XASSERT(record != nullptr, "name index not found");
  if (record) name.assign(record->fName);
}

uint32_t IFFResFile::GetResType(MHandle* h) {
  if (!BeginOperation()) return 0;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(noSuchResourceErr);
    return 0;
  }
  return found.node->fType;
}

void IFFResFile::GetResID(MHandle* h, int16_t& id) {
  if (!BeginOperation()) return;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(noSuchResourceErr);
    return;
  }
  id = found.entry->fID;
}

void IFFResFile::GetResAttrs(MHandle* /*h*/, int16_t& attrs) {
  attrs = 0;
  if (BeginOperation()) SetError(unsupportedErr);
}

bool IFFResFile::TypeHasName(uint32_t type, const StringBuffer& name) {
  ResCacheNode* node = FindNode(type, false);
  if (node == nullptr || name.length() == 0) return false;
  for (const IFFName* n = fNameList->FindName(name); n != nullptr; n = fNameList->FindNextName(n))
    for (auto& entry : node->fEntries)
      if (entry->fNameIndex == n->fIndex) return true;
  return false;
}

void IFFResFile::UniqueName(uint32_t type, StringBuffer& name) {
  if (!BeginOperation()) return;
  if (!TypeHasName(type, name)) return;
  FixedStringBuffer<64> base;
  base.append(name, std::min<int32_t>(name.length(), 63));
  FixedStringBuffer<64> candidate;
  // The type has finitely many names, so some counter is free.
  for (int32_t n = 0;; ++n) {
    FixedStringBuffer<16> digits;
    digits.append(n);
    candidate.clear();
    int32_t room = candidate.capacity() - 1 - digits.length();
    candidate.append(base, std::min(room, base.length()));
    candidate.append(digits);
    if (!TypeHasName(type, candidate)) break;
  }
  name.assign(candidate);
}

uint16_t IFFResFile::UniqueID(uint32_t type) {
  if (!BeginOperation()) return 0;
  int16_t largest = 128;
  if (ResCacheNode* node = FindNode(type, false))
    for (auto& entry : node->fEntries) largest = std::max(largest, entry->fID);
  return uint16_t(largest + 1);
}

void IFFResFile::UnusedOperation() {
  if (BeginOperation()) SetError(unsupportedErr);
}

bool IFFResFile::IsNativeOrder(MHandle* h) {
  if (!BeginOperation()) return true;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(notMemberErr);
    return true;
  }
  return (found.entry->fFlags & kNativeOrder) != 0;
}

// ---------------------------------------------------------------------------------------------
// Names

int32_t IFFResFile::LoadNames() {
  fNameList->Clear();
  fNameList->SetDirty(true);
  ResCacheNode* node = FindNode(kNameListType, false);
  if (ResCacheEntry* old = FindEntry(node, 0)) {
    int32_t error = LoadResource(*old, kNameListType, SwizzleOldNames);
    if (error != noErr) return error;
    bool ok = ReadOldNames(*fNameList, reinterpret_cast<uint8_t*>(HLock(old->fData)),
                           HGetSize(old->fData));
    HUnlock(old->fData);
    HFree(old->fData);
    old->fData = nullptr;
    if (!ok) {
      fNameList->Clear();
      return badHeaderErr;
    }
    fNameList->SetDirty(false);
    return noErr;
  }
  MHandle* data = GetResource(kNameListType, 1, ReconSwizzle);
  if (data == nullptr) return GetError();
  SimpleReconObject<IFFNameList> object(*fNameList, kNameListType);
  int32_t error = ReconFromHandle(object, data, nullptr);
  DetachAndDispose(data);
  if (error != noErr) {
    // Stored names that cannot be read are corrupt, not a failing disk.
    fNameList->Clear();
    return badHeaderErr;
  }
  fNameList->SetDirty(false);
  return GetError();
}

int32_t IFFResFile::SaveNames() {
  if (!fNameList->IsDirty()) return noErr;
  SimpleReconObject<IFFNameList> object(*fNameList, kNameListType);
  MHandle* data = ReconToHandle(object, 0);
  if (data == nullptr) return outOfMemoryErr;
  AddResource(data, kNameListType, 1, FixedStringBuffer<4>(), true);
  if (GetError() != noErr) {
    HFree(data);
    return GetError();
  }
  const ResCacheEntry* saved = FindHandle(data).entry;
  // A failed write leaves the new names pending with the file and the stored ones on disk.
  WriteResource(data);
  if (GetError() == noErr) DetachAndDispose(data);
  if (GetError() != noErr) return GetError();
  fNameList->SetDirty(false);
  // Every other list goes: the old-form ones, which the next open reads before the new one,
  // and further new-form ones (a damaged file may hold several), one of which it could read
  // in place of the names just saved.
  auto other = [saved](const auto& e) { return e.get() != saved && (e->fID == 0 || e->fID == 1); };
  while (ResCacheNode* node = FindNode(kNameListType, false)) {
    auto found = std::find_if(node->fEntries.begin(), node->fEntries.end(), other);
    if (found == node->fEntries.end()) break;
    if (ReleaseEntry(**found, kNameListType) != noErr) {
      Complain("could not remove old names", PathForMessages());
      break;
    }
    node->fEntries.erase(found);
  }
  SetError(noErr);
  return noErr;
}

// ---------------------------------------------------------------------------------------------
// Changes

void IFFResFile::AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                             bool native) {
  if (!BeginWriting()) return;
  if (h == nullptr) {
    SetError(badHandleErr);
    return;
  }
  ResCacheNode* node = FindNode(type, false);
  ResCacheEntry* entry = FindEntry(node, int16_t(id));
  Found holder = FindHandle(h);
  if (holder.entry != nullptr && holder.entry != entry) {
    // One handle under two resources would be freed twice.
    Complain("handle already belongs to another resource", PathForMessages());
    SetError(unsupportedErr);
    return;
  }
  // A resource replaced under its own name keeps its name index: the stored name list names
  // the new block as it named the old one, whatever moment the list is next written.
  int32_t keptIndex = kNoNameIndex;
  if (entry != nullptr) {
    if (entry->fileoffset >= 0) {
      // The stored block stays live until the new data are written (WriteEntry).
      entry->fReplacedOffset = entry->fileoffset;
      entry->fileoffset = -1;
    }
    if (entry->fData == h) entry->fData = nullptr;
    if (entry->fData != nullptr) HFree(entry->fData);
    entry->fData = nullptr;
    const IFFName* old = entry->fNameIndex != kNoNameIndex ? fNameList->FindIndex(entry->fNameIndex) : nullptr;
    if (old != nullptr && name.length() > 0 && !NameIndexShared(*entry) &&
        old->fName.compare(FixedStringBuffer<64>(name)) == 0)
      keptIndex = entry->fNameIndex;
    else if (!NameIndexShared(*entry))
      fNameList->SetName(entry->fNameIndex, FixedStringBuffer<4>());
  } else {
    if (node == nullptr) node = FindNode(type, true);
    node->fEntries.push_back(std::make_unique<ResCacheEntry>());
    entry = node->fEntries.back().get();
  }
  entry->fID = int16_t(id);
  entry->fFlags = uint16_t((native ? kNativeOrder : 0) | (fInternalMode ? kInternalFlag : 0));
  entry->fData = h;
  entry->fNameIndex = keptIndex;
  if (name.length() > 0 && keptIndex == kNoNameIndex) {
    entry->fNameIndex = NewNameIndex();
    fNameList->SetName(entry->fNameIndex, name);
  }
  entry->fileoffset = -1;
}

bool IFFResFile::NameIndexShared(const ResCacheEntry& entry) const {
  if (entry.fNameIndex == kNoNameIndex) return false;
  for (const ResCache* cache : {&fMainCache, &fInternalCache})
    for (const auto& node : *cache)
      for (const auto& other : node->fEntries)
        if (other.get() != &entry && other->fNameIndex == entry.fNameIndex) return true;
  return false;
}

int32_t IFFResFile::NewNameIndex() const {
  // A block may carry an index that the name list lacks (a damaged list); a new name given
  // that index would become that block's name too.
  const int32_t fromBlocks = fLargestBlockNameIndex < INT32_MAX ? fLargestBlockNameIndex + 1 : INT32_MAX;
  const int32_t next = std::max(fNameList->NewIndex(), fromBlocks);
  if (next < INT32_MAX) return next;
  // The largest index is taken (a damaged file may carry it): the lowest one that no name and
  // no block uses serves instead.
  std::vector<int32_t> used;
  for (size_t i = 0; i < fNameList->Count(); ++i) used.push_back(fNameList->At(i).fIndex);
  for (const ResCache* cache : {&fMainCache, &fInternalCache})
    for (const auto& node : *cache)
      for (const auto& entry : node->fEntries) used.push_back(entry->fNameIndex);
  std::sort(used.begin(), used.end());
  int32_t candidate = 1;
  for (int32_t index : used) {
    if (index > candidate) break;
    if (index == candidate) {
      if (candidate == INT32_MAX) break;
      ++candidate;
    }
  }
  return candidate;
}

void IFFResFile::WriteResource(MHandle* h) {
  if (!BeginWriting()) return;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(notMemberErr);
    return;
  }
  SetError(WriteEntry(*found.entry, found.node->fType));
}

int32_t IFFResFile::WriteEntry(ResCacheEntry& entry, uint32_t type) {
  if (!fFile.IsWritable()) return readOnlyErr;
  if (entry.fFlags & kInvalid) {
    Complain("writing invalid resource", PathForMessages());
    return badHeaderErr;
  }
  int32_t size = HGetSize(entry.fData);
  if (size < 0 || size > kMaxBlockSize - kFileBlockHeaderSize) return unsupportedErr;
  // A resource on disk is written anew; its block stays live until the new one is.
  if (entry.fileoffset >= 0) {
    entry.fReplacedOffset = entry.fileoffset;
    entry.fileoffset = -1;
  }
  const int32_t old = entry.fReplacedOffset;
  const BlockLedger::Key key = KeyOf(entry, type);
  int32_t error = BeginChange();
  if (error != noErr) return error;
  FileBlockHeader header;
  int32_t offset = -1;
  error = NewBlockHeader(header, uint32_t(size), offset);
  if (error != noErr) {
    Complain("could not make new header", PathForMessages());
    return error;
  }
  XASSERT(header.fSize == size + kFileBlockHeaderSize, "bad size returned from NewBlockHeader");
  const FileBlockHeader freeHeader = header;
  // Data first: until its header is written the block is still free.
  if (size > 0) {
    error = WriteBytes(uint32_t(offset) + kFileBlockHeaderSize, HLock(entry.fData), size);
    HUnlock(entry.fData);
    if (error != noErr) {
      Complain("could not write resource", PathForMessages());
      return error;
    }
  }
  // Then the old block is marked, and only then is the new one made live. From the mark on
  // the ledger holds the old block: a failed attempt leaves it marked, to fall back to.
  if (old >= 0) {
    error = ClearMarksOf(key);
    if (error == noErr) error = MarkReplaced(uint32_t(old), key);
    if (error != noErr) {
      Complain("could not inval header", PathForMessages());
      return error;
    }
    entry.fReplacedOffset = -1;
  }
  header.fType = type;
  header.fID = entry.fID;
  header.fFlags = entry.fFlags;
  header.fNameIndex = entry.fNameIndex;
  error = WriteBlockHeader(header, uint32_t(offset));
  if (error != noErr) {
    // A write cut short may have made the block live all the same: it is made free again,
    // so that the resource is not written twice (its marked block stays its record).
    WriteBlockHeader(freeHeader, uint32_t(offset));
    Complain("could not write header", PathForMessages());
    return error;
  }
  entry.fileoffset = offset;
  entry.fReplacedOffset = -1;
  fLedger.Superseded(key);
  return noErr;
}

BlockLedger::Key IFFResFile::KeyOf(const ResCacheEntry& entry, uint32_t type) const {
  BlockLedger::Key key;
  key.type = type;
  key.id = entry.fID;
  key.tag = uint16_t(entry.fFlags & kInternalFlag);
  return key;
}

int32_t IFFResFile::MarkReplaced(uint32_t offset, const BlockLedger::Key& key) {
  FileBlockHeader header;
  int32_t error = ReadBlockHeader(header, offset);
  if (error != noErr) return error;
  if (header.fFlags & kInvalid) {
    fLedger.Forget(offset);  // freed already (a damaged file): nothing to fall back to there
    return noErr;
  }
  // A type that no mark can hold (a character outside 0x20-0x7E) leaves a plain free block,
  // held until the sync all the same: such a resource is not brought back after a crash.
  const FileBlockHeader live = header;
  if (!MakeIFF1Mark(header, key.type, offset)) {
    header.fType = kFreeBlockType;
    header.fFlags |= kInvalid;
    header.fNameIndex = kNoNameIndex;
  }
  error = WriteBlockHeader(header, offset);
  if (error != noErr) {
    // A write cut short may have left the type of a free block over a live one (the
    // resource lost, a live XXXX in its place): the live header is written back.
    WriteBlockHeader(live, offset);
    return error;
  }
  fFreeBytes += uint32_t(header.fSize);
  fLedger.Set(offset, BlockLedger::State::kReplaced, key);
  return noErr;
}

int32_t IFFResFile::ClearMarksOf(const BlockLedger::Key& key) {
  return fLedger.ClearMarksOf(key, [this](uint32_t offset) { return ClearMark(offset); });
}

int32_t IFFResFile::ClearMark(uint32_t offset) {
  FileBlockHeader header;
  int32_t error = ReadBlockHeader(header, offset);
  if (error != noErr) return error;
  header.fType = kFreeBlockType;
  header.fFlags |= kInvalid;
  header.fNameIndex = kNoNameIndex;
  return WriteBlockHeader(header, offset);
}

int32_t IFFResFile::BeginChange() {
  for (uint32_t offset : fLedger.BlocksIn(BlockLedger::State::kRevived)) {
    FileBlockHeader header;
    int32_t error = ReadBlockHeader(header, offset);
    if (error != noErr) return error;
    const BlockLedger::Key key = fLedger.Find(offset)->key;
    header.fType = key.type;
    header.fFlags = uint16_t(header.fFlags & ~kInvalid);
    header.fNameIndex = kNoNameIndex;
    ResCache& cache = key.tag ? fInternalCache : fMainCache;
    if (ResCacheEntry* entry = FindEntry(FindNodeIn(cache, key.type, false), key.id))
      if (entry->fileoffset == int32_t(offset)) header.fNameIndex = entry->fNameIndex;
    error = WriteBlockHeader(header, offset);
    if (error != noErr) return error;
    fLedger.Forget(offset);
  }
  return noErr;
}

void IFFResFile::ReviveMarks(const std::vector<std::pair<uint32_t, FileBlockHeader>>& marks) {
  for (const auto& [offset, header] : marks) {
    const BlockLedger::Key key = MarkKey(header);
    ResCache& cache = key.tag ? fInternalCache : fMainCache;
    ResCacheNode* node = FindNodeIn(cache, key.type, false);
    if (FindEntry(node, key.id) != nullptr) {
      fLedger.Set(offset, BlockLedger::State::kRetired, key);
      continue;
    }
    node = FindNodeIn(cache, key.type, true);
    auto entry = std::make_unique<ResCacheEntry>();
    entry->fID = key.id;
    entry->fFlags = uint16_t(header.fFlags & ~kInvalid);
    entry->fileoffset = int32_t(offset);
    entry->fNameIndex = kNoNameIndex;  // the mark carries the type where the name index stood
    node->fEntries.push_back(std::move(entry));
    fFreeBytes -= std::min(fFreeBytes, uint32_t(header.fSize));
    fLedger.Set(offset, BlockLedger::State::kRevived, key);
  }
}

void IFFResFile::NameRevived() {
  // A mark holds no name index. When one resource came back and one name is carried by no
  // block, that name is the one its block carried: a write that failed, or a crash, between
  // the mark and the new block leaves the name list that named the old block.
  ResCacheEntry* revived = nullptr;
  for (ResCache* cache : {&fMainCache, &fInternalCache})
    for (auto& node : *cache)
      for (auto& entry : node->fEntries)
        if (fLedger.Holds(uint32_t(entry->fileoffset))) {
          if (revived) return;
          revived = entry.get();
        }
  if (!revived || revived->fFlags & kInternalFlag) return;
  const IFFName* orphan = nullptr;
  for (size_t i = 0; i < fNameList->Count(); ++i) {
    const IFFName& name = fNameList->At(i);
    bool carried = false;
    for (ResCache* cache : {&fMainCache, &fInternalCache})
      for (auto& node : *cache)
        for (auto& entry : node->fEntries) carried = carried || entry->fNameIndex == name.fIndex;
    if (carried) continue;
    if (orphan) return;
    orphan = &name;
  }
  if (orphan) revived->fNameIndex = orphan->fIndex;
}

int32_t IFFResFile::Sync() {
  return fLedger.Sync([this] { return fFile.Flush(); },
                      [this](uint32_t offset) { return ClearMark(offset); });
}

int32_t IFFResFile::ReleaseEntry(ResCacheEntry& entry, uint32_t type) {
  if (entry.fileoffset >= 0 || entry.fReplacedOffset >= 0 || fLedger.HasMarksOf(KeyOf(entry, type))) {
    // The resource's marks go before its blocks, so that none comes back on a walk (also the
    // mark that a failed replacement left as its only record).
    int32_t error = BeginChange();
    if (error == noErr) error = ClearMarksOf(KeyOf(entry, type));
    if (error != noErr) return error;
  }
  for (int32_t* offset : {&entry.fileoffset, &entry.fReplacedOffset}) {
    if (*offset < 0) continue;
    int32_t error = FreeBlock(uint32_t(*offset));
    if (error != noErr) return error;
    *offset = -1;
  }
  if (!NameIndexShared(entry)) fNameList->SetName(entry.fNameIndex, FixedStringBuffer<4>());
  entry.fNameIndex = kNoNameIndex;
  if (entry.fData != nullptr) HFree(entry.fData);
  entry.fData = nullptr;
  return Sync();
}

int32_t IFFResFile::CheckLedger() {
  if (!fFile.ValidFile()) return noErr;
  uint32_t fileSize = 0;
  int32_t error = fFile.GetEOF(fileSize);
  if (error != noErr) return error;
  const char* why = "";
  error = fLedger.Check(
      [this, fileSize](uint32_t offset, BlockLedger::Key& key, bool& marked) {
        FileBlockHeader header;
        bool pastEnd = false;
        int32_t read = ReadChainHeader(header, offset, fileSize, pastEnd);
        if (read != noErr) return read;
        marked = IsMark(header, offset);
        if (marked) key = MarkKey(header);
        uint32_t code = 0;
        const BlockLedger::Block* block = fLedger.Find(offset);
        if (!marked && block && !TypeCode(block->key.type, code) && (header.fFlags & kInvalid)) {
          marked = true;  // the plain free block of a type no mark can hold
          key = block->key;
        }
        return int32_t(noErr);
      },
      why);
  if (error != noErr) Complain(why, PathForMessages());
  return error;
}

void IFFResFile::RemoveResource(MHandle* h) {
  if (!BeginWriting()) return;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(notMemberErr);
    return;
  }
  int32_t error = ReleaseEntry(*found.entry, found.node->fType);
  if (error != noErr) {
    SetError(error);
    return;
  }
  auto& entries = found.node->fEntries;
  entries.erase(std::find_if(entries.begin(), entries.end(),
                             [&](const auto& e) { return e.get() == found.entry; }));
}

void IFFResFile::SetResID(MHandle* h, uint16_t id) {
  FixedStringBuffer<64> name;
  GetResName(h, name);
  if (GetError() != noErr) return;
  SetResInfo(h, id, name, GetResLanguage(h));
}

void IFFResFile::SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name,
                            uint8_t language) {
  if (!BeginOperation()) return;
  if (language != 0) {
    SetError(noLanguagesErr);
    return;
  }
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(notMemberErr);
    return;
  }
  ResCacheEntry& entry = *found.entry;
  bool changed = entry.fID != int16_t(id);
  // A named resource keeps its index; a new name gets one; an empty name drops it.
  int32_t nameIndex = entry.fNameIndex;
  if (name.length() > 0 && nameIndex == kNoNameIndex) nameIndex = NewNameIndex();
  if (name.length() == 0) nameIndex = kNoNameIndex;
  // A new name on an index that other blocks carry too would rename them: it gets its own.
  const bool shared = NameIndexShared(entry);
  if (shared && nameIndex == entry.fNameIndex) {
    const IFFName* record = fNameList->FindIndex(nameIndex);
    if (record == nullptr || record->fName.compare(FixedStringBuffer<64>(name)) != 0) nameIndex = NewNameIndex();
  }
  if (nameIndex != entry.fNameIndex) changed = true;
  // The stored headers change first, so the cache never names what the disk does not hold.
  if (changed && (entry.fileoffset >= 0 || entry.fReplacedOffset >= 0)) {
    if (!fFile.IsWritable()) {
      SetError(readOnlyErr);
      return;
    }
    uint32_t fileSize = 0;
    // A block that takes another id leaves its old key: no mark of that key may outlive it.
    int32_t error = BeginChange();
    if (error == noErr && entry.fID != int16_t(id))
      error = ClearMarksOf(KeyOf(entry, found.node->fType));
    if (error == noErr) error = fFile.GetEOF(fileSize);
    for (int32_t offset : {entry.fileoffset, entry.fReplacedOffset}) {
      if (offset < 0 || error != noErr) continue;
      FileBlockHeader header;
      bool pastEnd = false;
      error = ReadChainHeader(header, uint32_t(offset), fileSize, pastEnd);
      if (error == noErr && (pastEnd || (header.fFlags & kInvalid))) {
        Complain("invalid header", PathForMessages());
        error = badHeaderErr;
      }
      if (error == noErr && header.fType != found.node->fType) {
        Complain("types don't match", PathForMessages());
        error = badHeaderErr;
      }
      if (error == noErr) {
        header.fID = int16_t(id);
        header.fNameIndex = nameIndex;
        error = WriteBlockHeader(header, uint32_t(offset));
      }
    }
    if (error == noErr) error = Sync();
    if (error != noErr) {
      SetError(error);
      return;
    }
  }
  // Names live in the name list: a change of name alone rewrites nothing on disk.
  if (nameIndex == kNoNameIndex) {
    if (!shared) fNameList->SetName(entry.fNameIndex, name);
  } else {
    const IFFName* record = fNameList->FindIndex(nameIndex);
    if (record == nullptr || record->fName.compare(FixedStringBuffer<64>(name)) != 0)
      fNameList->SetName(nameIndex, name);
  }
  entry.fID = int16_t(id);
  entry.fNameIndex = nameIndex;
}

void IFFResFile::DetachResource(MHandle* h) {
  if (!BeginOperation()) return;
  Found found = FindHandle(h);
  if (!found.entry) {
    SetError(notMemberErr);
    return;
  }
  ResCacheEntry& entry = *found.entry;
  if (entry.fileoffset < 0) {
    int32_t error = WriteEntry(entry, found.node->fType);
    if (error != noErr) {
      // The data are not on disk: the file keeps them, so nothing is lost.
      SetError(error);
      return;
    }
  }
  FileBlockHeader header;
  int32_t error = ReadBlockHeader(header, uint32_t(entry.fileoffset));
  if (error != noErr) {
    // The file keeps the handle: a later get must not read the block again without it.
    SetError(error);
    return;
  }
  entry.fData = nullptr;
  entry.fFlags = fLedger.Holds(uint32_t(entry.fileoffset)) ? uint16_t(header.fFlags & ~kInvalid) : header.fFlags;
  SetError(noErr);
}

// ---------------------------------------------------------------------------------------------
// Blocks

int32_t IFFResFile::ReadBytes(uint32_t offset, void* buffer, int32_t count) {
  int32_t error = fFile.SetPos(offset);
  if (error != noErr) return error;
  return fFile.Read(buffer, count);
}

int32_t IFFResFile::WriteBytes(uint32_t offset, const void* buffer, int32_t count) {
  int32_t error = fFile.SetPos(offset);
  if (error != noErr) return error;
  return fFile.Write(buffer, count);
}

int32_t IFFResFile::ReadBlockHeader(FileBlockHeader& header, uint32_t offset) {
  uint8_t bytes[kFileBlockHeaderSize];
  int32_t error = ReadBytes(offset, bytes, kFileBlockHeaderSize);
  if (error == noErr) DecodeFileBlockHeader(bytes, header);
  return error;
}

int32_t IFFResFile::WriteBlockHeader(const FileBlockHeader& header, uint32_t offset) {
  uint8_t bytes[kFileBlockHeaderSize];
  EncodeFileBlockHeader(header, bytes);
  return WriteBytes(offset, bytes, kFileBlockHeaderSize);
}

int32_t IFFResFile::ReadChainHeader(FileBlockHeader& header, uint32_t offset, uint32_t fileSize,
                                    bool& pastEnd) {
  return ReadChainBlockHeader(
      header, offset, fileSize, kFileBlockHeaderSize,
      [this](FileBlockHeader& h, uint32_t o) { return ReadBlockHeader(h, o); },
      [](int32_t size) { return size >= kFileBlockHeaderSize; }, pastEnd);
}

// The steps of the free-block search (FindFreeBlock) in this format.
struct IFFResFile::SearchSteps {
  static constexpr uint32_t kHeaderSize = kFileBlockHeaderSize;
  static constexpr uint64_t kMaxMerged = uint64_t(kMaxBlockSize);
  static constexpr uint64_t kMaxFileEnd = uint64_t(kMaxBlockSize);
  static constexpr bool kShortTailFails = false;

  IFFResFile& file;

  int32_t ReadChain(FileBlockHeader& header, uint32_t offset, uint32_t fileSize, bool& pastEnd) {
    return file.ReadChainHeader(header, offset, fileSize, pastEnd);
  }
  int32_t WriteFreeHeader(const FileBlockHeader& header, uint32_t offset) {
    return file.WriteBlockHeader(header, offset);
  }
  int32_t Append(const FileBlockHeader& header, uint32_t offset) { return WriteFreeHeader(header, offset); }
  static bool Unmark(FileBlockHeader& header) {
    // Marks, and words of their shape, which a new size could make a mark.
    if (!MarkShaped(header)) return false;
    header.fNameIndex = kNoNameIndex;
    return true;
  }
  int32_t Sync() { return file.Sync(); }
  int32_t Cut(uint32_t at) { return file.fFile.SetEOF(at); }
  void Took(uint32_t need) { file.fFreeBytes -= std::min(file.fFreeBytes, need); }
  void Complain(const char* message) { ::Complain(message, file.PathForMessages()); }
  // No saved map: the ledger never asks where a block ends.
  static auto BlockEnds() {
    return [](uint32_t, BlockLedger::Extent&) { return int32_t(noErr); };
  }
};

int32_t IFFResFile::NewBlockHeader(FileBlockHeader& header, uint32_t dataSize, int32_t& offset) {
  if (dataSize > uint32_t(kMaxBlockSize - kFileBlockHeaderSize)) return unsupportedErr;
  uint32_t fileSize = 0;
  int32_t error = fFile.GetEOF(fileSize);
  if (error != noErr) return error;
  SearchSteps steps{*this};
  uint32_t at = 0;
  error = FindFreeBlock(steps, fLedger, fileSize, dataSize + kFileBlockHeaderSize,
                        fAllocationHint, header, at);
  if (error == noErr) offset = int32_t(at);
  return error;
}

int32_t IFFResFile::FreeBlock(uint32_t offset) {
  FileBlockHeader header;
  int32_t error = ReadBlockHeader(header, offset);
  if (error != noErr) return error;
  if (header.fFlags & kInvalid) return noErr;  // freed already
  const FileBlockHeader live = header;
  header.fFlags |= kInvalid;
  header.fType = kFreeBlockType;
  // The id and name index stay, but a name index of the marks' shape (a damaged or foreign
  // header), which would pass for a mark.
  if (MarkShaped(header)) header.fNameIndex = kNoNameIndex;
  error = WriteBlockHeader(header, offset);
  // A write cut short may leave a live XXXX, which is no resource: the live header goes back.
  if (error != noErr) WriteBlockHeader(live, offset);
  if (error == noErr) fFreeBytes += uint32_t(header.fSize);
  if (error == noErr) fLedger.Forget(offset);
  return error;
}

int32_t IFFResFile::Defragment() {
  uint32_t fileSize = 0;
  int32_t error = fFile.GetEOF(fileSize);
  if (error != noErr) return error;
  // The whole chain is checked before anything is written.
  std::vector<ChainBlock> live;
  uint32_t at = kUniqueHeaderSize;
  while (fileSize - at >= uint32_t(kFileBlockHeaderSize)) {
    FileBlockHeader header;
    bool pastEnd = false;
    error = ReadChainHeader(header, at, fileSize, pastEnd);
    if (error != noErr) {
      Complain("corrupt file", PathForMessages());
      return error;
    }
    if (pastEnd) break;
    if (!(header.fFlags & kInvalid)) live.push_back({at, uint32_t(header.fSize)});
    at += uint32_t(header.fSize);
  }


  // The compacted file is built beside this one and swapped in whole, so a failure at any
  // point leaves the old file as it was.
  FixedStringBuffer<260> path;
  fFile.GetName(path);
  std::string host = PlatformResolvePath(path.c_str());
  std::string tempHost = host + "~defrag";
  FixedStringBuffer<272> temp(tempHost.c_str());
  FlatFile out;
  uint8_t bytes[kUniqueHeaderSize];
  EncodeIFF1FileHeader(bytes);
  error = WriteCompactedChain(out, temp, bytes, live, fFile);
  if (out.ValidFile()) {
    int32_t closeError = out.Close();
    if (error == noErr) error = closeError;
  }
  if (error != noErr) {
    Complain("critical error during defragging", PathForMessages());
    out.Delete(temp);
    return error;
  }
  fFile.Close();
  bool renamed = false;
  const bool synced = PlatformFileReplace(tempHost.c_str(), host.c_str(), &renamed);
  if (!renamed) {
    Complain("could not shorten file", path);
    out.Delete(temp);
    return unavailableErr;
  }
  // The copy is durable; the replace syncs the folder that holds its new name, and a power
  // loss before that sync may still bring back the old file: not a success.
  fLedger.Clear();
  fFreeBytes = 0;
  if (!synced) {
    Complain("could not flush file", path);
    return kFlatFailed;
  }
  return noErr;
}
