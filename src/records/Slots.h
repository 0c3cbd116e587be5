// The slots of an object, resource 'SLOT': the points at which contained objects, headlines
// and sprites, handles and routing places attach. Stored through the reconstitution stream
// (12-byte record header) as a u32 count and then the descriptors, each in the stored order
// of the header's version (0 to 10); the builder writes version 10. Reading an old version
// converts it to the current meaning of the fields (facing, distances in sixteenths).
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class iResFile;
class ReconStream;
class StringSet;

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
  // The bytes one descriptor takes in the stored order of `version` (byte mode).
  static int32_t StoredBytes(int32_t version);
};

// Resource load and save of the list as (kSlotType, id). Save writes version 10. Both return
// 0 or the file's (or the stream's) error; a failed load leaves `slots` empty.
int32_t SaveSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id);
int32_t LoadSlotList(std::vector<SlotDescriptor>& slots, iResFile* file, uint16_t id,
                  uint32_t* versionOut = nullptr);

// --- Typed views of a loaded list ----------------------------------------------------------

// A place for a contained object.
struct SlotContainerPlace {
  float fX = 0;
  float fY = 0;
  float fAlt = 0;
  int32_t fLabelIndex = -1;
  uint16_t fUnused = 0;
  int32_t fHeightCode = 0;
  int32_t fMaxSize = 50;
  int32_t fSurfaceFlags = 0;
};

// A place at which a person stands; fields as in SlotDescriptor.
struct SlotRoutingPlace {
  float fX = 0;
  float fY = 0;
  float fAlt = 0;
  int32_t fLabelIndex = -1;
  int32_t fStanding = 0;
  int32_t fSitting = 0;
  int32_t fGround = 0;
  int32_t fFlags = 0;
  int32_t fTarget = -1;
  int32_t fMin = 16;
  int32_t fMax = 16;
  int32_t fOptimal = 16;
  float fGradient = 0.1875f;
  int32_t fFacing = kSlotFacingDefault;
  int32_t fResolution = 16;

  // Direction d (0 north .. 7 northwest) sets bit 1 << d; another d raises "bad direction".
  void AddFacingDirection(int32_t d);
  void ClearFacingDirections() { fFlags &= ~0xFF; }
  void SetNoRotationSnap() { fFlags |= kSlotNoRotationSnap; }
  // -3, -2 or -1.
  void SetFacing(int32_t facing) { fFacing = facing; }
  // A direction 0 to 7; another raises "bad direction".
  void SetFacingDirection(int32_t d);
  // Index 0 standing, 1 sitting, 2 ground.
  void SetRoutingValue(int32_t index, int32_t value);
  void SetDistances(int32_t min, int32_t max, int32_t optimal);
  // Values in units, stored in sixteenths (truncated).
  void SetDistancesInUnits(float min, float max, float optimal);
};

// The frame animation of a sprite place: 12 ticks a frame.
struct SlotAnimation {
  static constexpr int32_t kTicksPerFrame = 12;
  int32_t fRemainingTicks = 0;
  int32_t fSpriteId = 0;
  int32_t fBase = 0;
  int32_t fFrameCount = 0;
  int32_t fFrame = 0;
  int32_t fStep = 1;
  int32_t fTickCounter = 0;

  // Reverse begins at the last frame with step -1, else at frame 0 with step +1.
  void Start(int32_t base, int32_t spriteId, int32_t frameCount, bool reverse);
  // Sprite -1, one frame, frame 0, step +1.
  void Start(int32_t base);
  // Runs for `ticks` ticks from the start of a frame.
  void SetDuration(int32_t ticks);
  // A duration of frame count x 12 x loops ticks.
  void RunLoops(int32_t loops) { SetDuration(fFrameCount * kTicksPerFrame * loops); }
  // One tick; true when the frame changed.
  bool Tick();
};

// A place for a headline or sprite.
struct SlotSpritePlace {
  float fX = 0;
  float fY = 0;
  float fAlt = 0;
  int32_t fLabelIndex = -1;
  SlotAnimation fAnimation;
};

// Loads ('SLOT', id) of the file and appends a typed view of each descriptor, in stored
// order, to the list of its type (each list may be null): type 0 containers (their height
// code fixes the height), type 3 routing places, type 1 sprite places. Other types raise
// "Unexpected slot type found - may ignore" and are skipped. A missing or unreadable list
// makes no views. Always true.
bool LoadSlots(iResFile* file, uint16_t id, std::vector<SlotContainerPlace>* containers,
               std::vector<SlotRoutingPlace>* routing, std::vector<SlotSpritePlace>* sprites);

// The labels of an object's slots: 'STR#' id of the file, loaded on first use.
class SlotLabels {
 public:
  SlotLabels(iResFile* file, uint16_t id);
  ~SlotLabels();
  // The label at `labelIndex` when it lies in 1..Count of the set, else "".
  void GetLabel(int32_t labelIndex, std::string& out);

 private:
  iResFile* fFile;
  std::unique_ptr<StringSet> fStrings;
  uint16_t fId;
};
