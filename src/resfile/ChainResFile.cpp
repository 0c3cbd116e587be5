#include "ChainResFile.h"

#include <algorithm>

#include "XAssert.h"

ChainResFile::ChainResFile() = default;

ChainResFile::~ChainResFile() = default;

// ---------------------------------------------------------------------------------------------
// Members

void ChainResFile::AddFile(iResFile* file) {
  if (file == nullptr) return;
  for (Slot& slot : fSlots) {
    if (slot.fFile != nullptr) continue;
    slot.fFile = file;
    slot.fTypes.clear();
    slot.fMode = kProhibitiveTypes;
    return;
  }
  XASSERT(false, "not enough room for files");
}

void ChainResFile::RemoveFile(iResFile* file) {
  int32_t to = 0;
  for (int32_t from = 0; from < kMaxChainFiles; ++from) {
    if (fSlots[from].fFile == file) continue;
    if (to != from) fSlots[to] = std::move(fSlots[from]);
    ++to;
  }
  for (; to < kMaxChainFiles; ++to) fSlots[to] = Slot();
}

int32_t ChainResFile::CountFiles() const {
  int32_t count = 0;
  while (count < kMaxChainFiles && fSlots[count].fFile != nullptr) ++count;
  return count;
}

iResFile* ChainResFile::GetFile(int32_t index) const {
  return index >= 0 && index < CountFiles() ? fSlots[index].fFile : nullptr;
}

ChainResFile::Slot* ChainResFile::FindSlot(iResFile* file) {
  for (int32_t i = 0; i < CountFiles(); ++i)
    if (fSlots[i].fFile == file) return &fSlots[i];
  return nullptr;
}

void ChainResFile::ProhibitType(iResFile* file, uint32_t type) {
  Slot* slot = FindSlot(file);
  if (slot == nullptr) return;
  if (!slot->fTypes.empty() && slot->fMode == kExclusiveTypes) {
    XASSERT(false, "prohibiting type on exclusively typed Chain File");
    return;
  }
  slot->fMode = kProhibitiveTypes;
  slot->fTypes.push_back(type);
}

void ChainResFile::AddExclusiveType(iResFile* file, uint32_t type) {
  Slot* slot = FindSlot(file);
  if (slot == nullptr) return;
  if (!slot->fTypes.empty() && slot->fMode == kProhibitiveTypes) {
    XASSERT(false, "adding exclusive type on prohibitive Chain File");
    return;
  }
  slot->fMode = kExclusiveTypes;
  slot->fTypes.push_back(type);
}

bool ChainResFile::Accepts(const Slot& slot, uint32_t type) const {
  bool listed = std::find(slot.fTypes.begin(), slot.fTypes.end(), type) != slot.fTypes.end();
  return slot.fMode == kExclusiveTypes ? listed : !listed;
}

bool ChainResFile::CanWriteType(uint32_t type) {
  for (int32_t i = 0; i < CountFiles(); ++i)
    if (Accepts(fSlots[i], type) && fSlots[i].fFile->IsWritable()) return true;
  return false;
}

template <class Call>
iResFile* ChainResFile::FirstSuccess(int32_t startError, bool writableOnly, Call call) {
  SetError(startError);
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    if (writableOnly && !member->IsWritable()) continue;
    call(member);
    SetError(member->GetError());
    if (GetError() == noErr) return member;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Files

namespace {

// Runs `call` on every member and answers the last nonzero result.
template <class Call>
int32_t EveryMember(ChainResFile& chain, Call call) {
  int32_t last = noErr;
  for (int32_t i = 0; i < chain.CountFiles(); ++i) {
    int32_t result = call(chain.GetFile(i));
    if (result != noErr) last = result;
  }
  chain.SetError(noErr);
  return last;
}

}  // namespace

int32_t ChainResFile::Suspend() {
  return EveryMember(*this, [](iResFile* f) { return f->Suspend(); });
}

int32_t ChainResFile::Resume() {
  return EveryMember(*this, [](iResFile* f) { return f->Resume(); });
}

int32_t ChainResFile::Close() {
  return EveryMember(*this, [](iResFile* f) { return f->Close(); });
}

int32_t ChainResFile::Update() {
  SetError(noErr);
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    if (!member->IsWritable()) continue;
    member->Update();
    if (GetError() == noErr) SetError(member->GetError());
  }
  return GetError();
}

