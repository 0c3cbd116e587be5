#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "Recon.h"
#include "TestTempFolder.h"
#include "strset.h"

namespace {

constexpr uint32_t kTestType = MakeResType('T', 'e', 's', 't');

// A record with one field of every kind, optionally bit-packed after its first byte.
struct Sample {
  bool packed = false;
  uint8_t b = 0;
  bool flag = false;
  int16_t s = 0;
  int32_t i = 0;
  float f = 0;
  std::string name;
  int16_t tail = 0;

  void Reconstitute(ReconStream& stream, int32_t) {
    stream.ReconBool(&packed);
    if (packed) stream.SetCompressed();
    stream.ReconBytes(&b);
    stream.ReconBool(&flag);
    stream.ReconInt16(&s);
    stream.ReconInt32(&i);
    stream.ReconFloat(&f);
    stream.ReconString(name);
    stream.ReconInt16(&tail);
  }
  bool operator==(const Sample& o) const {
    return packed == o.packed && b == o.b && flag == o.flag && s == o.s && i == o.i && f == o.f &&
           name == o.name && tail == o.tail;
  }
};

// A record whose strings go through the stream's string table.
struct Labelled {
  iResFile* file = nullptr;
  std::string first, second;
  int16_t value = 0;
  void Reconstitute(ReconStream& stream, int32_t) {
    stream.UseStringTable(file, kStringSetType, 300);
    stream.ReconString(first);
    stream.ReconInt16(&value);
    stream.ReconString(second);
  }
};

struct Item {
  int16_t a = 0;
  std::string label;
  void Reconstitute(ReconStream& stream, int32_t) {
    stream.ReconInt16(&a);
    stream.ReconString(label);
  }
};

std::vector<uint8_t> HandleBytes(MHandle* h) {
  const char* p = HLock(h);
  std::vector<uint8_t> bytes(p, p + HGetSize(h));
  HUnlock(h);
  return bytes;
}

MHandle* HandleOf(const std::vector<uint8_t>& bytes) {
  MHandle* h = HAlloc(static_cast<uint32_t>(bytes.size()));
  memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  return h;
}

}  // namespace

TEST(ReconStream, PackedSixteenBitValuesHaveTheirBitLayout) {
  uint16_t values[3] = {0, 1, 0xFFFF};
  uint8_t data[3] = {0xEE, 0xEE, 0xEE};
  ReconStream writer(data, 3, ReconStream::kWriting, false);
  writer.SetCompressed();
  writer.ReconInt16(values, 3);
  EXPECT_FALSE(writer.Failed());
  EXPECT_EQ(writer.GetPosition(), 3);
  EXPECT_EQ(data[0], 0x40);
  EXPECT_EQ(data[1], 0xCF);
  EXPECT_EQ(data[2], 0x80);

  ReconStream measure;
  measure.SetCompressed();
  measure.ReconInt16(values, 3);
  EXPECT_EQ(measure.GetPosition(), 3);

  uint16_t back[3] = {7, 7, 7};
  ReconStream reader(data, 3, ReconStream::kReading, false);
  reader.SetCompressed();
  reader.ReconInt16(back, 3);
  EXPECT_FALSE(reader.Failed());
  EXPECT_EQ(back[0], 0);
  EXPECT_EQ(back[1], 1);
  EXPECT_EQ(back[2], 0xFFFF);
}

