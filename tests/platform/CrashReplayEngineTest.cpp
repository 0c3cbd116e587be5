// The replay engine of the crash tests, on a run of raw file calls: what a kill, a power loss
// and a partial write-back leave, with a rename and a delete that their folder never synced.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "CrashReplay.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using namespace crashreplay;

namespace {

TEST(CrashReplayEngine, KillDurableAndPartialStates) {
  TestTempFolder tmp;
  tmp.WriteFile("old.bin", "OLD");
  const std::string oldPath = tmp / "old.bin", newPath = tmp / "new.bin", moved = tmp / "moved.bin";
  const FileSet start = SnapshotFolder(tmp.Path());

  PlatformRecordStart();
  PlatformFile* f = PlatformFileOpen(newPath.c_str(), PlatformOpenMode::kCreateNew);  // 1
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(PlatformFileWrite(f, "hello", 5), 5);                                   // 2
  ASSERT_TRUE(PlatformFileFlush(f));                                                // 3
  ASSERT_TRUE(PlatformFileSeek(f, 0));
  ASSERT_EQ(PlatformFileWrite(f, "HE", 2), 2);                                      // 4
  ASSERT_TRUE(PlatformFolderSync(tmp.Path().c_str()));                              // 5
  ASSERT_TRUE(PlatformFileMove(newPath.c_str(), moved.c_str()));                    // 6
  const std::string xs(5000, 'x');
  ASSERT_TRUE(PlatformFileSeek(f, 4096));
  ASSERT_EQ(PlatformFileWrite(f, xs.data(), 5000), 5000);  // 7: through the moved file
  ASSERT_TRUE(PlatformFileDelete(oldPath.c_str()));        // 8
  PlatformFileClose(f);
  Replay replay(start, PlatformRecordStop());
  ASSERT_EQ(replay.CallCount(), 8u);

  std::map<std::tuple<StateKind, size_t, std::string>, FileSet> states;
  replay.ForEachState([&](const ReplayState& s) { states[{s.kind, s.prefix, s.variant}] = s.files; });
  auto state = [&](StateKind kind, size_t prefix, const std::string& variant = "") {
    auto it = states.find({kind, prefix, variant});
    return it == states.end() ? FileSet{{"<no such state>", ""}} : it->second;
  };
  const std::string whole = "HEllo" + std::string(4096 - 5, '\0') + xs;
  struct Case {
    StateKind kind;
    size_t prefix;
    std::string variant;
    FileSet files;
  };
  const Case cases[] = {
      {StateKind::kKill, 0, "", {{oldPath, "OLD"}}},
      {StateKind::kKill, 2, "", {{oldPath, "OLD"}, {newPath, "hello"}}},
      {StateKind::kKill, 8, "", {{moved, whole}}},
      // The new name is not durable until its folder is synced.
      {StateKind::kDurable, 3, "", {{oldPath, "OLD"}}},
      // Then its bytes are those of its last sync, and the move and delete since are undone.
      {StateKind::kDurable, 5, "", {{oldPath, "OLD"}, {newPath, "hello"}}},
      {StateKind::kDurable, 8, "", {{oldPath, "OLD"}, {newPath, "hello"}}},
      // Pages 0-2 of new.bin are unsynced at the end; each written back alone or all but one.
      {StateKind::kPartial, 8, "page 0 of new.bin alone (of 3 unsynced)",
       {{oldPath, "OLD"}, {newPath, whole.substr(0, 4096)}}},
      {StateKind::kPartial, 8, "page 1 of new.bin alone (of 3 unsynced)",
       {{oldPath, "OLD"}, {newPath, "hello" + std::string(4091, '\0') + xs.substr(0, 4096)}}},
      {StateKind::kPartial, 8, "all 3 unsynced pages but page 2 of new.bin",
       {{oldPath, "OLD"}, {newPath, whole.substr(0, 8192)}}},
      {StateKind::kPartial, 8, "every other unsynced page, from the first (of 3)",
       {{oldPath, "OLD"}, {newPath, whole.substr(0, 4096) + std::string(4096, '\0') + xs.substr(4096)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(StateKindName(c.kind)) + " " + std::to_string(c.prefix) + " " + c.variant);
    EXPECT_EQ(state(c.kind, c.prefix, c.variant), c.files);
  }
  size_t partialsAtEnd = 0;
  for (const auto& [key, files] : states)
    if (std::get<0>(key) == StateKind::kPartial && std::get<1>(key) == 8) ++partialsAtEnd;
  EXPECT_EQ(partialsAtEnd, 8u) << "three alone, three all-but-one, two alternating";
}

}  // namespace
