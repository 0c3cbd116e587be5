#include "RsrcType.h"

#include "VornReport.h"

RsrcType::RsrcType(uint32_t code) {
  if (code < 0x100u) {
    fCode = code << 24;
  } else if (code < 0x10000u) {
    fCode = code << 16;
  } else if (code >= 0x1000000u) {
    fCode = code;
  } else {
    fCode = code << 8;
  }
}

RsrcType::RsrcType(const char* text) : fCode(0) {
  if (!text) return;
  for (int i = 0; i < 4 && text[i] != '\0'; ++i)
    fCode |= uint32_t(static_cast<unsigned char>(text[i])) << (24 - 8 * i);
}

void RsrcType::GetChars(char* out) const {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((fCode >> (24 - 8 * i)) & 0xFF);
  out[4] = '\0';
}

void RsrcType::GetExtensionChars(char* out) const {
  for (int i = 0; i < 3; ++i) out[i] = static_cast<char>((fCode >> (24 - 8 * i)) & 0xFF);
  out[3] = '\0';
}

void RsrcType::GetExtension(std::string& out) const {
  if (fCode == 0x2A2A2A2Au) {
    VORN_REPORT(false, "wildcard type '****' has the extension \".*\"");
    out = ".*";
    return;
  }
  char extension[5] = {'.'};
  GetExtensionChars(extension + 1);
  out.assign(extension);  // stops at the first NUL: a one-character code reads as two characters
}
