// A read-only resource file over folders of loose resource files: each resource is a file
// named by id, name and type extension ("#128#chair.spr"), found through a resource site and
// opened by the global resource manager. Object file sets open a ".dir" path as one.
//
// Open takes a ';'-separated list of folders, searched in order. Each resource got is read
// into a new memory handle that the file owns; the file remembers which packet each handle
// came from, so the handle can be asked for its type, id and name. A handle stays valid
// after Close; DetachResource hands it to the caller, destruction disposes it.
//
// Every writing operation answers unsupportedErr (-95). Resources are counted and listed by
// index only in folders that the global file manager has mapped; in any folder they are
// reached by id or by name. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>

#include "RsrcPkt.h"
#include "RsrcSite.h"
#include "ptrlist.h"
#include "resfile.h"

class ResolveResFile : public iResFile {
 public:
  ResolveResFile() = default;
  // Releases the site, every packet and every handle still held.
  ~ResolveResFile() override;

  // unsupportedErr: nothing is created or deleted.
  int32_t Create(const StringBuffer& path) override;
  int32_t Delete(const StringBuffer& path) override;
  // Makes the site from `path` ('\\' read as '/', leading "./" dropped). alreadyOpenErr when
  // a site is held already, or when the site has no folder or one of its folders is missing.
  int32_t Open(const StringBuffer& path) override;
  int32_t Suspend() override;  // 0, nothing done
  int32_t Resume() override;   // 0, nothing done
  // Releases the site; handles given out stay valid. 0.
  int32_t Close() override;
  int32_t Update() override;   // unsupportedErr
  bool IsWritable() override;  // false
  // The site's first folder, as the site holds it.
  void GetName(StringBuffer& path) override;
  // A site is held and all its folders exist.
  bool ValidFile() override;

  // The types of the files in the site's folders, from their extensions, in order of
  // discovery; noSuchResourceErr (and no types) for folders without files.
  int16_t CountTypes() override;
  uint32_t GetIndType(uint16_t index) override;
  int16_t Count(uint32_t type) override;
  // The handle given out before for this type and id, else a new one.
  MHandle* GetResource(uint32_t type, uint16_t id, SwizzleProc swizzle = nullptr) override;
  // The handle given out before for this type and exact name, else a new one.
  MHandle* GetNamedResource(uint32_t type, const StringBuffer& name,
                            SwizzleProc swizzle = nullptr) override;
  // Always a new handle. -1 for an index outside 1..Count(type).
  MHandle* GetIndResource(uint32_t type, uint16_t index, SwizzleProc swizzle = nullptr) override;

  void GetResName(MHandle* h, StringBuffer& name) override;
  uint32_t GetResType(MHandle* h) override;
  void GetResID(MHandle* h, int16_t& id) override;
  void GetResAttrs(MHandle* h, int16_t& attrs) override;
  void UniqueName(uint32_t type, StringBuffer& name) override;
  uint16_t UniqueID(uint32_t type) override;
  // The handle becomes the caller's; its packet is closed. notMemberErr for another handle.
  void DetachResource(MHandle* h) override;
  void UnusedOperation() override;
  bool IsNativeOrder(MHandle* h) override;  // true

  void SetResID(MHandle* h, uint16_t id) override;
  void AddResource(MHandle* h, uint32_t type, uint16_t id, const StringBuffer& name,
                   bool native) override;
  void WriteResource(MHandle* h) override;
  void RemoveResource(MHandle* h) override;
  void SetResInfo(MHandle* h, uint16_t id, const StringBuffer& name, uint8_t language) override;

  // The handle came from this file and has not been detached.
  virtual bool HasHandle(MHandle* h);

  // The resource manager's result code as a resource-file error: 0 -> noErr,
  // 5 -> noSuchResourceErr, 6 -> outOfMemoryErr, any other -> -1.
  static int32_t ConvertStatus(int32_t status);

 private:
  struct Correspondence {
    RsrcPkt* packet;
    MHandle* handle;
  };

  // True with a site; otherwise reports "no resolve site to thunk to" and sets
  // fileNotOpenErr.
  bool HaveSite();
  // The correspondence of `h`; null (reported, notMemberErr) when it has none.
  Correspondence* FindCorrespondence(MHandle* h);
  // Turns a packet opened with `status` into a handle the file holds; null and the error
  // on failure (the packet is deleted then).
  MHandle* TakePacket(RsrcPkt* packet, int32_t status, SwizzleProc swizzle);

  RsrcSite* fSite = nullptr;
  PtrList<Correspondence> fCorrespondences;  // newest first
};
