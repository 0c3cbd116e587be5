#include "strset.h"

#include <cstring>
#include <utility>
#include <vector>

#include "ByteOrder.h"
#include "MHandle.h"
#include "XAssert.h"

namespace {

// Brings the form word (and the count of forms -1, -2 and -3) of a STR# into host order.
// Text is bytes and is left alone.
void StringSetSwizzle(void* data, int32_t size) {
  if (data == nullptr || size < 2) return;
  uint8_t* p = static_cast<uint8_t*>(data);
  SwapBytes16(p);
  int16_t form;
  memcpy(&form, p, 2);
  if ((form == -1 || form == -2 || form == -3) && size >= 4) SwapBytes16(p + 2);
}

// A bounded cursor over stored bytes: every read checks what is left first.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, int32_t size) : fPos(data), fEnd(data + size) {}
  int32_t Left() const { return static_cast<int32_t>(fEnd - fPos); }
  bool ReadI16(int16_t* value) {
    if (Left() < 2) return false;
    memcpy(value, fPos, 2);
    fPos += 2;
    return true;
  }
  bool ReadU8(uint8_t* value) {
    if (Left() < 1) return false;
    *value = *fPos++;
    return true;
  }
  // A NUL-terminated text; false when no NUL comes before the end.
  bool ReadCString(const char** text) {
    int32_t left = Left();
    if (left <= 0) return false;
    const void* nul = memchr(fPos, 0, static_cast<size_t>(left));
    if (nul == nullptr) return false;
    *text = reinterpret_cast<const char*>(fPos);
    fPos = static_cast<const uint8_t*>(nul) + 1;
    return true;
  }
  bool ReadBytes(int32_t count, const uint8_t** bytes) {
    if (count < 0 || Left() < count) return false;
    *bytes = fPos;
    fPos += count;
    return true;
  }
  const uint8_t* Position() const { return fPos; }
  void Seek(const uint8_t* position) { fPos = position; }

 private:
  const uint8_t* fPos;
  const uint8_t* fEnd;
};

}  // namespace

StringSet::StringSet()
    : fResFile(nullptr), fID(0), fType(0), fTextForm(0), fLanguage(kLanguageEnglish) {}

StringSet::~StringSet() = default;

StringSet& StringSet::operator=(const StringSet& source) {
  if (this == &source) return *this;
  int32_t count = source.Count(-1);
  for (int32_t i = 1; i <= count; i++) {
    SetString(static_cast<uint32_t>(i), source.GetString(i, -1), -1);
    const char* comment = source.GetComment(i, -1);
    SetComment(i, comment != nullptr ? comment : "", -1);
  }
  while (Count(-1) > count) RemoveString(static_cast<uint32_t>(Count(-1)), -1);
  fName.assign(source.fName);
  fResFile = nullptr;
  fID = 0;
  fType = 0;
  return *this;
}

void StringSet::Init(iResFile* file, uint16_t id, uint32_t type, uint8_t textForm, int8_t language) {
  XASSERT(language < kMaxLanguages, "Illegal language specified.");
  fResFile = file;
  fID = id;
  fType = type;
  fTextForm = textForm;
  fLanguage = (language < 0 || language >= kMaxLanguages) ? kLanguageEnglish : language;
}

int32_t StringSet::Load(iResFile* file, uint16_t id, uint8_t allLanguages) {
  Init(file, id, kStringSetType, 0, -1);
  int32_t result = Read(allLanguages, 1);
  if (result != 0) {
    Init(file, id, kTextStringSetType, 1, -1);
    result = Read(allLanguages, 1);
  }
  return result;
}

int32_t StringSet::Save(iResFile* file, uint16_t id) {
  Init(file, id, kStringSetType, 0, fLanguage);
  return Write();
}

int8_t StringSet::UseLanguage(int8_t language) const {
  int8_t useLang = language < 0 ? fLanguage : language;
  XASSERT(useLang < kMaxLanguages, "Illegal language specified.");
  return useLang < kMaxLanguages ? useLang : -1;
}

int32_t StringSet::Count(int8_t language) const {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return 0;
  return static_cast<int32_t>(fLanguages[useLang].size());
}

const char* StringSet::GetString(int32_t index, int8_t language) const {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0 || index < 1 || index > Count(useLang)) return nullptr;
  return fLanguages[useLang][static_cast<size_t>(index - 1)].text.c_str();
}

const char* StringSet::GetComment(int32_t index, int8_t language) const {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0 || index < 1 || index > Count(useLang)) return nullptr;
  const Entry& e = fLanguages[useLang][static_cast<size_t>(index - 1)];
  return e.hasComment ? e.comment.c_str() : nullptr;
}

