// Loose resource files: the descriptor of one file found on disk, and the packet through
// which an opened resource is read.
//
// A loose resource file is named '#', the id in decimal, '#', the resource name and the
// type's extension ("#128#chair.spr"); a resource without an id is named by its name and
// extension alone ("chair.spr"). Packets own their stream or file. One thread at a time.
#ifndef RESOLVE_RSRCPKT_H
#define RESOLVE_RSRCPKT_H

#include <cstdint>
#include <fstream>
#include <string>

#include "RsrcType.h"

class VornFile;

// Reads the id prefix of a loose file name. When `fileName` begins with '#', holds a second
// '#' and the id field between them has 1 to 10 characters that read as a number the way
// atoi reads them (a sign and digits; what follows is ignored) within the i32 range, stores
// the id and the position after the second '#' and answers true. Otherwise answers false
// (the name has no id) and leaves both untouched.
bool ParseLooseFileID(const char* fileName, int32_t& id, const char*& rest);

// One loose resource file found on disk.
class RsrcDescriptor {
 public:
  static constexpr int32_t kNoID = INT32_MIN;  // the resource has no id
  static constexpr int32_t kMinID = -32768;    // the smallest valid id

  RsrcDescriptor() = default;
  RsrcDescriptor(const RsrcDescriptor& other) = default;
  // Keeps the folder and type; the id and name come from the file name (ParseFileName).
  RsrcDescriptor(const char* folder, const char* fileName, const RsrcType& type);
  RsrcDescriptor& operator=(const RsrcDescriptor& other) = default;
  ~RsrcDescriptor() = default;

  // Equal names and equal ids (folder and type are not compared).
  bool operator==(const RsrcDescriptor& other) const;
  // By id (signed) when this descriptor has one, else by name in byte order.
  bool operator<(const RsrcDescriptor& other) const;

  const char* GetDir() const { return fFolder.c_str(); }
  // The resource name as a C string: it ends at the first '.' of the file name.
  const char* GetName() const { return fName.c_str(); }
  // The whole stored name, the characters after the first '.' included (NULs in place of
  // the dots): what operator== compares.
  const std::string& GetFullName() const { return fName; }
  const RsrcType& GetType() const { return fType; }
  int32_t GetID() const { return fID; }

  // The file name without extension: the name alone for kNoID, else "#<id>#<name>".
  std::string BuildFileName() const;

  // Reads the id (kNoID without a well-formed "#<id>#" prefix) and the name from a file
  // name. The name keeps every remaining character, lower-cased, with each '.' stored as a
  // NUL; comparisons use all of it.
  void ParseFileName(const char* fileName);

 private:
  std::string fFolder;  // ends in '\\'
  std::string fName;
  RsrcType fType;
  int32_t fID = kNoID;
};

// The stream class of stream packets: a standard file stream.
template <class Stream>
class RsrcDLLFix : public Stream {};

// One open resource: its type, name, id, size, and the stream or file its bytes are read
// through. The packet owns what it holds: a stream is deleted, a file closed through the
// global file manager.
class RsrcPkt {
 public:
  enum { kCPPStream = 0, kVornFile = 1 };

  RsrcPkt() = default;
  RsrcPkt(const RsrcType& type, std::fstream* stream, int32_t size, const std::string& name,
          int32_t id);
  RsrcPkt(const RsrcType& type, VornFile* file, int32_t size, const std::string& name,
          int32_t id);
  ~RsrcPkt();
  RsrcPkt(const RsrcPkt&) = delete;
  RsrcPkt& operator=(const RsrcPkt&) = delete;

  const RsrcType& GetType() const { return fType; }
  const std::string& GetName() const { return fName; }
  int32_t GetID() const { return fID; }
  int32_t GetSize() const { return fSize; }
  int32_t GetStreamType() const { return mStreamType; }
  // The held stream (a stream packet) or file (a file packet); a wrong kind or nothing held
  // is reported and gives null.
  std::fstream* GetStream() const;
  VornFile* GetFile() const;

  void SetType(const RsrcType& type) { fType = type; }
  void SetName(const std::string& name) { fName = name; }
  void SetID(int32_t id) { fID = id; }
  void SetSize(int32_t size) { fSize = size; }
  // Chooses the kind; allowed only while nothing is held (reported otherwise, and the kind
  // is then left as it is). Returns 0.
  int32_t SetStreamType(int32_t type);
  // Release what is held (unless it is the object being set), then hold `stream` (or
  // `file`), which may be null; the kind follows.
  void SetStream(std::fstream* stream);
  void SetFile(VornFile* file);

 private:
  void Release();

  int32_t mStreamType = kCPPStream;
  std::fstream* mStream = nullptr;
  VornFile* mFile = nullptr;
  RsrcType fType;
  std::string fName;
  int32_t fID = RsrcDescriptor::kNoID;
  int32_t fSize = 0;
};

#endif  // RESOLVE_RSRCPKT_H
