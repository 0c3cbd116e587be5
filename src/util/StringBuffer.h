// Strings of fixed capacity that never allocate. StringBuffer works over storage that its
// owner supplies; FixedStringBuffer<N> carries N bytes of storage inline. Text that does
// not fit is cut (with the assertion "append losing characters"), never overflowed.
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>

class StringBuffer {
 public:
  // Binds `storage` of `capacity` bytes (including the NUL; must be above 0) and empties it.
  StringBuffer(char* storage, int32_t capacity);

  // A StringBuffer cannot be copied into being: it has no storage of its own.
  StringBuffer(const StringBuffer&) = delete;

  // Copies the other's text into this string's own storage (cut to fit).
  StringBuffer& operator=(const StringBuffer& other) {
    assign(other);
    return *this;
  }

  int32_t capacity() const { return fCapacity; }
  int32_t length() const;  // Characters before the NUL.
  void clear() { fStorage[0] = 0; }
  const char* c_str() const { return fStorage; }
  // Writable text; callers that write into it keep the NUL within the capacity.
  char* buffer() { return fStorage; }

  void assign(const char* text);
  void assign(const StringBuffer& other);

  // Appends `count` characters of `text` (all of it when count is negative; fewer when a
  // NUL comes first). A null text appends nothing. What does not fit is dropped.
  void append(const char* text, int32_t count = -1);
  void append(const StringBuffer& other, int32_t count = -1);
  void append(char c);
  void append(int32_t value);                 // "%d"
  void append(int32_t value, int32_t width);  // zero-padded to `width`, as "%0<width>d"

  int32_t compare(const StringBuffer& other) const;  // strcmp of the two texts
  int32_t compare_nocase(const StringBuffer& other) const;
  // Compares with A-Z folded to a-z; an equal prefix orders the shorter text first.
  int32_t compare_nocase(const char* text, int32_t textLength) const;

  // The character at `index`; 0 (with the assertion "accessing string past length") when
  // the index is negative or at or past the length.
  char operator[](int32_t index) const;

  int32_t to_lower();  // Folds A-Z to a-z in place; returns the length.

  // First index at or after `start` where `text` occurs, -1 if none.
  int32_t find(const char* text, int32_t start = 0) const;
  int32_t find_nocase(const char* text, int32_t start = 0) const;

 protected:
  // Rebinds to new storage keeping nothing; used by FixedStringBuffer's copy.
  StringBuffer(char* storage, int32_t capacity, bool) : fStorage(storage), fCapacity(capacity) {
    fStorage[0] = 0;
  }

 private:
  int32_t find_impl(const char* text, int32_t start, bool fold) const;

  char* fStorage;
  int32_t fCapacity;
};

template <int32_t N>
class FixedStringBuffer : public StringBuffer {
  static_assert(N > 0, "a FixedStringBuffer needs room for its NUL");

 public:
  FixedStringBuffer() : StringBuffer(fText, N) {}
  FixedStringBuffer(const char* text) : StringBuffer(fText, N) { append(text); }
  FixedStringBuffer(const StringBuffer& other) : StringBuffer(fText, N) { append(other); }
  // A copy holds its own copy of the text, in its own storage.
  FixedStringBuffer(const FixedStringBuffer& other) : StringBuffer(fText, N, true) { append(other); }

  FixedStringBuffer& operator=(const StringBuffer& other) {
    assign(other);
    return *this;
  }
  FixedStringBuffer& operator=(const FixedStringBuffer& other) {
    assign(other);
    return *this;
  }
  FixedStringBuffer& operator=(const char* text) {
    assign(text);
    return *this;
  }

 private:
  char fText[N];
};
