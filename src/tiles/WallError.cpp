#include "WallError.h"

#include <cstdio>

void ThrowWallError(const char* message, int32_t code) { throw WallError{message, code}; }

void ThrowWallWriteError(const char* message, int32_t code) {
  throw WallWriteError{{message, code}};
}

void PrintWallError(const WallError& error) {
  std::fprintf(stderr, "%s : %d\n", error.fMessage ? error.fMessage : "", error.fCode);
}
