#include "PStrings.h"

#include <cstring>

#include "XAssert.h"

void AppendPString(const uint8_t* pstring, StringBuffer& buffer) {
  if (!pstring) return;
  buffer.append(reinterpret_cast<const char*>(pstring + 1), pstring[0]);
}

void PStringToBuffer(const uint8_t* pstring, StringBuffer& buffer) {
  buffer.clear();
  AppendPString(pstring, buffer);
}

void BufferToPString(const StringBuffer& buffer, uint8_t* pstring) {
  int32_t len = buffer.length();
  if (len >= 256) {
    XASSERT(false, "string too long");
    len = 255;
  }
  pstring[0] = static_cast<uint8_t>(len);
  std::memcpy(pstring + 1, buffer.c_str(), static_cast<size_t>(len));
}
