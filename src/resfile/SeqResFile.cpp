#include "SeqResFile.h"

#include <cstring>
#include <memory>

#include "FilePaths.h"
#include "IFFResFile.h"
#include "IFFResFile2.h"
#include "ResolveResFile.h"
#include "XAssert.h"

namespace {

typedef FixedStringBuffer<260> PathBuffer;

// `text` ends in `suffix`, A-Z case ignored.
bool EndsWithNoCase(const StringBuffer& text, const char* suffix) {
  int32_t length = text.length();
  int32_t suffixLength = static_cast<int32_t>(strlen(suffix));
  if (suffixLength > length) return false;
  FixedStringBuffer<16> tail(text.c_str() + (length - suffixLength));
  return tail.compare_nocase(suffix, suffixLength) == 0 && tail.length() == suffixLength;
}

// The types that go to the sprite file of a standard set.
const uint32_t kSpriteFileTypes[] = {
    MakeResType('S', 'P', 'R', '#'), MakeResType('D', 'G', 'R', 'P'),
    MakeResType('P', 'A', 'L', 'T'), MakeResType('B', 'M', 'P', '_'),
    MakeResType('S', 'P', 'R', '2'),
};

}  // namespace

SeqResFile::SeqResFile() {}

SeqResFile::~SeqResFile() { DeleteMembers(true); }

void SeqResFile::DeleteMembers(bool lastFirst) {
  while (CountFiles() > 0) {
    iResFile* member = GetFile(lastFirst ? CountFiles() - 1 : 0);
    if (member == nullptr) {
      XASSERT(member, lastFirst ? "no indexed file" : "no file");
      return;
    }
    RemoveFile(member);
    delete member;
  }
}

void SeqResFile::ClearFileTypes() {
  for (SeqFileType& entry : fTypes) {
    entry.fKind = kEndFileKind;
    entry.fExtension.clear();
  }
}

int32_t SeqResFile::CountFileTypes() const {
  int32_t count = 0;
  while (count < kMaxFileTypes && fTypes[count].fKind != kEndFileKind) count++;
  return count;
}

void SeqResFile::AddFileType(uint32_t kind, const char* extension) {
  int32_t count = CountFileTypes();
  if (count >= kMaxFileTypes) {
    XASSERT(count < kMaxFileTypes, "not enough space for types");
    return;
  }
  if (kind > kResolveFileKind) {
    XASSERT(kind <= kResolveFileKind, "bad file type");
    return;
  }
  fTypes[count].fKind = kind;
  fTypes[count].fExtension.assign(extension);
  fTypes[count + 1].fKind = kEndFileKind;
}

bool SeqResFile::MakeComponentPath(StringBuffer& path, const SeqFileType& entry) {
  const StringBuffer& wanted = entry.fExtension;
  if (entry.fKind == kEndFileKind || wanted.length() < 2 || wanted[0] != '.') return false;
  PathBuffer folder, base, extension;
  SplitPath(path, folder, base, extension);
  if (extension.length() == 0) {
    if (base.length() == 0) return false;
    // A component path that would not fit is refused rather than cut to another name.
    if (path.length() + wanted.length() >= path.capacity()) return false;
    path.append(wanted);
    return true;
  }
  return extension.compare_nocase(wanted.c_str(), wanted.length()) == 0 &&
         extension.length() == wanted.length();
}

iResFile* SeqResFile::MakeComponent(uint32_t kind) {
  switch (kind) {
    case kIFFFileKind:
      return new IFFResFile;
    case kIFF2FileKind:
      return new IFFResFile2;
    case kResolveFileKind:
      return new ResolveResFile;
    default:
      return nullptr;
  }
}

int32_t SeqResFile::Open(const StringBuffer& path) {
  Close();
  int32_t result = noComponentErr;
  bool opened = false;
  for (int32_t i = 0; i < kMaxFileTypes && fTypes[i].fKind != kEndFileKind; i++) {
    std::unique_ptr<iResFile> component(MakeComponent(fTypes[i].fKind));
    if (!component) continue;
    PathBuffer componentPath(path);
    int32_t error = noComponentErr;
    if (MakeComponentPath(componentPath, fTypes[i])) error = component->Open(componentPath);
    XASSERT((error == noErr) == component->ValidFile(), "no error but file invalid");
    if (error == noErr) {
      AddFile(component.release());
      opened = true;
    } else {
      result = error;
    }
  }
  if (opened) result = noErr;
  SetError(result);
  return result;
}

