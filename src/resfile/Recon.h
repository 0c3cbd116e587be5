// The reconstitution stream: one routine per record type, `Reconstitute(ReconStream&, version)`,
// reads, writes or measures the record, so a record has exactly one description of its layout.
//
// A stream runs in one of three modes: reading (data to fields), writing (fields to data) or
// measuring (only the position advances, to learn the size before a buffer is allocated). Two
// encodings exist: byte mode, and a bit-packed mode that `SetCompressed` turns on for the rest of
// the stream's life. Strings go inline, or into an attached string table (`StringSet`).
//
// Records kept as resources carry a 12-byte header (byte-order flag, version, type code) and move
// in and out of an `iResFile` through ReconToHandle / ReconFromHandle / ReconSaveResource /
// ReconLoadResource.
//
// A stream never reads or writes outside its buffer. A primitive that would do so raises the
// "overflow" assertion, moves nothing and marks the stream failed; once failed, every later
// primitive is refused the same way, so a reader over corrupt data stops early instead of looping
// over garbage. Readers test Failed() (or the result of ReconFromHandle) at the end.
//
// Not thread-safe: a stream is made for one pass by one owner. The trace file is process-wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MHandle.h"
#include "StringBuffer.h"
#include "resfile.h"

class StringSet;

// Four-character code of the base record type, 'Rcon'.
constexpr uint32_t kReconType = 0x52636F6E;

// Size of the header stored before every record kept as a resource.
constexpr int32_t kReconHeaderSize = 12;

// The 12-byte record header. Stored field by field: byte 0 the byte-order flag (0 = the data are
// in the reader's order, nonzero = 16/32-bit integers must be reversed on reading), bytes 1-3
// zero, then the u32 version and the u32 type code, both in the writer's byte order.
struct ReconHeader {
  uint8_t swapFlag = 0;
  uint32_t version = 0;
  uint32_t type = 0;

  // Reads the header from `data` (at least kReconHeaderSize bytes), in host order.
  static ReconHeader ReadFrom(const uint8_t* data);
  // Stores the header at `data` (kReconHeaderSize bytes), in host order, bytes 1-3 zero.
  void WriteTo(uint8_t* data) const;
};

class ReconStream {
 public:
  enum : uint32_t { kReading = 0, kWriting = 1, kMeasuring = 2 };

  // A reading or writing stream over `size` bytes at `data` (not owned). `mode` must be kReading
  // or kWriting. With `swap` set, 16- and 32-bit integers are byte-reversed between the stream
  // and memory.
  ReconStream(void* data, int32_t size, uint32_t mode, bool swap);
  // A measuring stream: no data; the position counts the bytes a write would take.
  ReconStream();
  // A writing stream with a string table saves the table here; the table is deleted in every mode.
  ~ReconStream();

  ReconStream(const ReconStream&) = delete;
  ReconStream& operator=(const ReconStream&) = delete;

  bool IsReading() const { return fMode == kReading; }
  bool IsWriting() const { return fMode == kWriting; }
  bool IsMeasuring() const { return fMode == kMeasuring; }
  int32_t GetPosition() const { return fPosition; }
  int32_t GetSize() const { return fSize; }

  // True once a primitive was refused (data ended, a count did not fit, a bad argument).
  bool Failed() const { return fFailed; }

  // Strings of this stream go to the string set (file, type, id) instead of the data. When
  // reading, the table is read at once (language 0, falling back to English); a writing stream
  // saves it when destroyed; a measuring stream makes no table. Only one call per stream.
  void UseStringTable(iResFile* file, uint32_t type, uint16_t id);

  // Turns on the bit-packed encoding for the rest of the stream's life.
  void SetCompressed();
  bool IsCompressed() const { return fCompressed != 0; }

  // Numeric primitives: `count` elements from or to `values`.
  void ReconBytes(uint8_t* values, int32_t count = 1);
  void ReconBool(bool* value);
  void ReconInt16(uint16_t* values, int32_t count = 1);
  void ReconInt16(int16_t* values, int32_t count = 1) {
    ReconInt16(reinterpret_cast<uint16_t*>(values), count);
  }
  void ReconInt32(uint32_t* values, int32_t count = 1);
  void ReconInt32(int32_t* values, int32_t count = 1) {
    ReconInt32(reinterpret_cast<uint32_t*>(values), count);
  }
  void ReconInt(int* values, int32_t count = 1);
  // Floats are moved as 4 raw bytes and never byte-swapped.
  void ReconFloat(float* values, int32_t count = 1);

  // A NUL-terminated string, padded so the next field starts at an even offset (the pad byte is
  // skipped, not written). Reading into a StringBuffer too small for the stored text cuts it
  // (with the string's assertion) and still moves past the whole stored string.
  void ReconString(std::string& value);
  void ReconString(StringBuffer& value);

  // Guards a count read from the stream before it sizes anything: while reading, a count below
  // 0, or one whose elements (each taking at least `minElementBytes` bytes, or one bit per byte
  // asked in bit-packed mode) cannot fit in what is left, fails the stream and answers false.
  // Writing and measuring always answer true (unless the stream already failed).
  bool CountFits(int32_t count, int32_t minElementBytes = 1);

  // Forward links: SetMark stores a 4-byte slot that the next SetMark fills with its own
  // position; SkipToNextMark (reading only) jumps to the position stored at the last mark.
  void SetMark();
  void SkipToNextMark();

