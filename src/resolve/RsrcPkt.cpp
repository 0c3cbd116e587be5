#include "RsrcPkt.h"

#include <cstring>

#include "VornFile.h"
#include "VornReport.h"

bool ParseLooseFileID(const char* fileName, int32_t& id, const char*& rest) {
  if (!fileName || fileName[0] != '#') return false;
  const char* field = fileName + 1;
  const char* close = std::strchr(field, '#');
  if (!close || close == field || close - field > 10) return false;
  // atoi's reading, bounded to the field and to the i32 range.
  const char* p = field;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  for (; p < close && *p >= '0' && *p <= '9'; ++p) value = value * 10 + (*p - '0');
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  id = static_cast<int32_t>(value);
  rest = close + 1;
  return true;
}

RsrcDescriptor::RsrcDescriptor(const char* folder, const char* fileName, const RsrcType& type)
    : fFolder(folder ? folder : ""), fType(type) {
  ParseFileName(fileName);
}

void RsrcDescriptor::ParseFileName(const char* fileName) {
  fID = kNoID;
  fName.clear();
  if (!fileName) return;
  const char* rest = fileName;
  ParseLooseFileID(fileName, fID, rest);
  for (; *rest != '\0'; ++rest) {
    char c = *rest;
    if (c == '.') c = '\0';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    fName.push_back(c);
  }
}

bool RsrcDescriptor::operator==(const RsrcDescriptor& other) const {
  return fName == other.fName && fID == other.fID;
}

bool RsrcDescriptor::operator<(const RsrcDescriptor& other) const {
  if (fID != kNoID) return fID < other.fID;
  return fName < other.fName;
}

std::string RsrcDescriptor::BuildFileName() const {
  if (fID == kNoID) return GetName();
  std::string file(1, '#');
  file += std::to_string(fID);
  file += '#';
  file += GetName();
  return file;
}

RsrcPkt::RsrcPkt(const RsrcType& type, std::fstream* stream, int32_t size,
                 const std::string& name, int32_t id)
    : mStreamType(kCPPStream), mStream(stream), fType(type), fName(name), fID(id), fSize(size) {}

RsrcPkt::RsrcPkt(const RsrcType& type, VornFile* file, int32_t size, const std::string& name,
                 int32_t id)
    : mStreamType(kVornFile), mFile(file), fType(type), fName(name), fID(id), fSize(size) {}

RsrcPkt::~RsrcPkt() { Release(); }

void RsrcPkt::Release() {
  delete mStream;
  mStream = nullptr;
  if (mFile) GetVornFileManager().Close(mFile);
  mFile = nullptr;
}

std::fstream* RsrcPkt::GetStream() const {
  VORN_REPORT(mStreamType == kCPPStream, "mStreamType == kCPPStream");
  VORN_REPORT(mStream != nullptr, "mStream != 0");
  return mStreamType == kCPPStream ? mStream : nullptr;
}

VornFile* RsrcPkt::GetFile() const {
  VORN_REPORT(mStreamType == kVornFile, "mStreamType == kVornFile");
  VORN_REPORT(mFile != nullptr, "mFile != 0");
  return mStreamType == kVornFile ? mFile : nullptr;
}

int32_t RsrcPkt::SetStreamType(int32_t type) {
  bool empty = mStream == nullptr && mFile == nullptr;
  VORN_REPORT(empty, "(mStream == 0) && (mFile == 0)");
  if (empty) mStreamType = type;
  return 0;
}

void RsrcPkt::SetStream(std::fstream* stream) {
  if (mStream != stream) delete mStream;
  if (mFile) GetVornFileManager().Close(mFile);
  mFile = nullptr;
  mStream = stream;
  mStreamType = kCPPStream;
}

void RsrcPkt::SetFile(VornFile* file) {
  delete mStream;
  mStream = nullptr;
  if (mFile && mFile != file) GetVornFileManager().Close(mFile);
  mFile = file;
  mStreamType = kVornFile;
}
