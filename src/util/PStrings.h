// Length-prefixed strings: a length byte (0..255) followed by that many characters, with
// no terminator.
#pragma once

#include <cstdint>

#include "StringBuffer.h"

// Appends the characters of `pstring` to `buffer` (cut to fit).
void AppendPString(const uint8_t* pstring, StringBuffer& buffer);

// Empties `buffer`, then appends the characters of `pstring`.
void PStringToBuffer(const uint8_t* pstring, StringBuffer& buffer);

// Stores the text of `buffer` into `pstring`, which holds 256 bytes. A text of 256
// characters or more raises "string too long" and is cut to 255 characters.
void BufferToPString(const StringBuffer& buffer, uint8_t* pstring);
