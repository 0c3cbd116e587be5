#include "IFFResFile2.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "BlockChain.h"
#include "PlatformFile.h"
#include "Recon.h"
#include "XAssert.h"

namespace {

// The file header: text, NUL, text, map offset. '*' matches any byte when checking.
const char kFileHeaderTemplate[kUniqueHeaderSize + 1] =
    "IFF FILE *.*:TYPE FOLLOWED BY SIZE"
    "\0"
    " PELOR VANTRICK & KOBRU 1****";

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

uint32_t Get32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t Get16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

// Reports a broken condition with the file's path after the message.
void Complain(const char* message, const StringBuffer& path) {
  std::string text(message);
  text += ' ';
  text += path.c_str();
  XASSERT(false, text.c_str());
}

// A data size that a record may hold.
bool SoundRecordSize(uint32_t size) {
  return size >= uint32_t(kIFFHeaderSize) && size - kIFFHeaderSize <= kMaxResourceSize;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Byte layouts

void IFFHeader::SetName(const char* name) {
  std::memset(fName, 0, sizeof fName);
  std::strncpy(fName, name, sizeof fName - 1);
}

void IFFHeader::GetName(StringBuffer& name) const {
  name.clear();
  name.append(fName, int32_t(sizeof fName - 1));
}

void EncodeIFFHeader(const IFFHeader& header, uint8_t bytes[kIFFHeaderSize]) {
  Put32(bytes, header.fType);
  Put32(bytes + 4, header.fSize);
  Put16(bytes + 8, uint16_t(header.fID));
  Put16(bytes + 10, header.fFlags);
  std::memset(bytes + 12, 0, 64);
  std::memcpy(bytes + 12, header.fName, strnlen(header.fName, 63));
}

void DecodeIFFHeader(const uint8_t bytes[kIFFHeaderSize], IFFHeader& header) {
  header.fType = Get32(bytes);
  header.fSize = Get32(bytes + 4);
  header.fID = int16_t(Get16(bytes + 8));
  header.fFlags = Get16(bytes + 10);
  std::memcpy(header.fName, bytes + 12, 64);
  header.fName[63] = 0;  // a stored name may lack its NUL
}

void EncodeFileHeader(uint32_t mapOffset, uint8_t bytes[kUniqueHeaderSize]) {
  std::memcpy(bytes, kFileHeaderTemplate, kUniqueHeaderSize);
  bytes[9] = '2';
  bytes[11] = '5';
  Put32(bytes + 60, mapOffset);
}

int32_t DecodeFileHeader(const uint8_t bytes[kUniqueHeaderSize], uint32_t& mapOffset) {
  mapOffset = 0;
  for (int32_t i = 0; i < kUniqueHeaderSize; ++i)
    if (kFileHeaderTemplate[i] != '*' && char(bytes[i]) != kFileHeaderTemplate[i])
      return badHeaderErr;
  int32_t version = (bytes[9] - '0') * 256 + (bytes[11] - '0');
  if (version == 0x205) {
    mapOffset = Get32(bytes + 60);
    return noErr;
  }
  return version == 0x200 ? noErr : badHeaderErr;
}

// ---------------------------------------------------------------------------------------------
// Life cycle

IFFResFile2::IFFResFile2() = default;

IFFResFile2::~IFFResFile2() {
  if (fMap) Close();
}

bool IFFResFile2::BeginOperation() {
  if (!fMap) {
    SetError(fileNotOpenErr);
    return false;
  }
  SetError(noErr);
  return true;
}

bool IFFResFile2::BeginWriting() {
  if (!BeginOperation()) return false;
  if (IsWritable()) return true;
  SetError(readOnlyErr);
  return false;
}

int32_t IFFResFile2::Create(const StringBuffer& path) {
  if (fMap) return Report(alreadyOpenErr);
  // The file appears with its header or not at all: a file without one is no resource file,
  // and would stand in the way of every later attempt.
  int32_t error = CreateWholeFile(path, [this](const StringBuffer& temp) {
    int32_t made = fFile.Open(temp);
    if (made != noErr) {
      Complain("could not open newly created file", temp);
      return made;
    }
    made = WriteFileHeader(fFile, 0);  // flushed
    fFile.Close();
    return made;
  });
  fMapOffset = 0;
  fDirty = false;
  return Report(error);
}

int32_t IFFResFile2::Delete(const StringBuffer& path) {
  int32_t error = fMap ? int32_t(alreadyOpenErr) : fFile.Delete(path);
  return Report(error);
}

int32_t IFFResFile2::Open(const StringBuffer& path) {
  if (fMap) return Report(alreadyOpenErr);
  int32_t error = fFile.Open(path);
  if (error != noErr) return Report(error);
  uint32_t fileSize = 0;
  uint32_t mapOffset = 0;
  uint8_t bytes[kUniqueHeaderSize];
  error = GetFileSize(fileSize);
  if (error == noErr && fileSize < uint32_t(kUniqueHeaderSize)) error = badHeaderErr;
  if (error == noErr) error = ReadBytes(0, bytes, kUniqueHeaderSize);
  if (error == noErr) error = DecodeFileHeader(bytes, mapOffset);
  if (error != noErr) {
    fFile.Close();
    return Report(error);
  }
  fMap = std::make_unique<IFFResMap>();
  fMapOffset = mapOffset;
  fRovingOffset = -1;  // a search never starts inside another file's layout
  fDirty = false;
  fUnsynced = false;
  fLedger.Clear();
  fHeaders.clear();
  std::vector<uint32_t> named;
  if (fMapOffset != 0 && LoadSavedMap(fileSize, named)) {
    fLedger.NameSavedMap(std::move(named), fMapOffset, true);
  } else {
    fMap->Clear();
    fMap->SetWasted(0);
    error = Scan(fileSize);
    if (error != noErr) {
      ReleaseMap();
      fFile.Close();
      return Report(error);
    }
    // The map's block is freed with the map only where the walk met it as a record.
    bool inChain = false;
    if (const IFFTypeNode* node = fMap->FindNode(kResMapType, false))
      for (const auto& entry : node->fEntries)
        if (entry->fFileoffset == fMapOffset) inChain = true;
    fLedger.NameSavedMap({}, fMapOffset, inChain);
  }
  fMap->RemoveType(kResMapType);
  return Report(noErr);
}

int32_t IFFResFile2::Suspend() {
  if (!BeginOperation()) return fileNotOpenErr;
  fSuspendedPath = std::make_unique<FixedStringBuffer<260>>();
  fFile.GetName(*fSuspendedPath);
  return Close();
}

int32_t IFFResFile2::Resume() {
  std::unique_ptr<FixedStringBuffer<260>> path = std::move(fSuspendedPath);
  if (!path || path->length() == 0) return Report(unavailableErr);
  int32_t error = Open(*path);
  fRovingOffset = 0;
  return error;
}

int32_t IFFResFile2::Close() {
  if (!fMap) return Report(fileNotOpenErr);
  int32_t error = noErr;
  if (IsWritable()) {
    // Every resource held only in memory is written, whether or not anything else changed.
    error = BeginWriting() ? WriteHeldEntries() : GetError();
    // A compaction makes its copy durable before it takes this file's place (the marked
    // blocks are free, so they stay behind): a sync of this file would be spent on a file
    // about to be replaced. Without one the sync comes now, as in Update.
    if (error == noErr && fMapOffset == 0 && fDirty && !fNoDefragment &&
        fMap->GetWasted() >= kDefragmentThreshold)
      error = Defragment();
    else if (error == noErr)
      error = CommitHeldWrites();
  }
  // The saved map is trusted at the next open instead of a walk, which would meet the marks:
  // they are cleared first, and the map's sync makes that durable too.
  if (error == noErr && IsWritable() && fDirty) error = ClearRetiredMarks();
  if (error == noErr && IsWritable() && fDirty) error = SaveMap();
  ReleaseMap();
  int32_t closeError = fFile.ValidFile() ? fFile.Close() : int32_t(noErr);
  if (error == noErr) error = closeError;
  fDirty = false;
  return Report(error);
}

void IFFResFile2::ReleaseMap() {
  fLedger.Clear();
  fHeaders.clear();
  if (!fMap) return;
  fMap->DisposeHandles();
  fMap.reset();
}

int32_t IFFResFile2::Update() {
  if (!BeginWriting()) return GetError();
  int32_t first = WriteHeldEntries();
  if (first == noErr) first = CommitHeldWrites();
  return Report(first);
}

int32_t IFFResFile2::CommitHeldWrites() {
  int32_t error = CommitWrites();
  if (error != noErr) Complain("could not flush file", PathForMessages());
  return error;
}

int32_t IFFResFile2::WriteHeldEntries() {
  int32_t first = noErr;
  for (size_t n = fMap->NodeCount(); n-- > 0;) {
    IFFTypeNode& node = fMap->NodeAt(n);
    for (size_t i = node.fEntries.size(); i-- > 0;) {
      IFFResEntry& entry = *node.fEntries[i];
      int32_t error = noErr;
      if (entry.fFileoffset == kNotOnDisk && entry.fHandle != nullptr)
        error = WriteEntry(entry, node.fType);
      if (first == noErr) first = error;
    }
  }
  return first;
}

bool IFFResFile2::IsWritable() { return fFile.ValidFile() && fFile.IsWritable(); }

void IFFResFile2::GetName(StringBuffer& path) {
  path.clear();
  if (fFile.ValidFile()) fFile.GetName(path);
}

bool IFFResFile2::ValidFile() { return fMap != nullptr && fFile.ValidFile(); }

const StringBuffer& IFFResFile2::PathForMessages() {
  fPathForMessages.clear();
  GetName(fPathForMessages);
  return fPathForMessages;
}

// ---------------------------------------------------------------------------------------------
// Look-ups

int16_t IFFResFile2::CountTypes() {
  if (!BeginOperation()) return 0;
  return fMap->CountTypes();
}

uint32_t IFFResFile2::GetIndType(uint16_t index) {
  if (!BeginOperation()) return 0;
  uint32_t type = fMap->GetIndType(index);
  if (type == 0) SetError(badTypeIndexErr);
  return type;
}

int16_t IFFResFile2::Count(uint32_t type) {
  if (!BeginOperation()) return 0;
  return fMap->Count(type);
}

MHandle* IFFResFile2::GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle) {
  return GetLanguageResource(type, id, 0, swizzle);
}

MHandle* IFFResFile2::GetNamedResource(uint32_t type, const StringBuffer& name,
                                       SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  IFFResEntry* entry = name.length() > 0 ? fMap->FindEntryByName(type, name, swizzle) : nullptr;
  if (entry == nullptr) {
    SetError(notMemberErr);
    return nullptr;
  }
  return Load(entry, type, swizzle);
}

MHandle* IFFResFile2::GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  IFFResEntry* entry = fMap->GetIndEntry(type, index, swizzle);
  if (entry == nullptr) {
    SetError(noSuchResourceErr);
    return nullptr;
  }
  return Load(entry, type, swizzle);
}

