#include "MemResFile.h"

#include <cstring>
#include <string>

MemResFile::MemResFile()
    : fPath("memory"), fOpen(true), fReadOnly(false), fWriteError(0), fWriteCount(0) {}

MemResFile::~MemResFile() { DropHandles(); }

void MemResFile::DropHandles() {
  for (Entry& e : fEntries) {
    if (e.handle != nullptr) HFree(e.handle);
    e.handle = nullptr;
    e.dirty = false;
  }
  // Entries that were never stored vanish with their handles.
  std::vector<Entry> kept;
  for (Entry& e : fEntries) {
    if (e.stored) kept.push_back(std::move(e));
  }
  fEntries.swap(kept);
}

void MemResFile::PutStored(uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes,
                           bool native, const char* name, uint8_t language) {
  Entry* e = Find(type, static_cast<int16_t>(id), language);
  if (e == nullptr) {
    fEntries.emplace_back();
    e = &fEntries.back();
  } else if (e->handle != nullptr) {
    HFree(e->handle);
    e->handle = nullptr;
  }
  e->type = type;
  e->id = static_cast<int16_t>(id);
  e->language = language;
  e->name = name != nullptr ? name : "";
  e->dirty = false;
  e->stored = true;
  e->storedNative = native;
  e->native = native;
  e->bytes = bytes;
}

bool MemResFile::GetStored(uint32_t type, uint16_t id, std::vector<uint8_t>* bytes,
                           uint8_t language) const {
  for (const Entry& e : fEntries) {
    if (e.type == type && e.id == static_cast<int16_t>(id) && e.language == language && e.stored) {
      if (bytes != nullptr) *bytes = e.bytes;
      return true;
    }
  }
  return false;
}

int32_t MemResFile::HeldCount() const {
  int32_t n = 0;
  for (const Entry& e : fEntries) n += e.handle != nullptr ? 1 : 0;
  return n;
}

bool MemResFile::CheckOpen() {
  if (fOpen) return true;
  SetError(fileNotOpenErr);
  return false;
}

bool MemResFile::CheckWritable() {
  if (!CheckOpen()) return false;
  if (!fReadOnly) return true;
  SetError(readOnlyErr);
  return false;
}

MemResFile::Entry* MemResFile::Find(uint32_t type, int16_t id, uint8_t language) {
  for (Entry& e : fEntries) {
    if (e.type == type && e.id == id && e.language == language) return &e;
  }
  return nullptr;
}

MemResFile::Entry* MemResFile::EntryToChange(MHandle* h) {
  if (!CheckWritable()) return nullptr;
  Entry* e = FindByHandle(h);
  if (e == nullptr) SetError(notMemberErr);
  return e;
}

MemResFile::Entry* MemResFile::FindByHandle(MHandle* h) {
  if (h == nullptr) return nullptr;
  for (Entry& e : fEntries) {
    if (e.handle == h) return &e;
  }
  return nullptr;
}

MHandle* MemResFile::Load(Entry* entry, SwizzleProc swizzle) {
  SetError(noErr);
  if (entry->handle != nullptr) return entry->handle;
  MHandle* h = HAlloc(static_cast<uint32_t>(entry->bytes.size()));
  if (h == nullptr) {
    SetError(outOfMemoryErr);
    return nullptr;
  }
  char* p = HLock(h);
  if (!entry->bytes.empty()) memcpy(p, entry->bytes.data(), entry->bytes.size());
  entry->native = entry->storedNative;
  if (!entry->native && swizzle != nullptr) {
    swizzle(p, static_cast<int32_t>(entry->bytes.size()));
    entry->native = true;
  }
  HUnlock(h);
  entry->handle = h;
  return h;
}

int32_t MemResFile::Store(Entry* entry) {
  if (fWriteError != 0) return fWriteError;
  int32_t size = HGetSize(entry->handle);
  const char* p = HLock(entry->handle);
  entry->bytes.assign(p, p + size);
  HUnlock(entry->handle);
  entry->stored = true;
  entry->storedNative = entry->native;
  entry->dirty = false;
  fWriteCount++;
  return noErr;
}

int32_t MemResFile::Create(const StringBuffer& path) {
  if (fOpen) return alreadyOpenErr;
  fEntries.clear();
  fPath = path.c_str();
  return noErr;
}

