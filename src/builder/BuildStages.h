// What the build stages share: the writable check made before a stage writes to the object
// file, the end of a build whose writes did not reach the object file, and the refusal of a
// stage that this build of the program does not have yet.
#pragma once

#include <cstdint>

class iResFile;

// Ends the build with "object file <path> is read-only" when
// the object file was opened read-only.
void CheckWritable(iResFile* file);

// Ends the build with "could not write object file <path> (error <code>)": something the
// build meant to store was not taken or written by the object file. The path is the current
// builder's object file (left out when no build runs).
[[noreturn]] void ThrowObjectFileError(int32_t error);
// ThrowObjectFileError(error) unless `error` is 0.
void CheckObjectFileWrite(int32_t error);

// Ends the build with "<option>: this stage is not built yet" (never a silent success).
[[noreturn]] void StageNotBuilt(const char* option);
