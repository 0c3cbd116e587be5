// A resource file that shows up to eight other resource files, its members, as one. Look-ups
// ask the members in chain order and answer from the first that knows the resource; counts and
// type lists combine all members; a new resource goes to the first writable member whose type
// list lets it take the type.
//
// Each member has a type list in one of two modes: prohibitive (the listed types are refused,
// all others taken) or exclusive (only the listed types are taken). A new member takes every
// type. The chain holds no file of its own: Create, Delete, Open and GetName are left to
// derived classes, and the chain neither opens, closes on destruction, nor deletes its members.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "resfile.h"

constexpr int32_t kMaxChainFiles = 8;

class ChainResFile : public iResFile {
 public:
  enum : uint16_t {
    kExclusiveTypes = 0,    // only the listed types are taken
    kProhibitiveTypes = 1,  // the listed types are refused
  };

  ChainResFile();
  ~ChainResFile() override;  // Releases the type lists only.

  // --- Members -------------------------------------------------------------------------
  // Puts the file into the first free slot, taking every type. With all 8 slots taken, the
  // assertion "not enough room for files" and nothing changes.
  void AddFile(iResFile* file);
  // Takes every slot holding the file out; the members behind move up and keep their order
  // and type lists.
  void RemoveFile(iResFile* file);
  int32_t CountFiles() const;
  // The member at a 0-based index; null when the index is not below the count.
  iResFile* GetFile(int32_t index) const;
  // The member refuses `type`. Refused with an assertion on a member whose list is exclusive.
  void ProhibitType(iResFile* file, uint32_t type);
  // The member takes `type` and, with the others listed, only those. Refused with an
  // assertion on a member whose list is prohibitive.
  void AddExclusiveType(iResFile* file, uint32_t type);
  // Some writable member takes the type.
  virtual bool CanWriteType(uint32_t type);

  // --- Files ---------------------------------------------------------------------------
  // Every member in order; the chain's error is noErr; answers the last nonzero result.
  int32_t Suspend() override;
  int32_t Resume() override;
  int32_t Close() override;
  // Every writable member; the first nonzero member error is the chain's.
  int32_t Update() override;
  bool IsWritable() override;  // some member is
  bool ValidFile() override;   // some member is

  // --- Look-ups: members in chain order ------------------------------------------------
  // Types: the union of the members' types, each member's read from its last index to 1.
  int16_t CountTypes() override;
  uint32_t GetIndType(uint16_t index) override;
  int16_t Count(uint32_t type) override;  // the sum; 0 with the error of a failing member
  MHandle* GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle = nullptr) override;
  MHandle* GetNamedResource(uint32_t type, const StringBuffer& name,
                            SwizzleProc swizzle = nullptr) override;
  // The index runs across the members: a member with n resources of the type takes 1..n.
  MHandle* GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle = nullptr) override;
  MHandle* GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                               SwizzleProc swizzle = nullptr) override;

  void GetResName(MHandle* h, StringBuffer& name) override;
  uint32_t GetResType(MHandle* h) override;
  void GetResID(MHandle* h, int16_t& id) override;
  void GetResAttrs(MHandle* h, int16_t& attrs) override;
  uint8_t GetResLanguage(MHandle* h) override;
  // An empty name becomes "anonymous 0"; then every member makes it unused in turn.
  void UniqueName(uint32_t type, StringBuffer& name) override;
  // An id above every member's ids of the type (the largest member answer); 0 without members.
  uint16_t UniqueID(uint32_t type) override;
  void DetachResource(MHandle* h) override;
  void UnusedOperation() override;
  bool IsNativeOrder(MHandle* h) override;

  // --- Changes -------------------------------------------------------------------------
  void SetResID(MHandle* h, uint16_t id) override;
  void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                   bool native) override;
  // Goes to the first writable member that takes the type. A resource stored under the same
  // key in another member is removed first; one in the taking member is replaced by it. When
  // no member takes the resource, nothing is removed: typeRefusedErr when some member refused
  // the type, else noTakerErr.
  void AddLanguageResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                           uint8_t language, bool native) override;
  // The first writable member that knows the handle.
  void WriteResource(MHandle* h) override;
  void RemoveResource(MHandle* h) override;
  void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) override;

 private:
  struct Slot {
    iResFile* fFile = nullptr;  // not owned; null = free
    std::vector<uint32_t> fTypes;
    uint16_t fMode = kProhibitiveTypes;
  };

  bool Accepts(const Slot& slot, uint32_t type) const;
  Slot* FindSlot(iResFile* file);
  void BuildTypeUnion(std::vector<uint32_t>& types);
  // The stored resource under the key and the member that answered it; null when none.
  MHandle* FindStored(uint32_t type, uint16_t id, uint8_t language, iResFile*& member,
                      SwizzleProc swizzle);
  // Runs `call` on members in order (writable ones only when asked) until one leaves noErr;
  // the chain's error is set to `startError` first and then follows each member's.
  template <class Call>
  iResFile* FirstSuccess(int32_t startError, bool writableOnly, Call call);

  Slot fSlots[kMaxChainFiles];
};
