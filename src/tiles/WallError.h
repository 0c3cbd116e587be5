// The exception of the tile makers: a constant message and the status of the operation that
// failed (a compressor result or a resource-file error). Every maker catches it itself and
// prints it with PrintWallError; it never leaves a maker.
#pragma once

#include <cstdint>

struct WallError {
  const char* fMessage;  // a string constant
  int32_t fCode;
};

[[noreturn]] void ThrowWallError(const char* message, int32_t code);

// Prints "<message> : <code>\n" on the standard error stream.
void PrintWallError(const WallError& error);
