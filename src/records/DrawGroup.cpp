#include "DrawGroup.h"

#include <climits>

#include "MHandle.h"
#include "Recon.h"
#include "XAssert.h"
#include "resfile.h"

namespace {

const uint32_t kDrawGroupType = 0x44475250;  // 'DGRP'
const int16_t kFirstNewVersion = 20003;       // 32-bit counts and items from here on
const int16_t kOffsetsVersion = 20004;        // items carry x and y from here on
const int16_t kOldAltVersion = 20001;         // old items carry alt from here on
const int16_t kOldItemTag = -3;               // the only old item kind that is kept

// Bytes that the smallest stored entry and item take, to refuse counts that cannot be there.
const int32_t kMinEntryBytes = 12;
const int32_t kMinItemBytes = 24;

}  // namespace

void DrawGroupItem::Reconstitute(ReconStream& r, int32_t version) {
  XASSERT(version >= 20003, "low version");
  int fields[4] = {fSpriteId, fSpriteIndex, fValueA, fValueB};
  r.ReconInt(fields, 4);
  r.ReconFloat(&fAlt, 1);
  int flags = static_cast<int>(fFlags);
  r.ReconInt(&flags, 1);
  if (version >= kOffsetsVersion) {
    r.ReconFloat(&fX, 1);
    r.ReconFloat(&fY, 1);
  } else if (r.IsReading()) {
    fX = fY = 0;
  }
  if (r.IsReading()) {
    fSpriteId = fields[0];
    fSpriteIndex = fields[1];
    fValueA = fields[2];
    fValueB = fields[3];
    fFlags = static_cast<uint32_t>(flags);
  }
}

DrawGroupItem* DrawGroupEntry::GetItem(uint32_t index) {
  if (index >= fItems.size()) {
    XASSERT(false, "bad item requested");
    return nullptr;
  }
  return &fItems[index];
}

void DrawGroupEntry::InsertItem(const DrawGroupItem& item, int32_t position) {
  if (position < 0) {
    fItems.push_back(item);
  } else if (static_cast<size_t>(position) < fItems.size()) {
    fItems.insert(fItems.begin() + position, item);
  } else {
    XASSERT(false, "no such position");
  }
}

bool DrawGroupEntry::Reconstitute(ReconStream& r, int32_t version) {
  XASSERT(version >= 20003, "low version");
  int head[2] = {static_cast<int>(fDirectionMask), static_cast<int>(fZoom)};
  r.ReconInt(head, 2);
  uint32_t count = static_cast<uint32_t>(fItems.size());
  if (r.IsReading()) count = 0;
  r.ReconInt32(&count, 1);
  if (r.IsReading()) {
    fDirectionMask = static_cast<uint32_t>(head[0]);
    fZoom = static_cast<uint32_t>(head[1]);
    if (count > INT32_MAX || !r.CountFits(static_cast<int32_t>(count), kMinItemBytes)) {
      return false;
    }
    fItems.resize(count);
  }
  for (DrawGroupItem& item : fItems) {
    if (r.Failed()) return false;
    item.Reconstitute(r, version);
  }
  return !r.Failed();
}

namespace {

// Reads one entry of a group stored before version 20003 and appends it, keeping only the
// items tagged -3. Returns false when the data run out.
bool ReadOldEntry(ReconStream& r, int16_t version, DrawGroup& group) {
  uint16_t itemCount = 0;
  r.ReconInt16(&itemCount, 1);
  uint8_t maskAndZoom[2] = {0, 0};
  r.ReconBytes(maskAndZoom, 2);
  DrawGroupEntry* entry = group.AddEntry();
  entry->fDirectionMask = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(maskAndZoom[0])));
  entry->fZoom = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(maskAndZoom[1])));
  const int32_t itemBytes = version >= kOldAltVersion ? 16 : 12;
  const int32_t items = static_cast<int16_t>(itemCount);
  if (r.Failed() || !r.CountFits(items, itemBytes)) return false;
  for (int32_t i = 0; i < items; i++) {
    uint16_t values[6] = {0, 0, 0, 0, 0, 0};  // tag, sprite id, index, flags, value A, value B
    r.ReconInt16(values, 6);
    float alt = 0;
    if (version >= kOldAltVersion) r.ReconFloat(&alt, 1);
    if (static_cast<int16_t>(values[0]) != kOldItemTag) continue;
    DrawGroupItem item;
    item.fSpriteId = static_cast<int16_t>(values[1]);
    item.fSpriteIndex = static_cast<int16_t>(values[2]);
    item.fFlags = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(values[3])));
    item.fValueA = static_cast<int16_t>(values[4]);
    item.fValueB = static_cast<int16_t>(values[5]);
    item.fAlt = alt;
    entry->fItems.push_back(item);
  }
  return !r.Failed();
}

}  // namespace