MHandle* IFFResFile2::GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                                          SwizzleProc swizzle) {
  if (!BeginOperation()) return nullptr;
  IFFResEntry* entry = fMap->FindEntry(type, int16_t(id), language, swizzle);
  if (entry == nullptr) {
    SetError(noSuchResourceErr);
    return nullptr;
  }
  return Load(entry, type, swizzle);
}

MHandle* IFFResFile2::Load(IFFResEntry* entry, uint32_t type, SwizzleProc swizzle) {
  int32_t error = LoadEntry(*entry, type, swizzle);
  SetError(error);
  return error == noErr ? entry->fHandle : nullptr;
}

bool IFFResFile2::HasLanguageResource(uint32_t type, uint16_t id, uint8_t language) {
  if (!BeginOperation()) return false;
  IFFResEntry* entry = fMap->FindEntry(type, int16_t(id), language, nullptr);
  IFFHeader header;
  int32_t error = entry == nullptr            ? int32_t(noSuchResourceErr)
                  : entry->fHandle != nullptr ? int32_t(noErr)
                                              : ReadEntryHeader(*entry, type, header);
  SetError(error);
  return error == noErr;
}

int32_t IFFResFile2::ReadEntryHeader(const IFFResEntry& entry, uint32_t type, IFFHeader& header) {
  if (entry.fFileoffset == kNotOnDisk) {
    Complain("resource not in ram or on disk", PathForMessages());
    return noSuchResourceErr;
  }
  uint32_t fileSize = 0;
  int32_t error = GetFileSize(fileSize);
  if (error != noErr) return error;
  bool pastEnd = false;
  error = ReadChainHeader(entry.fFileoffset, fileSize, header, pastEnd);
  if (error == noErr && (pastEnd || ((header.fFlags & kInvalid) && !fLedger.Holds(entry.fFileoffset))))
    error = badHeaderErr;
  if (error != noErr) {
    Complain("bad size", PathForMessages());
    return error;
  }
  if (header.fType != type) {
    Complain("got different type in header", PathForMessages());
    return badHeaderErr;
  }
  return noErr;
}

int32_t IFFResFile2::LoadEntry(IFFResEntry& entry, uint32_t type, SwizzleProc swizzle) {
  if (entry.fHandle != nullptr) return noErr;
  IFFHeader header;
  int32_t error = ReadEntryHeader(entry, type, header);
  if (error != noErr) return error;
  uint32_t size = header.fSize - kIFFHeaderSize;
  MHandle* handle = HAlloc(size);
  if (handle == nullptr) return MemError() != 0 ? MemError() : int32_t(outOfMemoryErr);
  if (size > 0) {
    char* data = HLock(handle);
    error = ReadBytes(entry.fFileoffset + kIFFHeaderSize, data, int32_t(size));
    HUnlock(handle);
    if (error != noErr) {
      Complain("could not read resource", PathForMessages());
      HFree(handle);
      return error;
    }
  }
  if (!(entry.fStoredFlags & kNativeOrder) && swizzle != nullptr) {
    swizzle(HLock(handle), int32_t(size));
    HUnlock(handle);
    entry.fFlags |= kNativeOrder;
  }
  fMap->SetHandle(entry, handle);
  return noErr;
}

