#include "CrashReplay.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "MHandle.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"
#include "resfile.h"

namespace fs = std::filesystem;

namespace crashreplay {

namespace {

using Kind = PlatformRecordedKind;

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The disk as the replay models it: files are inodes with the bytes a process sees and the
// bytes last synced; folders map names to inodes, as the process sees them and as of their
// last folder sync.
class DiskModel {
 public:
  explicit DiskModel(const FileSet& start) {
    for (const auto& [path, bytes] : start) {
      size_t node = NewInode(bytes);
      fInodes[node].durable = bytes;
      fInodes[node].dirty.clear();
      fNames[path] = node;
      fDurableNames[path] = node;
    }
  }

  void Apply(const PlatformRecordedCall& call) {
    switch (call.kind) {
      case Kind::kCreate: {
        auto it = fNames.find(call.path);
        size_t node;
        if (it != fNames.end()) {
          node = it->second;
          Resize(fInodes[node], 0);
        } else {
          node = NewInode(std::string());
          fNames[call.path] = node;
        }
        if (call.file) fOpen[call.file] = node;
        break;
      }
      case Kind::kOpenWrite:
        if (call.file) fOpen[call.file] = NodeOf(call);
        break;
      case Kind::kWrite: {
        Inode& inode = fInodes[NodeOf(call)];
        const size_t end = size_t(call.offset) + call.bytes.size();
        if (inode.data.size() < end) inode.data.resize(end, '\0');
        inode.data.replace(size_t(call.offset), call.bytes.size(), call.bytes);
        MarkDirty(inode, call.offset, int64_t(end));
        break;
      }
      case Kind::kTruncate:
        Resize(fInodes[NodeOf(call)], size_t(call.offset));
        break;
      case Kind::kSync: {
        Inode& inode = fInodes[NodeOf(call)];
        inode.durable = inode.data;
        inode.dirty.clear();
        break;
      }
      case Kind::kDelete:
        fNames.erase(call.path);
        break;
      case Kind::kMove:
      case Kind::kReplace: {
        auto it = fNames.find(call.path);
        if (it == fNames.end()) break;
        size_t node = it->second;
        fNames.erase(it);
        fNames[call.to] = node;
        break;
      }
      case Kind::kCopy: {
        auto it = fNames.find(call.path);
        size_t node = NewInode(it == fNames.end() ? std::string() : fInodes[it->second].data);
        fNames[call.to] = node;
        break;
      }
      case Kind::kFolderSync: {
        for (auto it = fDurableNames.begin(); it != fDurableNames.end();) {
          if (FolderOf(it->first) == call.path) {
            it = fDurableNames.erase(it);
          } else {
            ++it;
          }
        }
        for (const auto& [path, node] : fNames)
          if (FolderOf(path) == call.path) fDurableNames[path] = node;
        break;
      }
      case Kind::kMark:
        break;
    }
  }

  FileSet Kill() const {
    FileSet files;
    for (const auto& [path, node] : fNames) files[path] = fInodes[node].data;
    return files;
  }

  FileSet Durable() const {
    FileSet files;
    for (const auto& [path, node] : fDurableNames) files[path] = fInodes[node].durable;
    return files;
  }

  // The durable state with some unsynced pages written back.
  void Partials(size_t maxPicked, std::vector<ReplayState>& out) const {
    struct Page {
      std::string path;
      size_t node;
      int64_t page;
    };
    std::vector<Page> pages;
    for (const auto& [path, node] : fDurableNames)
      for (int64_t page : fInodes[node].dirty) pages.push_back(Page{path, node, page});
    if (pages.empty()) return;
    const FileSet base = Durable();
    auto make = [&](const std::string& variant, const std::vector<bool>& chosen) {
      ReplayState state;
      state.kind = StateKind::kPartial;
      state.variant = variant;
      state.files = base;
      for (size_t i = 0; i < pages.size(); ++i) {
        if (!chosen[i]) continue;
        const std::string& data = fInodes[pages[i].node].data;
        const size_t start = size_t(pages[i].page * kReplayPageSize);
        if (start >= data.size()) continue;
        const size_t end = std::min(data.size(), start + size_t(kReplayPageSize));
        std::string& bytes = state.files[pages[i].path];
        if (bytes.size() < end) bytes.resize(end, '\0');
        bytes.replace(start, end - start, data, start, end - start);
      }
      out.push_back(std::move(state));
    };
    auto pageText = [&](size_t i) {
      return "page " + std::to_string(pages[i].page) + " of " + BaseName(pages[i].path);
    };
    const size_t n = pages.size();
    const size_t picks = std::min(n, std::max<size_t>(maxPicked, 1));
    std::set<size_t> picked;
    for (size_t k = 0; k < picks; ++k) picked.insert(picks == 1 ? 0 : k * (n - 1) / (picks - 1));
    for (size_t i : picked) {
      std::vector<bool> chosen(n, false);
      chosen[i] = true;
      make(pageText(i) + " alone (of " + std::to_string(n) + " unsynced)", chosen);
      if (n >= 2) {
        std::vector<bool> allBut(n, true);
        allBut[i] = false;
        make("all " + std::to_string(n) + " unsynced pages but " + pageText(i), allBut);
      }
    }
    if (n >= 3) {
      for (size_t first : {0, 1}) {
        std::vector<bool> chosen(n, false);
        for (size_t i = first; i < n; i += 2) chosen[i] = true;
        make(std::string("every other unsynced page, from the ") + (first ? "second" : "first") +
                 " (of " + std::to_string(n) + ")",
             chosen);
      }
    }
  }

