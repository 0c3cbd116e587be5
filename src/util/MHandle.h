// Memory handles: the unit in which resource data travels through the system. Each handle
// is a heap block with 512-byte guard areas on both sides of the user bytes, a nesting lock
// count and a serial number, and is kept in a process-wide list of live handles, so that
// overwrites, bad frees and resizes of locked handles are caught by assertions and reported
// through MemError. Failures never throw.
//
// Thread rules: the live list is guarded, so handles may be made and freed from any thread;
// one handle is used by one thread at a time. MemError is process-wide.
#pragma once

#include <cstdint>
#include <cstdio>

struct MHandle;

// Error codes of MemError.
constexpr int32_t kMemNoErr = 0;
constexpr int32_t kMemLockedErr = -198;     // resize refused: the handle is locked
constexpr int32_t kMemBadHandleErr = -199;  // not a live handle
constexpr int32_t kMemFullErr = -200;       // no block of that size

// Guard bytes on each side of the user bytes.
constexpr int32_t kMHandleGuardSize = 512;

// Allocates a handle of `size` user bytes (filled with 0xA3). Null, with MemError -200,
// when the heap does not supply the block or the size cannot be represented.
MHandle* HAlloc(uint32_t size);

// Checks the guards (reporting an overwrite), poisons and releases the handle. A handle
// that is not live is left untouched and gives -199.
void HFree(MHandle* handle);

// Adds one to the lock count and returns the first user byte; null (MemError -199) for a
// handle that is not live or has no block. Valid until the handle is resized or freed.
char* HLock(MHandle* handle);

// Takes one from the lock count. Unlocking an unlocked handle is reported and leaves the
// count at 0.
void HUnlock(MHandle* handle);

// The number of user bytes; 0 (MemError -199) for a handle that is not live.
int32_t HGetSize(MHandle* handle);

// Resizes an unlocked handle, keeping the user bytes up to the smaller size; bytes past the
// old size are unspecified. Returns 0, -198 for a locked handle (left as it was), -199 for
// a handle that is not live, -200 when no block of that size is available (the handle
// keeps its old block and size).
int32_t HSetSize(MHandle* handle, uint32_t size);

bool IsMHandleLocked(MHandle* handle);  // The lock count is at least 1.

// True when the handle is live and can be locked; otherwise reports "handle not a member"
// and sets -199.
bool IsValidMHandle(MHandle* handle);

// Locks a handle that must not be locked already (reported when it is).
char* StashMHandle(MHandle* handle);

// True when both guard areas are intact.
bool CheckMHandleGuards(MHandle* handle);

// Moves `count` bytes from `source` to `destination`; the ranges may overlap. A negative
// count moves nothing.
void BlockMove(const void* source, void* destination, int32_t count);

// Fills `count` bytes at `destination` with `value`.
void FillBlock(void* destination, int32_t count, uint8_t value);

// True when the `count` bytes at `a` and `b` are equal.
bool EqualBlocks(const void* a, const void* b, int32_t count);

// The last error of a handle operation (0 for none).
int32_t MemError();

// Writes the live handles, newest first, to `stream` (nothing for a null stream).
void ReportUndeletedMHandles(FILE* stream);