 private:
  bool Fail();  // marks the stream failed; returns false
  bool Fits(int64_t bytes);  // `bytes` more bytes lie within the data (always true measuring)
  void ReconNumber(void* values, int32_t count, int32_t elementSize);
  void PackValue(uint32_t* value, int32_t elementSize);
  bool TransferBits(uint32_t* bits, int32_t bitCount);
  void FlushBits() { fBitMask = 0; }
  const char* NextString(int32_t* storedLength);  // reading: the text at the position, bounded
  void AdvancePastString(int32_t length);
  int64_t BitsLeft() const;

  uint8_t* fData = nullptr;
  int32_t fSize = 0;
  int32_t fPosition = 0;
  uint32_t fMode = kMeasuring;
  uint16_t fSwap = 0;
  uint8_t fUsesStringTable = 0;
  uint8_t fCompressed = 0;
  StringSet* fStringTable = nullptr;
  uint32_t fStringCounter = 0;
  uint32_t fBitMask = 0;
  int32_t fMarkPos = 0;
  bool fFailed = false;
};

// The abstract serialisable record.
class ReconObject {
 public:
  virtual ~ReconObject();
  virtual void Reconstitute(ReconStream& stream, int32_t version);
  virtual uint32_t GetType();  // kReconType unless overridden
};

// Makes any T with `Reconstitute(ReconStream&, int32_t)` a ReconObject of a given type code.
// Does not own the object.
template <class T>
class SimpleReconObject : public ReconObject {
 public:
  SimpleReconObject(T* object, uint32_t type) : fObject(object), fType(type) {}
  SimpleReconObject(T& object, uint32_t type) : fObject(&object), fType(type) {}
  void Reconstitute(ReconStream& stream, int32_t version) override {
    fObject->Reconstitute(stream, version);
  }
  uint32_t GetType() override { return fType; }

 private:
  T* fObject;
  uint32_t fType;
};

// Makes a std::vector of records reconstitutable: an i32 count, then each element in index
// order. Reading sizes the vector to the stored count, which must fit in the bytes left: each
// element takes at least `minElementBytes(version)` bytes when that function is given (in byte
// mode), else at least one byte (one bit in bit-packed mode). A count that does not fit fails
// the stream before the vector is sized.
template <class T>
class ReconStreamVector {
 public:
  using MinElementBytes = int32_t (*)(int32_t version);
  ReconStreamVector(std::vector<T>* vec, uint32_t type, MinElementBytes minElementBytes = nullptr)
      : fVector(vec), fType(type), fMinElementBytes(minElementBytes) {}
  void Reconstitute(ReconStream& stream, int32_t version) {
    int32_t count = static_cast<int32_t>(fVector->size());
    stream.ReconInt32(&count);
    const int32_t least =
        fMinElementBytes != nullptr && !stream.IsCompressed() ? fMinElementBytes(version) : 1;
    if (stream.Failed() || !stream.CountFits(count, least)) return;
    if (stream.IsReading()) fVector->resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count && !stream.Failed(); i++) {
      (*fVector)[static_cast<size_t>(i)].Reconstitute(stream, version);
    }
  }
  uint32_t GetType() const { return fType; }

 private:
  std::vector<T>* fVector;
  uint32_t fType;
  MinElementBytes fMinElementBytes;
};

// Measures the object, allocates a handle of that size plus the header, stores the header
// (version, the object's type, native order) and writes the object after it. Null when memory
// runs out or the write pass does not match the measured size.
MHandle* ReconToHandle(ReconObject& object, int32_t version);

// Reads the object from a handle made by ReconToHandle (or loaded from a file). Returns 0,
// badHeaderErr when the handle is shorter than the header or its type is not the object's
// (nothing is read), or shortReadErr when the record runs past the data. The version is stored
// through versionOut when given.
int32_t ReconFromHandle(ReconObject& object, MHandle* handle, uint32_t* versionOut);

// Stores the object as resource (object type, id) of the file and writes it to disk; the file
// keeps no handle. Returns 0, -1 when no memory, else the file's error. After a failed write a
// new resource is removed again; a resource that replaced a stored one stays with the file,
// pending, so that the stored one is never lost.
int32_t ReconSaveResource(ReconObject& object, int32_t version, iResFile* file, uint16_t id);

// Loads resource (object type, id) of the file into the object. Returns 0, or the file's error
// (the object is untouched), or the error of ReconFromHandle.
int32_t ReconLoadResource(ReconObject& object, iResFile* file, uint16_t id, uint32_t* versionOut);

// The SwizzleProc for records: marks the header as foreign-order and reverses its version and
// type; the body stays as stored and the reading stream reverses each integer as it goes.
void ReconSwizzle(void* data, int32_t size);

// Saves a vector of records as one resource of `type`.
template <class T>
int32_t SaveReconVector(std::vector<T>& vec, iResFile* file, uint32_t type, uint16_t id,
                        int32_t version) {
  ReconStreamVector<T> wrapped(&vec, type);
  SimpleReconObject<ReconStreamVector<T>> object(&wrapped, type);
  return ReconSaveResource(object, version, file, id);
}

// Reads a T stored with the header of `type` from a handle.
template <class T>
int32_t LoadReconFromHandle(T& object, MHandle* handle, uint32_t type, uint32_t* versionOut) {
  SimpleReconObject<T> wrapped(&object, type);
  return ReconFromHandle(wrapped, handle, versionOut);
}

// Process-wide trace of bit-packed transfers: closes the open trace file, then opens `path` for
// writing when one is given (null only closes).
void SetReconTraceFile(const char* path);