 private:
  struct Inode {
    std::string data;     // as the process sees it
    std::string durable;  // as of the last sync
    std::set<int64_t> dirty;  // pages written since the last sync
  };

  size_t NewInode(const std::string& data) {
    Inode inode;
    inode.data = data;
    MarkDirty(inode, 0, int64_t(data.size()));
    fInodes.push_back(std::move(inode));
    return fInodes.size() - 1;
  }

  // The inode a call reaches: through its open file when known, else by name (a file the
  // model has not met counts as an empty one that was there).
  size_t NodeOf(const PlatformRecordedCall& call) {
    if (call.file) {
      auto open = fOpen.find(call.file);
      if (open != fOpen.end()) return open->second;
    }
    auto it = fNames.find(call.path);
    if (it != fNames.end()) return it->second;
    size_t node = NewInode(std::string());
    fNames[call.path] = node;
    if (call.file) fOpen[call.file] = node;
    return node;
  }

  static void MarkDirty(Inode& inode, int64_t from, int64_t to) {
    for (int64_t page = from / kReplayPageSize; page * kReplayPageSize < to; ++page)
      inode.dirty.insert(page);
  }

  static void Resize(Inode& inode, size_t size) {
    const size_t old = inode.data.size();
    inode.data.resize(size, '\0');
    MarkDirty(inode, int64_t(std::min(old, size)), int64_t(std::max(old, size)));
  }

  std::vector<Inode> fInodes;
  std::map<std::string, size_t> fNames;
  std::map<std::string, size_t> fDurableNames;
  std::map<uint64_t, size_t> fOpen;  // open file number -> inode
};

}  // namespace

FileSet SnapshotFolder(const std::string& root) {
  FileSet files;
  std::error_code ec;
  const std::string base = fs::absolute(fs::path(root), ec).lexically_normal().string();
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    files[it->path().lexically_normal().string()] = TestTempFolder::ReadFile(it->path().string());
  }
  return files;
}

const char* StateKindName(StateKind kind) {
  switch (kind) {
    case StateKind::kKill:
      return "kill";
    case StateKind::kDurable:
      return "durable";
    case StateKind::kPartial:
      return "partial";
  }
  return "?";
}

Replay::Replay(FileSet start, std::vector<PlatformRecordedCall> calls)
    : fStart(std::move(start)), fCalls(std::move(calls)) {}

void Replay::ForEachState(const std::function<void(const ReplayState&)>& visit, bool partial,
                          size_t maxPicked) const {
  DiskModel disk(fStart);
  for (size_t prefix = 0; prefix <= fCalls.size(); ++prefix) {
    if (prefix > 0) disk.Apply(fCalls[prefix - 1]);
    const bool mark = prefix > 0 && fCalls[prefix - 1].kind == Kind::kMark;
    ReplayState kill;
    kill.kind = StateKind::kKill;
    kill.prefix = prefix;
    kill.files = disk.Kill();
    visit(kill);
    ReplayState durable;
    durable.kind = StateKind::kDurable;
    durable.prefix = prefix;
    durable.files = disk.Durable();
    visit(durable);
    if (!partial || mark) continue;  // a mark changes nothing: its partial states were seen
    std::vector<ReplayState> partials;
    disk.Partials(maxPicked, partials);
    for (ReplayState& state : partials) {
      state.prefix = prefix;
      visit(state);
    }
  }
}

