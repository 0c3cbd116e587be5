#include "ResolveResFile.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "RsrcMgr.h"
#include "VornFile.h"
#include "XAssert.h"

ResolveResFile::~ResolveResFile() {
  delete fSite;
  fSite = nullptr;
  for (PtrListIterator<Correspondence> it(fCorrespondences); it.Current(); it.Next()) {
    delete it.Current()->packet;
    HFree(it.Current()->handle);
  }
  DeleteAll(fCorrespondences);
}

int32_t ResolveResFile::ConvertStatus(int32_t status) {
  switch (status) {
    case 0: return noErr;
    case 5: return noSuchResourceErr;
    case 6: return outOfMemoryErr;
    default: return -1;
  }
}

bool ResolveResFile::HaveSite() {
  XASSERT(fSite, "no resolve site to thunk to");
  if (fSite) return true;
  SetError(fileNotOpenErr);
  return false;
}

ResolveResFile::Correspondence* ResolveResFile::FindCorrespondence(MHandle* h) {
  Correspondence* corr = nullptr;
  for (PtrListIterator<Correspondence> it(fCorrespondences); it.Current(); it.Next()) {
    if (it.Current()->handle == h) {
      corr = it.Current();
      break;
    }
  }
  XASSERT(corr, "non-member handle");
  if (!corr) SetError(notMemberErr);
  return corr;
}

MHandle* ResolveResFile::TakePacket(RsrcPkt* packet, int32_t status, SwizzleProc swizzle) {
  if (status != 0) {
    SetError(ConvertStatus(status));
    delete packet;
    return nullptr;
  }
  const int32_t size = packet->GetSize();
  MHandle* h = HAlloc(static_cast<uint32_t>(size));
  if (!h) {
    delete packet;
    SetError(outOfMemoryErr);
    return nullptr;
  }
  char* data = HLock(h);
  bool complete = false;
  if (packet->GetStreamType() == RsrcPkt::kVornFile) {
    VornFile* file = packet->GetFile();
    complete = file && file->ReadBytes(data, size);
  } else if (std::fstream* stream = packet->GetStream()) {
    stream->read(data, size);
    complete = stream->gcount() == size;
  }
  if (!complete) {
    // The file gave fewer bytes than its size: no resource rather than a partial one.
    HUnlock(h);
    HFree(h);
    delete packet;
    SetError(shortReadErr);
    return nullptr;
  }
  if (swizzle) swizzle(data, size);
  HUnlock(h);
  Correspondence* corr = new Correspondence{packet, h};
  fCorrespondences.Prepend(corr);
  if (!fCorrespondences.Contains(corr)) {
    // The list is full: a handle the file could not answer for is not given out.
    delete corr;
    HFree(h);
    delete packet;
    SetError(outOfMemoryErr);
    return nullptr;
  }
  SetError(noErr);
  return h;
}

int32_t ResolveResFile::Create(const StringBuffer&) {
  SetError(unsupportedErr);
  return unsupportedErr;
}

int32_t ResolveResFile::Delete(const StringBuffer&) {
  SetError(unsupportedErr);
  return unsupportedErr;
}

int32_t ResolveResFile::Open(const StringBuffer& path) {
  XASSERT(!fSite, "double opening");
  if (fSite) {
    SetError(alreadyOpenErr);
    return alreadyOpenErr;
  }
  std::string list(path.c_str());
  for (char& c : list)
    if (c == '\\') c = '/';
  size_t skip = 0;
  while (list.size() - skip >= 2 && list.compare(skip, 2, "./") == 0) skip += 2;
  list.erase(0, skip);

  fSite = new RsrcSite(list.c_str());
  int32_t result = noErr;
  if (!fSite->Validate()) {
    delete fSite;
    fSite = nullptr;
    result = alreadyOpenErr;
  }
  SetError(result);
  return result;
}

int32_t ResolveResFile::Suspend() { return noErr; }
int32_t ResolveResFile::Resume() { return noErr; }

int32_t ResolveResFile::Close() {
  delete fSite;
  fSite = nullptr;
  SetError(noErr);
  return noErr;
}

int32_t ResolveResFile::Update() {
  SetError(unsupportedErr);
  return unsupportedErr;
}

bool ResolveResFile::IsWritable() { return false; }

void ResolveResFile::GetName(StringBuffer& path) {
  path.clear();
  if (!HaveSite()) return;
  if (fSite->size() > 0) path.assign(fSite->GetFolder(fSite->begin()).c_str());
}

bool ResolveResFile::ValidFile() { return fSite != nullptr && fSite->Validate(); }

int16_t ResolveResFile::CountTypes() {
  if (!HaveSite()) return 0;
  std::vector<RsrcType> types;
  int32_t err = fSite->CollectTypes(types);
  // 5 only says that the folders hold no files: an empty folder is no broken state.
  XASSERT(err == 0 || err == 5, "get types failed");
  SetError(ConvertStatus(err));
  return static_cast<int16_t>(std::min<size_t>(types.size(), INT16_MAX));
}