int8_t StringSet::GetOrigin(int32_t index, int8_t language) const {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0 || index < 1 || index > Count(useLang)) return -1;
  return fLanguages[useLang][static_cast<size_t>(index - 1)].origin;
}

void StringSet::SetString(uint32_t index, const char* text, int8_t language) {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return;
  std::vector<Entry>& list = fLanguages[useLang];
  if (index < 1 || index > list.size() + 1) {
    XASSERT(false, "bad index");
    return;
  }
  if (index == list.size() + 1) list.emplace_back();
  Entry& e = list[index - 1];
  e.text.assign(text != nullptr ? text : "");
  e.origin = useLang;
}

void StringSet::InsertString(uint32_t index, const char* text, int8_t language) {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return;
  std::vector<Entry>& list = fLanguages[useLang];
  if (index < 1) index = 1;
  if (index > list.size() + 1) index = static_cast<uint32_t>(list.size() + 1);
  list.insert(list.begin() + (index - 1), Entry());
  SetString(index, text, useLang);
}

void StringSet::RemoveString(uint32_t index, int8_t language) {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return;
  std::vector<Entry>& list = fLanguages[useLang];
  if (index < 1 || index > list.size()) {
    XASSERT(false, "removing non-existent string");
    return;
  }
  list.erase(list.begin() + (index - 1));
}

void StringSet::SetComment(int32_t index, const char* text, int8_t language) {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return;
  if (index < 1 || index > Count(useLang)) {
    XASSERT(Count(useLang) == 0, "bad index");
    return;
  }
  Entry& e = fLanguages[useLang][static_cast<size_t>(index - 1)];
  e.hasComment = text != nullptr;
  e.comment.assign(text != nullptr ? text : "");
}

void StringSet::ClearLanguage(int8_t language) {
  int8_t useLang = UseLanguage(language);
  if (useLang < 0) return;
  fLanguages[useLang].clear();
}

void StringSet::Clear() {
  for (auto& list : fLanguages) list.clear();
}

const char* StringSet::FindString(int32_t index, int8_t* languageOut) const {
  for (int8_t lang = 0; lang < kMaxLanguages; lang++) {
    const char* text = GetString(index, lang);
    if (text != nullptr) {
      if (languageOut != nullptr) *languageOut = lang;
      return text;
    }
  }
  return nullptr;
}

void StringSet::InsertWithEnglish(uint32_t index, const char* text, const char* comment,
                                  bool hasComment) {
  int8_t langs[2] = {fLanguage, kLanguageEnglish};
  int n = fLanguage != kLanguageEnglish ? 2 : 1;
  for (int i = 0; i < n; i++) {
    InsertString(index, text, langs[i]);
    if (hasComment) SetComment(static_cast<int32_t>(index), comment, langs[i]);
  }
}

int32_t StringSet::Read(uint8_t allLanguages, uint8_t fallBack) {
  if (fResFile == nullptr || !fResFile->ValidFile()) return -1;
  fName.clear();
  Clear();

  MHandle* handle = fResFile->GetResource(fType, fID, fTextForm ? nullptr : StringSetSwizzle);
  if (handle == nullptr) {
    int32_t err = fResFile->GetError();
    return err != noErr ? err : noSuchResourceErr;
  }
  fResFile->GetResName(handle, fName);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(HLock(handle));
  XASSERT(data != nullptr, "could not lock string handle");
  int32_t result = data != nullptr ? Parse(data, HGetSize(handle), allLanguages, fallBack)
                                   : static_cast<int32_t>(badHandleErr);
  if (data != nullptr) HUnlock(handle);
  if (result != noErr) Clear();
  fResFile->DetachAndDispose(handle);
  if (result != noErr) return result;
  if (fResFile->GetError() != noErr) return fResFile->GetError();

  if (allLanguages) {
    int32_t english = Count(kLanguageEnglish);
    for (int8_t lang = 1; lang < kMaxLanguages; lang++) {
      if (Count(lang) != 0) continue;
      for (int32_t i = 1; i <= english; i++) {
        SetString(static_cast<uint32_t>(i), GetString(i, kLanguageEnglish), lang);
        fLanguages[lang][static_cast<size_t>(i - 1)].origin = kLanguageEnglish;
      }
    }
  }
  return noErr;
}

