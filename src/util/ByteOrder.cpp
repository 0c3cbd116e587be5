#include "ByteOrder.h"

#include <algorithm>
#include <bit>

uint8_t IsLittleEndianHost() {
  return std::endian::native == std::endian::little ? 1 : 0;
}

void SwapBytes16(void* value) {
  auto* b = static_cast<uint8_t*>(value);
  uint8_t t = b[0];
  b[0] = b[1];
  b[1] = t;
}

void SwapBytes32(void* value) {
  auto* b = static_cast<uint8_t*>(value);
  std::reverse(b, b + 4);
}

void SwapBytes64(void* value) {
  auto* b = static_cast<uint8_t*>(value);
  std::reverse(b, b + 8);
}

void SwapRect(void* rect) {
  auto* b = static_cast<uint8_t*>(rect);
  for (int i = 0; i < 4; ++i) SwapBytes16(b + 2 * i);
}
