// The saved resource map of IFF 2.x files: two ordinary records, then an 'rsmp' record that
// the file header names, whose data are the input; then the round of ResFileRound.
#include <cstring>

#include "FuzzSupport.h"
#include "IFFResFile2.h"
#include "IFFResMap.h"

namespace {

iResFile* MakeFile() { return new IFFResFile2(); }

void AppendRecord(std::string& file, uint32_t type, int16_t id, uint16_t flags, const char* name,
                  const std::string& data) {
  IFFHeader header;
  header.fType = type;
  header.fSize = static_cast<uint32_t>(kIFFHeaderSize + data.size());
  header.fID = id;
  header.fFlags = flags;
  FixedStringBuffer<64> text;
  text.assign(name);
  header.SetName(text);
  uint8_t bytes[kIFFHeaderSize];
  EncodeIFFHeader(header, bytes);
  file.append(reinterpret_cast<const char*>(bytes), kIFFHeaderSize);
  file.append(data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  // The layout the writer gives these two records: the strings at 64, the tree at 164, the
  // map at 280.
  std::string records;
  AppendRecord(records, MakeResType('S', 'T', 'R', '#'), 128, kNativeOrder, "strings", std::string(24, 's'));
  AppendRecord(records, MakeResType('B', 'H', 'A', 'V'), 4096, 0, "tree", std::string(40, 'b'));
  uint8_t head[kUniqueHeaderSize];
  EncodeFileHeader(static_cast<uint32_t>(kUniqueHeaderSize + records.size()), head);
  std::string file(reinterpret_cast<const char*>(head), kUniqueHeaderSize);
  file += records;
  AppendRecord(file, kResMapType, 0, kNativeOrder, "", std::string(reinterpret_cast<const char*>(data), size));
  ResFileRound(MakeFile, WriteFuzzFile("input.iff", file));
  return 0;
}