std::string DescribeCall(const PlatformRecordedCall& call) {
  const std::string name = BaseName(call.path);
  switch (call.kind) {
    case Kind::kCreate:
      return "create " + name;
    case Kind::kOpenWrite:
      return "open " + name + " for writing";
    case Kind::kWrite:
      return "write " + std::to_string(call.bytes.size()) + " bytes at " +
             std::to_string(call.offset) + " of " + name;
    case Kind::kTruncate:
      return "truncate " + name + " to " + std::to_string(call.offset);
    case Kind::kSync:
      return "sync " + name;
    case Kind::kDelete:
      return "delete " + name;
    case Kind::kMove:
      return "move " + name + " to " + BaseName(call.to);
    case Kind::kReplace:
      return "replace " + BaseName(call.to) + " with " + name;
    case Kind::kCopy:
      return "copy " + name + " to " + BaseName(call.to);
    case Kind::kFolderSync:
      return "sync folder " + name;
    case Kind::kMark:
      return "mark '" + call.path + "'";
  }
  return "?";
}

// ---- resource files --------------------------------------------------------------------------

std::string KeyText(const ResKey& key) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = char(uint8_t(key.type >> shift));
    text += (c >= 32 && c < 127) ? c : '?';
  }
  text += " " + std::to_string(key.id);
  if (key.language != 0) text += ", language " + std::to_string(key.language);
  return text;
}

std::string ValueText(const ResValue& value) {
  std::string text = "'" + value.name + "', " + std::to_string(value.data.size()) + " bytes";
  if (!value.data.empty()) {
    text += " ";
    char hex[4];
    for (size_t i = 0; i < std::min<size_t>(value.data.size(), 8); ++i) {
      std::snprintf(hex, sizeof hex, "%02x", unsigned(uint8_t(value.data[i])));
      text += hex;
    }
    if (value.data.size() > 8) text += "...";
  }
  return text;
}

int32_t ListResources(const std::string& path, ResFormat format, ResListing& out) {
  out.clear();
  std::unique_ptr<iResFile> file;
  if (format == ResFormat::kIFF2) {
    file = std::make_unique<IFFResFile2>();
  } else {
    file = std::make_unique<IFFResFile>();
  }
  const int32_t error = file->Open(FixedStringBuffer<260>(path.c_str()));
  if (error != noErr) return error;
  const int16_t types = file->CountTypes();
  for (int16_t t = 1; t <= types; ++t) {
    const uint32_t type = file->GetIndType(uint16_t(t));
    const int16_t count = file->Count(type);
    for (int16_t i = 1; i <= count; ++i) {
      MHandle* h = file->GetIndResource(type, uint16_t(i));
      if (h == nullptr) continue;
      ResKey key;
      key.type = type;
      file->GetResID(h, key.id);
      key.language = file->GetResLanguage(h);
      FixedStringBuffer<64> name;
      file->GetResName(h, name);
      ResValue value;
      value.name = name.c_str();
      const char* p = HLock(h);
      value.data.assign(p, size_t(HGetSize(h)));
      HUnlock(h);
      out[key].push_back(std::move(value));
    }
  }
  file->Close();
  return noErr;
}

namespace {

std::string DuplicateProblems(const ResListing& listing, bool* duplicate) {
  std::string problem;
  for (const auto& [key, values] : listing) {
    if (values.size() < 2) continue;
    if (duplicate) *duplicate = true;
    problem += KeyText(key) + " appears " + std::to_string(values.size()) + " times (";
    for (size_t v = 0; v < values.size(); ++v) problem += (v ? "; " : "") + ValueText(values[v]);
    problem += "); ";
  }
  return problem;
}

}  // namespace

std::string CheckEachResource(const ResListing& listing,
                              const std::vector<const ResContents*>& allowed, bool* duplicate) {
  std::string problem = DuplicateProblems(listing, duplicate);
  std::set<ResKey> keys;
  for (const ResContents* contents : allowed)
    for (const auto& [key, value] : *contents) keys.insert(key);
  for (const auto& [key, values] : listing) keys.insert(key);
  for (const ResKey& key : keys) {
    auto got = listing.find(key);
    bool ok = false;
    std::string expected;
    for (const ResContents* contents : allowed) {
      auto v = contents->find(key);
      const bool there = v != contents->end();
      expected += (expected.empty() ? "" : " or ") + (there ? ValueText(v->second) : std::string("absent"));
      if (got == listing.end() ? !there : (there && v->second == got->second.front())) ok = true;
    }
    if (!ok)
      problem += KeyText(key) +
                 (got == listing.end() ? std::string(" missing") : " holds " + ValueText(got->second.front())) +
                 ", expected " + expected + "; ";
  }
  return problem;
}