bool ChainResFile::IsWritable() {
  for (int32_t i = 0; i < CountFiles(); ++i)
    if (fSlots[i].fFile->IsWritable()) return true;
  return false;
}

bool ChainResFile::ValidFile() {
  for (int32_t i = 0; i < CountFiles(); ++i)
    if (fSlots[i].fFile->ValidFile()) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Look-ups

void ChainResFile::BuildTypeUnion(std::vector<uint32_t>& types) {
  types.clear();
  SetError(noErr);
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    int16_t count = member->CountTypes();
    if (member->GetError() != noErr) {
      SetError(member->GetError());
      continue;
    }
    for (int16_t t = count; t >= 1; --t) {
      uint32_t type = member->GetIndType(uint16_t(t));
      if (member->GetError() != noErr) {
        SetError(member->GetError());
        continue;
      }
      if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
    }
  }
}

int16_t ChainResFile::CountTypes() {
  std::vector<uint32_t> types;
  BuildTypeUnion(types);
  return int16_t(std::min<size_t>(types.size(), 0x7FFF));
}

uint32_t ChainResFile::GetIndType(uint16_t index) {
  std::vector<uint32_t> types;
  BuildTypeUnion(types);
  if (index < 1 || index > types.size()) return 0;
  return types[index - 1u];
}

int16_t ChainResFile::Count(uint32_t type) {
  SetError(noErr);
  int32_t sum = 0;
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    int16_t n = member->Count(type);
    if (member->GetError() != noErr) {
      SetError(member->GetError());
      return 0;
    }
    sum += n;
  }
  return int16_t(std::min(sum, 0x7FFF));
}

MHandle* ChainResFile::GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                                           SwizzleProc swizzle) {
  iResFile* member = nullptr;
  return FindStored(type, id, language, member, swizzle);
}

MHandle* ChainResFile::FindStored(uint32_t type, uint16_t id, uint8_t language,
                                  iResFile*& member, SwizzleProc swizzle) {
  MHandle* found = nullptr;
  member = FirstSuccess(noSuchResourceErr, false, [&](iResFile* f) {
    found = f->GetLanguageResource(type, id, language, swizzle);
    // A member that answers a handle wins, whatever it left as its error.
    if (found != nullptr) f->SetError(noErr);
  });
  return member != nullptr ? found : nullptr;
}

MHandle* ChainResFile::GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle) {
  return GetLanguageResource(type, id, 0, swizzle);
}

MHandle* ChainResFile::GetNamedResource(uint32_t type, const StringBuffer& name,
                                        SwizzleProc swizzle) {
  MHandle* found = nullptr;
  iResFile* member = FirstSuccess(noSuchResourceErr, false, [&](iResFile* f) {
    found = f->GetNamedResource(type, name, swizzle);
    if (found != nullptr) f->SetError(noErr);
  });
  return member != nullptr ? found : nullptr;
}

MHandle* ChainResFile::GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle) {
  SetError(noSuchResourceErr);
  int32_t left = std::max<int32_t>(index, 1);
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    int16_t n = member->Count(type);
    if (member->GetError() != noErr) {
      SetError(member->GetError());
      return nullptr;
    }
    if (left <= n) {
      MHandle* h = member->GetIndResource(type, uint16_t(left), swizzle);
      SetError(member->GetError());
      return h;
    }
    left -= n;
  }
  return nullptr;
}

void ChainResFile::GetResName(MHandle* h, StringBuffer& name) {
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { f->GetResName(h, name); });
}

uint32_t ChainResFile::GetResType(MHandle* h) {
  uint32_t type = 0;
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { type = f->GetResType(h); });
  return type;
}

void ChainResFile::GetResID(MHandle* h, int16_t& id) {
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { f->GetResID(h, id); });
}

void ChainResFile::GetResAttrs(MHandle* h, int16_t& attrs) {
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { f->GetResAttrs(h, attrs); });
}

uint8_t ChainResFile::GetResLanguage(MHandle* h) {
  uint8_t language = 0;
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { language = f->GetResLanguage(h); });
  return language;
}

void ChainResFile::UniqueName(uint32_t type, StringBuffer& name) {
  if (name.length() == 0) name.assign("anonymous 0");
  for (int32_t i = 0; i < CountFiles(); ++i) fSlots[i].fFile->UniqueName(type, name);
  SetError(noErr);
}