int32_t SeqResFile::Create(const StringBuffer& path) {
  // Creating files under open members could replace what they hold.
  if (CountFiles() > 0) return alreadyOpenErr;
  int32_t result = noComponentErr;
  bool created[kMaxFileTypes] = {};
  bool anyCreated = false;
  for (int32_t i = 0; i < kMaxFileTypes && fTypes[i].fKind != kEndFileKind; i++) {
    bool done = false;
    for (int32_t j = 0; j < i && !done; j++) {
      done = created[j] && fTypes[j].fExtension.compare_nocase(
                               fTypes[i].fExtension.c_str(), fTypes[i].fExtension.length()) == 0 &&
             fTypes[j].fExtension.length() == fTypes[i].fExtension.length();
    }
    if (done) continue;
    std::unique_ptr<iResFile> component(MakeComponent(fTypes[i].fKind));
    if (!component) continue;
    PathBuffer componentPath(path);
    int32_t error = noComponentErr;
    if (MakeComponentPath(componentPath, fTypes[i])) error = component->Create(componentPath);
    if (error == noErr) {
      created[i] = true;
      anyCreated = true;
      continue;
    }
    result = error;
    if (error == fileExistsErr) {
      XASSERT(!anyCreated, "oh no. created a file where some components already exist.");
      return error;
    }
  }
  return anyCreated ? int32_t(noErr) : result;
}

int32_t SeqResFile::Delete(const StringBuffer& path) {
  // Deleting the files of open members would pull them out from under the set.
  if (CountFiles() > 0) return alreadyOpenErr;
  int32_t result = noComponentErr;
  bool anyDeleted = false;
  for (int32_t i = 0; i < kMaxFileTypes && fTypes[i].fKind != kEndFileKind; i++) {
    std::unique_ptr<iResFile> component(MakeComponent(fTypes[i].fKind));
    if (!component) continue;
    PathBuffer componentPath(path);
    if (!MakeComponentPath(componentPath, fTypes[i])) continue;
    int32_t error = component->Delete(componentPath);
    if (error == noErr) {
      anyDeleted = true;
      continue;
    }
    result = error;
    if (error == noTakerErr || error == readOnlyErr) {
      XASSERT(!anyDeleted, "oh no. pratially deleted a file group.");
      return error;
    }
  }
  return anyDeleted ? int32_t(noErr) : result;
}

int32_t SeqResFile::Close() {
  int32_t result = ChainResFile::Close();
  DeleteMembers(false);
  return result;
}

void SeqResFile::GetName(StringBuffer& path) {
  iResFile* first = GetFile(0);
  if (first == nullptr || !first->ValidFile()) return;
  PathBuffer name, withoutExtension, extension;
  first->GetName(name);
  // A folder component may answer its path with a closing separator.
  int32_t length = name.length();
  if (length > 1 && (name[length - 1] == '/' || name[length - 1] == '\\')) {
    name.buffer()[length - 1] = 0;
  }
  SplitExtension(name, withoutExtension, extension);
  path.assign(withoutExtension);
}

StdResFile::StdResFile() {
  AddFileType(kIFF2FileKind, ".iff");
  AddFileType(kIFF2FileKind, ".spf");
  AddFileType(kIFFFileKind, ".iff");
  AddFileType(kIFFFileKind, ".spf");
  AddFileType(kResolveFileKind, ".dir");
}

int32_t StdResFile::Open(const StringBuffer& path) {
  int32_t result = SeqResFile::Open(path);
  if (result != noErr) return result;
  // Walked back to front, so that of several matches the one nearer the front wins.
  iResFile* spriteFile = nullptr;
  iResFile* definitionFile = nullptr;
  for (int32_t i = CountFiles() - 1; i >= 0; i--) {
    iResFile* member = GetFile(i);
    PathBuffer name;
    member->GetName(name);
    if (EndsWithNoCase(name, ".spf")) spriteFile = member;
    if (EndsWithNoCase(name, ".iff")) definitionFile = member;
  }
  if (spriteFile != nullptr && definitionFile != nullptr) {
    for (uint32_t type : kSpriteFileTypes) {
      ProhibitType(definitionFile, type);
      AddExclusiveType(spriteFile, type);
    }
  }
  SetError(noErr);
  return noErr;
}