std::string CheckWholeFile(const ResListing& listing, const std::vector<const ResContents*>& allowed,
                           const std::vector<std::string>& labels, bool* duplicate) {
  std::string problem = DuplicateProblems(listing, duplicate);
  if (!problem.empty()) return problem;
  size_t best = 0;
  size_t bestCount = SIZE_MAX;
  std::string bestDiff;
  // The latest step first: the nearest of equally near steps is the latest.
  for (size_t j = allowed.size(); j-- > 0;) {
    std::string diff;
    size_t count = 0;
    for (const auto& [key, value] : *allowed[j]) {
      auto got = listing.find(key);
      if (got == listing.end()) {
        diff += KeyText(key) + " missing (expected " + ValueText(value) + "); ";
        ++count;
      } else if (!(got->second.front() == value)) {
        diff += KeyText(key) + " holds " + ValueText(got->second.front()) + ", expected " + ValueText(value) + "; ";
        ++count;
      }
    }
    for (const auto& [key, values] : listing) {
      if (allowed[j]->count(key)) continue;
      diff += KeyText(key) + " should not be there (holds " + ValueText(values.front()) + "); ";
      ++count;
    }
    if (count == 0) return std::string();
    if (count < bestCount) {
      bestCount = count;
      best = j;
      bestDiff = diff;
    }
  }
  if (allowed.empty()) return "the file should not be there";
  return "matches none of " + labels.front() + (labels.size() > 1 ? " to " + labels.back() : std::string()) +
         "; against " + labels[best] + ": " + bestDiff;
}

int32_t ListResourcesOf(const std::string& bytes, ResFormat format, ResListing& out) {
  TestTempFolder copy;
  return ListResources(copy.WriteFile("copy", bytes), format, out);
}

// ---- runs ------------------------------------------------------------------------------------