int32_t MemResFile::Delete(const StringBuffer&) {
  if (fOpen) return alreadyOpenErr;
  fEntries.clear();
  return noErr;
}

int32_t MemResFile::Open(const StringBuffer& path) {
  if (fOpen) return alreadyOpenErr;
  fPath = path.c_str();
  fOpen = true;
  SetError(noErr);
  return noErr;
}

int32_t MemResFile::Suspend() { return Close(); }

int32_t MemResFile::Resume() {
  if (fOpen) return alreadyOpenErr;
  fOpen = true;
  return noErr;
}

int32_t MemResFile::Close() {
  if (!fOpen) return fileNotOpenErr;
  int32_t err = fReadOnly ? static_cast<int32_t>(noErr) : Update();
  DropHandles();
  fOpen = false;
  return err;
}

int32_t MemResFile::Update() {
  if (!CheckWritable()) return GetError();
  int32_t first = noErr;
  for (Entry& e : fEntries) {
    if (e.handle != nullptr && e.dirty) {
      int32_t err = Store(&e);
      if (first == noErr) first = err;
    }
  }
  SetError(first);
  return first;
}

bool MemResFile::IsWritable() { return fOpen && !fReadOnly; }

void MemResFile::GetName(StringBuffer& path) {
  path.clear();
  if (fOpen) path.assign(fPath.c_str());
}

bool MemResFile::ValidFile() { return fOpen; }

int16_t MemResFile::CountTypes() {
  if (!CheckOpen()) return 0;
  SetError(noErr);
  std::vector<uint32_t> types;
  for (const Entry& e : fEntries) {
    bool seen = false;
    for (uint32_t t : types) seen = seen || t == e.type;
    if (!seen) types.push_back(e.type);
  }
  return static_cast<int16_t>(types.size());
}

uint32_t MemResFile::GetIndType(uint16_t index) {
  std::vector<uint32_t> types;
  for (const Entry& e : fEntries) {
    bool seen = false;
    for (uint32_t t : types) seen = seen || t == e.type;
    if (!seen) types.push_back(e.type);
  }
  if (index < 1 || index > types.size()) {
    SetError(badTypeIndexErr);
    return 0;
  }
  SetError(noErr);
  return types[index - 1];
}

int16_t MemResFile::Count(uint32_t type) {
  if (!CheckOpen()) return 0;
  SetError(noErr);
  int16_t n = 0;
  for (const Entry& e : fEntries) n += e.type == type ? 1 : 0;
  return n;
}

MHandle* MemResFile::GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle) {
  return GetLanguageResource(type, id, 0, swizzle);
}

MHandle* MemResFile::GetNamedResource(uint32_t type, const StringBuffer& name,
                                      SwizzleProc swizzle) {
  if (!CheckOpen()) return nullptr;
  if (name.length() > 0) {
    for (Entry& e : fEntries) {
      if (e.type == type && e.language == 0 && e.name == name.c_str()) return Load(&e, swizzle);
    }
  }
  SetError(notMemberErr);
  return nullptr;
}

MHandle* MemResFile::GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle) {
  if (!CheckOpen()) return nullptr;
  uint16_t n = 0;
  for (Entry& e : fEntries) {
    if (e.type == type && ++n == index) return Load(&e, swizzle);
  }
  SetError(noSuchResourceErr);
  return nullptr;
}

MHandle* MemResFile::GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                                         SwizzleProc swizzle) {
  if (!CheckOpen()) return nullptr;
  Entry* e = Find(type, static_cast<int16_t>(id), language);
  if (e == nullptr && language != 0) e = Find(type, static_cast<int16_t>(id), 0);
  if (e == nullptr) {
    SetError(noSuchResourceErr);
    return nullptr;
  }
  return Load(e, swizzle);
}

void MemResFile::GetResName(MHandle* h, StringBuffer& name) {
  name.clear();
  Entry* e = FindByHandle(h);
  if (e == nullptr) {
    SetError(notMemberErr);
    return;
  }
  name.assign(e->name.c_str());
  SetError(noErr);
}

uint32_t MemResFile::GetResType(MHandle* h) {
  Entry* e = FindByHandle(h);
  SetError(e != nullptr ? noErr : notMemberErr);
  return e != nullptr ? e->type : 0;
}

void MemResFile::GetResID(MHandle* h, int16_t& id) {
  Entry* e = FindByHandle(h);
  SetError(e != nullptr ? noErr : notMemberErr);
  id = e != nullptr ? e->id : 0;
}

