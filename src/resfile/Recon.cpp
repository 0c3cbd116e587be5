#include "Recon.h"

#include <cstring>

#include "ByteOrder.h"
#include "PlatformFile.h"
#include "XAssert.h"
#include "strset.h"

namespace {

// Process-wide trace of bit-packed transfers (see SetReconTraceFile).
PlatformFile* gReconTrace = nullptr;

// Widths in bits of the four classes of a bit-packed value, by element size.
constexpr int32_t kWidths8[4] = {2, 4, 6, 8};
constexpr int32_t kWidths16[4] = {5, 8, 13, 16};
constexpr int32_t kWidths32[4] = {6, 11, 21, 32};

const int32_t* WidthsFor(int32_t elementSize) {
  if (elementSize == 1) return kWidths8;
  if (elementSize == 2) return kWidths16;
  return kWidths32;
}

void SwapElement(uint8_t* p, int32_t elementSize) {
  if (elementSize == 2) {
    SwapBytes16(p);
  } else if (elementSize == 4) {
    SwapBytes32(p);
  }
}

uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

void StoreU32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

}  // namespace

ReconHeader ReconHeader::ReadFrom(const uint8_t* data) {
  ReconHeader h;
  h.swapFlag = data[0];
  h.version = LoadU32(data + 4);
  h.type = LoadU32(data + 8);
  return h;
}

void ReconHeader::WriteTo(uint8_t* data) const {
  data[0] = swapFlag;
  data[1] = data[2] = data[3] = 0;
  StoreU32(data + 4, version);
  StoreU32(data + 8, type);
}

ReconStream::ReconStream(void* data, int32_t size, uint32_t mode, bool swap)
    : fData(static_cast<uint8_t*>(data)), fSize(size < 0 ? 0 : size), fMode(mode), fSwap(swap ? 1 : 0) {
  XASSERT(mode == kReading || mode == kWriting, "wrong mode in constructor");
  if (!(mode == kReading || mode == kWriting) || (fData == nullptr && fSize > 0)) {
    fMode = kReading;
    fSize = 0;
    fFailed = true;
  }
}

ReconStream::ReconStream() = default;

ReconStream::~ReconStream() {
  if (fStringTable != nullptr) {
    if (fMode == kWriting) fStringTable->Write();
    delete fStringTable;
  }
}

bool ReconStream::Fail() {
  fFailed = true;
  return false;
}

bool ReconStream::Fits(int64_t bytes) {
  if (fMode == kMeasuring) return fPosition + bytes <= INT32_MAX;
  return bytes >= 0 && fPosition + bytes <= fSize;
}

int64_t ReconStream::BitsLeft() const {
  int64_t bits = fMode == kMeasuring ? INT64_MAX / 2 : int64_t(fSize - fPosition) * 8;
  for (uint32_t m = fBitMask; m != 0; m >>= 1) bits++;
  return bits;
}

void ReconStream::UseStringTable(iResFile* file, uint32_t type, uint16_t id) {
  XASSERT(!fUsesStringTable, "string table set twice");
  if (fUsesStringTable) return;
  fUsesStringTable = 1;
  if (fMode == kMeasuring) return;
  fStringTable = new StringSet;
  fStringTable->Init(file, id, type, 0, -1);
  // A missing table leaves every string empty.
  if (fMode == kReading) fStringTable->Read(0, 1);
}

void ReconStream::SetCompressed() { fCompressed = 1; }

bool ReconStream::CountFits(int32_t count, int32_t minElementBytes) {
  if (fFailed) return false;
  if (fMode != kReading) return true;
  if (count < 0) return Fail();
  int64_t need = int64_t(count) * (minElementBytes < 1 ? 1 : minElementBytes);
  int64_t left = fCompressed ? BitsLeft() : int64_t(fSize - fPosition);
  if (need > left) return Fail();
  return true;
}