IFFResFile2::Found IFFResFile2::FindHandle(MHandle* h, int32_t missingError) {
  Found found;
  if (!BeginOperation()) return found;
  found.entry = fMap->FindEntryByHandle(h, found.type);
  if (found.entry == nullptr) SetError(missingError);
  return found;
}

void IFFResFile2::GetResName(MHandle* h, StringBuffer& name) {
  name.clear();
  Found found = FindHandle(h, noSuchResourceErr);
  if (found.entry) name.assign(found.entry->fName.c_str());
}

uint32_t IFFResFile2::GetResType(MHandle* h) { return FindHandle(h, noSuchResourceErr).type; }

void IFFResFile2::GetResID(MHandle* h, int16_t& id) {
  Found found = FindHandle(h, noSuchResourceErr);
  if (found.entry) id = found.entry->ID16();
}

void IFFResFile2::GetResAttrs(MHandle* /*h*/, int16_t& attrs) {
  attrs = 0;
  if (BeginOperation()) SetError(unsupportedErr);
}

uint8_t IFFResFile2::GetResLanguage(MHandle* h) {
  Found found = FindHandle(h, noSuchResourceErr);
  return found.entry ? found.entry->Language() : 0;
}

void IFFResFile2::UniqueName(uint32_t type, StringBuffer& name) {
  if (!BeginOperation()) return;
  if (fMap->FindEntryByName(type, name, nullptr) == nullptr) return;
  FixedStringBuffer<64> base(name);
  FixedStringBuffer<64> candidate;
  // Among Count + 1 distinct candidates at least one is free, so this ends.
  for (int32_t n = 0;; ++n) {
    FixedStringBuffer<16> digits;
    digits.append(n);
    candidate.assign("");
    int32_t room = candidate.capacity() - 1 - digits.length();
    candidate.append(base, room < base.length() ? room : base.length());
    candidate.append(digits);
    if (fMap->FindEntryByName(type, candidate, nullptr) == nullptr) break;
  }
  name.assign(candidate);
}

uint16_t IFFResFile2::UniqueID(uint32_t type) {
  if (!BeginOperation()) return 0;
  return uint16_t(fMap->MaxID(type, 128) + 1);
}

void IFFResFile2::DetachResource(MHandle* h) {
  Found found = FindHandle(h, notMemberErr);
  if (!found.entry) return;
  IFFResEntry& entry = *found.entry;
  if (entry.fFileoffset == kNotOnDisk) {
    int32_t error = WriteEntry(entry, found.type);
    if (error != noErr) {
      // The data are not on disk: the file keeps them, so nothing is lost.
      SetError(error);
      return;
    }
  }
  fMap->SetHandle(entry, nullptr);
  entry.fFlags = entry.fStoredFlags;
  SetError(noErr);
}

void IFFResFile2::UnusedOperation() {
  if (BeginOperation()) SetError(unsupportedErr);
}

bool IFFResFile2::IsNativeOrder(MHandle* h) {
  Found found = FindHandle(h, notMemberErr);
  return found.entry ? (found.entry->fFlags & kNativeOrder) != 0 : true;
}

// ---------------------------------------------------------------------------------------------
// Changes

void IFFResFile2::SetResID(MHandle* h, uint16_t id) {
  FixedStringBuffer<64> name;
  GetResName(h, name);
  if (GetError() != noErr) return;
  uint8_t language = GetResLanguage(h);
  if (GetError() != noErr) return;
  SetResInfo(h, id, name, language);
}

void IFFResFile2::AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                              bool native) {
  AddLanguageResource(h, type, id, name, 0, native);
}

void IFFResFile2::AddLanguageResource(MHandle* h, uint32_t type, uint16_t id,
                                      const StringBuffer& name, uint8_t language, bool native) {
  if (!BeginWriting()) return;
  if (h == nullptr) {
    SetError(badHandleErr);
    return;
  }
  IFFResEntry* entry = fMap->FindEntryExact(type, int16_t(id), language);
  uint32_t heldType = 0;
  IFFResEntry* holder = fMap->FindEntryByHandle(h, heldType);
  if (holder != nullptr && holder != entry) {
    // One handle under two resources would be disposed twice.
    Complain("handle already belongs to another resource", PathForMessages());
    SetError(unsupportedErr);
    return;
  }
  if (entry != nullptr) {
    if (entry->fFileoffset != kNotOnDisk) {
      // The old block stays live until the new data are written (WriteEntry).
      entry->fReplacedOffset = entry->fFileoffset;
      entry->fFileoffset = kNotOnDisk;
    }
    if (entry->fHandle == h) fMap->SetHandle(*entry, nullptr);
    if (MHandle* old = entry->fHandle) {
      fMap->SetHandle(*entry, nullptr);
      HFree(old);
    }
  } else {
    entry = fMap->AddEntry(type);
  }
  fMap->SetID(*entry, int16_t(id));
  entry->fFlags = uint16_t((native ? kNativeOrder : 0) | (language << 8));
  entry->fStoredFlags = 0;
  fMap->SetHandle(*entry, h);
  fMap->SetName(*entry, name);
  entry->fFileoffset = kNotOnDisk;
}

void IFFResFile2::WriteResource(MHandle* h) {
  if (!BeginWriting()) return;
  Found found = FindHandle(h, notMemberErr);
  if (!found.entry) return;
  SetError(WriteEntry(*found.entry, found.type));
}

int32_t IFFResFile2::WriteEntry(IFFResEntry& entry, uint32_t type) {
  if (!IsWritable()) return readOnlyErr;
  if (entry.fFlags & kInvalid) {
    Complain("writing invalid resource", PathForMessages());
    return badHeaderErr;
  }
  int32_t size = HGetSize(entry.fHandle);
  if (size < 0 || uint32_t(size) > kMaxResourceSize) return unsupportedErr;
  if (entry.fName.length() > 63) Complain("name too long", PathForMessages());
  // A resource already on disk is written anew; its block stays live until the new one is.
  if (entry.fFileoffset != kNotOnDisk) {
    entry.fReplacedOffset = entry.fFileoffset;
    entry.fFileoffset = kNotOnDisk;
  }
  const uint32_t old = entry.fReplacedOffset;
  const BlockLedger::Key key = KeyOf(entry, type);
  IFFHeader header;
  uint32_t offset = 0;
  // Data first: until its header is written the block is still a free block. A block
  // appended at the end gets them with its free header.
  const char* data = size > 0 ? HLock(entry.fHandle) : nullptr;
  bool dataWritten = false;
  int32_t error = NewBlockHeader(header, uint32_t(size), offset, data, &dataWritten);
  if (error != noErr) {
    if (data) HUnlock(entry.fHandle);
    Complain("could not make new header", PathForMessages());
    return error;
  }
  XASSERT(uint32_t(size) + kIFFHeaderSize == header.fSize,
          "bad size returned from NewBlockHeader");
  const IFFHeader freeHeader = header;
  if (data) {
    if (!dataWritten) error = WriteBytes(offset + kIFFHeaderSize, data, size);
    HUnlock(entry.fHandle);
    if (error != noErr) {
      Complain("could not write resource", PathForMessages());
      return error;
    }
  }
  // Then the old block is marked, and only then is the new one made live. From the mark on
  // the ledger holds the old block: a failed attempt leaves it marked, to fall back to.
  if (old != kNotOnDisk) {
    error = BeginChange();
    if (error == noErr) error = ClearMarksOf(key);
    if (error == noErr) error = MarkReplaced(old, key);
    if (error != noErr) {
      Complain("could not inval header", PathForMessages());
      return error;
    }
    entry.fReplacedOffset = kNotOnDisk;
  }
  header.fType = type;
  header.fID = entry.ID16();
  header.fFlags = entry.fFlags;
  header.SetName(entry.fName.c_str());
  error = WriteResHeader(offset, header);
  if (error != noErr) {
    // A write cut short may have made the block live all the same: it is made free again,
    // so that the resource is not written twice (its marked block stays its record).
    WriteResHeader(offset, freeHeader, true);
    Complain("could not write header", PathForMessages());
    return error;
  }
  entry.fFileoffset = offset;
  entry.fReplacedOffset = kNotOnDisk;
  entry.fStoredFlags = entry.fFlags;
  fLedger.Superseded(key);
  return noErr;
}