uint16_t ChainResFile::UniqueID(uint32_t type) {
  // Each member answers an id above its own; the largest answer is free in every member, so
  // a resource added under it replaces nothing.
  SetError(noErr);
  uint16_t id = 0;
  for (int32_t i = 0; i < CountFiles(); ++i) {
    iResFile* member = fSlots[i].fFile;
    uint16_t candidate = member->UniqueID(type);
    if (member->GetError() != noErr) {
      SetError(member->GetError());
      continue;
    }
    if (int16_t(candidate) > int16_t(id) || id == 0) id = candidate;
  }
  return id;
}

void ChainResFile::DetachResource(MHandle* h) {
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { f->DetachResource(h); });
}

void ChainResFile::UnusedOperation() { SetError(unsupportedErr); }

bool ChainResFile::IsNativeOrder(MHandle* h) {
  bool native = false;
  iResFile* member = FirstSuccess(notMemberErr, false, [&](iResFile* f) {
    native = f->IsNativeOrder(h);
  });
  if (member == nullptr) {
    SetError(notMemberErr);
    return false;
  }
  return native;
}

// ---------------------------------------------------------------------------------------------
// Changes

void ChainResFile::SetResID(MHandle* h, uint16_t id) {
  FirstSuccess(notMemberErr, false, [&](iResFile* f) { f->SetResID(h, id); });
}

void ChainResFile::AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                               bool native) {
  AddLanguageResource(h, type, id, name, 0, native);
}

void ChainResFile::AddLanguageResource(MHandle* h, uint32_t type, uint16_t id,
                                       const StringBuffer& name, uint8_t language, bool native) {
  // The taker is chosen first, so that a resource no member takes removes nothing.
  iResFile* taker = nullptr;
  bool refused = false;
  for (int32_t i = 0; i < CountFiles() && taker == nullptr; ++i) {
    if (!Accepts(fSlots[i], type)) {
      refused = true;
    } else if (fSlots[i].fFile->IsWritable()) {
      taker = fSlots[i].fFile;
    }
  }
  if (taker == nullptr) {
    SetError(refused ? typeRefusedErr : noTakerErr);
    return;
  }

  SetError(noErr);
  // The member that answers the resource first holds it. The taker is only asked whether it
  // does: it replaces a copy of its own itself, and needs no copy of the old data for that.
  MHandle* stored = nullptr;
  iResFile* holder = FirstSuccess(noSuchResourceErr, false, [&](iResFile* f) {
    if (f == taker) {
      if (f->HasLanguageResource(type, id, language)) f->SetError(noErr);
      return;
    }
    stored = f->GetLanguageResource(type, id, language, nullptr);
    if (stored != nullptr) f->SetError(noErr);
  });
  if (holder == nullptr) stored = nullptr;
  // A stored copy in the taker is replaced by the taker itself, which keeps it until the new
  // data are written.
  // A look-up in another language may answer the language-0 resource, which stays.
  if (stored != nullptr && holder != taker && holder->GetResLanguage(stored) != language)
    stored = nullptr;
  if (stored == nullptr || holder == taker) {
    taker->AddLanguageResource(h, type, id, name, language, native);
    SetError(taker->GetError());
    return;
  }

  // The copy lives in another member. It is removed only once the new data are on the taker's
  // disk, so a failed write leaves the old resource readable.
  if (stored == h) {
    holder->DetachResource(h);
    SetError(holder->GetError());
    if (GetError() != noErr) return;
  }
  taker->AddLanguageResource(h, type, id, name, language, native);
  SetError(taker->GetError());
  if (GetError() != noErr) return;
  taker->WriteResource(h);
  SetError(taker->GetError());
  if (GetError() != noErr) return;
  MHandle* old = holder->GetLanguageResource(type, id, language, nullptr);
  if (old != nullptr && holder->GetResLanguage(old) == language) {
    holder->RemoveResource(old);
    SetError(holder->GetError());
  } else {
    SetError(noErr);
  }
}

void ChainResFile::WriteResource(MHandle* h) {
  FirstSuccess(notMemberErr, true, [&](iResFile* f) { f->WriteResource(h); });
}

void ChainResFile::RemoveResource(MHandle* h) {
  FirstSuccess(notMemberErr, true, [&](iResFile* f) { f->RemoveResource(h); });
}

void ChainResFile::SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name,
                              uint8_t language) {
  FirstSuccess(notMemberErr, true, [&](iResFile* f) { f->SetResInfo(h, id, name, language); });
}