// Parses the stored bytes into the set; shortReadErr when a count or string runs past the end,
// or an entry names a language that does not exist.
int32_t StringSet::Parse(const uint8_t* data, int32_t size, uint8_t allLanguages,
                         uint8_t fallBack) {
  ByteReader in(data, size);

  if (fTextForm) {
    // A string is the run between an opening '^' and the next '^'; an unclosed one is dropped.
    uint32_t index = 1;
    const uint8_t* end = data + size;
    const uint8_t* p = data;
    while (p < end) {
      const uint8_t* open = static_cast<const uint8_t*>(memchr(p, '^', static_cast<size_t>(end - p)));
      if (open == nullptr) break;
      const uint8_t* close =
          static_cast<const uint8_t*>(memchr(open + 1, '^', static_cast<size_t>(end - open - 1)));
      if (close == nullptr) break;
      std::string text(reinterpret_cast<const char*>(open + 1), static_cast<size_t>(close - open - 1));
      InsertWithEnglish(index++, text.c_str(), nullptr, false);
      p = close + 1;
    }
    return noErr;
  }

  int16_t form = 0;
  if (!in.ReadI16(&form)) return size == 0 ? noErr : static_cast<int32_t>(shortReadErr);

  if (form == -1 || form == -2) {
    int16_t count = 0;
    if (!in.ReadI16(&count) || count < 0) return shortReadErr;
    // Every string takes at least its NUL: a count past the bytes left is refused up front.
    if (int32_t(count) * (form == -2 ? 2 : 1) > in.Left()) return shortReadErr;
    for (int32_t k = 1; k <= count; k++) {
      const char* text = nullptr;
      const char* comment = nullptr;
      if (!in.ReadCString(&text)) return shortReadErr;
      if (form == -2 && !in.ReadCString(&comment)) return shortReadErr;
      InsertWithEnglish(static_cast<uint32_t>(k), text, comment, form == -2);
    }
    return noErr;
  }

  if (form == -3) {
    int16_t count = 0;
    if (!in.ReadI16(&count) || count < 0) return shortReadErr;
    if (int32_t(count) * 3 > in.Left()) return shortReadErr;
    const uint8_t* entries = in.Position();
    // A run of entries of one language is numbered from index 1 again, so it goes before the
    // runs of that language read earlier. The runs are gathered first and put together once,
    // the last run first: many short runs cost no more than one long one.
    std::vector<Entry> taken[kMaxLanguages];
    std::vector<size_t> runStarts[kMaxLanguages];
    int32_t previous = -1;
    for (int32_t k = 0; k < count; k++) {
      uint8_t code = 0;
      const char* text = nullptr;
      const char* comment = nullptr;
      if (!in.ReadU8(&code) || !in.ReadCString(&text) || !in.ReadCString(&comment)) {
        return shortReadErr;
      }
      int32_t nLanguage = int32_t(code) - 1;
      XASSERT(nLanguage >= kLanguageEnglish && nLanguage < kMaxLanguages,
              "Illegal Language Specifier");
      if (nLanguage < kLanguageEnglish || nLanguage >= kMaxLanguages) return shortReadErr;
      const bool newRun = nLanguage != previous;
      previous = nLanguage;
      if (nLanguage == fLanguage || allLanguages) {
        if (newRun) runStarts[nLanguage].push_back(taken[nLanguage].size());
        Entry entry;
        entry.text = text;
        entry.comment = comment;
        entry.hasComment = true;
        entry.origin = static_cast<int8_t>(nLanguage);
        taken[nLanguage].push_back(std::move(entry));
      }
    }
    for (int32_t lang = 0; lang < kMaxLanguages; lang++) {
      if (taken[lang].empty()) continue;
      std::vector<Entry>& list = fLanguages[lang];
      std::vector<Entry> joined;
      joined.reserve(taken[lang].size() + list.size());
      size_t end = taken[lang].size();
      for (size_t r = runStarts[lang].size(); r-- > 0;) {
        for (size_t i = runStarts[lang][r]; i < end; i++) joined.push_back(std::move(taken[lang][i]));
        end = runStarts[lang][r];
      }
      for (Entry& entry : list) joined.push_back(std::move(entry));
      list.swap(joined);
    }
    if (Count(fLanguage) == 0 && fallBack) {
      // Every entry was checked in the first pass, so this pass cannot run off the data.
      in.Seek(entries);
      uint32_t index = 1;
      for (int32_t k = 0; k < count; k++) {
        uint8_t code = 0;
        const char* text = nullptr;
        const char* comment = nullptr;
        in.ReadU8(&code);
        in.ReadCString(&text);
        in.ReadCString(&comment);
        if (code != 1) continue;
        SetString(index, text, fLanguage);
        SetComment(static_cast<int32_t>(index), comment, fLanguage);
        index++;
      }
    }
    return noErr;
  }

  // Any other value: that many length-prefixed strings.
  if (form > in.Left()) return shortReadErr;
  for (int32_t k = 1; k <= form; k++) {
    uint8_t length = 0;
    const uint8_t* bytes = nullptr;
    if (!in.ReadU8(&length) || !in.ReadBytes(length, &bytes)) return shortReadErr;
    std::string text(reinterpret_cast<const char*>(bytes), length);
    for (char& c : text) {
      if (static_cast<uint8_t>(c) == 0xA1) c = 'o';
      if (static_cast<uint8_t>(c) == 0xD5) c = '\'';
    }
    InsertWithEnglish(static_cast<uint32_t>(k), text.c_str(), nullptr, false);
  }
  return noErr;
}

