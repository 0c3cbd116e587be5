// FAR archives: map the archive and read every entry it maps (through the folder searches),
// then unpack it into a folder and check that nothing landed outside that folder.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "VornFile.h"

namespace fs = std::filesystem;

namespace {

// Reads every file of the mapped folder `folder` (normalised, ending in '\\') and, once
// each, the mapped folders below it.
void ReadMappedFolder(VornFileManager& manager, const VornString& folder, std::set<std::string>& seen,
                      int32_t depth) {
  if (depth > 64 || !seen.insert(folder.str()).second) return;
  MapFindData find;
  std::vector<VornString> folders;
  for (bool more = manager.FindFirst(folder + VornString("*"), find); more; more = manager.FindNext(find)) {
    VornString path = find.mFolder + find.mName;
    if (find.mbFolder) {
      folders.push_back(path + VornString("\\"));
      continue;
    }
    VornFile* file = manager.Open(path, false);
    if (!file) continue;
    FuzzNote(("entry " + path.str()).c_str());
    std::vector<uint8_t> bytes(static_cast<size_t>(file->GetSize() > 0 ? file->GetSize() : 0) + 1);
    file->Read(bytes.data(), file->GetSize());
    file->Seek(0);
    uint8_t one = 0;
    file->ReadBytes(&one, 1);
    manager.Close(file);
  }
  for (const VornString& below : folders) ReadMappedFolder(manager, below, seen, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ClearFuzzFolder();
  const std::string archive = WriteFuzzFile("in/archive.far", data, size);
  const std::string out = FuzzFolder() + "in/out/";
  fs::create_directories(out);
  {
    VornFileManager manager;
    if (manager.MapFAR(VornString(archive))) {
      FuzzNote("mapped");
      VornString folder(FuzzFolder() + "in/");
      NormalizePath(folder);
      std::set<std::string> seen;
      ReadMappedFolder(manager, folder, seen, 0);
    }
  }
  {
    VornFileManager manager;
    manager.Extract(VornString(archive), VornString(out));
  }
  // Only the archive itself may lie outside the destination folder.
  std::error_code ec;
  const fs::path outPath = fs::weakly_canonical(out, ec);
  const fs::path archivePath = fs::weakly_canonical(archive, ec);
  for (auto it = fs::recursive_directory_iterator(FuzzFolder(), ec); !ec && it != fs::end(it); it.increment(ec)) {
    const fs::path p = fs::weakly_canonical(it->path(), ec);
    if (p == archivePath || p == outPath) continue;
    const fs::path rel = p.lexically_relative(outPath);
    if (rel.empty() || *rel.begin() == "..") {
      if (it->is_directory()) {
        // Folders on the way to the destination (in/) were made by this target.
        if (outPath.string().rfind(p.string(), 0) == 0) continue;
      }
      std::fprintf(stderr, "extracted outside the destination: %s\n", p.string().c_str());
      FuzzFail("an archive entry landed outside the destination folder");
    }
  }
  return 0;
}