TEST(ReconStream, PackedWidthsByClass) {
  // Eight copies of a value take exactly eight times its bit count, so the byte position after
  // them is the bit count of one value.
  struct Case {
    int kind;  // 1, 2, 4 bytes; 5 = float
    uint32_t value;
    int32_t bits;
  };
  const Case cases[] = {
      {2, 0, 1},           {2, 1, 8},          {2, 0xFFFF, 8},      {2, 300, 16},
      {2, 0x8000, 19},     {4, 0x7FFFFFFF, 35}, {4, 0xFFFFFFFF, 9}, {4, 1000000, 24},
      {1, 200, 11},        {1, 1, 5},          {5, 0x3F800000, 35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " value " << c.value);
    uint8_t data[64] = {};
    ReconStream writer(data, sizeof data, ReconStream::kWriting, false);
    ReconStream measure;
    ReconStream* streams[2] = {&writer, &measure};
    for (ReconStream* s : streams) {
      s->SetCompressed();
      for (int k = 0; k < 8; k++) {
        uint8_t b = static_cast<uint8_t>(c.value);
        uint16_t w = static_cast<uint16_t>(c.value);
        uint32_t d = c.value;
        float f;
        memcpy(&f, &c.value, 4);
        if (c.kind == 1) s->ReconBytes(&b);
        if (c.kind == 2) s->ReconInt16(&w);
        if (c.kind == 4) s->ReconInt32(&d);
        if (c.kind == 5) s->ReconFloat(&f);
      }
      EXPECT_EQ(s->GetPosition(), c.bits);
    }
    ReconStream reader(data, writer.GetPosition(), ReconStream::kReading, false);
    reader.SetCompressed();
    for (int k = 0; k < 8; k++) {
      uint8_t b = 0;
      uint16_t w = 0;
      uint32_t d = 0;
      float f = 0;
      uint32_t got = 0;
      if (c.kind == 1) {
        reader.ReconBytes(&b);
        got = b;
      } else if (c.kind == 2) {
        reader.ReconInt16(&w);
        got = w;
      } else if (c.kind == 4) {
        reader.ReconInt32(&d);
        got = d;
      } else {
        reader.ReconFloat(&f);
        memcpy(&got, &f, 4);
      }
      EXPECT_EQ(got, c.value);
    }
    EXPECT_FALSE(reader.Failed());
  }
}

