#include "StringBuffer.h"

#include <cstdio>
#include <cstring>

#include "XAssert.h"

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

StringBuffer::StringBuffer(char* storage, int32_t capacity) : fStorage(storage), fCapacity(capacity) {
  XASSERT(fCapacity > 0, "bad capacity");
  if (fCapacity > 0) fStorage[0] = 0;
}

int32_t StringBuffer::length() const { return static_cast<int32_t>(std::strlen(fStorage)); }

void StringBuffer::assign(const char* text) {
  if (text == fStorage) return;  // assigning a string to itself keeps it
  clear();
  append(text);
}

void StringBuffer::assign(const StringBuffer& other) { assign(other.c_str()); }

void StringBuffer::append(const char* text, int32_t count) {
  if (!text || fCapacity <= 0) return;
  int32_t myLen = length();
  int32_t take;
  if (count < 0) {
    take = static_cast<int32_t>(std::strlen(text));
  } else {
    const void* nul = std::memchr(text, 0, static_cast<size_t>(count));
    take = nul ? static_cast<int32_t>(static_cast<const char*>(nul) - text) : count;
  }
  if (static_cast<int64_t>(myLen) + take >= fCapacity) {
    XASSERT(false, "append losing characters");
    take = fCapacity - myLen - 1;
  }
  XASSERT(myLen + take < fCapacity, "logic error. overwriting buffer");
  std::memmove(fStorage + myLen, text, static_cast<size_t>(take));
  fStorage[myLen + take] = 0;
}

void StringBuffer::append(const StringBuffer& other, int32_t count) {
  // Also right for a string appended to itself: the characters taken lie before the end.
  append(other.c_str(), count);
}

void StringBuffer::append(char c) {
  char text[2] = {c, 0};
  append(text);
}

void StringBuffer::append(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  append(text);
}

void StringBuffer::append(int32_t value, int32_t width) {
  // Anything wider than the capacity is cut anyway, so the width is bounded by it.
  constexpr int32_t kMaxWidth = 4000;
  if (width > kMaxWidth) width = kMaxWidth;
  char format[16];
  std::snprintf(format, sizeof format, "%%0%dd", width);
  char text[kMaxWidth + 16];
  std::snprintf(text, sizeof text, format, value);
  append(text);
}

int32_t StringBuffer::compare(const StringBuffer& other) const { return std::strcmp(fStorage, other.fStorage); }

int32_t StringBuffer::compare_nocase(const StringBuffer& other) const {
  return compare_nocase(other.c_str(), other.length());
}

int32_t StringBuffer::compare_nocase(const char* text, int32_t textLength) const {
  int32_t myLen = length();
  int32_t n = myLen < textLength ? myLen : textLength;
  for (int32_t i = 0; i < n; ++i) {
    auto a = static_cast<int8_t>(Fold(fStorage[i]));
    auto b = static_cast<int8_t>(Fold(text[i]));
    if (a != b) return a - b;
  }
  return myLen - textLength;
}

char StringBuffer::operator[](int32_t index) const {
  if (index < 0 || index >= length()) {
    XASSERT(false, "accessing string past length");
    return 0;
  }
  return fStorage[index];
}

int32_t StringBuffer::to_lower() {
  int32_t len = length();
  for (int32_t i = 0; i < len; ++i) fStorage[i] = Fold(fStorage[i]);
  return len;
}

int32_t StringBuffer::find(const char* text, int32_t start) const { return find_impl(text, start, false); }

int32_t StringBuffer::find_nocase(const char* text, int32_t start) const { return find_impl(text, start, true); }

int32_t StringBuffer::find_impl(const char* text, int32_t start, bool fold) const {
  if (!text) return -1;
  if (start < 0) start = 0;
  int32_t len = length();
  auto textLen = static_cast<int32_t>(std::strlen(text));
  for (int32_t p = start; p <= len - textLen; ++p) {
    int32_t i = 0;
    for (; i < textLen; ++i) {
      char a = fStorage[p + i];
      char b = text[i];
      if (fold ? Fold(a) != Fold(b) : a != b) break;
    }
    if (i == textLen) return p;
  }
  return -1;
}
