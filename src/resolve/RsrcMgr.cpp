#include "RsrcMgr.h"

#include <climits>
#include <cstring>
#include <new>
#include <streambuf>
#include <strings.h>

#include "PlatformFile.h"
#include "VornFile.h"
#include "VornReport.h"

namespace {

// The first file (not folder) that a search for `pattern` reports and that `accept` takes;
// its name in `found`. False when there is none.
template <class Accept>
bool FindLooseFile(const std::string& pattern, std::string& found, Accept accept) {
  PlatformFind find;
  for (bool ok = find.First(pattern.c_str()); ok; ok = find.Next()) {
    const PlatformFindEntry& entry = find.Entry();
    if (entry.folder || !accept(entry.name)) continue;
    found = entry.name;
    return true;
  }
  return false;
}

bool AnyFile(const std::string&) { return true; }

// The reading side of a file stream over a platform file: every read and seek of the packet's
// stream is the platform's, like those of every other file the tools open.
class PlatformReadBuffer : public std::streambuf {
 public:
  explicit PlatformReadBuffer(PlatformFile* file) : fFile(file) {}
  ~PlatformReadBuffer() override { PlatformFileClose(fFile); }
  PlatformReadBuffer(const PlatformReadBuffer&) = delete;
  PlatformReadBuffer& operator=(const PlatformReadBuffer&) = delete;

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const int64_t got = PlatformFileRead(fFile, fBlock, sizeof fBlock);
    if (got <= 0) return traits_type::eof();
    fStart += egptr() - eback();
    setg(fBlock, fBlock, fBlock + got);
    return traits_type::to_int_type(*gptr());
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode which) override {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    int64_t base = 0;
    if (way == std::ios_base::cur) base = fStart + (gptr() - eback());
    if (way == std::ios_base::end) {
      base = PlatformFileSize(fFile);
      if (base < 0) return pos_type(off_type(-1));
    }
    return seekpos(pos_type(base + offset), which);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    const int64_t to = off_type(position);
    if ((which & std::ios_base::in) == 0 || to < 0 || !PlatformFileSeek(fFile, to))
      return pos_type(off_type(-1));
    fStart = to;
    setg(fBlock, fBlock, fBlock);
    return position;
  }

 private:
  PlatformFile* fFile;
  int64_t fStart = 0;  // the file offset of the buffer's first byte
  char fBlock[8192];
};

// A packet's stream: a file stream whose bytes come through the platform layer.
class PlatformPacketStream : public RsrcDLLFix<std::fstream> {
 public:
  explicit PlatformPacketStream(PlatformFile* file) : fBuffer(file) { std::ios::rdbuf(&fBuffer); }

 private:
  PlatformReadBuffer fBuffer;
};

}  // namespace

RsrcMgr& GetRsrcMgr() {
  static RsrcMgr manager;
  return manager;
}

int32_t RsrcMgr::RegisterMajorType(const RsrcType& type) {
  if (mMajorTypes.count(type) != 0) return 1;
  mMajorTypes[type];
  return 0;
}

int32_t RsrcMgr::AddMinorType(const RsrcType& major, const RsrcType& minor) {
  auto majorIter = mMajorTypes.find(major);
  VORN_REPORT(majorIter != mMajorTypes.end(), "majorIter != mMajorTypes.end()");
  if (majorIter == mMajorTypes.end()) return 2;
  std::vector<RsrcType>& minors = majorIter->second;
  for (const RsrcType& listed : minors)
    if (listed == minor) return 3;
  minors.push_back(minor);
  return 0;
}

bool RsrcMgr::IsMajorType(const RsrcType& type) const { return mMajorTypes.count(type) != 0; }

int32_t RsrcMgr::FindRsrc(const RsrcSite& site, RsrcCollection& collection, const RsrcType& type) {
  if (IsMajorType(type)) return FindMinorTypes(site, collection, type);
  return FindInSite(site, collection, type);
}