TEST(ReconStream, ByteModeSwapsIntegersButNotFloatsOrBytes) {
  uint8_t data[11] = {};
  uint16_t s = 0x1234;
  uint32_t i = 0x01020304;
  float f = 1.5f;
  uint8_t b = 0x7A;
  ReconStream writer(data, sizeof data, ReconStream::kWriting, true);
  writer.ReconInt16(&s);
  writer.ReconInt32(&i);
  writer.ReconFloat(&f);
  writer.ReconBytes(&b);
  ASSERT_EQ(writer.GetPosition(), 11);
  const uint8_t expectInts[6] = {0x12, 0x34, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(memcmp(data, expectInts, 6), 0);
  EXPECT_EQ(memcmp(data + 6, &f, 4), 0);  // raw, unswapped
  EXPECT_EQ(data[10], 0x7A);

  uint16_t s2 = 0;
  uint32_t i2 = 0;
  float f2 = 0;
  ReconStream reader(data, sizeof data, ReconStream::kReading, true);
  reader.ReconInt16(&s2);
  reader.ReconInt32(&i2);
  reader.ReconFloat(&f2);
  EXPECT_EQ(s2, 0x1234);
  EXPECT_EQ(i2, 0x01020304u);
  EXPECT_EQ(f2, 1.5f);
}

TEST(ReconStream, StringsArePaddedToEvenOffsetsAndThePadIsSkipped) {
  struct Case {
    const char* text;
    int32_t next;
  };
  for (const Case& c : {Case{"abc", 4}, Case{"ab", 4}, Case{"", 2}, Case{"a", 2}}) {
    SCOPED_TRACE(c.text);
    uint8_t data[16];
    memset(data, 0xEE, sizeof data);
    std::string text = c.text;
    uint16_t after = 0x5150;
    ReconStream writer(data, sizeof data, ReconStream::kWriting, false);
    writer.ReconString(text);
    EXPECT_EQ(writer.GetPosition(), c.next);
    writer.ReconInt16(&after);
    size_t len = strlen(c.text);
    EXPECT_EQ(memcmp(data, c.text, len + 1), 0);
    if (len + 1 < static_cast<size_t>(c.next)) {
      EXPECT_EQ(data[len + 1], 0xEE);  // the pad byte is skipped, not written
    }

    ReconStream measure;
    measure.ReconString(text);
    EXPECT_EQ(measure.GetPosition(), c.next);

    std::string back = "junk";
    uint16_t after2 = 0;
    ReconStream reader(data, c.next + 2, ReconStream::kReading, false);
    reader.ReconString(back);
    reader.ReconInt16(&after2);
    EXPECT_EQ(back, c.text);
    EXPECT_EQ(after2, 0x5150);
    EXPECT_FALSE(reader.Failed());
  }
}

TEST(ReconStream, StringCutToItsTargetStillMovesPastTheStoredText) {
  const uint8_t data[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0, 0xEE, 0x34, 0x12};
  ScopedDebugCapture capture;
  FixedStringBuffer<4> small;
  uint16_t next = 0;
  ReconStream reader(const_cast<uint8_t*>(data), sizeof data, ReconStream::kReading, false);
  reader.ReconString(small);
  EXPECT_EQ(reader.GetPosition(), 10);
  reader.ReconInt16(&next);
  EXPECT_STREQ(small.c_str(), "abc");
  EXPECT_EQ(next, 0x1234);
  EXPECT_FALSE(reader.Failed());
  EXPECT_TRUE(capture.Saw("append losing characters"));
}

TEST(ReconStream, MeasuringMatchesWritingInBothEncodings) {
  for (bool packed : {false, true}) {
    SCOPED_TRACE(packed);
    Sample in;
    in.packed = packed;
    in.b = 200;
    in.flag = true;
    in.s = -300;
    in.i = 123456789;
    in.f = -2.25f;
    in.name = "odd";
    in.tail = 77;
    SimpleReconObject<Sample> object(in, kTestType);
    MHandle* h = ReconToHandle(object, 5);
    ASSERT_NE(h, nullptr);
    ReconStream measure;
    in.Reconstitute(measure, 5);
    EXPECT_EQ(HGetSize(h), measure.GetPosition() + kReconHeaderSize);

    Sample out;
    SimpleReconObject<Sample> target(out, kTestType);
    uint32_t version = 0;
    EXPECT_EQ(ReconFromHandle(target, h, &version), noErr);
    EXPECT_EQ(version, 5u);
    EXPECT_TRUE(out == in);
    HFree(h);
  }
}

TEST(ReconStream, HandleHeaderIsWrittenAndItsTypeChecked) {
  Sample in;
  in.i = 99;
  SimpleReconObject<Sample> object(in, kTestType);
  MHandle* h = ReconToHandle(object, 0x0A0B0C0D);
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> bytes = HandleBytes(h);
  ASSERT_GE(bytes.size(), 12u);
  const uint8_t header[12] = {0, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A, 't', 's', 'e', 'T'};
  EXPECT_EQ(memcmp(bytes.data(), header, 12), 0);

  ScopedDebugCapture capture;
  Sample out;
  out.i = 5;
  SimpleReconObject<Sample> other(out, MakeResType('O', 't', 'h', 'r'));
  EXPECT_EQ(ReconFromHandle(other, h, nullptr), badHeaderErr);
  EXPECT_EQ(out.i, 5);
  EXPECT_TRUE(capture.Saw("reconstitution type mismatch"));

  MHandle* tiny = HandleOf({0, 0, 0, 0, 1});
  EXPECT_EQ(ReconFromHandle(object, tiny, nullptr), badHeaderErr);
  HFree(tiny);
  HFree(h);
}

TEST(ReconStream, ForeignOrderRecordIsSwizzledAndSwappedOnLoad) {
  // Header and body as a big-endian writer stores them: version 3, type 'Test', then the fields
  // of Item: i16 0x0102 and the string "hi".
  MemResFile file;
  file.PutStored(kTestType, 9,
                 std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 3, 'T', 'e', 's', 't', 0x01, 0x02, 'h',
                                      'i', 0, 0},
                 false);
  Item item;
  SimpleReconObject<Item> object(item, kTestType);
  uint32_t version = 0;
  EXPECT_EQ(ReconLoadResource(object, &file, 9, &version), noErr);
  EXPECT_EQ(version, 3u);
  EXPECT_EQ(item.a, 0x0102);
  EXPECT_EQ(item.label, "hi");
  EXPECT_EQ(file.HeldCount(), 0);
}