BlockLedger::Key IFFResFile2::KeyOf(const IFFResEntry& entry, uint32_t type) const {
  BlockLedger::Key key;
  key.type = type;
  key.id = entry.ID16();
  key.tag = entry.Language();
  return key;
}

int32_t IFFResFile2::MarkReplaced(uint32_t offset, const BlockLedger::Key& key) {
  IFFHeader header;
  int32_t error = ReadBlockHeader(offset, header);
  if (error != noErr) return error;
  fLedger.Freed(offset);
  if (header.fFlags & kInvalid) {
    // Freed already (a damaged file): nothing to fall back to there.
    fLedger.Forget(offset);
    return noErr;
  }
  const IFFHeader live = header;
  header.fFlags |= kInvalid;
  error = WriteResHeader(offset, header);
  if (error != noErr) {
    // A write cut short may have marked the block all the same: it is made live again, so
    // that the ledger and the disk agree that the resource is this record.
    WriteResHeader(offset, live);
    return error;
  }
  fMap->AddWasted(header.fSize);
  fLedger.Set(offset, BlockLedger::State::kReplaced, key);
  return noErr;
}

int32_t IFFResFile2::ClearMarksOf(const BlockLedger::Key& key) {
  return fLedger.ClearMarksOf(key, [this](uint32_t offset) { return ClearMark(offset); });
}

int32_t IFFResFile2::ClearMark(uint32_t offset) {
  IFFHeader header;
  int32_t error = ReadBlockHeader(offset, header);
  if (error != noErr) return error;
  header.fType = kFreeBlockType;
  header.fFlags |= kInvalid;
  return WriteResHeader(offset, header);
}

int32_t IFFResFile2::ClearRetiredMarks() {
  return fLedger.ClearRetired([this](uint32_t offset) { return ClearMark(offset); });
}

int32_t IFFResFile2::RestoreRevived() {
  for (uint32_t offset : fLedger.BlocksIn(BlockLedger::State::kRevived)) {
    IFFHeader header;
    int32_t error = ReadBlockHeader(offset, header);
    if (error != noErr) return error;
    header.fFlags = uint16_t(header.fFlags & ~kInvalid);
    uint8_t bytes[kIFFHeaderSize];
    EncodeIFFHeader(header, bytes);
    error = WriteBytes(offset, bytes, kIFFHeaderSize);
    if (error != noErr) return error;
    fLedger.Forget(offset);
  }
  return noErr;
}

void IFFResFile2::ReviveMarks(const std::vector<std::pair<uint32_t, IFFHeader>>& marks) {
  for (const auto& [offset, header] : marks) {
    BlockLedger::Key key;
    key.type = header.fType;
    key.id = header.fID;
    key.tag = uint16_t(header.fFlags >> 8);
    const bool live = fMap->FindEntryExact(key.type, key.id, uint8_t(key.tag)) != nullptr;
    if (live) {
      fLedger.Set(offset, BlockLedger::State::kRetired, key);
      continue;
    }
    IFFResEntry* entry = fMap->AddEntry(header.fType);
    entry->fFileoffset = offset;
    fMap->SetID(*entry, header.fID);
    entry->fFlags = entry->fStoredFlags = uint16_t(header.fFlags & ~kInvalid);
    fMap->SetName(*entry, header.fName);
    fMap->AddWasted(-int64_t(header.fSize));
    fLedger.Set(offset, BlockLedger::State::kRevived, key);
  }
}

int32_t IFFResFile2::CommitWrites() {
  // With nothing written since the last sync there is nothing to make durable.
  return fUnsynced ? Sync() : int32_t(noErr);
}

void IFFResFile2::RemoveResource(MHandle* h) {
  if (!BeginWriting()) return;
  Found found = FindHandle(h, notMemberErr);
  if (!found.entry) return;
  IFFResEntry& entry = *found.entry;
  // Every block of the resource is freed before the entry goes, its marks first, so none
  // comes back on a walk (also the mark that a failed replacement left as its only record).
  if (entry.fFileoffset != kNotOnDisk || entry.fReplacedOffset != kNotOnDisk ||
      fLedger.HasMarksOf(KeyOf(entry, found.type))) {
    // A refused write leaves the saved map named.
    int32_t error = noErr;
    for (uint32_t offset : {entry.fFileoffset, entry.fReplacedOffset})
      if (offset != kNotOnDisk && error == noErr) error = CheckWritePlace(offset, kIFFHeaderSize);
    if (error == noErr) error = BeginChange();
    if (error == noErr) error = ClearMarksOf(KeyOf(entry, found.type));
    if (error != noErr) {
      SetError(error);
      return;
    }
  }
  for (uint32_t* offset : {&entry.fFileoffset, &entry.fReplacedOffset}) {
    if (*offset == kNotOnDisk) continue;
    int32_t error = InvalidateBlock(*offset);
    if (error != noErr) {
      SetError(error);
      return;
    }
    *offset = kNotOnDisk;
  }
  HFree(entry.fHandle);
  fMap->RemoveEntry(&entry);
  SetError(Sync());
}