namespace {

const std::string kBeginMark = "step begin ";
const std::string kEndMark = "step end ";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

CrashRun::CrashRun(const std::string& root) : fRoot(root) {
  fSteps.push_back(StepInfo{"start", StepKind::kCommit, true});
}

CrashRun::~CrashRun() {
  if (fArmed) PlatformRecordStop();
}

void CrashRun::Watch(const std::string& path, ResFormat format) {
  const std::string key = fs::absolute(fs::path(path)).lexically_normal().string();
  Watched& watched = fWatched[key];
  watched.format = format;
  FileStep now;
  ResListing listing;
  now.exists = fs::exists(key);
  if (now.exists && ListResourcesOf(TestTempFolder::ReadFile(key), format, listing) == noErr) {
    for (auto& [k, values] : listing) now.contents[k] = values.front();
  }
  // The file as it is now holds from the start through the steps already run.
  watched.steps.assign(fSteps.size(), now);
}

ResContents& CrashRun::Contents(const std::string& path) {
  return fWatched.at(fs::absolute(fs::path(path)).lexically_normal().string()).steps.back().contents;
}

void CrashRun::SetExists(const std::string& path, bool exists) {
  fWatched.at(fs::absolute(fs::path(path)).lexically_normal().string()).steps.back().exists = exists;
}

int32_t CrashRun::Step(const std::string& label, StepKind kind,
                       const std::function<int32_t()>& body, const std::function<void()>& apply) {
  if (!fArmed && fCalls.empty()) {
    fStart = SnapshotFolder(fRoot);
    PlatformRecordStart();
    fArmed = true;
  }
  const size_t index = fSteps.size();
  fSteps.push_back(StepInfo{label, kind, true});
  for (auto& [path, watched] : fWatched) watched.steps.push_back(watched.steps.back());
  PlatformRecordMark(kBeginMark + std::to_string(index));
  const int32_t result = body();
  if (result == noErr) {
    if (kind == StepKind::kCreate) {
      for (auto& [path, watched] : fWatched) {
        FileStep& now = watched.steps.back();
        if (!now.exists && fs::exists(path)) {
          now.exists = true;
          now.contents.clear();
        }
      }
    }
    if (apply) apply();
  } else {
    fSteps.back().ok = false;
  }
  PlatformRecordMark(kEndMark + std::to_string(index));
  return result;
}

namespace {

// Where a prefix of the recording stands among the steps.
struct Moment {
  size_t done = 0;        // steps that returned
  bool inFlight = false;  // step done + 1 had begun
  bool atStepEnd = false; // the prefix ends with a step's end mark
};

std::string Shorten(const std::string& text, size_t max = 400) {
  return text.size() <= max ? text : text.substr(0, max) + "...";
}

}  // namespace

CrashReport CrashRun::Check(bool partial) {
  if (fArmed) {
    fCalls = PlatformRecordStop();
    fArmed = false;
  }
  CrashReport report;
  for (size_t i = 1; i < fSteps.size(); ++i)
    if (!fSteps[i].ok) report.stepErrors += "step " + std::to_string(i) + " '" + fSteps[i].label + "' failed; ";

  // The moment of every prefix.
  std::vector<Moment> moments(fCalls.size() + 1);
  Moment now;
  size_t hostCalls = 0;
  std::vector<size_t> hostIndex(fCalls.size() + 1, 0);  // host calls within each prefix
  for (size_t i = 0; i < fCalls.size(); ++i) {
    const PlatformRecordedCall& call = fCalls[i];
    now.atStepEnd = false;
    if (call.kind == Kind::kMark && StartsWith(call.path, kBeginMark)) {
      now.inFlight = true;
    } else if (call.kind == Kind::kMark && StartsWith(call.path, kEndMark)) {
      now.done += 1;
      now.inFlight = false;
      now.atStepEnd = true;
    } else if (call.kind != Kind::kMark) {
      ++hostCalls;
    }
    moments[i + 1] = now;
    hostIndex[i + 1] = hostCalls;
    report.calls += (call.kind == Kind::kMark ? std::string("   ") : std::to_string(hostCalls) + ". ") +
                    DescribeCall(call) + "\n";
  }
  // The last acknowledged step at or before each step.
  std::vector<size_t> acknowledged(fSteps.size(), 0);
  for (size_t i = 1; i < fSteps.size(); ++i) {
    const bool commits = fSteps[i].ok && (fSteps[i].kind == StepKind::kCommit || fSteps[i].kind == StepKind::kBuild);
    acknowledged[i] = commits ? i : acknowledged[i - 1];
  }

  TestTempFolder scratch;
  std::map<std::string, std::string> scratchPath;
  size_t number = 0;
  for (const auto& [path, watched] : fWatched)
    scratchPath[path] = scratch / (std::to_string(++number) + "-" + BaseName(path));

  auto stepText = [&](size_t step) {
    return "step " + std::to_string(step) + " '" + fSteps[step].label + "'";
  };

  Replay replay(fStart, fCalls);
  replay.ForEachState(
      [&](const ReplayState& state) {
        const Moment& m = moments[state.prefix];
        // The steps whose contents a state may show.
        size_t lo = m.done;
        if (state.kind != StateKind::kKill) lo = acknowledged[m.done];
        size_t hi = m.done + (m.inFlight ? 1 : 0);
        bool atomic = true;
        for (size_t j = lo + 1; j <= hi; ++j)
          if (fSteps[j].kind == StepKind::kBuild) atomic = false;

        std::string where = std::string(StateKindName(state.kind)) + " state after call " +
                            std::to_string(hostIndex[state.prefix]) + " of " +
                            std::to_string(hostCalls);
        if (state.prefix > 0) where += " (" + DescribeCall(fCalls[state.prefix - 1]) + ")";
        if (m.inFlight) {
          where += ", " + stepText(m.done + 1) + " in flight";
        } else {
          where += ", after " + stepText(m.done);
        }
        if (state.kind != StateKind::kKill) where += ", last acknowledged " + stepText(lo);
        if (!state.variant.empty()) where += ", " + state.variant;

        std::string problems;
        bool duplicate = false;
        for (const auto& [path, watched] : fWatched) {
          std::string problem;
          auto it = state.files.find(path);
          bool absentAllowed = false;
          for (size_t j = lo; j <= hi; ++j)
            if (!watched.steps[j].exists) absentAllowed = true;
          const bool mustHold = state.kind == StateKind::kPartial;
          // A file that may be absent must be so, or whole: an empty file left by a create
          // cut short would stand in the way of every later attempt.
          if (it == state.files.end()) {
            if (!absentAllowed)
              problem = "the file is missing (it exists in every step from " + stepText(lo) + " on)";
          } else {
            const std::string& scratchFile = scratchPath[path];
            {
              std::FILE* f = std::fopen(scratchFile.c_str(), "wb");
              if (f) {
                std::fwrite(it->second.data(), 1, it->second.size(), f);
                std::fclose(f);
              }
            }
            ResListing listing;
            const int32_t error = ListResources(scratchFile, watched.format, listing);
            std::remove(scratchFile.c_str());
            if (error != noErr) {
              problem = "the file (" + std::to_string(it->second.size()) +
                        " bytes) does not open (error " + std::to_string(error) + ")";
            } else if (mustHold) {
              // Every resource the last commit acknowledged reads, in every record listed for
              // it, its data or data a later step wrote; it may be missing only when a later
              // step removed it. Pages written back out of order may keep the new record's
              // header and lose the old one's mark: both are listed then, and counted, but
              // nothing acknowledged is lost.
              for (const auto& [key, value] : watched.steps[lo].contents) {
                auto found = listing.find(key);
                if (found == listing.end()) {
                  bool removed = false;
                  for (size_t j = lo + 1; j <= hi; ++j)
                    if (!watched.steps[j].contents.count(key)) removed = true;
                  if (!removed) problem += KeyText(key) + " is lost (acknowledged " + ValueText(value) + "); ";
                  continue;
                }
                if (found->second.size() > 1) duplicate = true;
                for (const ResValue& copy : found->second) {
                  bool ok = false;
                  for (size_t j = lo; j <= hi; ++j) {
                    auto v = watched.steps[j].contents.find(key);
                    if (v != watched.steps[j].contents.end() && v->second == copy) ok = true;
                  }
                  if (!ok)
                    problem += KeyText(key) + " reads " + ValueText(copy) + ", acknowledged " +
                               ValueText(value) + "; ";
                }
              }
            } else {
              std::vector<const ResContents*> allowed;
              std::vector<std::string> labels;
              for (size_t j = lo; j <= hi; ++j) {
                if (!watched.steps[j].exists) continue;
                allowed.push_back(&watched.steps[j].contents);
                labels.push_back(stepText(j));
              }
              problem = atomic ? CheckWholeFile(listing, allowed, labels, &duplicate)
                               : CheckEachResource(listing, allowed, &duplicate);
            }
          }
          if (!problem.empty()) problems += "\n  " + BaseName(path) + ": " + Shorten(problem, 1200);
        }

        CrashReport::Count* counts[2] = {
            state.kind == StateKind::kKill      ? &report.kill
            : state.kind == StateKind::kDurable ? &report.durable
                                                : &report.partial,
            state.kind == StateKind::kKill && m.atStepEnd ? &report.afterCall : nullptr};
        for (CrashReport::Count* c : counts) {
          if (!c) continue;
          ++c->states;
          if (!problems.empty()) ++c->failed;
          if (duplicate && (!problems.empty() || state.kind == StateKind::kPartial)) ++c->duplicates;
        }
        if (!problems.empty()) {
          ++report.failed;
          report.failures.push_back(CrashFailure{state.kind, state.prefix, where + ":" + problems, duplicate});
        }
      },
      partial);
  return report;
}

std::string CrashReport::Summary() const {
  auto line = [](const char* what, const Count& c) {
    return std::string(what) + ": " + std::to_string(c.failed) + " of " + std::to_string(c.states) +
           " states fail (" + std::to_string(c.duplicates) + " with a resource listed twice)\n";
  };
  return line("kill", kill) + line("  right after a step returned", afterCall) +
         line("durable", durable) + line("partial write-back", partial) +
         (stepErrors.empty() ? std::string() : "steps that failed: " + stepErrors + "\n");
}

std::string CrashReport::Text(size_t details) const {
  std::string text = Summary();
  // The first failures of each kind, so that each kind shows.
  const size_t each = (details + 2) / 3;
  for (StateKind kind : {StateKind::kKill, StateKind::kDurable, StateKind::kPartial}) {
    size_t shown = 0;
    for (const CrashFailure& f : failures) {
      if (f.kind != kind) continue;
      if (shown++ == each) {
        text += "...\n";
        break;
      }
      text += f.text + "\n";
    }
  }
  if (failed > 0) text += "the calls:\n" + Shorten(calls, 40000);
  return text;
}

}  // namespace crashreplay
