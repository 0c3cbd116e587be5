// Crash replay: every disk state that a run of file operations can leave behind, rebuilt from
// a recording of the run's host calls, and a checker that opens each state's resource files
// through the project and says whether it keeps what the run promised.
//
// How to use it:
//
//   TestTempFolder dir;                        // make the starting files in it
//   CrashRun run(dir.Path());                  // the folder tree of the run
//   run.Watch(dir / "a.iff", ResFormat::kIFF2);// a file to check; its contents now are step 0
//   IFFResFile2 file; file.Open(...);
//   run.Step("write BHAV 128", StepKind::kChange, [&] { ...; return file.GetError(); },
//            [&] { run.Contents(dir / "a.iff")[key] = value; });  // what the step promised
//   run.Step("update", StepKind::kCommit, [&] { return file.Update(); });
//   CrashReport report = run.Check();          // disarms and checks every state
//   EXPECT_EQ(report.failed, 0) << report.Text();
//
// The first Step snapshots the tree and arms the call recording. A step's body runs between
// two marks in the recording; when it returns noErr its `apply` edits the expected contents,
// which then hold from the step's end on. A resource is its type, id and language; its data
// are compared, its name only shown. The states are:
//   kill     the files after each prefix of the calls: a killed process loses nothing the
//            system already took. Each watched file must open, hold each resource once, and
//            equal its expected contents before or after the step in flight.
//   durable  for each prefix, each file as of its last completed sync (writes since dropped),
//            under the names its folder had at its last folder sync (a name created, renamed
//            or deleted since then is reverted). Each watched file must equal the contents of
//            some step from the last acknowledged commit on (kCommit or kBuild that returned
//            noErr) up to the step in flight: nothing acknowledged is lost.
//   partial  the durable state with only some 4 KB pages of the unsynced writes written back
//            (each page alone, all but each page, every other page; a few pages picked when
//            there are many). Every resource the last commit acknowledged must still read
//            with its data (or with data a later step wrote) in every record listed for it:
//            such a state may list a resource twice (the old record and the one in flight),
//            which is counted, not failed.
// A file that a step creates may be missing in every state where an allowed step has it
// absent, but never there and unreadable (an empty file left by a create cut short fails);
// once a commit returned it must be there.
// Steps that change one thing (kChange, kCommit, kCreate) are atomic: a state must equal one
// step's contents as a whole. A kBuild step changes many resources: while it runs, each
// resource may hold its value before or after it, independently.
//
// Failures name the state kind, the prefix (call n of N, with the call), the step in flight,
// the file and the resource, and what was expected; report.Text(n) shows n of them and then
// every recorded call, numbered as the failures count them. Not thread-safe; one run at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "PlatformFile.h"

namespace crashreplay {

// The files of a folder tree at one moment: absolute path -> bytes.
using FileSet = std::map<std::string, std::string>;

// Every regular file under `root`, keyed by absolute path as the recording names it.
FileSet SnapshotFolder(const std::string& root);

enum class StateKind { kKill, kDurable, kPartial };
const char* StateKindName(StateKind kind);

// One disk state: the files after the first `prefix` calls of the recording.
struct ReplayState {
  StateKind kind = StateKind::kKill;
  size_t prefix = 0;
  std::string variant;  // for kPartial: which pages were written back
  FileSet files;
};

// The page size of partial write-backs.
constexpr int64_t kReplayPageSize = 4096;

// Rebuilds states from a starting snapshot (taken as fully on disk) and a recording.
class Replay {
 public:
  Replay(FileSet start, std::vector<PlatformRecordedCall> calls);

  size_t CallCount() const { return fCalls.size(); }
  const PlatformRecordedCall& Call(size_t index) const { return fCalls[index]; }

  // Visits, for each prefix 0..CallCount() that does not end in a mark (a mark changes
  // nothing), its kill state, its durable state and, with `partial`, its partial write-backs
  // (at most `maxPicked` pages picked for the one-page and all-but-one variants).
  void ForEachState(const std::function<void(const ReplayState&)>& visit, bool partial = true,
                    size_t maxPicked = 4) const;

