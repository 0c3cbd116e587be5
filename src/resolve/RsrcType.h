// The four-character type code of a loose resource file, and its file extension.
// A plain value; safe to copy between threads.
#ifndef RESOLVE_RSRCTYPE_H
#define RESOLVE_RSRCTYPE_H

#include <cstdint>
#include <string>

// A type code held in one 32-bit integer, first character in the most significant byte.
class RsrcType {
 public:
  // From an integer. Character constants of fewer than four characters come out
  // left-justified: a value below 256 moves up 24 bits, below 0x10000 up 16 bits, below 2^24
  // up 8 bits; a value of 2^24 or more is taken unchanged. 0 stays 0.
  RsrcType(uint32_t code = 0);
  RsrcType(int code) : RsrcType(static_cast<uint32_t>(code)) {}
  // From a text: its first four characters (fewer when shorter), each as an unsigned byte,
  // the first in the most significant byte; bytes without a character are 0. Null gives 0.
  explicit RsrcType(const char* text);
  RsrcType(const RsrcType& other) = default;
  RsrcType& operator=(const RsrcType& other) = default;

  bool operator==(const RsrcType& other) const { return fCode == other.fCode; }
  bool operator!=(const RsrcType& other) const { return fCode != other.fCode; }
  bool operator<(const RsrcType& other) const { return fCode < other.fCode; }
  uint32_t GetCode() const { return fCode; }

  // "." and the code's first three characters, up to the first NUL among them. The
  // wildcard code '****' gives ".*" (with a debug report).
  void GetExtension(std::string& out) const;
  // Writes the four characters (or the first three) and a NUL into `out`, which holds at
  // least 5 (or 4) bytes.
  void GetChars(char* out) const;
  void GetExtensionChars(char* out) const;

 private:
  uint32_t fCode;
};

#endif  // RESOLVE_RSRCTYPE_H