void MemResFile::GetResAttrs(MHandle*, int16_t& attrs) {
  attrs = 0;
  SetError(unsupportedErr);
}

uint8_t MemResFile::GetResLanguage(MHandle* h) {
  Entry* e = FindByHandle(h);
  SetError(e != nullptr ? noErr : notMemberErr);
  return e != nullptr ? e->language : 0;
}

void MemResFile::UniqueName(uint32_t type, StringBuffer& name) {
  SetError(noErr);
  auto taken = [&](const std::string& candidate) {
    for (const Entry& e : fEntries) {
      if (e.type == type && e.name == candidate) return true;
    }
    return false;
  };
  std::string base = name.c_str();
  if (!taken(base)) return;
  for (int32_t n = 2;; n++) {
    std::string suffix = " " + std::to_string(n);
    size_t room = static_cast<size_t>(name.capacity() - 1);
    std::string candidate = base.substr(0, room > suffix.size() ? room - suffix.size() : 0) + suffix;
    if (!taken(candidate)) {
      name.assign(candidate.c_str());
      return;
    }
  }
}

uint16_t MemResFile::UniqueID(uint32_t type) {
  int16_t largest = 128;
  for (const Entry& e : fEntries) {
    if (e.type == type && e.id > largest) largest = e.id;
  }
  SetError(noErr);
  return static_cast<uint16_t>(largest + 1);
}

void MemResFile::DetachResource(MHandle* h) {
  Entry* e = FindByHandle(h);
  if (e == nullptr) {
    SetError(notMemberErr);
    return;
  }
  if (e->dirty) {
    int32_t err = fReadOnly ? static_cast<int32_t>(readOnlyErr) : Store(e);
    if (err != noErr) {
      SetError(err);  // the file keeps the data
      return;
    }
  }
  e->handle = nullptr;
  SetError(noErr);
}

void MemResFile::UnusedOperation() { SetError(unsupportedErr); }

bool MemResFile::IsNativeOrder(MHandle* h) {
  Entry* e = FindByHandle(h);
  SetError(e != nullptr ? noErr : notMemberErr);
  return e != nullptr && e->native;
}

void MemResFile::SetResID(MHandle* h, uint16_t id) {
  Entry* e = EntryToChange(h);
  if (e == nullptr) return;
  e->id = static_cast<int16_t>(id);
  SetError(noErr);
}

void MemResFile::AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                             bool native) {
  AddLanguageResource(h, type, id, name, 0, native);
}

void MemResFile::AddLanguageResource(MHandle* h, uint32_t type, uint16_t id,
                                     const StringBuffer& name, uint8_t language, bool native) {
  if (!CheckWritable()) return;
  if (h == nullptr || !IsValidMHandle(h) || FindByHandle(h) != nullptr) {
    SetError(badHandleErr);  // the file does not take it
    return;
  }
  Entry* e = Find(type, static_cast<int16_t>(id), language);
  if (e == nullptr) {
    fEntries.emplace_back();
    e = &fEntries.back();
    e->type = type;
    e->id = static_cast<int16_t>(id);
    e->language = language;
  } else if (e->handle != nullptr) {
    HFree(e->handle);
  }
  // Replacing keeps the old stored bytes until the new data are written.
  e->name = std::string(name.c_str()).substr(0, 63);
  e->handle = h;
  e->native = native;
  e->dirty = true;
  SetError(noErr);
}

void MemResFile::WriteResource(MHandle* h) {
  Entry* e = EntryToChange(h);
  if (e == nullptr) return;
  SetError(Store(e));
}

void MemResFile::RemoveResource(MHandle* h) {
  if (!CheckWritable()) return;
  for (size_t i = 0; i < fEntries.size(); i++) {
    if (h != nullptr && fEntries[i].handle == h) {
      HFree(h);
      fEntries.erase(fEntries.begin() + static_cast<std::ptrdiff_t>(i));
      SetError(noErr);
      return;
    }
  }
  SetError(notMemberErr);
}

void MemResFile::SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) {
  Entry* e = EntryToChange(h);
  if (e == nullptr) return;
  e->id = static_cast<int16_t>(id);
  e->name = std::string(name.c_str()).substr(0, 63);
  e->language = language;
  SetError(noErr);
}