// Moves `bitCount` bits (most significant first) between *bits and the data. The transfer is
// checked against the data before any bit moves, so a refused transfer changes nothing.
bool ReconStream::TransferBits(uint32_t* bits, int32_t bitCount) {
  XASSERT(bitCount >= 1 && bitCount <= 32, "bad bitcount");
  if (fFailed || bitCount < 1 || bitCount > 32) return Fail();
  if (gReconTrace != nullptr && fMode != kReading) {
    PlatformFilePrintf(gReconTrace, "bit %d, %d at %d:%d\n", bitCount, static_cast<int>(*bits),
                       fPosition, static_cast<int>(fBitMask));
  }
  int32_t inCurrent = 0;
  for (uint32_t m = fBitMask; m != 0; m >>= 1) inCurrent++;
  int32_t newBytes = bitCount > inCurrent ? (bitCount - inCurrent + 7) / 8 : 0;
  {
    int64_t numelems = newBytes;
    XASSERT(fMode == kMeasuring || fPosition + numelems <= fSize, "overflow");
    if (!Fits(numelems)) return Fail();
  }

  uint32_t result = 0;
  for (int32_t i = bitCount - 1; i >= 0; i--) {
    if (fBitMask == 0) {
      if (fMode == kWriting) fData[fPosition] = 0;
      fPosition++;
      fBitMask = 128;
    }
    uint8_t* current = fMode == kMeasuring ? nullptr : fData + fPosition - 1;
    if (fMode == kReading) {
      result = (result << 1) | ((*current & fBitMask) ? 1u : 0u);
    } else if (fMode == kWriting && ((*bits >> i) & 1u)) {
      *current = static_cast<uint8_t>(*current | fBitMask);
    }
    fBitMask >>= 1;
  }
  if (fMode == kReading) *bits = result;
  return true;
}

// One bit-packed value: `*value` holds the element sign-extended to 32 bits (a float's raw bits).
void ReconStream::PackValue(uint32_t* value, int32_t elementSize) {
  const int32_t* widths = WidthsFor(elementSize);
  if (fMode == kReading) {
    uint32_t nonzero = 0;
    if (!TransferBits(&nonzero, 1)) return;
    if (nonzero == 0) {
      *value = 0;
      return;
    }
    uint32_t cls = 0;
    if (!TransferBits(&cls, 2)) return;
    int32_t width = widths[cls & 3];
    uint32_t raw = 0;
    if (!TransferBits(&raw, width)) return;
    if (width < 32 && (raw & (1u << (width - 1)))) raw |= ~((1u << width) - 1);
    *value = raw;
    return;
  }

  uint32_t v = *value;
  uint32_t nonzero = v != 0 ? 1 : 0;
  if (!TransferBits(&nonzero, 1) || v == 0) return;
  uint32_t cls = 0;
  for (; cls < 4; cls++) {
    uint32_t mask = ~0u << (widths[cls] - 1);
    if ((v & mask) == mask || (v & mask) == 0) break;
  }
  XASSERT(cls < 4, "integer too large");
  if (cls >= 4) {
    Fail();
    return;
  }
  int32_t width = widths[cls];
  uint32_t low = width < 32 ? (v & ((1u << width) - 1)) : v;
  if (!TransferBits(&cls, 2)) return;
  TransferBits(&low, width);
}