void IFFResFile2::SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name,
                             uint8_t /*language*/) {
  Found found = FindHandle(h, notMemberErr);
  if (!found.entry) return;
  IFFResEntry& entry = *found.entry;
  bool idChanged = entry.ID16() != int16_t(id);
  bool nameChanged = entry.fName.compare(name) != 0;
  if (!idChanged && !nameChanged) return;
  if (entry.fFileoffset != kNotOnDisk) {
    // The stored header changes first, so the map never names what the disk does not hold.
    if (!IsWritable()) {
      SetError(readOnlyErr);
      return;
    }
    uint32_t fileSize = 0;
    IFFHeader header;
    bool pastEnd = false;
    // A record that takes another id leaves its old key: no mark of that key may outlive it.
    int32_t error = CheckWritePlace(entry.fFileoffset, kIFFHeaderSize);
    if (error == noErr) error = BeginChange();
    if (error == noErr && idChanged) error = ClearMarksOf(KeyOf(entry, found.type));
    if (error == noErr) error = GetFileSize(fileSize);
    if (error == noErr) error = ReadChainHeader(entry.fFileoffset, fileSize, header, pastEnd);
    if (error == noErr && (pastEnd || (header.fFlags & kInvalid))) {
      Complain("invalid header", PathForMessages());
      error = badHeaderErr;
    }
    if (error == noErr && header.fType != found.type) {
      Complain("types don't match", PathForMessages());
      error = badHeaderErr;
    }
    if (error == noErr) {
      FixedStringBuffer<64> newName(name);
      header.fID = int16_t(id);
      header.SetName(newName);
      error = WriteResHeader(entry.fFileoffset, header);
    }
    if (error == noErr) error = Sync();
    if (error != noErr) {
      SetError(error);
      return;
    }
  }
  fMap->SetID(entry, int16_t(id));
  fMap->SetName(entry, name);
}

// ---------------------------------------------------------------------------------------------
// Headers and blocks

int32_t IFFResFile2::GetFileSize(uint32_t& size) { return fFile.GetEOF(size); }

int32_t IFFResFile2::ReadBytes(uint32_t offset, void* buffer, int32_t count) {
  int32_t error = fFile.SetPos(offset);
  if (error != noErr) return error;
  return fFile.Read(buffer, count);
}

int32_t IFFResFile2::WriteBytes(uint32_t offset, const void* buffer, int32_t count) {
  int32_t error = CheckWritePlace(offset, uint32_t(count));
  if (error == noErr) error = fFile.SetPos(offset);
  if (error != noErr) return error;
  ForgetHeaders(offset, uint32_t(count));
  fUnsynced = true;
  return fFile.Write(buffer, count);
}

void IFFResFile2::ForgetHeaders(uint32_t offset, uint64_t length) {
  const uint64_t end = uint64_t(offset) + length;
  auto it = fHeaders.lower_bound(offset >= uint32_t(kIFFHeaderSize) ? offset - (kIFFHeaderSize - 1) : 0);
  while (it != fHeaders.end() && it->first < end) it = fHeaders.erase(it);
}

int32_t IFFResFile2::Sync() {
  auto flush = [this] {
    int32_t error = fFile.Flush();
    if (error == noErr) fUnsynced = false;
    return error;
  };
  return fLedger.Sync(flush, [this](uint32_t offset) { return ClearMark(offset); });
}

int32_t IFFResFile2::ReadResHeader(uint32_t offset, IFFHeader& header) {
  auto held = fHeaders.find(offset);
  if (held != fHeaders.end()) {
    DecodeIFFHeader(held->second.data(), header);
    return noErr;
  }
  std::array<uint8_t, kIFFHeaderSize> bytes;
  int32_t error = ReadBytes(offset, bytes.data(), kIFFHeaderSize);
  if (error != noErr) return error;
  DecodeIFFHeader(bytes.data(), header);
  fHeaders.emplace(offset, bytes);
  return noErr;
}

int32_t IFFResFile2::WriteResHeader(uint32_t offset, const IFFHeader& header, bool freeSpace) {
  // Checked before the change begins, so that a refused write leaves the saved map named.
  int32_t error = CheckWritePlace(offset, kIFFHeaderSize);
  if (error == noErr && !freeSpace) error = BeginChange();
  if (error != noErr) return error;
  std::array<uint8_t, kIFFHeaderSize> bytes;
  EncodeIFFHeader(header, bytes.data());
  error = WriteBytes(offset, bytes.data(), kIFFHeaderSize);
  if (error == noErr) fHeaders[offset] = bytes;
  return error;
}

int32_t IFFResFile2::WriteFreeHeaderAndData(uint32_t offset, const IFFHeader& header,
                                            const void* data, int32_t count) {
  int32_t error = CheckWritePlace(offset, kIFFHeaderSize);
  if (error == noErr) error = CheckWritePlace(offset + kIFFHeaderSize, uint32_t(count));
  if (error == noErr) error = fFile.SetPos(offset);
  if (error != noErr) return error;
  std::array<uint8_t, kIFFHeaderSize> bytes;
  EncodeIFFHeader(header, bytes.data());
  ForgetHeaders(offset, uint64_t(kIFFHeaderSize) + uint32_t(count));
  fUnsynced = true;
  error = fFile.WriteGathered(bytes.data(), kIFFHeaderSize, data, count);
  if (error == noErr) fHeaders[offset] = bytes;
  return error;
}

int32_t IFFResFile2::ReadChainHeader(uint32_t offset, uint32_t fileSize, IFFHeader& header,
                                     bool& pastEnd) {
  return ReadChainBlockHeader(
      header, offset, fileSize, kIFFHeaderSize,
      [this](IFFHeader& h, uint32_t o) { return ReadResHeader(o, h); }, SoundRecordSize, pastEnd);
}

IFFResFile2::BlockEndReader IFFResFile2::BlockEnds() { return BlockEndReader{this}; }

int32_t IFFResFile2::BlockEndReader::operator()(uint32_t offset, BlockLedger::Extent& extent) {
  if (!fSizeKnown) {
    int32_t error = fFile->GetFileSize(fFileSize);
    if (error != noErr) return error;
    fSizeKnown = true;
  }
  IFFHeader header;
  bool pastEnd = false;
  int32_t error = fFile->ReadChainHeader(offset, fFileSize, header, pastEnd);
  if (error != noErr && error != badHeaderErr) return error;
  // A header that does not read is still the map's: only its own bytes are known.
  extent.sound = error == noErr && !pastEnd;
  extent.pastEnd = error == noErr && pastEnd;
  extent.end = uint64_t(offset) + (extent.sound ? header.fSize : uint32_t(kIFFHeaderSize));
  return noErr;
}

int32_t IFFResFile2::CheckWritePlace(uint32_t offset, uint32_t length) {
  int32_t error = fLedger.CheckWrite(offset, length, BlockEnds());
  if (error == badHeaderErr) Complain("records overlap: the file is left as it is", PathForMessages());
  return error;
}

int32_t IFFResFile2::BeginChange() {
  // Freeing the map's block must not write into a record that runs over it.
  const uint32_t mapBlock = fLedger.SavedMapBlock();
  if (mapBlock != 0) {
    int32_t error = CheckWritePlace(mapBlock, kIFFHeaderSize);
    if (error != noErr) return error;
  }
  fDirty = true;
  if (fMapOffset == 0) return RestoreRevived();
  // The saved map no longer describes the file: the header stops naming it first.
  uint32_t oldMap = fMapOffset;
  int32_t error = WriteFileHeader(fFile, 0);
  if (error != noErr) return error;
  fLedger.SavedMapRetired();
  uint32_t fileSize = 0;
  IFFHeader header;
  bool pastEnd = false;
  error = GetFileSize(fileSize);
  if (error == noErr) error = ReadChainHeader(oldMap, fileSize, header, pastEnd);
  if (error == badHeaderErr) return RestoreRevived();  // no sound map block there to free
  if (error == noErr && !pastEnd && header.fType == kResMapType && !(header.fFlags & kInvalid) &&
      mapBlock == oldMap)
    error = InvalidateBlock(oldMap);
  if (error != noErr) Complain("error occurred invalidating map header", PathForMessages());
  if (error == noErr) error = RestoreRevived();
  return error;
}