int32_t RsrcMgr::FindMinorTypes(const RsrcSite& site, RsrcCollection& collection,
                                const RsrcType& major) {
  auto majorIter = mMajorTypes.find(major);
  VORN_REPORT(majorIter != mMajorTypes.end(), "majorIter != mMajorTypes.end()");
  if (majorIter == mMajorTypes.end()) return 2;
  for (const RsrcType& minor : majorIter->second) {
    int32_t result = FindInSite(site, collection, minor);
    if (result != 0) return result;
  }
  return 0;
}

int32_t RsrcMgr::FindInSite(const RsrcSite& site, RsrcCollection& collection,
                            const RsrcType& type) {
  collection.SetSite(site);
  std::string extension;
  type.GetExtension(extension);
  VornFileManager& files = GetVornFileManager();
  for (const std::string& folder : site) {
    const VornNameMap* names = files.GetFolderMap(VornString(folder));
    if (!names) continue;
    for (const auto& entry : *names) {
      const std::string& name = entry.first.str();
      if (name.size() < extension.size()) continue;
      if (strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) != 0)
        continue;
      int32_t result = collection.Add(folder, name.c_str(), type);
      if (result != 0 && result != 3) {
        VORN_REPORT(false, "collection add failed");
        return result;
      }
    }
  }
  return 0;
}

int32_t RsrcMgr::GetRsrcByName(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type,
                               const char* name) {
  return GetRsrcInSite(outRsrc, site, type, name, RsrcDescriptor::kNoID);
}

int32_t RsrcMgr::GetRsrcByID(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type,
                             int32_t id) {
  return GetRsrcInSite(outRsrc, site, type, nullptr, id);
}

int32_t RsrcMgr::GetRsrcInSite(RsrcPkt* outRsrc, const RsrcSite& site, const RsrcType& type,
                               const char* name, int32_t id) {
  VORN_REPORT(outRsrc != nullptr, "outRsrc != 0");
  if (!outRsrc) return 5;
  if (IsMajorType(type)) {
    for (const RsrcType& minor : mMajorTypes[type])
      if (GetRsrcInSite(outRsrc, site, minor, name, id) == 0) return 0;
    return 5;
  }
  for (const std::string& folder : site)
    if (OpenRsrc(outRsrc, type, folder.c_str(), name, id) == 0) return 0;
  return 5;
}

int32_t RsrcMgr::OpenDescriptor(RsrcPkt* outRsrc, const RsrcCollection::iterator& position) {
  VORN_REPORT(outRsrc != nullptr, "outRsrc != 0");
  if (!outRsrc) return 5;
  const RsrcDescriptor& descriptor = *position;
  return OpenRsrc(outRsrc, descriptor.GetType(), descriptor.GetDir(), descriptor.GetName(),
                  descriptor.GetID());
}

