// What the build stages share: the writable check made before a stage writes to the object
// file, and the refusal of a stage that this build of the program does not have yet.
#pragma once

class iResFile;

// Ends the build with "object file not writable...did you check it out of SourceSafe?" when
// the object file was opened read-only.
void CheckWritable(iResFile* file);

// Ends the build with "<option>: this stage is not built yet" (never a silent success).
[[noreturn]] void StageNotBuilt(const char* option);