int32_t IFFResFile2::WriteFileHeader(FlatFile& file, uint32_t mapOffset) {
  uint8_t bytes[kUniqueHeaderSize];
  EncodeFileHeader(mapOffset, bytes);
  int32_t error = file.SetPos(0);
  int32_t count = kUniqueHeaderSize;
  if (&file == &fFile) fUnsynced = true;
  if (error == noErr) error = file.Write(bytes, count);
  if (error == noErr) error = &file == &fFile ? Sync() : file.Flush();
  if (error == noErr && &file == &fFile) {
    fMapOffset = mapOffset;
    fDirty = true;
  }
  return error;
}

int32_t IFFResFile2::InvalidateBlock(uint32_t offset, bool countWasted) {
  IFFHeader header;
  int32_t error = ReadBlockHeader(offset, header);
  if (error != noErr) return error;
  // Freed once its header says so: a refused or failed write leaves the block in use.
  const bool wasFree = (header.fFlags & kInvalid) != 0;
  if (!wasFree) {
    const IFFHeader live = header;
    header.fType = kFreeBlockType;
    header.fFlags |= kInvalid;
    error = WriteResHeader(offset, header);
    if (error != noErr) {
      // A write cut short may have freed the block all the same: the live header goes back,
      // so that the block is what the map says it is.
      WriteResHeader(offset, live);
      return error;
    }
    if (countWasted) fMap->AddWasted(header.fSize);
  }
  fLedger.Forget(offset);
  fLedger.Freed(offset);
  return noErr;
}

int32_t IFFResFile2::ReadBlockHeader(uint32_t offset, IFFHeader& header) {
  uint32_t fileSize = 0;
  bool pastEnd = false;
  int32_t error = GetFileSize(fileSize);
  if (error == noErr) error = ReadChainHeader(offset, fileSize, header, pastEnd);
  return error;
}

// The steps of the free-block search (FindFreeBlock) in this format.
struct IFFResFile2::SearchSteps {
  static constexpr uint32_t kHeaderSize = kIFFHeaderSize;
  static constexpr uint64_t kMaxMerged = uint64_t(kMaxResourceSize) + kIFFHeaderSize;
  static constexpr uint64_t kMaxFileEnd = 0xFFFFFFFFull;
  static constexpr bool kShortTailFails = true;

  IFFResFile2& file;
  const void* data = nullptr;  // for a block appended at the end: written with its header
  bool dataWritten = false;

  int32_t ReadChain(IFFHeader& header, uint32_t offset, uint32_t fileSize, bool& pastEnd) {
    return file.ReadChainHeader(offset, fileSize, header, pastEnd);
  }
  // Merged, split or made at the end: no record changes, so a saved map stays named.
  int32_t WriteFreeHeader(const IFFHeader& header, uint32_t offset) {
    return file.WriteResHeader(offset, header, true);
  }
  int32_t Append(const IFFHeader& header, uint32_t offset) {
    const int32_t count = int32_t(header.fSize) - kIFFHeaderSize;
    if (data == nullptr || count <= 0) return WriteFreeHeader(header, offset);
    int32_t error = file.WriteFreeHeaderAndData(offset, header, data, count);
    if (error == noErr) dataWritten = true;
    return error;
  }
  static bool Unmark(IFFHeader& header) {
    const bool mark = header.fType != kFreeBlockType;
    header.fType = kFreeBlockType;
    return mark;
  }
  int32_t Sync() { return file.CommitWrites(); }
  int32_t Cut(uint32_t at) {
    int32_t error = file.BeginChange();
    file.fUnsynced = true;
    if (error == noErr) file.ForgetHeaders(at, UINT32_MAX);
    if (error == noErr) error = file.fFile.SetEOF(at);
    return error;
  }
  void Took(uint32_t need) { file.fMap->AddWasted(-int64_t(need)); }
  void Complain(const char* message) { ::Complain(message, file.PathForMessages()); }
  BlockEndReader BlockEnds() { return file.BlockEnds(); }
};

int32_t IFFResFile2::NewBlockHeader(IFFHeader& header, uint32_t dataSize, uint32_t& offset,
                                    const void* data, bool* dataWritten) {
  if (dataSize > kMaxResourceSize) return unsupportedErr;
  // The search only reads: the saved map stays named and whole until a header is written
  // (WriteResHeader) or the file is cut, so a chain that breaks fails with the file unchanged.
  uint32_t fileSize = 0;
  int32_t error = GetFileSize(fileSize);
  if (error != noErr) return error;
  SearchSteps steps{*this, data};
  error = FindFreeBlock(steps, fLedger, fileSize, dataSize + kIFFHeaderSize, fRovingOffset,
                        header, offset);
  if (dataWritten) *dataWritten = error == noErr && steps.dataWritten;
  return error;
}

// ---------------------------------------------------------------------------------------------
// The map on disk

int32_t IFFResFile2::Scan(uint32_t fileSize) {
  std::vector<std::pair<uint32_t, IFFHeader>> marks;
  int32_t error = Walk(fileSize, marks);
  if (error == noErr) ReviveMarks(marks);
  return error;
}

int32_t IFFResFile2::Walk(uint32_t fileSize, std::vector<std::pair<uint32_t, IFFHeader>>& marks) {
  uint32_t at = kUniqueHeaderSize;
  // Bytes after the last record too few for a header (a write at the end cut short) end the
  // walk as the end of the file does.
  while (fileSize - at >= uint32_t(kIFFHeaderSize)) {
    IFFHeader header;
    bool pastEnd = false;
    int32_t error = ReadChainHeader(at, fileSize, header, pastEnd);
    if (error == badHeaderErr) {
      Complain("bad header found", PathForMessages());
      return noErr;  // what lies before it is kept
    }
    // A disk that fails must not pass for a file that ends here: a map saved from this
    // walk would hide every record after this one.
    if (error != noErr) return error;
    if (pastEnd) return noErr;  // an allocation at the end that never got its data
    if (header.fFlags & kInvalid) {
      fMap->AddWasted(header.fSize);
      if (header.fType != kFreeBlockType) marks.emplace_back(at, header);
    } else {
      IFFResEntry* entry = fMap->AddEntry(header.fType);
      entry->fFileoffset = at;
      fMap->SetID(*entry, header.fID);
      entry->fFlags = entry->fStoredFlags = header.fFlags;
      fMap->SetName(*entry, header.fName);  // decoded headers end their names by 63
    }
    at += header.fSize;
  }
  return noErr;
}