void ReconStream::ReconNumber(void* values, int32_t count, int32_t elementSize) {
  if (fFailed) return;
  if (count < 0 || (count > 0 && values == nullptr)) {
    Fail();
    return;
  }
  uint8_t* mem = static_cast<uint8_t*>(values);
  bool isFloat = elementSize == -4;
  if (isFloat) elementSize = 4;

  if (fCompressed) {
    for (int32_t i = 0; i < count && !fFailed; i++) {
      uint8_t* p = mem + int64_t(i) * elementSize;
      uint32_t v = 0;
      if (elementSize == 1) {
        v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
      } else if (elementSize == 2) {
        int16_t s;
        memcpy(&s, p, 2);
        v = static_cast<uint32_t>(static_cast<int32_t>(s));
      } else {
        memcpy(&v, p, 4);
      }
      PackValue(&v, elementSize);
      if (fMode == kReading && !fFailed) memcpy(p, &v, static_cast<size_t>(elementSize));
    }
    return;
  }

  int64_t numelems = count;
  int64_t bytes = numelems * elementSize;
  if (fMode == kMeasuring) {
    if (!Fits(bytes)) {
      Fail();
      return;
    }
    fPosition += static_cast<int32_t>(bytes);
    return;
  }
  XASSERT(fMode == kReading || fMode == kWriting, "mode switched");
  if (elementSize == 1) {
    XASSERT(fPosition + numelems <= fSize, "overflow");
  } else if (elementSize == 2) {
    XASSERT(fPosition + numelems * 2 <= fSize, "overflow");
  } else {
    XASSERT(fPosition + numelems * 4 <= fSize, "overflow");
  }
  if (!Fits(bytes)) {
    Fail();
    return;
  }
  uint8_t* data = fData + fPosition;
  bool swap = fSwap != 0 && !isFloat && elementSize > 1;
  if (fMode == kReading) {
    memcpy(mem, data, static_cast<size_t>(bytes));
    if (swap) {
      for (int32_t i = 0; i < count; i++) SwapElement(mem + int64_t(i) * elementSize, elementSize);
    }
  } else {
    memcpy(data, mem, static_cast<size_t>(bytes));
    if (swap) {
      for (int32_t i = 0; i < count; i++) SwapElement(data + int64_t(i) * elementSize, elementSize);
    }
  }
  fPosition += static_cast<int32_t>(bytes);
}

void ReconStream::ReconBytes(uint8_t* values, int32_t count) { ReconNumber(values, count, 1); }

void ReconStream::ReconBool(bool* value) {
  uint8_t b = (value != nullptr && *value) ? 1 : 0;
  ReconBytes(&b);
  if (fMode == kReading && !fFailed && value != nullptr) *value = b != 0;
}

void ReconStream::ReconInt16(uint16_t* values, int32_t count) { ReconNumber(values, count, 2); }

void ReconStream::ReconInt32(uint32_t* values, int32_t count) { ReconNumber(values, count, 4); }

void ReconStream::ReconInt(int* values, int32_t count) {
  static_assert(sizeof(int) == 4, "type Int not same as SInt32");
  ReconNumber(values, count, 4);
}

void ReconStream::ReconFloat(float* values, int32_t count) {
  static_assert(sizeof(float) == 4, "bad float size");
  ReconNumber(values, count, -4);  // -4: four raw bytes, never swapped
}

// Reading: the NUL-terminated text at the position, or null (and the stream failed) when no NUL
// comes before the end of the data.
const char* ReconStream::NextString(int32_t* storedLength) {
  const uint8_t* start = fData + fPosition;
  int64_t left = int64_t(fSize) - fPosition;
  const void* nul = left > 0 ? memchr(start, 0, static_cast<size_t>(left)) : nullptr;
  XASSERT(nul != nullptr, "overflow");
  if (nul == nullptr) {
    Fail();
    return nullptr;
  }
  *storedLength = static_cast<int32_t>(static_cast<const uint8_t*>(nul) - start);
  return reinterpret_cast<const char*>(start);
}

// Moves past a string of `length` characters, its NUL and, to reach an even offset, a pad byte
// (skipped, not written; a pad that would lie past the data is dropped).
void ReconStream::AdvancePastString(int32_t length) {
  fPosition += length + 1;
  if ((fPosition & 1) != 0 && (fMode == kMeasuring || fPosition < fSize)) fPosition++;
}

