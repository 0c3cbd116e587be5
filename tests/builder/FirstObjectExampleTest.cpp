// The README's first object, followed as written: examples/firstobject.py draws the art, an
// empty object file is its 64-byte header, and the real morvik program builds
// examples/firstobject.omk. Every frame must then decode to the view it was drawn as.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "MHandle.h"
#include "SpriteDecoders.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

namespace {

constexpr uint32_t kSPR2 = 0x53505232;
constexpr uint32_t kPALT = 0x50414C54;
constexpr uint32_t kDGRP = 0x44475250;

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Resource(IFFResFile2& file, uint32_t type, uint16_t id) {
  MHandle* h = file.GetResource(type, id);
  if (h == nullptr) return {};
  std::vector<uint8_t> bytes(size_t(HGetSize(h)));
  std::memcpy(bytes.data(), HLock(h), bytes.size());
  HUnlock(h);
  file.DetachAndDispose(h);
  return bytes;
}

}  // namespace

TEST(FirstObjectExample, BuildsAFourViewAndAOneViewSprite) {
  if (RunCommand("python3 -c '' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  TestTempFolder dir;
  dir.MakeFolder("art");
  ASSERT_EQ(RunCommand("python3 '" SOURCE_DIR "/examples/firstobject.py' '" + (dir / "art") + "'"), 0);
  const std::string dest = dir.WriteFile(
      "first.iff", std::string("IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1\0\0\0\0", 64));
  ASSERT_EQ(RunCommand(std::string("'") + MORVIK_PATH + "' '" + dest + "' -spec '" SOURCE_DIR
                "/examples/firstobject.omk' -graphics '" + (dir / "art/") + "' >'" + (dir / "log.txt") +
                "' 2>&1"),
            0)
      << TestTempFolder::ReadFile(dir / "log.txt");

  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(dest.c_str())), 0);
  // The lamp: 4 views in each of the 3 sizes; the ball: 1 view in each size. View v is a disc
  // of colour 1 + v, at most as wide as its cell (64, 32, 16).
  const struct {
    uint16_t id;
    uint32_t views;
  } sprites[] = {{200, 4}, {201, 1}};
  for (const auto& s : sprites) {
    SCOPED_TRACE(s.id);
    const std::vector<uint8_t> list = Resource(file, kSPR2, s.id);
    spritedec::SpriteListInfo info;
    std::string error;
    ASSERT_TRUE(spritedec::DecodeSpriteList(list.data(), list.size(), info, error)) << error;
    ASSERT_EQ(info.count, s.views * 3);
    EXPECT_EQ(info.paletteId, 1u);
    for (uint32_t n = 0; n < info.count; n++) {
      SCOPED_TRACE(n);
      spritedec::Spr2Frame frame;
      ASSERT_TRUE(spritedec::DecodeSpr2Frame(list.data() + info.frames[n].offset, info.frames[n].size,
                                             frame, error))
          << error;
      const int cell = 64 >> (n / s.views);
      EXPECT_GT(frame.width, cell / 2);
      EXPECT_LE(frame.width, cell);
      EXPECT_EQ(frame.width, frame.height);
      int visible = 0;
      for (const spritedec::Spr2Pixel& p : frame.pixels) {
        if (!p.visible) continue;
        visible++;
        EXPECT_EQ(p.colour, 1 + n % s.views);
        EXPECT_LT(p.z, 255);
      }
      EXPECT_GT(visible, frame.width * frame.height / 2);
    }
  }
  const std::vector<uint8_t> palette = Resource(file, kPALT, 1);
  ASSERT_EQ(palette.size(), 784u);
  EXPECT_EQ(palette[16 + 3], 220);  // entry 1 is (220, 40, 40)
  EXPECT_FALSE(Resource(file, kDGRP, 100).empty());
  EXPECT_FALSE(Resource(file, kDGRP, 101).empty());
}