bool IFFResFile2::LoadSavedMap(uint32_t fileSize, std::vector<uint32_t>& named) {
  IFFHeader header;
  bool pastEnd = false;
  if (ReadChainHeader(fMapOffset, fileSize, header, pastEnd) != noErr || pastEnd ||
      (header.fFlags & kInvalid) || header.fType != kResMapType) {
    Complain("corrupt map found.", PathForMessages());
    return false;
  }
  // The stored form is read straight into storage the map keeps for its names.
  const uint32_t size = header.fSize - kIFFHeaderSize;
  uint8_t* data = fMap->NewStoredForm(size);
  if (data == nullptr) {
    Complain("couldn't load map", PathForMessages());
    return false;
  }
  if (size > 0 && ReadBytes(fMapOffset + kIFFHeaderSize, data, int32_t(size)) != noErr) {
    Complain("could not read resource", PathForMessages());
    Complain("couldn't load map", PathForMessages());
    return false;
  }
  if (!fMap->LoadStoredForm(kResMapType)) {
    Complain("corrupt map found.", PathForMessages());
    return false;
  }
  if (fMap->FindEntry(kResMapType, 0, nullptr) != nullptr) {
    Complain("got saved map wihtin map", PathForMessages());
    return false;
  }
  // Every entry must name a place where a record header fits, outside the map's own record
  // (which the first change frees), and a place of its own: entries whose headers overlap
  // would lose each other's data when one is removed or rewritten.
  std::vector<uint32_t> offsets;
  size_t entryCount = 0;
  for (size_t n = 0; n < fMap->NodeCount(); ++n) entryCount += fMap->NodeAt(n).fEntries.size();
  offsets.reserve(entryCount);
  const uint64_t mapEnd = uint64_t(fMapOffset) + header.fSize;
  for (size_t n = 0; n < fMap->NodeCount(); ++n)
    for (const IFFResEntry* e : fMap->NodeAt(n).fEntries) {
      const uint32_t at = e->fFileoffset;
      if (at < uint32_t(kUniqueHeaderSize) || at > fileSize || fileSize - at < uint32_t(kIFFHeaderSize) ||
          (uint64_t(at) + kIFFHeaderSize > fMapOffset && at < mapEnd)) {
        Complain("corrupt map found.", PathForMessages());
        return false;
      }
      offsets.push_back(at);
    }
  SortBlockOffsets(offsets);
  for (size_t i = 1; i < offsets.size(); ++i)
    if (offsets[i] - offsets[i - 1] < uint32_t(kIFFHeaderSize)) {
      Complain("corrupt map found.", PathForMessages());
      return false;
    }
  named = std::move(offsets);
  return true;
}

int32_t IFFResFile2::SaveMap() {
  if (fMap->FindEntry(kResMapType, 0, nullptr) != nullptr)
    Complain("howd that happen?", PathForMessages());
  if (IFFTypeNode* node = fMap->FindNode(kResMapType, false)) {
    for (auto& entry : node->fEntries)
      if (entry->fHandle != nullptr) HFree(entry->fHandle);
    fMap->RemoveType(kResMapType);
  }
  // The block is taken first, so that the stored wasted count is the one after taking it.
  uint32_t size = MeasureMap(*fMap, kResMapType);
  IFFHeader header;
  uint32_t offset = 0;
  int32_t error = NewBlockHeader(header, size, offset);
  if (error != noErr) return error;
  MHandle* data = WriteMapToHandle(*fMap, kResMapType);
  if (data == nullptr) return outOfMemoryErr;
  if (uint32_t(HGetSize(data)) != size) {
    HFree(data);
    Complain("node not found", PathForMessages());
    return unsupportedErr;
  }
  error = WriteBytes(offset + kIFFHeaderSize, HLock(data), int32_t(size));
  HUnlock(data);
  HFree(data);
  if (error != noErr) return error;
  header.fType = kResMapType;
  header.fID = 0;
  header.fFlags = kNativeOrder;
  std::memset(header.fName, 0, sizeof header.fName);
  error = WriteResHeader(offset, header);
  if (error == noErr) error = Sync();
  if (error == noErr) error = WriteFileHeader(fFile, offset);
  return error;
}

int32_t IFFResFile2::CheckLedger() {
  if (!fMap) return noErr;
  uint32_t fileSize = 0;
  int32_t error = GetFileSize(fileSize);
  if (error != noErr) return error;
  const char* why = "";
  // The headers the session holds are the disk's.
  for (const auto& [offset, held] : fHeaders) {
    uint8_t bytes[kIFFHeaderSize];
    error = ReadBytes(offset, bytes, kIFFHeaderSize);
    if (error != noErr) return error;
    if (std::memcmp(bytes, held.data(), kIFFHeaderSize) != 0) {
      Complain("a header the session holds is not the one on disk", PathForMessages());
      return badHeaderErr;
    }
  }
  error = fLedger.Check(
      [this, fileSize](uint32_t offset, BlockLedger::Key& key, bool& marked) {
        IFFHeader header;
        bool pastEnd = false;
        int32_t read = ReadChainHeader(offset, fileSize, header, pastEnd);
        if (read != noErr) return read;
        key.type = header.fType;
        key.id = header.fID;
        key.tag = uint16_t(header.fFlags >> 8);
        marked = (header.fFlags & kInvalid) && header.fType != kFreeBlockType;
        return int32_t(noErr);
      },
      [this](uint32_t& mapOffset) {
        uint8_t bytes[kUniqueHeaderSize];
        int32_t read = ReadBytes(0, bytes, kUniqueHeaderSize);
        if (read == noErr) read = DecodeFileHeader(bytes, mapOffset);
        return read;
      },
      BlockEnds(), why);
  if (error != noErr) Complain(why, PathForMessages());
  return error;
}

// ---------------------------------------------------------------------------------------------
// Compaction and copies

int32_t IFFResFile2::Defragment() {
  if (!BeginWriting()) return GetError();
  bool replaced = false;
  return Report(WriteCompactedFile(replaced));
}

