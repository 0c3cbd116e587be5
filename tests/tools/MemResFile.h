// An in-memory resource file for tests of the layers above the resource files: records,
// palettes, the builder. It implements every operation of iResFile over a list of entries,
// with languages as the IFF 2.x file has them, and keeps a separate "stored" copy of each
// resource's bytes so that tests can see exactly what WriteResource put "on disk", place raw
// (even corrupt or foreign-order) bytes there, and make writes fail.
//
// Held handles and stored bytes behave as in a real file: an added resource lives only in memory
// until WriteResource, Update, DetachResource or Close writes it; a get of a resource that is not
// held loads a new handle from the stored bytes, calling the swizzle procedure once when the
// bytes were stored without the native-order flag.
//
// A new MemResFile is open, writable and empty. Close writes pending data, drops every held
// handle and leaves the stored bytes, so Open (any path) sees them again. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resfile.h"

class MemResFile : public iResFile {
 public:
  MemResFile();
  ~MemResFile() override;

  // --- Test controls --------------------------------------------------------------------
  // Places `bytes` on "disk" as resource (type, id, language) with a name, replacing any entry
  // of that key; `native` false marks them as stored in the other byte order.
  void PutStored(uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes, bool native = true,
                 const char* name = "", uint8_t language = 0);
  void PutStored(uint32_t type, uint16_t id, const std::string& bytes, bool native = true,
                 const char* name = "", uint8_t language = 0) {
    PutStored(type, id, std::vector<uint8_t>(bytes.begin(), bytes.end()), native, name, language);
  }
  // True and the stored bytes of (type, id, language) when that resource has been written.
  bool GetStored(uint32_t type, uint16_t id, std::vector<uint8_t>* bytes,
                 uint8_t language = 0) const;
  // Every later write fails with `error` (0 lets writes succeed again).
  void SetWriteError(int32_t error) { fWriteError = error; }
  // Opened read-only: adds, writes, removes and updates give readOnlyErr.
  void SetReadOnly(bool readOnly) { fReadOnly = readOnly; }
  // Number of successful resource writes so far.
  int32_t WriteCount() const { return fWriteCount; }
  // Number of handles the file holds now.
  int32_t HeldCount() const;

  // --- iResFile ---------------------------------------------------------------------------
  int32_t Create(const StringBuffer& path) override;
  int32_t Delete(const StringBuffer& path) override;
  int32_t Open(const StringBuffer& path) override;
  int32_t Suspend() override;
  int32_t Resume() override;
  int32_t Close() override;
  int32_t Update() override;
  bool IsWritable() override;
  void GetName(StringBuffer& path) override;
  bool ValidFile() override;

  int16_t CountTypes() override;
  uint32_t GetIndType(uint16_t index) override;
  int16_t Count(uint32_t type) override;
  MHandle* GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle = nullptr) override;
  MHandle* GetNamedResource(uint32_t type, const StringBuffer& name,
                            SwizzleProc swizzle = nullptr) override;
  MHandle* GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle = nullptr) override;
  MHandle* GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                               SwizzleProc swizzle = nullptr) override;

  void GetResName(MHandle* h, StringBuffer& name) override;
  uint32_t GetResType(MHandle* h) override;
  void GetResID(MHandle* h, int16_t& id) override;
  void GetResAttrs(MHandle* h, int16_t& attrs) override;
  uint8_t GetResLanguage(MHandle* h) override;
  void UniqueName(uint32_t type, StringBuffer& name) override;
  uint16_t UniqueID(uint32_t type) override;
  void DetachResource(MHandle* h) override;
  void UnusedOperation() override;
  bool IsNativeOrder(MHandle* h) override;

  void SetResID(MHandle* h, uint16_t id) override;
  void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                   bool native) override;
  void AddLanguageResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                           uint8_t language, bool native) override;
  void WriteResource(MHandle* h) override;
  void RemoveResource(MHandle* h) override;
  void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) override;

 private:
  struct Entry {
    uint32_t type = 0;
    int16_t id = 0;
    uint8_t language = 0;
    std::string name;
    MHandle* handle = nullptr;  // held by the file; null when not loaded
    bool native = true;         // the held data are in host order
    bool dirty = false;         // the held data are not yet stored
    bool stored = false;        // `bytes` holds the resource as written
    bool storedNative = true;
    std::vector<uint8_t> bytes;
  };

  bool CheckOpen();
  bool CheckWritable();
  Entry* Find(uint32_t type, int16_t id, uint8_t language);
  Entry* FindByHandle(MHandle* h);
  Entry* EntryToChange(MHandle* h);  // writable file and a known handle, else the error set
  MHandle* Load(Entry* entry, SwizzleProc swizzle);
  int32_t Store(Entry* entry);
  void DropHandles();

  std::vector<Entry> fEntries;
  std::string fPath;
  bool fOpen;
  bool fReadOnly;
  int32_t fWriteError;
  int32_t fWriteCount;
};