int32_t RsrcMgr::OpenRsrc(RsrcPkt* outRsrc, const RsrcType& inMinorType, const char* inDir,
                          const char* name, int32_t inID) {
  VORN_REPORT(outRsrc != nullptr, "outRsrc != 0");
  VORN_REPORT(this->IsMajorType(inMinorType) == 0, "this->IsMajorType(inMinorType) == 0");
  VORN_REPORT(inDir != nullptr, "inDir != 0");
  VORN_REPORT(inID >= RsrcDescriptor::kMinID || inID == RsrcDescriptor::kNoID,
              "inID >= RsrcDescriptor::kMinID || inID == RsrcDescriptor::kNoID");
  if (!outRsrc || !inDir) return 5;
  size_t dirLength = std::strlen(inDir);
  VORN_REPORT(dirLength > 0 && inDir[dirLength - 1] == '\\', "inDir[strlen(inDir)-1] == '\\\\'");

  const std::string folder(inDir);
  std::string extension;
  inMinorType.GetExtension(extension);
  std::string found;

  if (!name) {
    // By id alone: any name under "#<id>#".
    VORN_REPORT(inID != RsrcDescriptor::kNoID, "inID != RsrcDescriptor::kNoID");
    if (inID == RsrcDescriptor::kNoID) return 5;
    std::string pattern = folder + "#" + std::to_string(inID) + "#*" + extension;
    if (!FindLooseFile(pattern, found, AnyFile)) return 5;
    int32_t result = OpenPkt(outRsrc, (folder + found).c_str());
    if (result != 0) return result;
    ParseName(found);
    outRsrc->SetType(inMinorType);
    outRsrc->SetName(found);
    outRsrc->SetID(inID);
    return 0;
  }

  // A name is one file name in the folder: a separator would reach outside it.
  if (std::strpbrk(name, "/\\") != nullptr) return 5;

  // By name: the exact file first, then the name under any id.
  std::string path = folder;
  if (inID != RsrcDescriptor::kNoID) {
    path += '#';
    path += std::to_string(inID);
    path += '#';
  }
  path += name;
  path += extension;
  if (OpenPkt(outRsrc, path.c_str()) == 0) {
    outRsrc->SetType(inMinorType);
    outRsrc->SetName(name);
    outRsrc->SetID(inID);
    return 0;
  }
  // The wildcard in the id field also matches names that are no "#<id>#<name>" of this
  // name (a '#' or a wildcard inside the name): only a well-formed file of the name counts.
  const std::string wanted = std::string(name) + extension;
  auto sameName = [&wanted](const std::string& candidate) {
    int32_t id = 0;
    const char* rest = nullptr;
    return ParseLooseFileID(candidate.c_str(), id, rest) && strcasecmp(rest, wanted.c_str()) == 0;
  };
  if (!FindLooseFile(folder + "#*#" + wanted, found, sameName)) return 5;
  int32_t result = OpenPkt(outRsrc, (folder + found).c_str());
  if (result != 0) return result;
  outRsrc->SetType(inMinorType);
  outRsrc->SetName(name);
  outRsrc->SetID(ParseID(found.c_str()));
  return 0;
}

int32_t RsrcMgr::OpenPkt(RsrcPkt* outRsrc, const char* path) {
  if (!outRsrc || !path) return 5;
  switch (outRsrc->GetStreamType()) {
    case RsrcPkt::kCPPStream: {
      // Opened through the platform layer (which finds the name in another case and refuses
      // a folder); binary and text mode read the same bytes on this host.
      PlatformFile* file = PlatformFileOpen(path, PlatformOpenMode::kReadExisting);
      const int64_t size = file != nullptr ? PlatformFileSize(file) : -1;
      if (size < 0 || size > INT32_MAX) {
        PlatformFileClose(file);
        outRsrc->SetStream(nullptr);
        outRsrc->SetSize(0);
        return 5;
      }
      PlatformPacketStream* stream = new (std::nothrow) PlatformPacketStream(file);
      VORN_REPORT(stream != nullptr, "stream != 0");
      if (!stream) {
        PlatformFileClose(file);
        return 6;
      }
      outRsrc->SetStream(stream);
      outRsrc->SetSize(static_cast<int32_t>(size));
      return 0;
    }
    case RsrcPkt::kVornFile: {
      VornFile* file = GetVornFileManager().Open(VornString(path), false);
      if (!file) return 5;
      outRsrc->SetFile(file);
      outRsrc->SetSize(file->GetSize());
      return 0;
    }
    default:
      return 5;
  }
}

int32_t RsrcMgr::ParseID(const char* fileName) {
  int32_t id = RsrcDescriptor::kNoID;
  const char* rest = nullptr;
  if (fileName && fileName[0] == '#') {
    bool wellFormed = ParseLooseFileID(fileName, id, rest);
    VORN_REPORT(wellFormed, "j < 10");
  }
  return id;
}

void RsrcMgr::ParseName(std::string& fileName) {
  int32_t id = 0;
  const char* rest = fileName.c_str();
  ParseLooseFileID(fileName.c_str(), id, rest);
  std::string name(rest, std::strcspn(rest, "."));
  fileName = name;
}