int32_t IFFResFile2::WriteCompactedFile(bool& replaced) {
  replaced = false;
  int32_t error = BeginChange();
  uint32_t fileSize = 0;
  if (error == noErr) error = GetFileSize(fileSize);
  if (error != noErr) return error;

  // The whole chain is checked before anything is written.
  // Blocks the map refers to are kept whatever their type; stale saved maps are dropped.
  std::unordered_set<uint32_t> referenced;
  for (size_t n = 0; n < fMap->NodeCount(); ++n)
    for (const auto& entry : fMap->NodeAt(n).fEntries) {
      referenced.insert(entry->fFileoffset);
      referenced.insert(entry->fReplacedOffset);
    }
  std::vector<ChainBlock> live;
  // Bytes after the last record too few for a header belong to no block: not copied.
  for (uint32_t at = kUniqueHeaderSize; fileSize - at >= uint32_t(kIFFHeaderSize);) {
    IFFHeader header;
    bool pastEnd = false;
    error = ReadChainHeader(at, fileSize, header, pastEnd);
    if (error != noErr) {
      Complain("corrupt file", PathForMessages());
      return error;
    }
    if (pastEnd) break;
    // Marked blocks are free: the copy is where their replacements go.
    if (!(header.fFlags & kInvalid) && (header.fType != kResMapType || referenced.count(at)))
      live.push_back({at, header.fSize});
    at += header.fSize;
  }
  // A header that runs past the end hides what lies behind it from the walk; the map may
  // still read blocks there. Those would not be copied, so the file stays as it is.
  referenced.erase(kNotOnDisk);
  for (const ChainBlock& block : live) referenced.erase(block.offset);
  if (!referenced.empty()) {
    Complain("blocks past a broken header: not compacted", PathForMessages());
    return noErr;
  }


  // The compacted file is built beside this one.
  FixedStringBuffer<260> path;
  fFile.GetName(path);
  std::string host = PlatformResolvePath(path.c_str());
  std::string tempHost = host + "~defrag";
  FixedStringBuffer<272> temp(tempHost.c_str());
  FlatFile out;
  std::unordered_map<uint32_t, uint32_t> moved;
  uint8_t bytes[kUniqueHeaderSize];
  EncodeFileHeader(0, bytes);
  error = WriteCompactedChain(out, temp, bytes, live, fFile, &moved);
  if (out.ValidFile()) out.Close();
  if (error != noErr) {
    Complain("critical error during defragging", PathForMessages());
    out.Delete(temp);
    return error;
  }

  // The swap is one step: the old file stays whole until the new one replaces it.
  fFile.Close();
  // The copy holds the kept blocks' headers byte for byte, where `moved` says.
  std::map<uint32_t, std::array<uint8_t, kIFFHeaderSize>> held;
  held.swap(fHeaders);
  // The copy is durable; the replace syncs the folder that holds its new name, and a power
  // loss before that sync may still bring back the old file: the file is the copy from here
  // on, but the compaction is not a success.
  const bool synced = PlatformFileReplace(tempHost.c_str(), host.c_str(), &replaced);
  if (replaced) fLedger.Clear();
  error = fFile.Open(path);
  if (!replaced) {
    out.Delete(temp);
    if (error == noErr) error = unavailableErr;
    return error;
  }
  if (error != noErr) return error;
  for (const auto& [from, to] : moved) {
    auto header = held.find(from);
    if (header != held.end()) fHeaders.emplace(to, header->second);
  }
  for (size_t n = 0; n < fMap->NodeCount(); ++n)
    for (auto& entry : fMap->NodeAt(n).fEntries)
      for (uint32_t* offset : {&entry->fFileoffset, &entry->fReplacedOffset}) {
        if (*offset == kNotOnDisk) continue;
        auto found = moved.find(*offset);
        if (found == moved.end()) {
          Complain("UpdateOffset problem", PathForMessages());
          *offset = kNotOnDisk;
        } else {
          *offset = found->second;
        }
      }
  fMap->SetWasted(0);
  fRovingOffset = -1;
  fMapOffset = 0;
  fDirty = true;
  if (!synced) {
    Complain("could not flush file", PathForMessages());
    return kFlatFailed;
  }
  // A copy that opened for reading only cannot take the saved map of the session.
  if (!fFile.IsWritable()) return readOnlyErr;
  return noErr;
}

int32_t IFFResFile2::ClearSavedMap(const StringBuffer& path) {
  if (fMap) return Report(alreadyOpenErr);
  FlatFile file;
  int32_t error = file.Open(path);
  if (error != noErr) {
    Complain("could clear map", path);
    return Report(error);
  }
  uint8_t bytes[kUniqueHeaderSize];
  uint32_t mapOffset = 0;
  int32_t count = kUniqueHeaderSize;
  error = file.SetPos(0);
  if (error == noErr) error = file.Read(bytes, count);
  // Only a resource file's header is rewritten.
  if (error == noErr) error = DecodeFileHeader(bytes, mapOffset);
  if (error == noErr) error = WriteFileHeader(file, 0);
  file.Close();
  return Report(error);
}

int32_t IFFResFile2::CopyOptimized(const StringBuffer& path) {
  if (!fMap) return Report(unavailableErr);
  SetError(noErr);
  IFFResFile2 copy;
  int32_t error = copy.OpenWithOptions(path, kDeleteFirst | kCreateIfMissing);
  FixedStringBuffer<4> noName;
  MHandle* placeholder = nullptr;
  if (error == noErr) {
    copy.SetNoDefragment();
    // A copy of the map reserves room for the saved map at the front of the file.
    IFFResMap mapCopy(*fMap);
    placeholder = WriteMapToHandle(mapCopy, kMapCopyType);
    if (placeholder == nullptr) error = outOfMemoryErr;
  }
  if (error == noErr) {
    copy.AddResource(placeholder, kMapCopyType, 0, noName, true);
    error = copy.GetError();
    if (error != noErr) HFree(placeholder);
  }
  if (error == noErr) {
    copy.WriteResource(placeholder);
    error = copy.GetError();
  }
  for (int16_t t = 1; error == noErr && t <= fMap->CountTypes(); ++t) {
    uint32_t type = fMap->GetIndType(t);
    for (int16_t i = 1; error == noErr && i <= fMap->Count(type); ++i) {
      IFFResEntry* entry = fMap->GetIndEntry(type, i, nullptr);
      bool held = entry->fHandle != nullptr;
      error = LoadEntry(*entry, type, nullptr);
      if (error != noErr) break;
      MHandle* data = entry->fHandle;
      if (held) {
        // The caller holds this handle: copy the bytes and leave it with this file.
        int32_t size = HGetSize(data);
        MHandle* dup = HAlloc(uint32_t(size));
        if (dup == nullptr) {
          error = outOfMemoryErr;
          break;
        }
        std::memcpy(HLock(dup), HLock(data), size_t(size));
        HUnlock(dup);
        HUnlock(data);
        data = dup;
      } else {
        fMap->SetHandle(*entry, nullptr);
        entry->fFlags = entry->fStoredFlags;
      }
      FixedStringBuffer<64> name(entry->fName.c_str());
      copy.AddLanguageResource(data, type, uint16_t(entry->fID), name,
                               entry->Language(), (entry->fFlags & kNativeOrder) != 0);
      error = copy.GetError();
      if (error != noErr) {
        HFree(data);
        break;
      }
      copy.WriteResource(data);
      error = copy.GetError();
      if (error == noErr) {
        copy.DetachAndDispose(data);
        error = copy.GetError();
      }
    }
  }
  if (error == noErr) {
    copy.RemoveResource(placeholder);
    error = copy.GetError();
  }
  if (error == noErr) {
    copy.fRovingOffset = -1;  // the saved map goes into the placeholder's room
    error = copy.Update();
  }
  if (copy.ValidFile()) {
    int32_t closeError = copy.Close();
    if (error == noErr) error = closeError;
  }
  if (error == noErr) {
    // The copy must open through its saved map, right after the file header, with no free
    // block anywhere.
    IFFResFile2 check;
    error = check.Open(path);
    if (error == noErr) {
      bool optimized = check.GetMapOffset() == uint32_t(kUniqueHeaderSize) && check.GetWasted() == 0;
      if (!optimized) Complain("not optimized", path);
      check.Close();
    }
  }
  return Report(error);
}
