// The file library's growable string: paths, names and debug lines of the file manager and the
// archive reader. One standard string inside, with slicing, case changes, trimming, searching
// and printf-style formatting. Results that are strings are new values; case changes, trims,
// assignments and appends change the string itself.
// Positions and lengths are unsigned 32-bit; kNotFound (all bits set) means nothing was found.
// Not thread-safe: one owner at a time.
#ifndef FILELIB_VORNSTRING_H
#define FILELIB_VORNSTRING_H

#include <cstdarg>
#include <cstdint>
#include <string>

class VornString {
 public:
  static constexpr uint32_t kNotFound = 0xFFFFFFFFu;

  VornString();
  VornString(const char* text);  // null gives the empty string
  VornString(const std::string& text);
  // `count` characters of `other` from `first` (kNotFound: the rest); cut at the end.
  VornString(const VornString& other, uint32_t first, uint32_t count = kNotFound);
  VornString(const char* text, uint32_t length);
  VornString(const VornString& other) = default;
  virtual ~VornString();

  VornString& operator=(const VornString& other) = default;
  VornString& operator=(const char* text);
  VornString& operator=(const std::string& text);

  // The first `n` characters of `text` become the string (all of them when n is larger).
  void AssignLeft(const char* text, uint32_t n);
  void Append(const VornString& other);
  // Appends the first `n` characters of `text` (all of them when n is larger).
  void AppendLeft(const char* text, uint32_t n);
  VornString operator+(const VornString& other) const;

  // The first / last `n` characters; the whole string when n exceeds the length.
  VornString Left(uint32_t n) const;
  VornString Right(uint32_t n) const;
  // At most `count` characters from `first`; empty when first exceeds the length.
  VornString Mid(uint32_t first, uint32_t count) const;

  // The string is at least `n` long and its first / last n characters equal text's first n.
  // n = 0 gives true.
  bool StartsWith(const char* text, uint32_t n) const;
  bool EndsWith(const char* text, uint32_t n) const;

  // Change A-Z / a-z in place; return the string itself.
  VornString& MakeLower();
  VornString& MakeUpper();

  // Remove leading / trailing ' ' characters (tabs and line breaks stay). Trim does both
  // through the virtual operations.
  virtual void TrimLeft();
  virtual void TrimRight();
  virtual void Trim();

  // First position at or after `first` where text's first `n` characters occur, or kNotFound
  // (also for an empty string, n = 0, or `first` at or past the end).
  uint32_t Find(const char* text, uint32_t first, uint32_t n) const;
  // First position at or after `first` of `c`, or kNotFound.
  uint32_t FindChar(char c, uint32_t first) const;

  // Splits at the first occurrence of `separator`: `out` takes what stands before it and the
  // string keeps what follows it. A null or empty separator copies the whole string into
  // `out`; a separator that is not found empties `out`. In both cases the string is unchanged.
  VornString& SplitAt(VornString& out, const char* separator);

  // printf-style formatting; the result is always complete, however long.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(const char* format, va_list args);

  const char* GetBuffer() const { return fText.c_str(); }
  uint32_t GetLength() const { return static_cast<uint32_t>(fText.size()); }
  const std::string& str() const { return fText; }

  // Plain byte order, for map keys.
  bool operator<(const VornString& other) const { return fText < other.fText; }
  bool operator==(const VornString& other) const { return fText == other.fText; }
  bool operator!=(const VornString& other) const { return fText != other.fText; }

 private:
  std::string fText;
};

#endif  // FILELIB_VORNSTRING_H
