#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

#include "MHandle.h"
#include "MemResFile.h"
#include "ObjectBuilder.h"
#include "PlatformDebug.h"
#include "VornFile.h"
#include "attribtable.h"
#include "flatfile.h"
#include "palwrap.h"
#include "resfile.h"

namespace fs = std::filesystem;

namespace {

std::string gFolder;

void RemoveFolder() {
  if (gFolder.empty()) return;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(gFolder, ec); !ec && it != fs::end(it); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(gFolder, ec);
}

}  // namespace

void FuzzFail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what ? what : "");
  std::fflush(stderr);
  std::abort();
}

void FuzzNote(const char* what) {
  static const bool verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "  %s\n", what);
}

const std::string& FuzzFolder() {
  if (gFolder.empty()) {
    std::string tmpl = (fs::temp_directory_path() / "objtools-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) FuzzFail("cannot make the scratch folder");
    gFolder = tmpl + "/";
    std::atexit(RemoveFolder);
  }
  return gFolder;
}

void ClearFuzzFolder() {
  const std::string& folder = FuzzFolder();
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::end(it); it.increment(ec)) {
    std::error_code removeError;
    fs::remove_all(it->path(), removeError);
  }
}

std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size) {
  std::string full = FuzzFolder() + name;
  std::error_code ec;
  fs::create_directories(fs::path(full).parent_path(), ec);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  if (size) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  FUZZ_CHECK(out.good(), "cannot write a scratch file");
  return full;
}

