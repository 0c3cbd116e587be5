// The exception of the tile makers: a constant message and the status of the operation that
// failed (a compressor result or a resource-file error). Every maker catches it itself and
// prints it with PrintWallError; it never leaves a maker.
#pragma once

#include <cstdint>

struct WallError {
  const char* fMessage;  // a string constant
  int32_t fCode;
};

// A WallError raised because the object file did not take or write a resource: its code is
// the file's error. A maker prints it like any other and answers the code, so that its stage
// can end the build instead of passing for a success.
struct WallWriteError : WallError {};

[[noreturn]] void ThrowWallError(const char* message, int32_t code);
[[noreturn]] void ThrowWallWriteError(const char* message, int32_t code);

// Prints "<message> : <code>\n" on the standard error stream.
void PrintWallError(const WallError& error);

// A maker's answer when its tile was not made: a WallError was printed and nothing of the
// tile was written. A file's error is negative; 0 means the tile was made and written.
constexpr int32_t kTileNotMade = 1;

// Runs the body of a maker inside its WallError handler: every WallError is printed. The body
// makes every list of its tile before it writes any, and answers true when it wrote them,
// false when one could not be made (its failure already printed). Answers 0 for a tile
// written, kTileNotMade for one not made, or the file's error of a failed write (never 0).
template <class Body>
int32_t RunWallMaker(Body body) {
  try {
    return body() ? 0 : kTileNotMade;
  } catch (const WallWriteError& error) {
    PrintWallError(error);
    return error.fCode != 0 ? error.fCode : -1;
  } catch (const WallError& error) {
    PrintWallError(error);
  }
  return kTileNotMade;
}
