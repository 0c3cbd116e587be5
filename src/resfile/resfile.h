// The abstract resource file: blocks of data addressed by a four-character type, a 16-bit id,
// a name of at most 63 characters and, where the file kind supports it, a language byte.
// Data travel as memory handles. Failures are negative status codes kept in the object: an
// operation sets the code and the caller reads it with GetError(); nothing here throws.
//
// Ownership: a handle given to AddResource/AddLanguageResource, and a handle returned by a
// get operation, belongs to the file (a second get of the same resource returns the same
// handle). The caller takes a handle over only through DetachResource or DetachAndDispose.
// RemoveResource disposes the handle; closing or destroying the file disposes every handle
// it still holds.
//
// Every live resource file is linked into one process-wide list (unlocked: one build at a
// time uses resource files). Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "StringBuffer.h"

// Status codes of the resource files. 0 is success; flat-file and memory-handle codes are
// passed on unchanged, so they share these numbers.
enum ResFileError : int32_t {
  noErr = 0,
  deleteFailedErr = -39,   // an existing file could not be deleted
  fileNotFoundErr = -40,   // delete: no such file
  createFailedErr = -42,   // a file could not be created
  fileExistsErr = -43,     // create: the name is already taken
  readOnlyErr = -45,       // write, add, remove or update on a file opened read-only
  shortWriteErr = -46,     // fewer bytes written than asked
  alreadyOpenErr = -47,    // Open, Create or Delete on a file that is open
  shortReadErr = -48,      // fewer bytes read than asked, or a seek refused
  fileNotOpenErr = -49,    // a resource operation on a file that is not open
  unavailableErr = -50,    // the operation is not available (or a flat-file open/flush/resize failed)
  noLanguagesErr = -91,    // a language other than 0 asked of a file kind without languages
  typeRefusedErr = -92,    // a member of a chained set refuses the type
  badHeaderErr = -93,      // no valid 64-byte IFF file header (or a corrupt record header)
  noTakerErr = -94,        // no member of a chained set took an added resource
  unsupportedErr = -95,    // the operation is not supported by this file kind
  noSuchResourceErr = -98, // no resource with that type and id or index; a handle unknown to a getter
  notMemberErr = -99,      // a handle or name not known to the file
  badTypeIndexErr = -100,  // GetIndType index out of range
  handleLockedErr = -198,  // memory handle resized while locked
  badHandleErr = -199,     // memory handle not known
  outOfMemoryErr = -200,   // allocation failed (a handle or a defragmenting buffer)
};

// Brings data that were stored in the other byte order into host order, in place. A file
// calls it once when it loads data stored without the native-order flag (0x10); after that
// the resource counts as native. A null procedure leaves such data as stored.
typedef void (*SwizzleProc)(void* data, int32_t size);

// Options of OpenWithOptions.
enum : uint32_t {
  kCreateIfMissing = 1,  // Open failed: Create, then Open again
  kDeleteFirst = 2,      // Delete the file first
};

class iResFile {
 public:
  iResFile();            // Links the file into the live list; error noErr.
  virtual ~iResFile();   // Unlinks the file. Subclasses close themselves first.

  iResFile(const iResFile&) = delete;
  iResFile& operator=(const iResFile&) = delete;

  // --- Files --------------------------------------------------------------------------
  // Makes a new empty file at `path`, left closed.
  virtual int32_t Create(const StringBuffer& path) = 0;
  // Deletes the file at `path`; alreadyOpenErr while this object is open.
  virtual int32_t Delete(const StringBuffer& path) = 0;
  // Opens and indexes the file at `path`.
  virtual int32_t Open(const StringBuffer& path) = 0;
  // Closes the file but remembers its path for Resume.
  virtual int32_t Suspend() = 0;
  // Reopens the path remembered by Suspend; unavailableErr without one.
  virtual int32_t Resume() = 0;
  // Writes pending data and closes.
  virtual int32_t Close() = 0;
  // Writes every resource held only in memory, then flushes.
  virtual int32_t Update() = 0;
  // The file was opened read-write.
  virtual bool IsWritable() = 0;
  // Full path of the open file (emptied when none is open).
  virtual void GetName(StringBuffer& path) = 0;
  // The file is open and usable.
  virtual bool ValidFile() = 0;