bool DrawGroup::Reconstitute(ReconStream& r) {
  uint16_t stored = static_cast<uint16_t>(kVersion);
  r.ReconInt16(&stored, 1);
  const int16_t version = r.IsReading() ? static_cast<int16_t>(stored) : static_cast<int16_t>(kVersion);
  if (r.Failed()) return false;

  if (version >= kFirstNewVersion) {
    uint32_t count = static_cast<uint32_t>(fEntries.size());
    if (r.IsReading()) count = 0;
    r.ReconInt32(&count, 1);
    if (r.IsReading()) {
      if (count > INT32_MAX || !r.CountFits(static_cast<int32_t>(count), kMinEntryBytes)) return false;
      fEntries.resize(count);
    }
    for (DrawGroupEntry& entry : fEntries) {
      if (!entry.Reconstitute(r, version)) return false;
    }
    return !r.Failed();
  }

  if (!r.IsReading()) {
    XASSERT(r.IsReading(), "writing old version");
    return false;
  }
  uint16_t entryCount = 0;
  r.ReconInt16(&entryCount, 1);
  const int32_t entries = static_cast<int16_t>(entryCount);
  if (!r.CountFits(entries, 4)) return false;
  for (int32_t i = 0; i < entries; i++) {
    if (!ReadOldEntry(r, version, *this)) return false;
  }
  return !r.Failed();
}

int32_t DrawGroup::Load(iResFile* file, uint16_t id) {
  MHandle* h = file->GetResource(kDrawGroupType, id, nullptr);
  if (h == nullptr) return file->GetError();
  FixedStringBuffer<64> name;
  file->GetResName(h, name);
  const int32_t size = HGetSize(h);
  DrawGroup loaded;
  ReconStream r(HLock(h), size, ReconStream::kReading, false);
  const bool ok = loaded.Reconstitute(r);
  HUnlock(h);
  file->DetachAndDispose(h);
  if (!ok) return shortReadErr;  // the stored group is cut short or malformed
  fEntries = std::move(loaded.fEntries);
  fName = name;
  return 0;
}

int32_t DrawGroup::Save(iResFile* file, uint16_t id) {
  ReconStream measure;
  Reconstitute(measure);
  const int32_t size = measure.GetPosition();
  MHandle* h = HAlloc(static_cast<uint32_t>(size));
  if (h == nullptr) return outOfMemoryErr;
  {
    ReconStream w(HLock(h), size, ReconStream::kWriting, false);
    Reconstitute(w);
  }
  HUnlock(h);
  file->AddResource(h, kDrawGroupType, id, fName, true);
  int32_t err = file->GetError();
  if (err != 0) {
    HFree(h);
    return err;
  }
  // A write that fails here leaves the handle with the file and its error set.
  file->DetachAndDispose(h);
  return file->GetError();
}

DrawGroupEntry* DrawGroup::GetEntry(uint32_t direction, uint32_t zoom) {
  for (DrawGroupEntry& entry : fEntries) {
    if (entry.HasDirection(direction) && entry.fZoom == zoom) return &entry;
  }
  return nullptr;
}

DrawGroupEntry* DrawGroup::AddEntry() {
  fEntries.emplace_back();
  return &fEntries.back();
}

bool DrawGroup::UsesSprite(int16_t spriteId) const {
  for (const DrawGroupEntry& entry : fEntries) {
    for (const DrawGroupItem& item : entry.fItems) {
      if (item.fSpriteId == static_cast<int32_t>(spriteId)) return true;
    }
  }
  return false;
}
