// Writes the seed corpus of every fuzz target into <folder>/<target>/, from the project's
// own writers (resource files, record savers, the archive writer, the test image writers)
// and small texts. Usage: make_fuzz_corpus <folder>. Run by `make fuzz-corpus`.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "CatalogStrings.h"
#include "DrawGroup.h"
#include "FamilyHistory.h"
#include "FuzzSupport.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "IFFResMap.h"
#include "ImageWriters.h"
#include "MemResFile.h"
#include "ObjDefinition.h"
#include "ObjFnTable.h"
#include "Recon.h"
#include "Slots.h"
#include "SoundRecord.h"
#include "TreeTable.h"
#include "VornFile.h"
#include "palwrap.h"
#include "strset.h"

namespace fs = std::filesystem;

namespace {

std::string gOut;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(gOut + target);
  std::ofstream out(gOut + target + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Seed(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  Seed(target, name, std::string(bytes.begin(), bytes.end()));
}

MHandle* HandleOf(const std::string& bytes) {
  MHandle* h = HAlloc(static_cast<uint32_t>(bytes.size()));
  if (!bytes.empty()) BlockMove(bytes.data(), HLock(h), static_cast<int32_t>(bytes.size()));
  HUnlock(h);
  return h;
}

struct Res {
  uint32_t type;
  uint16_t id;
  const char* name;
  std::string bytes;
  bool native;
  uint8_t language;
};

const std::vector<Res>& SampleResources() {
  static const std::vector<Res> resources = {
      {MakeResType('S', 'T', 'R', '#'), 128, "strings", std::string(30, 's'), true, 0},
      {MakeResType('S', 'T', 'R', '#'), 128, "strings", std::string(12, 'f'), true, 3},
      {MakeResType('S', 'P', 'R', '2'), 256, "sprite", std::string(300, '\x7f'), true, 0},
      {MakeResType('B', 'H', 'A', 'V'), 4096, "", std::string(18, 'b'), false, 0},
      {MakeResType('O', 'B', 'J', 'D'), 128, "chair", std::string(216, '\0'), true, 0},
  };
  return resources;
}

// A file made by `make` from the sample resources, through the file's own writer.
std::string WrittenFile(iResFile* (*make)(), const std::vector<Res>& resources, bool removeOne,
                        bool clearMap) {
  const std::string path = FuzzFolder() + "written.iff";
  fs::remove(path);
  const FixedStringBuffer<1024> name = FuzzPath(path);
  {
    std::unique_ptr<iResFile> file(make());
    file->Create(name);
    file->Open(name);
    if (auto* two = dynamic_cast<IFFResFile2*>(file.get())) two->SetNoDefragment();
    for (const Res& r : resources) {
      FixedStringBuffer<64> resName;
      resName.assign(r.name);
      file->AddLanguageResource(HandleOf(r.bytes), r.type, r.id, resName, r.language, r.native);
    }
    file->Update();
    if (removeOne) {
      MHandle* h = file->GetIndResource(resources.front().type, 1);
      if (h) file->RemoveResource(h);
    }
    file->Close();
  }
  if (clearMap) IFFResFile2().ClearSavedMap(name);
  return ReadFuzzFile(path);
}

iResFile* MakeIFF2() { return new IFFResFile2(); }
iResFile* MakeIFF1() { return new IFFResFile(); }

std::string Stored(const std::function<void(MemResFile&)>& save, uint32_t type, uint16_t id) {
  MemResFile file;
  save(file);
  std::vector<uint8_t> bytes;
  file.GetStored(type, id, &bytes);
  return std::string(bytes.begin(), bytes.end());
}

const std::string kSep = "\n@@\n";

void ResourceFiles() {
  const std::vector<Res>& all = SampleResources();
  const std::vector<Res> one(all.begin(), all.begin() + 1);
  Seed("iff2", "empty", WrittenFile(MakeIFF2, {}, false, false));
  Seed("iff2", "saved-map", WrittenFile(MakeIFF2, all, false, false));
  Seed("iff2", "walked", WrittenFile(MakeIFF2, all, false, true));
  Seed("iff2", "free-block", WrittenFile(MakeIFF2, all, true, false));
  Seed("iff1", "empty", WrittenFile(MakeIFF1, {}, false, false));
  Seed("iff1", "resources", WrittenFile(MakeIFF1, all, false, false));
  Seed("iff1", "one", WrittenFile(MakeIFF1, one, false, false));
  Seed("iff1", "free-block", WrittenFile(MakeIFF1, all, true, false));

  // The saved map of the layout the rsmp target builds: two records from 64, then the map.
  const std::vector<Res> mapped = {
      {MakeResType('B', 'H', 'A', 'V'), 4096, "tree", std::string(40, 'b'), false, 0},
      {MakeResType('S', 'T', 'R', '#'), 128, "strings", std::string(24, 's'), true, 0},
  };
  const std::string file = WrittenFile(MakeIFF2, mapped, false, false);
  uint32_t mapOffset = 0;
  IFFHeader header;
  if (file.size() >= size_t(kUniqueHeaderSize) &&
      DecodeFileHeader(reinterpret_cast<const uint8_t*>(file.data()), mapOffset) == noErr && mapOffset &&
      mapOffset + kIFFHeaderSize <= file.size()) {
    DecodeIFFHeader(reinterpret_cast<const uint8_t*>(file.data()) + mapOffset, header);
    if (header.fType == kResMapType && mapOffset + header.fSize <= file.size()) {
      Seed("rsmp", "two-records", file.substr(mapOffset + kIFFHeaderSize, header.fSize - kIFFHeaderSize));
    }
  }
  if (mapOffset != 64 + 100 + 116) std::fprintf(stderr, "warning: the saved map is at %u, not 280\n", mapOffset);

  Seed("objectfileset", "iff-only", WrittenFile(MakeIFF2, all, false, false));
  Seed("objectfileset", "iff-and-spf",
       WrittenFile(MakeIFF2, {all[0], all[4]}, false, false) + kSep + WrittenFile(MakeIFF2, {all[2]}, false, true));
  Seed("objectfileset", "with-folder",
       WrittenFile(MakeIFF2, {all[0], all[4]}, false, false) + kSep + kSep + "#300#seat.spr\nloose sprite" + kSep +
           "label.bmp\nloose bitmap");
}

void Records() {
  ObjDefinition definition;
  definition.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  definition.SetGUID(0x0BADF00D);
  std::string objd(ObjDefinition::kByteSize, '\0');
  definition.WriteTo(objd.data());
  ObjFnTable functions;
  functions.FillFromObjDefinition(definition);
  functions.At(3)->second = 7;
  const std::string objf = Stored([&](MemResFile& f) { functions.Save(&f, 128); }, kObjFnTableType, 128);
  Seed("objdefinition", "definition-and-table", objd + kSep + objf);
  Seed("objdefinition", "short-definition", objd.substr(0, 40));

  DrawGroup group;
  DrawGroupEntry* entry = group.AddEntry();
  entry->fDirectionMask = 0x11;
  entry->fZoom = 2;
  DrawGroupItem item;
  item.fSpriteId = 256;
  item.fSpriteIndex = 1;
  item.fValueA = -3;
  item.fX = 1.5f;
  item.fFlags = DrawGroupItem::kMirrored;
  entry->InsertItem(item, 0);
  item.fSpriteId = 257;
  entry->InsertItem(item, 1);
  group.AddEntry()->fZoom = 3;
  Seed("drawgroup", "two-entries",
       Stored([&](MemResFile& f) { group.Save(&f, 128); }, MakeResType('D', 'G', 'R', 'P'), 128));

  std::vector<SlotDescriptor> slots(3);
  slots[0].fType = 0;
  slots[0].fHeightCode = 2;
  slots[1].fType = 3;
  slots[1].fStanding = 1;
  slots[2].fType = 1;
  Seed("slots", "three-types", Stored([&](MemResFile& f) { SaveSlotList(slots, &f, 128); }, kSlotType, 128));

  SoundRecord sound;
  sound.fId = 128;
  sound.fName.assign("door_open.wav");
  Seed("sound", "name", Stored([&](MemResFile& f) { sound.Save(&f); }, kSoundRecordType, 128));
  Seed("sound", "name-and-values", std::string("bell.wav\0", 9) + std::string("\x01\x00\x02\x00\x03\x00", 6));

  TreeTable table(16);
  table.AddEntry(4096, 4097);
  table.AddEntry(4098, 4099);
  if (TreeTableEntry* e = table.GetEntry(0)) {
    e->SetMotiveEffect(2, 40);
    e->fName = "Sit";
  }
  if (TreeTableEntry* e = table.GetEntry(1)) e->fName = "Get Up";
  std::string ttab, ttas;
  {
    MemResFile f;
    table.Save(&f, 128, "table");
    std::vector<uint8_t> bytes;
    f.GetStored(kTreeTableType, 128, &bytes);
    ttab.assign(bytes.begin(), bytes.end());
    f.GetStored(kTreeTableStringsType, 128, &bytes);
    ttas.assign(bytes.begin(), bytes.end());
  }
  Seed("treetable", "two-entries", ttab + kSep + ttas);

  FamilyHistory history;
  FamilyHistoryRecord record;
  record.fLot = 3;
  record.fMembers = 4;
  record.fObjectsValue = 12000;
  record.fFunds = 20000;
  history.Add(record);
  record.fFunds = -5;
  history.Add(record);
  SimpleReconObject<FamilyHistory> object(history, kFamilyHistoryType);
  Seed("familyhistory", "two-visits",
       Stored([&](MemResFile& f) { ReconSaveResource(object, FamilyHistory::kVersion, &f, 128); },
              kFamilyHistoryType, 128));
  Seed("familyhistory", "version-0",
       Stored([&](MemResFile& f) { ReconSaveResource(object, 0, &f, 128); }, kFamilyHistoryType, 128));

  CatalogStrings catalog;
  catalog.fFirst = "Chair";
  catalog.fSecond = "A chair to sit on.";
  const std::string ctss = Stored([&](MemResFile& f) { catalog.Write(&f, 128); }, kCatalogStringSetType, 128);
  Seed("catalogstrings", "string-set", kSep + ctss);
  Seed("catalogstrings", "older-form", std::string("A chair to sit on.\0Chair\0", 25));

  StringSet set;
  set.SetString(1, "first");
  set.SetString(2, "second");
  set.SetComment(2, "a comment");
  set.SetString(1, "premier", 3);
  Seed("stringset", "two-languages", Stored([&](MemResFile& f) { set.Save(&f, 128); }, kStringSetType, 128));
  Seed("stringset", "text-form", "^first^second^third^");

  PalWrap palette;
  PlatformColorEntry colors[256];
  for (int i = 0; i < 256; ++i) colors[i] = PlatformColorEntry{uint8_t(i), uint8_t(i / 2), uint8_t(255 - i), 0};
  palette.Create(colors, 0);
  std::string palt(kPaletteRsrcSize, '\0');
  PaletteRsrcFromPalWrap(&palette, palt.data());
  Seed("palette", "palt-256", palt);
  std::string small = palt.substr(0, kPaletteRsrcHeaderSize + 3 * 4);
  small[4] = 4;
  small[5] = 0;
  Seed("palette", "palt-4", small);
  std::vector<TestRGB> raw(256);
  for (int i = 0; i < 256; ++i) raw[i] = TestRGB{uint8_t(i), uint8_t(255 - i), 0};
  Seed("palette", "raw-file", WriteRawPalette(raw));
}

TestImage8 SmallImage(int32_t width, int32_t height) {
  TestImage8 image;
  image.width = width;
  image.height = height;
  for (int32_t i = 0; i < width * height; ++i) image.pixels.push_back(uint8_t((i / 3) % 5));
  for (int i = 0; i < 5; ++i) image.palette.push_back(TestRGB{uint8_t(50 * i), uint8_t(20 * i), 9});
  return image;
}

void Images() {
  Seed("bmp", "plain", WriteBMP8(SmallImage(5, 3)));
  BMPWriteOptions rle;
  rle.rle8 = true;
  Seed("bmp", "rle8", WriteBMP8(SmallImage(9, 4), rle));
  BMPWriteOptions topDown;
  topDown.topDown = true;
  topDown.headerSize = kBMPV5Header;
  Seed("bmp", "top-down-v5", WriteBMP8(SmallImage(4, 4), topDown));
  // Headers that declare more rows than the file holds: refused before any world is made.
  BMPFields large;
  large.width = 32767;
  large.height = 32767;
  large.colorsUsed = 2;
  Seed("bmp", "rows-past-the-end", BuildBMP(large, {{0, 0, 255}, {9, 9, 9}}, std::vector<uint8_t>(64, 1)));
  Seed("palette", "bmp-file", WriteBMP8(SmallImage(2, 2)));

  std::vector<TestRGBA> pixels;
  for (int i = 0; i < 6 * 4; ++i) pixels.push_back(TestRGBA{uint8_t(i * 10), uint8_t(i), 200, uint8_t(i * 9)});
  Seed("tga", "24-bit", WriteTGA(6, 4, pixels));
  TGAWriteOptions rle32;
  rle32.bits = 32;
  rle32.rle = true;
  rle32.topToBottom = true;
  Seed("tga", "32-bit-rle", WriteTGA(6, 4, pixels, rle32));
  TGAWriteOptions flipped;
  flipped.rle = true;
  flipped.rightToLeft = true;
  flipped.idLength = 3;
  Seed("tga", "rle-right-to-left", WriteTGA(6, 4, pixels, flipped));
  // 118-byte files that declare 32767 x 32767 pixels: too short for even one packet per 128
  // pixels, or for the uncompressed rows.
  TGAFields huge;
  huge.width = 32767;
  huge.height = 32767;
  huge.depth = 32;
  huge.descriptor = 0x28;
  huge.imageType = 10;
  Seed("tga", "rle-short-for-its-size", BuildTGA(huge, std::vector<uint8_t>(100, 0xFF)));
  huge.imageType = 2;
  Seed("tga", "raw-short-for-its-size", BuildTGA(huge, std::vector<uint8_t>(100, 0xFF)));
}

// PICT version 2, stored big-endian: the header and opcodes, then one pixel opcode.
struct BigEndian {
  std::string b;
  void u8(uint8_t v) { b.push_back(char(v)); }
  void u16(uint16_t v) { u8(uint8_t(v >> 8)), u8(uint8_t(v)); }
  void u32(uint32_t v) { u16(uint16_t(v >> 16)), u16(uint16_t(v)); }
  void rect(int16_t t, int16_t l, int16_t bo, int16_t r) { u16(t), u16(l), u16(bo), u16(r); }
};

std::string IndexedPicture(uint16_t opcode) {
  const int16_t h = 3, w = 8;
  BigEndian p;
  p.u16(0);
  p.rect(0, 0, h, w);
  p.u16(0x0011), p.u16(0x02FF), p.u16(0x001E);
  p.u16(opcode);
  p.u16(0x8000 | 8);
  p.rect(0, 0, h, w);
  p.u16(0), p.u16(0), p.u32(0), p.u32(0x00480000), p.u32(0x00480000);
  p.u16(0), p.u16(8), p.u16(1), p.u16(8), p.u32(0), p.u32(0), p.u32(0);
  p.u32(7), p.u16(0), p.u16(2);
  for (uint16_t i = 0; i < 3; ++i) p.u16(i), p.u16(uint16_t(i * 30000)), p.u16(uint16_t(65535 - i * 20000)), p.u16(0);
  p.rect(0, 0, h, w), p.rect(0, 0, h, w), p.u16(0);
  if (opcode == 0x9900) p.u16(10), p.rect(0, 0, h, w);
  for (int row = 0; row < h; ++row) {
    p.u8(4);
    p.u8(uint8_t(-6));  // a run of 7
    p.u8(uint8_t(row));
    p.u8(0);  // one literal
    p.u8(2);
  }
  p.u16(0x00FF);
  return p.b;
}

std::string DirectPicture() {
  const int16_t h = 2, w = 4;
  BigEndian p;
  p.u16(0);
  p.rect(0, 0, h, w);
  p.u16(0x0011), p.u16(0x02FF), p.u16(0x001E);
  p.u16(0x9A00);
  p.u32(0x000000FF);
  p.u16(0x8000 | (w * 4));
  p.rect(0, 0, h, w);
  p.u16(0), p.u16(4), p.u32(0), p.u32(0x00480000), p.u32(0x00480000);
  p.u16(16), p.u16(32), p.u16(3), p.u16(8), p.u32(0), p.u32(0), p.u32(0);
  p.rect(0, 0, h, w), p.rect(0, 0, h, w), p.u16(0);
  for (int row = 0; row < h; ++row) {
    p.u8(1 + 12);
    p.u8(11);
    for (int i = 0; i < 12; ++i) p.u8(uint8_t(row * 40 + i * 20));
  }
  p.u16(0x00FF);
  return p.b;
}

void Pictures() {
  Seed("pict", "packed-rect", IndexedPicture(0x9800));
  Seed("pict", "packed-region", IndexedPicture(0x9900));
  Seed("pict", "direct", DirectPicture());
}

void Archives() {
  const std::string source = FuzzFolder() + "farsource/";
  fs::create_directories(source + "sub/deeper");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.iff", "first entry"}, {"sub/b.txt", "second entry"}, {"sub/deeper/c.bmp", "third"}};
  VornNameMap names;
  for (const auto& f : files) {
    std::ofstream(source + f.first, std::ios::binary) << f.second;
    names[VornString(f.first)] = FileMapping();
  }
  const std::string archive = FuzzFolder() + "seed.far";
  VornFileManager manager;
  if (manager.WriteFAR(VornString(archive), names, VornString(source))) Seed("far", "three-entries", ReadFuzzFile(archive));
  VornNameMap one;
  one[VornString("a.iff")] = FileMapping();
  if (manager.WriteFAR(VornString(archive), one, VornString(source))) Seed("far", "one-entry", ReadFuzzFile(archive));
}

void Texts() {
  const std::string omk =
      "<sizes lwidth=64 lheight=64 mwidth=32 mheight=32 swidth=16 sheight=16>\n"
      "<sprite id=200 name=seat tgafile=seat.tga columns=2 paletteid=1>\n"
      "<sprite id=201 name=back tgafile=seat.tga columns=2 mask=m.bmp>\n"
      "<drawgroup id=100 name=\"chair group\" ordering=fixed>\n"
      "<item sprite id=200>\n<item sprite id=201 alt=1.5 x=0.5 y=-0.25 luminous=true \"direction offset\"=2>\n";
  Seed("markup", "tags", omk);
  Seed("markup", "quoted-and-broken", "<a b=\"c d\" e='f'>\n<g h=\n<i j=k");
  Seed("objectmake", "sprites-and-drawgroups", omk);
  std::ifstream example(std::string(SOURCE_DIR) + "/examples/chair.omk", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
  if (!text.empty()) Seed("objectmake", "example", text);
  Seed("objectmake", "stages",
       "<target object=chair>\n"
       "<catalog name=Chair thumbnail=thumb.bmp>\n"
       "<ttab id=128 name=table guid=305419896>\n<interaction name=Sit id=4096 index=0>\n"
       "<bmpfile id=128 filename=x.bmp>\n"
       "<sound id=128 name=door filename=door.wav>\n"
       "<slots id=128>\n<slot type=\"contained object\" x=1.5 y=-2 alt=0.25 \"maximum size\"=50 surface=true>\n"
       "<slot type=routing standing=1 sitting=0 ground=1 target=2>\n"
       "<attributes id=128>\n<attribute index=1 label=Comfort>\n"
       "<\"skill table\" id=129>\n<skill index=0 name=Cooking type=a2o>\n"
       "<headline id=300 name=news tgafile=h.tga>\n"
       "<\"wall style\" id=1 global=true tgafile=w.tga>\n<career>\n<unknown a=1>\n");
  Seed("tabtable", "rows", "name\tvalue\tnote\r\nchair\t120\t\nlamp\t-7\tbright\n\nlast\t99");
  Seed("tabtable", "one-line", "only\tone\tline");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus <folder>\n");
    return 2;
  }
  gOut = std::string(argv[1]) + "/";
  ResetProcessState();
  ResourceFiles();
  Records();
  Images();
  Pictures();
  Archives();
  Texts();
  return 0;
}