void ReconStream::ReconString(std::string& value) {
  if (fFailed) return;
  if (fUsesStringTable) {
    fStringCounter++;
    if (fMode == kWriting && fStringTable != nullptr) {
      fStringTable->SetString(fStringCounter, value.c_str(), -1);
    } else if (fMode == kReading) {
      const char* text =
          fStringTable != nullptr ? fStringTable->GetString(int32_t(fStringCounter), -1) : nullptr;
      value.assign(text != nullptr ? text : "");
    }
    return;
  }
  if (fCompressed) FlushBits();
  if (fMode == kReading) {
    int32_t length = 0;
    const char* text = NextString(&length);
    if (text == nullptr) return;
    value.assign(text, static_cast<size_t>(length));
    AdvancePastString(length);
  } else if (fMode == kWriting) {
    int32_t length = static_cast<int32_t>(strlen(value.c_str()));
    XASSERT(fPosition + int64_t(length) + 1 <= fSize, "overflow");
    if (!Fits(int64_t(length) + 1)) {
      Fail();
      return;
    }
    memcpy(fData + fPosition, value.c_str(), static_cast<size_t>(length) + 1);
    AdvancePastString(length);
  } else if (fMode == kMeasuring) {
    int32_t length = static_cast<int32_t>(strlen(value.c_str()));
    if (!Fits(int64_t(length) + 2)) {
      Fail();
      return;
    }
    AdvancePastString(length);
  } else {
    XASSERT(false, "bad mode");
    Fail();
  }
}

void ReconStream::ReconString(StringBuffer& value) {
  if (fFailed) return;
  if (fUsesStringTable || fMode != kReading) {
    // Writing and measuring take the buffer's text; a table entry is assigned (cut) as below.
    std::string text(value.c_str());
    ReconString(text);
    if (fMode == kReading) value.assign(text.c_str());
    return;
  }
  if (fCompressed) FlushBits();
  int32_t length = 0;
  const char* text = NextString(&length);
  if (text == nullptr) return;
  value.clear();
  value.append(text, length);  // cut, with the string's assertion, when it does not fit
  AdvancePastString(length);   // past the whole stored string, cut or not
}

void ReconStream::SetMark() {
  if (fFailed) return;
  if (fCompressed) FlushBits();
  if (!Fits(4)) {
    XASSERT(false, "overflow");
    Fail();
    return;
  }
  if (fMode == kReading) {
    uint32_t mark = LoadU32(fData + fPosition);
    if (fSwap) SwapBytes32(&mark);
    fMarkPos = static_cast<int32_t>(mark);
  } else if (fMode == kWriting) {
    if (fMarkPos != 0) {
      uint32_t here = static_cast<uint32_t>(fPosition);
      if (fSwap) SwapBytes32(&here);
      StoreU32(fData + fMarkPos, here);
    }
    fMarkPos = fPosition;
    StoreU32(fData + fPosition, 0);
  }
  fPosition += 4;
}

void ReconStream::SkipToNextMark() {
  XASSERT(fMode == kReading, "can't skip to next");
  if (fFailed || fMode != kReading) return;
  FlushBits();
  XASSERT(fMarkPos != 0, "no mark");
  if (fMarkPos == 0) return;
  // A stored link is trusted only forward and within the data, so a reader cannot loop or run off.
  XASSERT(fMarkPos <= fSize, "bad mark");
  if (fMarkPos < fPosition || fMarkPos > fSize) {
    Fail();
    return;
  }
  fPosition = fMarkPos;
}

ReconObject::~ReconObject() = default;

void ReconObject::Reconstitute(ReconStream&, int32_t) {}

uint32_t ReconObject::GetType() { return kReconType; }