uint32_t ResolveResFile::GetIndType(uint16_t index) {
  if (!HaveSite()) return 0;
  std::vector<RsrcType> types;
  int32_t err = fSite->CollectTypes(types);
  if (index < 1 || index > types.size()) {
    SetError(-1);
    return 0;
  }
  SetError(ConvertStatus(err));
  return types[index - 1u].GetCode();
}

int16_t ResolveResFile::Count(uint32_t type) {
  if (!HaveSite()) return 0;
  RsrcCollection collection;
  SetError(ConvertStatus(GetRsrcMgr().FindRsrc(*fSite, collection, RsrcType(type))));
  return static_cast<int16_t>(std::min<int32_t>(collection.size(), INT16_MAX));
}

MHandle* ResolveResFile::GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle) {
  if (!HaveSite()) return nullptr;
  const RsrcType wanted(type);
  for (PtrListIterator<Correspondence> it(fCorrespondences); it.Current(); it.Next()) {
    const RsrcPkt* packet = it.Current()->packet;
    if (packet->GetID() == int32_t(id) && packet->GetType() == wanted) {
      SetError(noErr);
      return it.Current()->handle;
    }
  }
  RsrcPkt* packet = new RsrcPkt;
  int32_t status = GetRsrcMgr().GetRsrcByID(packet, *fSite, wanted, int32_t(id));
  return TakePacket(packet, status, swizzle);
}

MHandle* ResolveResFile::GetNamedResource(uint32_t type, const StringBuffer& name,
                                          SwizzleProc swizzle) {
  if (!HaveSite()) return nullptr;
  if (name.length() == 0) {
    // An empty name would open a file named by the extension alone.
    SetError(noSuchResourceErr);
    return nullptr;
  }
  const RsrcType wanted(type);
  for (PtrListIterator<Correspondence> it(fCorrespondences); it.Current(); it.Next()) {
    const RsrcPkt* packet = it.Current()->packet;
    if (packet->GetName() == name.c_str() && packet->GetType() == wanted) {
      SetError(noErr);
      return it.Current()->handle;
    }
  }
  RsrcPkt* packet = new RsrcPkt;
  int32_t status = GetRsrcMgr().GetRsrcByName(packet, *fSite, wanted, name.c_str());
  return TakePacket(packet, status, swizzle);
}

MHandle* ResolveResFile::GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle) {
  if (!HaveSite()) return nullptr;
  RsrcCollection collection;
  int32_t status = GetRsrcMgr().FindRsrc(*fSite, collection, RsrcType(type));
  if (status != 0) {
    SetError(ConvertStatus(status));
    return nullptr;
  }
  if (index < 1 || index > collection.size()) {
    SetError(-1);
    return nullptr;
  }
  RsrcPkt* packet = new RsrcPkt;
  status = GetRsrcMgr().OpenDescriptor(packet, collection.begin() + (index - 1));
  return TakePacket(packet, status, swizzle);
}

void ResolveResFile::GetResName(MHandle* h, StringBuffer& name) {
  name.clear();
  Correspondence* corr = FindCorrespondence(h);
  if (!corr) return;
  name.assign(corr->packet->GetName().c_str());
  SetError(noErr);
}

uint32_t ResolveResFile::GetResType(MHandle* h) {
  Correspondence* corr = FindCorrespondence(h);
  if (!corr) return 0;
  SetError(noErr);
  return corr->packet->GetType().GetCode();
}

void ResolveResFile::GetResID(MHandle* h, int16_t& id) {
  id = 0;
  Correspondence* corr = FindCorrespondence(h);
  if (!corr) return;
  int32_t theid = corr->packet->GetID();
  XASSERT(theid >= 0 && theid < 32767, "id out of range");
  id = static_cast<int16_t>(theid);
  SetError(noErr);
}

void ResolveResFile::GetResAttrs(MHandle*, int16_t& attrs) {
  attrs = 0;
  SetError(unsupportedErr);
}

void ResolveResFile::UniqueName(uint32_t, StringBuffer&) { SetError(unsupportedErr); }

uint16_t ResolveResFile::UniqueID(uint32_t) {
  SetError(unsupportedErr);
  return 0;
}

void ResolveResFile::DetachResource(MHandle* h) {
  Correspondence* corr = FindCorrespondence(h);
  if (!corr) return;
  fCorrespondences.Remove(corr);
  delete corr->packet;
  delete corr;
  SetError(noErr);
}

void ResolveResFile::UnusedOperation() { SetError(unsupportedErr); }

bool ResolveResFile::IsNativeOrder(MHandle*) { return true; }

void ResolveResFile::SetResID(MHandle*, uint16_t) { SetError(unsupportedErr); }

void ResolveResFile::AddResource(MHandle*, uint32_t, uint16_t, const StringBuffer&, bool) {
  SetError(unsupportedErr);
}

void ResolveResFile::WriteResource(MHandle*) { SetError(unsupportedErr); }

void ResolveResFile::RemoveResource(MHandle*) { SetError(unsupportedErr); }

void ResolveResFile::SetResInfo(MHandle*, uint16_t, const StringBuffer&, uint8_t) {
  SetError(unsupportedErr);
}

bool ResolveResFile::HasHandle(MHandle* h) {
  for (PtrListIterator<Correspondence> it(fCorrespondences); it.Current(); it.Next())
    if (it.Current()->handle == h) return true;
  return false;
}