std::string WriteFuzzFile(const std::string& name, const std::string& bytes) {
  return WriteFuzzFile(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string ReadFuzzFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void ResetProcessState() {
  GetVornFileManager().Reset();
  PlatformColorEntry colors[256];
  for (int i = 0; i < 256; ++i) {
    colors[i] = PlatformColorEntry{uint8_t(i), uint8_t(255 - i), uint8_t((i * 7) & 0xFF), 0};
  }
  GetGlobalPalette()->Create(colors, 0);
  PlatformSetDebugSink({});
  PlatformSetDebugReportHook({});
  if (std::getenv("FUZZ_VERBOSE")) {
    PlatformSetDebugReportHook([](int32_t, const char*, int32_t, const char*, const char* text) {
      FuzzNote((std::string("report: ") + text).c_str());
      return 0;
    });
  }
  gCurrentBuilder = nullptr;
}

bool ReadFuzzMarkup(const uint8_t* data, size_t size, AttribTableList& tags) {
  const std::string path = WriteFuzzFile("input.omk", data, size);
  FlatFile file;
  if (file.Open(FuzzPath(path)) != 0) return false;
  ReadMarkupFile(tags, &file);
  file.Close();
  return true;
}

FixedStringBuffer<1024> FuzzPath(const std::string& path) {
  FixedStringBuffer<1024> buffer;
  buffer.assign(path.c_str());
  return buffer;
}

bool FuzzResource::operator<(const FuzzResource& other) const {
  return std::tie(type, id, language, name, bytes) <
         std::tie(other.type, other.id, other.language, other.name, other.bytes);
}

bool FuzzResource::operator==(const FuzzResource& other) const {
  return std::tie(type, id, language, name, bytes) ==
         std::tie(other.type, other.id, other.language, other.name, other.bytes);
}

std::vector<FuzzResource> WalkResources(iResFile& file, int32_t* failures) {
  std::vector<FuzzResource> found;
  int32_t missed = 0;
  const int16_t types = file.CountTypes();
  for (int16_t t = 1; t <= types; ++t) {
    const uint32_t type = file.GetIndType(static_cast<uint16_t>(t));
    const int16_t count = file.Count(type);
    for (int16_t i = 1; i <= count; ++i) {
      MHandle* h = file.GetIndResource(type, static_cast<uint16_t>(i));
      if (!h) {
        ++missed;
        continue;
      }
      FuzzResource r;
      r.type = type;
      r.index = static_cast<uint16_t>(i);
      file.GetResID(h, r.id);
      r.language = file.GetResLanguage(h);
      FixedStringBuffer<256> name;
      file.GetResName(h, name);
      r.name = name.c_str();
      const int32_t size = HGetSize(h);
      const char* bytes = static_cast<const char*>(HLock(h));
      if (bytes && size > 0) r.bytes.assign(bytes, static_cast<size_t>(size));
      HUnlock(h);
      found.push_back(std::move(r));
    }
  }
  if (failures) *failures = missed;
  return found;
}

void ResFileRound(iResFile* (*make)(), const std::string& path, FileCheck check) {
  const FixedStringBuffer<1024> name = FuzzPath(path);
  auto checked = [check](iResFile& f) {
    if (check) FUZZ_CHECK(check(f) == noErr, "the ledger of the blocks disagrees with the disk");
  };
  std::unique_ptr<iResFile> file(make());
  if (file->Open(name) != noErr) return;
  checked(*file);
  int32_t unreadable = 0;
  std::vector<FuzzResource> expected = WalkResources(*file, &unreadable);
  FuzzNote(("opened with " + std::to_string(expected.size()) + " resources, " + std::to_string(unreadable) +
            " unreadable")
               .c_str());
  for (const FuzzResource& r : expected) {
    char line[160];
    std::snprintf(line, sizeof line, "  %08x %d lang %u \"%s\" (%zu bytes)", r.type, r.id, r.language, r.name.c_str(),
                  r.bytes.size());
    FuzzNote(line);
  }

  // Look-ups by id and by name answer a resource of that key.
  for (const FuzzResource& r : expected) {
    MHandle* h = file->GetResource(r.type, static_cast<uint16_t>(r.id));
    if (h) {
      int16_t id = 0;
      file->GetResID(h, id);
      FUZZ_CHECK(id == r.id && file->GetResType(h) == r.type, "GetResource answers another resource");
    }
    if (!r.name.empty()) {
      FixedStringBuffer<256> wanted;
      wanted.assign(r.name.c_str());
      MHandle* named = file->GetNamedResource(r.type, wanted);
      if (named) FUZZ_CHECK(file->GetResType(named) == r.type, "GetNamedResource answers another type");
    }
    file->UniqueID(r.type);
  }
  if (!file->IsWritable()) {
    file->Close();
    return;
  }

  if (!expected.empty()) {
    const FuzzResource& first = expected.front();
    file->SetError(noErr);
    MHandle* h = file->GetIndResource(first.type, first.index);
    if (h) {
      file->RemoveResource(h);
      if (file->GetError() == noErr) expected.erase(expected.begin());
      checked(*file);
    }
  }

  FuzzResource added;
  added.type = MakeResType('F', 'Z', 'a', 'd');
  added.id = static_cast<int16_t>(file->UniqueID(added.type));
  added.name = "added by the round";
  added.bytes = "these bytes were added to the file";
  MHandle* h = HAlloc(static_cast<uint32_t>(added.bytes.size()));
  FUZZ_CHECK(h != nullptr, "no memory for a small handle");
  BlockMove(added.bytes.data(), HLock(h), static_cast<int32_t>(added.bytes.size()));
  HUnlock(h);
  FixedStringBuffer<256> addedName;
  addedName.assign(added.name.c_str());
  file->SetError(noErr);
  file->AddResource(h, added.type, static_cast<uint16_t>(added.id), addedName, true);
  const bool addedOK = file->GetError() == noErr;
  if (addedOK) expected.push_back(added);
  checked(*file);
  if (addedOK) {
    // Written now and made durable by an Update before the close.
    file->WriteResource(h);
    checked(*file);
    file->Update();
    checked(*file);
  }
  const int32_t closed = file->Close();
  file.reset();
  if (!addedOK || closed != noErr) return;

  std::unique_ptr<iResFile> again(make());
  FUZZ_CHECK(again->Open(name) == noErr, "a file closed without error does not open again");
  checked(*again);
  std::vector<FuzzResource> found = WalkResources(*again);
  again->Close();
  FuzzNote("reopened");
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  // Entries that did not read mean a saved map at odds with the records. After a compaction,
  // or a walk that replaces that map, the records answer as their headers say (more of them,
  // names and languages as stored there); no data that read may be lost or changed.
  bool same = found == expected;
  if (!same && unreadable > 0) {
    auto key = [](const FuzzResource& r) { return std::tie(r.type, r.id, r.bytes); };
    std::vector<FuzzResource> left = found;
    same = true;
    for (const FuzzResource& r : expected) {
      auto match = std::find_if(left.begin(), left.end(), [&](const FuzzResource& f) { return key(f) == key(r); });
      if (match == left.end()) {
        same = false;
        break;
      }
      left.erase(match);
    }
  }
  if (!same) {
    std::fprintf(stderr, "expected %zu resources, found %zu\n", expected.size(), found.size());
    for (const FuzzResource& r : expected) {
      if (!std::binary_search(found.begin(), found.end(), r))
        std::fprintf(stderr, "  lost %08x %d lang %u \"%s\" (%zu bytes)\n", r.type, r.id, r.language, r.name.c_str(), r.bytes.size());
    }
    for (const FuzzResource& r : found) {
      if (!std::binary_search(expected.begin(), expected.end(), r))
        std::fprintf(stderr, "  new  %08x %d lang %u \"%s\" (%zu bytes)\n", r.type, r.id, r.language, r.name.c_str(), r.bytes.size());
    }
    FuzzFail("the resources after close and reopen differ from those before");
  }
}

std::vector<std::string> SplitInput(const uint8_t* data, size_t size, const std::string& separator) {
  std::vector<std::string> pieces;
  std::string all(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (true) {
    size_t at = all.find(separator, start);
    if (at == std::string::npos) break;
    pieces.push_back(all.substr(start, at - start));
    start = at + separator.size();
  }
  pieces.push_back(all.substr(start));
  return pieces;
}

void WithStoredRecords(const std::vector<StoredPart>& parts, const std::function<void(MemResFile&)>& body) {
  for (bool native : {true, false}) {
    MemResFile file;
    for (const StoredPart& part : parts) file.PutStored(part.type, part.id, part.bytes, native, part.name);
    body(file);
    file.Close();
  }
}

void CheckSaveAndReload(const char* what, const std::function<bool(MemResFile&)>& save,
                        const std::function<bool(MemResFile&)>& load) {
  MemResFile out;
  FUZZ_CHECK(save(out), (std::string(what) + " that loaded does not save").c_str());
  FUZZ_CHECK(load(out), (std::string(what) + " that was saved does not load").c_str());
}
