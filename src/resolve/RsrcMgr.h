// The resource manager: finds loose resource files in the folders of a site and opens one as
// a packet. Folders are searched in the site's order; the first folder that yields the
// resource wins. Names are found whatever their case.
//
// A major type may stand for a list of minor types; asking for a major type asks for each of
// its minor types in turn. Every failure is a result code; broken preconditions go to the
// debug report and the call goes on.
//
// Result codes: 0 success, 1 major type already registered, 2 major type not registered,
// 3 already present, 5 not found (no folder yields it, no file matches, or it cannot be
// opened), 6 the stream for a packet cannot be made.
//
// One global manager (GetRsrcMgr), used from one thread at a time; nothing is locked.
#ifndef RESOLVE_RSRCMGR_H
#define RESOLVE_RSRCMGR_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "RsrcCollection.h"
#include "RsrcPkt.h"
#include "RsrcSite.h"
#include "RsrcType.h"

class RsrcMgr {
 public:
  RsrcMgr() = default;
  RsrcMgr(const RsrcMgr&) = delete;
  RsrcMgr& operator=(const RsrcMgr&) = delete;

  // 1 when the type is registered already, else registers it with no minor types: 0.
  int32_t RegisterMajorType(const RsrcType& type);
  // 2 when the major type is not registered (reported), 3 when the minor type is listed
  // already, else appends it: 0.
  int32_t AddMinorType(const RsrcType& major, const RsrcType& minor);
  bool IsMajorType(const RsrcType& type) const;

  // Fills `collection` with the resources of `type` on `site` (each minor type of a major
  // type). The collection takes the site.
  int32_t FindRsrc(const RsrcSite& site, RsrcCollection& collection, const RsrcType& type);
  int32_t FindMinorTypes(const RsrcSite& site, RsrcCollection& collection, const RsrcType& major);
  // Adds every name of each site folder mapped in the global file manager that ends in the
  // type's extension (ignoring case). Folders that are not mapped add nothing. 0, or the
  // first add result other than 0 and 3.
  int32_t FindInSite(const RsrcSite& site, RsrcCollection& collection, const RsrcType& type);

  // Opens the resource of that name (any id) or id from the first folder of the site that
  // yields it: 0, else 5.
  int32_t GetRsrcByName(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type,
                        const char* name);
  int32_t GetRsrcByID(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type, int32_t id);
  // Opens the resource that `position` describes.
  int32_t OpenDescriptor(RsrcPkt* outRsrc, const RsrcCollection::iterator& position);
  // Opens a resource of `inMinorType` in the folder `inDir` (ending in '\\'): by id alone
  // when `name` is null, else by "#<id>#<name>" and, failing that, by name under any id.
  // The packet takes the type, name and id of the file opened. A name holding '/' or '\\'
  // names no file of the folder: 5.
  int32_t OpenRsrc(RsrcPkt* outRsrc, const RsrcType& inMinorType, const char* inDir,
                   const char* name, int32_t inID);
  // Opens `path` into the packet according to its kind: 0, 5 (cannot be opened, a folder,
  // or 2^31 bytes or more) or 6.
  int32_t OpenPkt(RsrcPkt* outRsrc, const char* path);

  // The id of a "#<id>#..." file name, kNoID without one.
  static int32_t ParseID(const char* fileName);
  // Replaces `fileName` by its resource name: the characters after the id prefix (when it has
  // one) up to the first '.'.
  static void ParseName(std::string& fileName);

  int32_t GetOpenMode() const { return fOpenMode; }
  void SetOpenMode(int32_t mode) { fOpenMode = mode; }

 private:
  // GetRsrcByName (a name, id kNoID) and GetRsrcByID (no name): each minor type of a major
  // type in turn, else each folder of the site in order.
  int32_t GetRsrcInSite(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type,
                        const char* name, int32_t id);

  std::map<RsrcType, std::vector<RsrcType>> mMajorTypes;
  int32_t fOpenMode = 0;  // 0: stream packets open in binary mode, else in text mode
};

// The global manager.
RsrcMgr& GetRsrcMgr();

#endif  // RESOLVE_RSRCMGR_H
