// The slots of an object, resource 'SLOT': the points at which contained objects, headlines
// and sprites, handles and routing places attach. Stored through the reconstitution stream
// (12-byte record header) as a u32 count and then the descriptors, each in the stored order
// of the header's version (0 to 10); the builder writes version 10. Reading an old version
// converts it to the current meaning of the fields (facing, distances in sixteenths).
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

class iResFile;
class ReconStream;

// Resource type 'SLOT'.
constexpr uint32_t kSlotType = 0x534C4F54;
// The version the builder writes.
constexpr int32_t kSlotVersion = 10;

// Slot types.
enum : uint16_t {
  kSlotContainer = 0,
  kSlotSprite = 1,
  kSlotHandle = 2,
  kSlotRouting = 3,
};

// Routing flags (the low eight bits are the facing directions north 1 .. northwest 128).
enum : int32_t {
  kSlotNoRotationSnap = 0x100,
  kSlotAbsolute = 0x200,
  kSlotOldFacingDefault = 0x400,  // versions before 9 only
  kSlotIgnoreRooms = 0x800,
  kSlotSnapToDirection = 0x1000,
  kSlotRandom = 0x2000,
  kSlotAltNotRequired = 0x8000,
  kSlotAverageObjectLocation = 0x10000,
};

// Facing values.
enum : int32_t {
  kSlotFacingNotRequired = -3,
  kSlotFacingDefault = -2,
  kSlotFacingOldDefault = -1,
  kSlotFacingOpposite = 4,
};

struct SlotDescriptor {
  uint16_t fType = 0xFFFF;
  float fX = 0;
  float fY = 0;
  float fAlt = 0;
  int32_t fMaxSize = 0;       // contained object: 0 to 100
  int32_t fSurfaceFlags = 0;  // contained object: 1 = surface
  int32_t fHeightCode = 0;    // contained object
  int32_t fStanding = 0;      // routing
  int32_t fSitting = 0;
  int32_t fGround = 0;
  int32_t fFlags = 0;
  int32_t fTarget = -1;
  int32_t fMin = 16;          // routing distances in sixteenths
  int32_t fMax = 16;
  int32_t fOptimal = 16;
  float fGradient = 0.1875f;  // stored divided by 16
  int32_t fFacing = kSlotFacingDefault;
  int32_t fResolution = 16;   // in sixteenths

  // Reads, writes or measures one descriptor in the stored order of `version`. Only reading
  // converts: versions below 9 turn the old facing flags into a facing value, versions below
  // 10 scale the distances to sixteenths (writing an old version leaves the fields alone).
  void Reconstitute(ReconStream& stream, int32_t version);
};

// Resource load and save of the list as (kSlotType, id). Save writes version 10. Both return
// 0 or the file's (or the stream's) error; a failed load leaves `slots` empty.
int32_t SaveSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id);
int32_t LoadSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id,
                  uint32_t* versionOut = nullptr);
