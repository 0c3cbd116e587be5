#include "VornString.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "VornReport.h"

namespace {

// Length of `text` but at most `n`, without reading past a NUL.
uint32_t BoundedLength(const char* text, uint32_t n) {
  if (!text) return 0;
  const void* nul = std::memchr(text, 0, n);
  return nul ? static_cast<uint32_t>(static_cast<const char*>(nul) - text) : n;
}

}  // namespace

VornString::VornString() = default;

VornString::VornString(const char* text) : fText(text ? text : "") {}

VornString::VornString(const std::string& text) : fText(text) {}

VornString::VornString(const VornString& other, uint32_t first, uint32_t count) {
  if (first < other.fText.size()) fText = other.fText.substr(first, count);
}

VornString::VornString(const char* text, uint32_t length) {
  if (text) fText.assign(text, length);
}

VornString::~VornString() = default;

VornString& VornString::operator=(const char* text) {
  fText = text ? text : "";
  return *this;
}

VornString& VornString::operator=(const std::string& text) {
  fText = text;
  return *this;
}

void VornString::AssignLeft(const char* text, uint32_t n) {
  fText.assign(text ? text : "", BoundedLength(text, n));
}

void VornString::Append(const VornString& other) { fText += other.fText; }

void VornString::AppendLeft(const char* text, uint32_t n) {
  if (text) fText.append(text, BoundedLength(text, n));
}

VornString VornString::operator+(const VornString& other) const { return VornString(fText + other.fText); }

VornString VornString::Left(uint32_t n) const { return VornString(fText.substr(0, n)); }

VornString VornString::Right(uint32_t n) const {
  if (n >= fText.size()) return *this;
  return VornString(fText.substr(fText.size() - n));
}

VornString VornString::Mid(uint32_t first, uint32_t count) const {
  if (first >= fText.size()) return VornString();
  return VornString(fText.substr(first, count));
}

bool VornString::StartsWith(const char* text, uint32_t n) const {
  if (n > fText.size()) return false;
  if (n == 0) return true;
  return text && BoundedLength(text, n) == n && fText.compare(0, n, text, n) == 0;
}

bool VornString::EndsWith(const char* text, uint32_t n) const {
  if (n > fText.size()) return false;
  if (n == 0) return true;
  return text && BoundedLength(text, n) == n && fText.compare(fText.size() - n, n, text, n) == 0;
}

VornString& VornString::MakeLower() {
  for (char& c : fText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return *this;
}

VornString& VornString::MakeUpper() {
  for (char& c : fText) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return *this;
}

void VornString::TrimLeft() { fText.erase(0, fText.find_first_not_of(' ')); }

void VornString::TrimRight() {
  size_t last = fText.find_last_not_of(' ');
  fText.erase(last == std::string::npos ? 0 : last + 1);
}

void VornString::Trim() {
  TrimLeft();
  TrimRight();
}

uint32_t VornString::Find(const char* text, uint32_t first, uint32_t n) const {
  if (fText.empty() || n == 0 || !text || first >= fText.size()) return kNotFound;
  n = BoundedLength(text, n);
  if (n == 0) return kNotFound;
  size_t at = fText.find(text, first, n);
  return at == std::string::npos ? kNotFound : static_cast<uint32_t>(at);
}

uint32_t VornString::FindChar(char c, uint32_t first) const {
  if (first >= fText.size()) return kNotFound;
  size_t at = fText.find(c, first);
  return at == std::string::npos ? kNotFound : static_cast<uint32_t>(at);
}

VornString& VornString::SplitAt(VornString& out, const char* separator) {
  if (!separator || !*separator) {
    out = *this;
    return out;
  }
  size_t at = fText.find(separator);
  if (at == std::string::npos) {
    out = VornString();
    return out;
  }
  out = VornString(fText.substr(0, at));
  fText.erase(0, at + std::strlen(separator));
  return out;
}

void VornString::Format(const char* format, ...) {
  VORN_REPORT(format != nullptr, "lpszFormat != 0");
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void VornString::FormatV(const char* format, va_list args) {
  VORN_REPORT(format != nullptr, "lpszFormat");
  if (!format) return;
  // The C library measures the result, so the buffer always holds all of it.
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    fText.clear();
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  fText.assign(buffer.data(), static_cast<size_t>(length));
}
