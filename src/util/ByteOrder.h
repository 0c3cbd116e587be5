// Byte-order helpers. Resource headers are stored big-endian and swapped in place on this
// little-endian host; each record's own data order is part of that record's format.
#pragma once

#include <cstdint>

// 1 on a little-endian host (this one), 0 otherwise.
uint8_t IsLittleEndianHost();

// Exchanges the two bytes of the 16-bit value at `value` in place.
void SwapBytes16(void* value);

// Reverses the four bytes of the 32-bit value at `value` in place.
void SwapBytes32(void* value);

// Reverses the eight bytes of the 64-bit value at `value` in place.
void SwapBytes64(void* value);

// Swaps each of the four 16-bit fields of a stored rectangle in place; the fields keep
// their order.
void SwapRect(void* rect);
