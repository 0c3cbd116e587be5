#include "resfile.h"

#include "XAssert.h"
#include "strset.h"

namespace {

// Head of the process-wide list of live resource files, newest first.
iResFile* gResFileList = nullptr;

}  // namespace

iResFile::iResFile() : fNext(gResFileList), fError(noErr) { gResFileList = this; }

iResFile::~iResFile() {
  for (iResFile** link = &gResFileList; *link != nullptr; link = &(*link)->fNext) {
    if (*link == this) {
      *link = fNext;
      return;
    }
  }
  XASSERT(false, "could not unlink res file");
}

iResFile* iResFile::FirstLiveFile() { return gResFileList; }

iResFile* iResFile::NextLiveFile(const iResFile* file) {
  return file != nullptr ? file->fNext : nullptr;
}

MHandle* iResFile::GetLanguageResource(uint32_t type, uint16_t id, uint8_t language,
                                       SwizzleProc swizzle) {
  if (language == 0) return GetResource(type, id, swizzle);
  SetError(noLanguagesErr);
  return nullptr;
}

bool iResFile::HasLanguageResource(uint32_t type, uint16_t id, uint8_t language) {
  return GetLanguageResource(type, id, language, nullptr) != nullptr;
}

uint8_t iResFile::GetResLanguage(MHandle* h) {
  int16_t id = 0;
  GetResID(h, id);
  return 0;
}

void iResFile::AddLanguageResource(MHandle* h, uint32_t type, uint16_t id,
                                   const StringBuffer& name, uint8_t /*language*/,
                                   bool native) {
  AddResource(h, type, id, name, native);
}

void iResFile::DetachAndDispose(MHandle* h) {
  DetachResource(h);
  if (GetError() != noErr) return;
  HFree(h);
  if (MemError() != 0) SetError(MemError());
}

int32_t iResFile::OpenWithOptions(const StringBuffer& path, uint32_t options) {
  if (options & kDeleteFirst) {
    int32_t error = Delete(path);
    if (error != noErr && error != fileNotFoundErr) return error;
    // The file is gone either way: make it afresh so that Open finds an empty file.
    error = Create(path);
    if (error != noErr) return error;
  }
  int32_t error = Open(path);
  if (error != noErr && (options & kCreateIfMissing)) {
    error = Create(path);
    if (error == noErr) error = Open(path);
  }
  return error;
}

void iResFile::GetIndString(StringBuffer& out, uint16_t setId, int16_t index) {
  StringSet set;
  set.Load(this, setId, 0);
  out.clear();
  if (index >= 1 && index <= set.Count(-1)) out.assign(set.GetString(index, -1));
}