int32_t StringSet::Write() {
  if (fResFile == nullptr || !fResFile->ValidFile()) return -1;

  StringSet merged;
  merged.Init(fResFile, fID, fType, 0, fLanguage);
  merged.Read(1, 1);  // a missing (or unreadable) stored set leaves it empty

  int32_t count = Count(-1);
  for (int32_t i = 1; i <= count; i++) {
    merged.SetString(static_cast<uint32_t>(i), GetString(i, -1), fLanguage);
    const char* comment = GetComment(i, -1);
    if (comment != nullptr) merged.SetComment(i, comment, fLanguage);
  }
  // Comments are shared: every language takes the English comment.
  for (int32_t i = 1; i <= count; i++) {
    for (int8_t lang = 1; lang < kMaxLanguages; lang++) {
      if (i <= merged.Count(lang)) merged.SetComment(i, merged.GetComment(i, 0), lang);
    }
  }
  // Every language is padded to the English count with copies of English.
  int32_t english = merged.Count(kLanguageEnglish);
  for (int8_t lang = 1; lang < kMaxLanguages; lang++) {
    for (int32_t j = merged.Count(lang) + 1; j <= english; j++) {
      merged.SetString(static_cast<uint32_t>(j), merged.GetString(j, 0), lang);
      merged.fLanguages[lang][static_cast<size_t>(j - 1)].origin = kLanguageEnglish;
      const char* comment = merged.GetComment(j, 0);
      if (comment != nullptr) merged.SetComment(j, comment, lang);
    }
  }
  // A language holding nothing but copies of English is not stored.
  for (int8_t lang = 1; lang < kMaxLanguages; lang++) {
    bool own = false;
    for (const Entry& e : merged.fLanguages[lang]) own = own || e.origin != 0;
    if (!own) merged.ClearLanguage(lang);
  }

  int64_t total = 0;
  int64_t bytes = 4;
  for (const auto& list : merged.fLanguages) {
    for (const Entry& e : list) {
      total++;
      bytes += int64_t(strlen(e.text.c_str())) + int64_t(strlen(e.comment.c_str())) + 4;
    }
  }
  // The stored count is 16 bits.
  if (total > 32767 || bytes > INT32_MAX) return unsupportedErr;

  MHandle* handle = HAlloc(static_cast<uint32_t>(bytes));
  if (handle == nullptr) return MemError() != noErr ? MemError() : static_cast<int32_t>(outOfMemoryErr);
  uint8_t* out = reinterpret_cast<uint8_t*>(HLock(handle));
  int16_t header[2] = {-3, static_cast<int16_t>(total)};
  memcpy(out, header, 4);
  uint8_t* p = out + 4;
  for (int8_t lang = 0; lang < kMaxLanguages; lang++) {
    for (const Entry& e : merged.fLanguages[lang]) {
      *p++ = static_cast<uint8_t>(lang + 1);
      size_t t = strlen(e.text.c_str()) + 1;
      memcpy(p, e.text.c_str(), t);
      p += t;
      size_t c = strlen(e.comment.c_str()) + 1;
      memcpy(p, e.comment.c_str(), c);
      p += c;
    }
  }
  HUnlock(handle);

  if (fType == 0 || fType == kTextStringSetType) fType = kStringSetType;
  fResFile->AddResource(handle, fType, fID, fName, true);
  int32_t err = fResFile->GetError();
  if (err != noErr) {
    HFree(handle);  // the file did not take it
    return err;
  }
  fResFile->WriteResource(handle);
  err = fResFile->GetError();
  if (err != noErr) return err;  // the file keeps the data and writes it again at update
  fResFile->DetachAndDispose(handle);
  return fResFile->GetError();
}

int32_t AnimTable::Load(iResFile* file, uint16_t id) {
  StringSet stored;
  int32_t result = stored.Load(file, id, 0);
  if (result != 0) return result;
  int32_t count = stored.Count(-1);
  for (int32_t i = 1; i <= count; i++) {
    const char* mine = GetString(i, -1);
    if (mine != nullptr && mine[0] != 0) continue;
    while (Count(-1) < i - 1) SetString(static_cast<uint32_t>(Count(-1) + 1), "", -1);
    std::string text(stored.GetString(i, -1));
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    SetString(static_cast<uint32_t>(i), text.c_str(), -1);
  }
  return noErr;
}