MHandle* ReconToHandle(ReconObject& object, int32_t version) {
  ReconStream measure;
  object.Reconstitute(measure, version);
  if (measure.Failed()) return nullptr;
  int32_t size = measure.GetPosition();

  MHandle* handle = HAlloc(static_cast<uint32_t>(size) + kReconHeaderSize);
  if (handle == nullptr) return nullptr;
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(handle));
  ReconHeader header;
  header.version = static_cast<uint32_t>(version);
  header.type = object.GetType();
  header.WriteTo(data);
  bool ok;
  {
    ReconStream writer(data + kReconHeaderSize, size, ReconStream::kWriting, false);
    object.Reconstitute(writer, version);
    ok = !writer.Failed() && writer.GetPosition() == size;
  }
  HUnlock(handle);
  XASSERT(ok, "written size differs from measured size");
  if (!ok) {
    HFree(handle);
    return nullptr;
  }
  return handle;
}

int32_t ReconFromHandle(ReconObject& object, MHandle* handle, uint32_t* versionOut) {
  if (handle == nullptr || HGetSize(handle) < kReconHeaderSize) return badHeaderErr;
  int32_t size = HGetSize(handle);
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(handle));
  ReconHeader header = ReconHeader::ReadFrom(data);
  uint32_t type = object.GetType();
  XASSERT(header.type == type, "reconstitution type mismatch");
  if (header.type != type) {
    HUnlock(handle);
    return badHeaderErr;
  }
  if (versionOut != nullptr) *versionOut = header.version;
  int32_t result = noErr;
  {
    ReconStream reader(data + kReconHeaderSize, size - kReconHeaderSize, ReconStream::kReading,
                       header.swapFlag != 0);
    object.Reconstitute(reader, static_cast<int32_t>(header.version));
    if (reader.Failed()) result = shortReadErr;
  }
  HUnlock(handle);
  return result;
}

int32_t ReconSaveResource(ReconObject& object, int32_t version, iResFile* file, uint16_t id) {
  MHandle* handle = ReconToHandle(object, version);
  if (handle == nullptr) return -1;
  // Whether the new data replace a stored resource decides what a failed write may undo.
  bool replacing = file->GetResource(object.GetType(), id, nullptr) != nullptr;
  FixedStringBuffer<64> name;
  file->AddResource(handle, object.GetType(), id, name, true);
  int32_t err = file->GetError();
  if (err != noErr) {
    HFree(handle);
    return err;
  }
  file->WriteResource(handle);
  err = file->GetError();
  if (err != noErr) {
    // A new resource is taken out again. A replaced one must stay readable: removing would
    // delete the stored data too, so the new data stay with the file, pending, and the old
    // ones stay on disk until a later write succeeds.
    if (!replacing) file->RemoveResource(handle);
    return err;
  }
  file->DetachResource(handle);
  err = file->GetError();
  if (err != noErr) return err;  // the file still holds the data
  HFree(handle);
  return noErr;
}

int32_t ReconLoadResource(ReconObject& object, iResFile* file, uint16_t id, uint32_t* versionOut) {
  MHandle* handle = file->GetResource(object.GetType(), id, ReconSwizzle);
  if (handle == nullptr) {
    int32_t err = file->GetError();
    return err != noErr ? err : noSuchResourceErr;
  }
  int32_t err = ReconFromHandle(object, handle, versionOut);
  file->DetachAndDispose(handle);
  if (err == noErr) err = file->GetError();
  return err;
}

void ReconSwizzle(void* data, int32_t size) {
  if (data == nullptr || size < kReconHeaderSize) return;
  uint8_t* p = static_cast<uint8_t*>(data);
  p[0] = 1;
  uint32_t version = LoadU32(p + 4);
  uint32_t type = LoadU32(p + 8);
  SwapBytes32(&version);
  SwapBytes32(&type);
  StoreU32(p + 4, version);
  StoreU32(p + 8, type);
}

void SetReconTraceFile(const char* path) {
  if (gReconTrace != nullptr) {
    PlatformFileClose(gReconTrace);
    gReconTrace = nullptr;
  }
  if (path != nullptr) gReconTrace = PlatformFileOpen(path, PlatformOpenMode::kCreateAlways);
}