TEST(ReconStream, CorruptDataIsRefusedWithoutReadingPastIt) {
  ScopedDebugCapture capture;
  {
    // A vector count far larger than the bytes left: refused before anything is sized or read.
    std::vector<uint8_t> data = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0};
    std::vector<Item> items(1);
    items[0].a = 42;
    ReconStreamVector<Item> vec(&items, kTestType);
    ReconStream reader(data.data(), static_cast<int32_t>(data.size()), ReconStream::kReading, false);
    vec.Reconstitute(reader, 0);
    EXPECT_TRUE(reader.Failed());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].a, 42);
  }
  {
    // A negative count, and a count that fits the bytes while its elements do not.
    for (std::vector<uint8_t> data : {std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF, 0, 0},
                                      std::vector<uint8_t>{3, 0, 0, 0, 1, 0, 'x', 0}}) {
      std::vector<Item> items;
      ReconStreamVector<Item> vec(&items, kTestType);
      ReconStream reader(data.data(), static_cast<int32_t>(data.size()), ReconStream::kReading,
                         false);
      vec.Reconstitute(reader, 0);
      EXPECT_TRUE(reader.Failed());
      EXPECT_LE(reader.GetPosition(), static_cast<int32_t>(data.size()));
    }
  }
  {
    // A string with no NUL before the end, then an integer cut short.
    std::vector<uint8_t> data = {'a', 'b', 'c'};
    std::string text = "keep";
    uint32_t value = 7;
    ReconStream reader(data.data(), 3, ReconStream::kReading, false);
    reader.ReconString(text);
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(text, "keep");
    ReconStream reader2(data.data(), 3, ReconStream::kReading, false);
    reader2.ReconInt32(&value);
    EXPECT_TRUE(reader2.Failed());
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(reader2.GetPosition(), 0);
  }
  {
    // Bit-packed data that end inside a value.
    std::vector<uint8_t> data = {0xFF};
    uint32_t value = 7;
    ReconStream reader(data.data(), 1, ReconStream::kReading, false);
    reader.SetCompressed();
    reader.ReconInt32(&value);
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(value, 7u);
  }
  {
    // Through a handle: a record longer than its data gives shortReadErr.
    MHandle* h = HandleOf({0, 0, 0, 0, 0, 0, 0, 0, 't', 's', 'e', 'T', 1});
    Item item;
    SimpleReconObject<Item> object(item, kTestType);
    EXPECT_EQ(ReconFromHandle(object, h, nullptr), shortReadErr);
    HFree(h);
  }
  EXPECT_TRUE(capture.Saw("overflow"));
}

TEST(ReconStream, WritingPastTheBufferIsRefused) {
  ScopedDebugCapture capture;
  uint8_t data[4] = {1, 2, 3, 4};
  uint32_t values[2] = {0xAAAAAAAA, 0xBBBBBBBB};
  ReconStream writer(data, 4, ReconStream::kWriting, false);
  writer.ReconInt32(values, 2);
  EXPECT_TRUE(writer.Failed());
  EXPECT_EQ(data[0], 1);
  std::string text = "toolong";
  ReconStream writer2(data, 4, ReconStream::kWriting, false);
  writer2.ReconString(text);
  EXPECT_TRUE(writer2.Failed());
  EXPECT_EQ(data[0], 1);
}

TEST(ReconResource, SaveAndLoadThroughAFile) {
  MemResFile file;
  std::vector<Item> items(3);
  for (int k = 0; k < 3; k++) {
    items[k].a = static_cast<int16_t>(k * 100 - 1);
    items[k].label = std::string(static_cast<size_t>(k), 'z');
  }
  EXPECT_EQ(SaveReconVector(items, &file, kTestType, 128, 10), noErr);
  EXPECT_EQ(file.HeldCount(), 0);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kTestType, 128, &stored));
  EXPECT_EQ(stored[4], 10);  // version

  std::vector<Item> back;
  ReconStreamVector<Item> vec(&back, kTestType);
  SimpleReconObject<ReconStreamVector<Item>> object(vec, kTestType);
  uint32_t version = 0;
  EXPECT_EQ(ReconLoadResource(object, &file, 128, &version), noErr);
  EXPECT_EQ(version, 10u);
  ASSERT_EQ(back.size(), 3u);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(back[k].a, items[k].a);
    EXPECT_EQ(back[k].label, items[k].label);
  }
  EXPECT_EQ(ReconLoadResource(object, &file, 129, nullptr), noSuchResourceErr);
}

TEST(ReconResource, FailedWriteLeavesNoResource) {
  MemResFile file;
  file.SetWriteError(shortWriteErr);
  Item item;
  SimpleReconObject<Item> object(item, kTestType);
  EXPECT_EQ(ReconSaveResource(object, 0, &file, 5), shortWriteErr);
  EXPECT_EQ(file.Count(kTestType), 0);
  file.SetWriteError(0);
  file.SetReadOnly(true);
  EXPECT_EQ(ReconSaveResource(object, 0, &file, 5), readOnlyErr);
  EXPECT_EQ(file.Count(kTestType), 0);
}

