#include "flatfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "DebugCapture.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

namespace {

using Name = FixedStringBuffer<260>;

TEST(FlatFile, OpenModesAndTwice) {
  TestTempFolder tmp;
  Name plain(tmp.WriteFile("plain.bin", "0123").c_str());
  Name locked(tmp.WriteFile("locked.bin", "ro").c_str());
  ::chmod(locked.c_str(), 0444);

  FlatFile f;
  EXPECT_FALSE(f.ValidFile());
  EXPECT_EQ(f.Open(Name((tmp / "missing.bin").c_str())), kFlatFailed);
  EXPECT_FALSE(f.ValidFile());
  EXPECT_EQ(f.Open(Name(tmp.Path().c_str())), kFlatFailed);  // a folder

  ASSERT_EQ(f.Open(locked), 0);
  EXPECT_FALSE(f.IsWritable());
  int32_t count = 1;
  EXPECT_EQ(f.Write("x", count), kFlatShortWrite);
  EXPECT_EQ(f.SetEOF(0), kFlatFailed);
  uint32_t size = 0;
  EXPECT_EQ(f.GetEOF(size), 0);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(f.Close(), 0);

  ASSERT_EQ(f.Open(plain), 0);
  EXPECT_TRUE(f.IsWritable());
  EXPECT_EQ(f.Open(locked), kFlatAlreadyOpen);  // the first file stays open
  Name got;
  EXPECT_EQ(f.GetName(got), 0);
  EXPECT_STREQ(got.c_str(), plain.c_str());
  EXPECT_EQ(f.Create(Name((tmp / "new.bin").c_str())), kFlatAlreadyOpen);
  EXPECT_EQ(f.Delete(plain), kFlatAlreadyOpen);
  EXPECT_TRUE(PlatformPathExists(plain.c_str()));
  EXPECT_FALSE(PlatformPathExists((tmp / "new.bin").c_str()));
  EXPECT_EQ(f.Close(), 0);

  // Either separator, any case.
  std::string odd = tmp.Path() + "PLAIN.BIN";
  for (char& c : odd) {
    if (c == '/') c = '\\';
  }
  EXPECT_EQ(f.Open(Name(odd.c_str())), 0);
}

TEST(FlatFile, ReadWriteAndPositions) {
  TestTempFolder tmp;
  Name name((tmp / "data.bin").c_str());
  FlatFile f;
  ASSERT_EQ(f.Create(name), 0);
  EXPECT_EQ(f.Create(name), kFlatFileExists);
  ASSERT_EQ(f.Open(name), 0);

  int32_t count = 10;
  EXPECT_EQ(f.Write("abcdefghij", count), 0);
  EXPECT_EQ(f.SetPos(6), 0);
  char buf[16] = {};
  count = 10;
  EXPECT_EQ(f.Read(buf, count), kFlatShortRead);  // 4 left: read, and -48
  EXPECT_EQ(count, 10);                           // left as passed
  EXPECT_EQ(std::string(buf, 4), "ghij");
  uint8_t byte = 0;
  EXPECT_EQ(f.ReadByte(&byte), kFlatShortRead);  // at the end

  EXPECT_EQ(f.SetPos(10), 0);  // the end itself
  EXPECT_EQ(f.SetPos(11), kFlatShortRead);
  EXPECT_EQ(f.SetPos(0x80000000u), kFlatShortRead);  // 2^31 is a large position, not a negative one
  EXPECT_EQ(f.SetPos(0xFFFFFFFFu), kFlatShortRead);
  EXPECT_EQ(f.SetPos(2), 0);
  EXPECT_EQ(f.ReadByte(&byte), 0);
  EXPECT_EQ(byte, 'c');

  EXPECT_EQ(f.SetEOF(4), 0);
  uint32_t size = 0;
  EXPECT_EQ(f.GetEOF(size), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(f.SetEOF(8), 0);
  EXPECT_EQ(f.GetEOF(size), 0);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(f.Flush(), 0);
  count = 0;
  EXPECT_EQ(f.Read(buf, count), 0);

  // Host failures come back as status codes; the file stays open.
  PlatformFileResetFaults();
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  count = 2;
  EXPECT_EQ(f.Write("zz", count), kFlatShortWrite);
  PlatformFileFailAt(kPlatformFaultFlush, 1);
  EXPECT_EQ(f.Flush(), kFlatFailed);
  PlatformFileFailAt(kPlatformFaultTruncate, 1);
  EXPECT_EQ(f.SetEOF(1), kFlatFailed);
  // Reads and writes name their offset: a failing seek fails the read or write it belongs to.
  PlatformFileFailAt(kPlatformFaultSeek, 1);
  EXPECT_EQ(f.SetPos(0), 0);
  count = 1;
  EXPECT_EQ(f.Read(buf, count), kFlatShortRead);
  PlatformFileFailAt(kPlatformFaultSeek, 1);
  count = 2;
  EXPECT_EQ(f.Write("zz", count), kFlatShortWrite);
  PlatformFileResetFaults();
  EXPECT_TRUE(f.ValidFile());
  EXPECT_EQ(f.GetEOF(size), 0);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(f.Close(), 0);

  EXPECT_EQ(f.Delete(name), 0);
  EXPECT_EQ(f.Delete(name), kFlatNoSuchFile);
  std::string locked = tmp.WriteFile("locked.bin", "x");
  ::chmod(locked.c_str(), 0444);
  EXPECT_EQ(f.Delete(Name(locked.c_str())), kFlatDeleteFailed);
}

// A writer keeps its file's size itself; a reader of the same file asks for it, so it reads
// what the writer appended after the reader opened.
TEST(FlatFile, AReaderSeesWhatAWriterAppends) {
  TestTempFolder tmp;
  std::string path = tmp.WriteFile("shared.bin", "abc");
  FlatFile writer;
  FlatFile reader;
  ASSERT_EQ(writer.Open(Name(path.c_str())), 0);
  ::chmod(path.c_str(), 0444);
  ASSERT_EQ(reader.Open(Name(path.c_str())), 0);
  ASSERT_FALSE(reader.IsWritable());
  ASSERT_EQ(writer.SetPos(3), 0);
  int32_t count = 3;
  ASSERT_EQ(writer.Write("def", count), 0);
  uint32_t size = 0;
  EXPECT_EQ(reader.GetEOF(size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(reader.SetPos(3), 0);
  char buf[3] = {};
  count = 3;
  EXPECT_EQ(reader.Read(buf, count), 0);
  EXPECT_EQ(std::string(buf, 3), "def");
  ::chmod(path.c_str(), 0644);
}

TEST(FlatFile, EveryOperationOnAClosedFileGivesNotOpen) {
  FlatFile f;
  char buf[4];
  int32_t count = 4;
  uint32_t size = 0;
  Name name;
  EXPECT_EQ(f.Read(buf, count), kFlatNotOpen);
  EXPECT_EQ(f.ReadByte(buf), kFlatNotOpen);
  EXPECT_EQ(f.Write(buf, count), kFlatNotOpen);
  EXPECT_EQ(f.SetPos(0), kFlatNotOpen);
  EXPECT_EQ(f.GetEOF(size), kFlatNotOpen);
  EXPECT_EQ(f.SetEOF(0), kFlatNotOpen);
  EXPECT_EQ(f.Flush(), kFlatNotOpen);
  EXPECT_EQ(f.GetName(name), kFlatNotOpen);
  ScopedDebugCapture capture;
  EXPECT_EQ(f.Close(), kFlatNotOpen);
  EXPECT_TRUE(capture.Saw("closing an unopened file"));
}

}  // namespace