 private:
  FileSet fStart;
  std::vector<PlatformRecordedCall> fCalls;
};

// A call as a line of text: "write 4096 bytes at 8192 of a.iff" (paths shortened).
std::string DescribeCall(const PlatformRecordedCall& call);

// ---- resource files --------------------------------------------------------------------------

enum class ResFormat { kIFF2, kIFF1 };

struct ResKey {
  uint32_t type = 0;
  int16_t id = 0;
  uint8_t language = 0;
  bool operator<(const ResKey& o) const {
    if (type != o.type) return type < o.type;
    if (id != o.id) return id < o.id;
    return language < o.language;
  }
  bool operator==(const ResKey& o) const {
    return type == o.type && id == o.id && language == o.language;
  }
};
std::string KeyText(const ResKey& key);  // "BHAV 128" (", language 3" when not 0)

struct ResValue {
  std::string name;
  std::string data;
  // The data alone: names are shown, not compared (an IFF 1.0 file keeps them in a list of
  // their own that only an update writes).
  bool operator==(const ResValue& o) const { return data == o.data; }
};
std::string ValueText(const ResValue& value);  // name, size and the first bytes

using ResContents = std::map<ResKey, ResValue>;

// What a file lists: every record found, duplicates kept.
using ResListing = std::map<ResKey, std::vector<ResValue>>;

// Opens `path` in `format` through the normal open and lists every resource. Returns the
// open's error (noErr when it opened).
int32_t ListResources(const std::string& path, ResFormat format, ResListing& out);

// The same for a copy of a file's bytes (made in a fresh temporary folder), so that whatever
// the open writes leaves the file itself, and a recording, alone.
int32_t ListResourcesOf(const std::string& bytes, ResFormat format, ResListing& out);

// The problems of `listing` (empty when none), a resource at a time: each resource is listed
// once and holds its value in one of `allowed`, or is absent where one of them lacks it.
// Sets *duplicate when a resource is listed more than once.
std::string CheckEachResource(const ResListing& listing,
                              const std::vector<const ResContents*>& allowed,
                              bool* duplicate = nullptr);

// The same for the file as a whole: it lists each resource once and equals one of `allowed`
// (named by `labels`); else the differences from the nearest.
std::string CheckWholeFile(const ResListing& listing, const std::vector<const ResContents*>& allowed,
                           const std::vector<std::string>& labels, bool* duplicate = nullptr);

// ---- runs ------------------------------------------------------------------------------------

enum class StepKind {
  kChange,  // writes, removes, renames: reported written, not yet durable
  kCommit,  // Update, Close, Defragment: on noErr everything so far is acknowledged durable
  kCreate,  // Create: the file exists (empty), nothing acknowledged
  kBuild,   // a whole build: many resources change; on noErr acknowledged like a commit
};

struct CrashFailure {
  StateKind kind;
  size_t prefix;
  std::string text;  // the whole message
  bool duplicate;    // a resource appeared more than once
};

struct CrashReport {
  struct Count {
    size_t states = 0;
    size_t failed = 0;
    size_t duplicates = 0;  // failed states with a resource listed twice; every such partial one
  };
  Count kill, durable, partial;
  Count afterCall;  // kill states right after a step returned
  size_t failed = 0;
  std::vector<CrashFailure> failures;  // every failing state, in order
  std::string stepErrors;              // steps whose body did not return noErr
  std::string calls;                   // the recorded calls, one numbered line each

  // A summary line per state kind, the first `details` failures in full, then the calls.
  std::string Text(size_t details = 12) const;
  std::string Summary() const;
};

class CrashRun {
 public:
  // A run on the files under `root`; the first Step snapshots them and arms the recording.
  explicit CrashRun(const std::string& root);
  ~CrashRun();  // Disarms the recording if Check did not.
  CrashRun(const CrashRun&) = delete;
  CrashRun& operator=(const CrashRun&) = delete;

  // Checks the file at `path` in `format`; its contents now (or its absence) are step 0.
  void Watch(const std::string& path, ResFormat format);

  // The expected contents of a watched file after the step being applied; edit in `apply`.
  ResContents& Contents(const std::string& path);
  // Whether the watched file exists after the step being applied.
  void SetExists(const std::string& path, bool exists);

  // Runs one step: marks the recording, runs `body`, marks its end. On noErr, `apply` edits
  // the expected contents. Returns what `body` returned. Watch every file before the first.
  int32_t Step(const std::string& label, StepKind kind, const std::function<int32_t()>& body,
               const std::function<void()>& apply = nullptr);

  // Disarms the recording and checks every state. `partial`: also the partial write-backs.
  CrashReport Check(bool partial = true);

  size_t StepCount() const { return fSteps.size() - 1; }

 private:
  struct FileStep {
    bool exists = false;
    ResContents contents;
  };
  struct Watched {
    ResFormat format;
    std::vector<FileStep> steps;  // [0] before the run, [i] after step i
  };
  struct StepInfo {
    std::string label;
    StepKind kind = StepKind::kChange;
    bool ok = true;
  };

  std::string fRoot;
  FileSet fStart;
  bool fArmed = false;
  std::map<std::string, Watched> fWatched;
  std::vector<StepInfo> fSteps;  // [0] the start
  std::vector<PlatformRecordedCall> fCalls;
};

}  // namespace crashreplay