  // --- Types and look-ups ----------------------------------------------------------------
  virtual int16_t CountTypes() = 0;
  // Type number `index` (from 1); 0 and badTypeIndexErr when out of range.
  virtual uint32_t GetIndType(uint16_t index) = 0;
  // Number of resources of `type` (0 when none).
  virtual int16_t Count(uint32_t type) = 0;
  // The resource's data, owned by the file; null and noSuchResourceErr when missing.
  virtual MHandle* GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle = nullptr) = 0;
  // Null and notMemberErr when missing; an empty name never matches.
  virtual MHandle* GetNamedResource(uint32_t type, const StringBuffer& name,
                                    SwizzleProc swizzle = nullptr) = 0;
  // Resource number `index` (from 1) of the type; null and noSuchResourceErr when missing.
  virtual MHandle* GetIndResource(uint32_t type, uint16_t index,
                                  SwizzleProc swizzle = nullptr) = 0;
  // The resource in `language`, else in language 0 where the file kind has languages.
  // Base: language 0 is GetResource; any other gives null and noLanguagesErr.
  virtual MHandle* GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                                       SwizzleProc swizzle = nullptr);
  // Whether GetLanguageResource would answer that resource, told without loading its data
  // where the file kind can; the error is set as the get would set it. Base: the get itself
  // (the handle it loads stays with the file).
  virtual bool HasLanguageResource(uint32_t type, uint16_t id, uint8_t language);

  // --- Questions about a handle the file holds -----------------------------------------
  virtual void GetResName(MHandle* h, StringBuffer& name) = 0;
  virtual uint32_t GetResType(MHandle* h) = 0;
  virtual void GetResID(MHandle* h, int16_t& id) = 0;
  // Unsupported by every file kind: unsupportedErr, attrs 0.
  virtual void GetResAttrs(MHandle* h, int16_t& attrs) = 0;
  // Base: GetResID (which sets the error for an unknown handle), then 0.
  virtual uint8_t GetResLanguage(MHandle* h);
  // Makes `name` unused within `type` (in place).
  virtual void UniqueName(uint32_t type, StringBuffer& name) = 0;
  // The largest id of the type, at least 128, plus 1.
  virtual uint16_t UniqueID(uint32_t type) = 0;
  // The file forgets the handle, writing it first if it was held only in memory; the caller
  // then owns it. A failed write is reported and the handle stays with the file.
  virtual void DetachResource(MHandle* h) = 0;
  // unsupportedErr in every file kind.
  virtual void UnusedOperation() = 0;
  // The data are in host byte order (flag 0x10).
  virtual bool IsNativeOrder(MHandle* h) = 0;

  // --- Changes -------------------------------------------------------------------------
  // Changes the id; keeps name and language.
  virtual void SetResID(MHandle* h, uint16_t id) = 0;
  // The file takes the handle. `native`: the data are in host byte order.
  virtual void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                           bool native) = 0;
  // The same with a language. Base: AddResource, the language dropped.
  virtual void AddLanguageResource(MHandle* h, uint32_t type, uint16_t id,
                                   const StringBuffer& name, uint8_t language, bool native);
  // Writes the resource's data to disk.
  virtual void WriteResource(MHandle* h) = 0;
  // Deletes the resource from the file and disposes its handle.
  virtual void RemoveResource(MHandle* h) = 0;
  // Changes id and name, rewriting the stored header.
  virtual void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name,
                          uint8_t language) = 0;
  // String `index` (from 1) of the STR# string set `setId` of this file, in the set's
  // current language; empty when the set or the index does not exist.
  virtual void GetIndString(StringBuffer& out, uint16_t setId, int16_t index);

  // --- Non-virtual ---------------------------------------------------------------------
  int32_t GetError() const { return fError; }
  void SetError(int32_t error) { fError = error; }
  // DetachResource, then (if that left no error) disposes the handle; a memory error of
  // the disposal becomes the file's error.
  void DetachAndDispose(MHandle* h);
  // kDeleteFirst: Delete first (a failure other than fileNotFoundErr is returned; after
  // fileNotFoundErr, Create). Then Open; with kCreateIfMissing a failed Open is followed by
  // Create and Open again. Returns the last result.
  int32_t OpenWithOptions(const StringBuffer& path, uint32_t options);

  // The live list (diagnostics and tests): first file, and the file after `file`.
  static iResFile* FirstLiveFile();
  static iResFile* NextLiveFile(const iResFile* file);

 private:
  iResFile* fNext;  // next live resource file
  int32_t fError;   // last status code
};

// Four-character code from its characters, first character in the most significant byte.
constexpr uint32_t MakeResType(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
         (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