TEST(ReconResource, FailedReplacementKeepsTheStoredResource) {
  MemResFile file;
  Item item;
  item.a = 1;
  SimpleReconObject<Item> object(item, kTestType);
  ASSERT_EQ(ReconSaveResource(object, 0, &file, 5), noErr);
  std::vector<uint8_t> before, after;
  ASSERT_TRUE(file.GetStored(kTestType, 5, &before));

  item.a = 2;
  file.SetWriteError(shortWriteErr);
  EXPECT_EQ(ReconSaveResource(object, 0, &file, 5), shortWriteErr);
  ASSERT_TRUE(file.GetStored(kTestType, 5, &after));
  EXPECT_EQ(after, before);

  // The new data are still pending and reach the disk once writing works again.
  file.SetWriteError(0);
  EXPECT_EQ(file.Close(), noErr);
  ASSERT_TRUE(file.GetStored(kTestType, 5, &after));
  EXPECT_NE(after, before);
}

TEST(ReconResource, StringTableTakesTheStringsOutOfTheRecord) {
  MemResFile file;
  Labelled in;
  in.file = &file;
  in.first = "Sit";
  in.second = "Stand up";
  in.value = 4;
  SimpleReconObject<Labelled> object(in, kTestType);
  ASSERT_EQ(ReconSaveResource(object, 0, &file, 1), noErr);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kTestType, 1, &stored));
  EXPECT_EQ(stored.size(), 12u + 2u);  // header and the i16: no string bytes

  StringSet table;
  ASSERT_EQ(table.Load(&file, 300), noErr);
  ASSERT_EQ(table.Count(), 2);
  EXPECT_STREQ(table.GetString(1), "Sit");
  EXPECT_STREQ(table.GetString(2), "Stand up");

  // Reading with a table that lacks the second entry gives "" for it.
  file.PutStored(kStringSetType, 300, std::vector<uint8_t>{0xFF, 0xFF, 1, 0, 'S', 'i', 't', 0});
  Labelled out;
  out.file = &file;
  out.second = "stale";
  SimpleReconObject<Labelled> target(out, kTestType);
  EXPECT_EQ(ReconLoadResource(target, &file, 1, nullptr), noErr);
  EXPECT_EQ(out.first, "Sit");
  EXPECT_EQ(out.second, "");
  EXPECT_EQ(out.value, 4);
}

TEST(ReconStream, MarksLinkForwardAndRefuseToGoBack) {
  uint8_t data[12] = {};
  uint16_t v = 9;
  ReconStream writer(data, sizeof data, ReconStream::kWriting, false);
  writer.ReconInt16(&v);
  writer.SetMark();  // slot at 2
  writer.ReconInt16(&v);
  writer.SetMark();  // slot at 8; slot 2 now holds 8
  EXPECT_EQ(writer.GetPosition(), 12);
  EXPECT_EQ(data[2], 8);

  ReconStream reader(data, sizeof data, ReconStream::kReading, false);
  uint16_t r = 0;
  reader.ReconInt16(&r);
  reader.SetMark();
  reader.SkipToNextMark();
  EXPECT_EQ(reader.GetPosition(), 8);
  EXPECT_FALSE(reader.Failed());

  ScopedDebugCapture capture;
  data[2] = 0;
  data[3] = 1;  // the link now points past the data
  ReconStream bad(data, sizeof data, ReconStream::kReading, false);
  bad.ReconInt16(&r);
  bad.SetMark();
  bad.SkipToNextMark();
  EXPECT_TRUE(bad.Failed());
  EXPECT_EQ(bad.GetPosition(), 6);
}

TEST(ReconStream, TraceFileListsBitTransfersOfWritingStreams) {
  TestTempFolder folder;
  std::string path = folder / "trace.txt";
  SetReconTraceFile(path.c_str());
  uint16_t value = 1;
  uint8_t data[4] = {};
  {
    ReconStream writer(data, sizeof data, ReconStream::kWriting, false);
    writer.SetCompressed();
    writer.ReconInt16(&value);
    ReconStream reader(data, sizeof data, ReconStream::kReading, false);
    reader.SetCompressed();
    reader.ReconInt16(&value);  // reading is not traced
  }
  SetReconTraceFile(nullptr);
  EXPECT_EQ(TestTempFolder::ReadFile(path), "bit 1, 1 at 0:0\nbit 2, 0 at 1:64\nbit 5, 1 at 1:16\n");
}
