#include "ResourceStages.h"

#include <algorithm>
#include <vector>

#include "BuildStages.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "SoundRecord.h"
#include "SpecSet.h"
#include "offscrn.h"
#include "resfile.h"

namespace {

// Runs `save` on every spec of `list`, in list order.
template <class T, class F>
void ForEach(PtrList<T>& list, F save) {
  for (PtrListIterator<T> it(list); it.Current(); it.Next()) save(*it.Current());
}

}  // namespace

void WriteSoundsStage(SpecSet& specs, iResFile* file) {
  CheckWritable(file);
  // The new sounds are saved first (one of an old sound's id replaces it), and only then are
  // the other old sounds removed: a save that fails ends the build before any old sound is
  // gone. The file ends as if every old sound had been removed first.
  std::vector<uint16_t> saved;
  ForEach(specs.fSounds, [file, &saved](SoundSpec& spec) {
    SoundRecord record;
    record.fId = uint16_t(spec.fId);
    record.fName.assign(spec.fWaveFile);
    if (!record.Save(file)) ThrowObjectFileError(file->GetError() != 0 ? file->GetError() : -1);
    saved.push_back(record.fId);
  });
  for (uint16_t index = 1; index <= uint16_t(file->Count(kSoundRecordType));) {
    MHandle* sound = file->GetIndResource(kSoundRecordType, index);
    int16_t id = 0;
    if (sound != nullptr) file->GetResID(sound, id);
    if (sound == nullptr || file->GetError() != 0) {
      PrintWarning("could not remove all sounds");
      break;
    }
    if (std::find(saved.begin(), saved.end(), uint16_t(id)) != saved.end()) {
      index++;
      continue;
    }
    file->RemoveResource(sound);
    if (file->GetError() != 0) {
      PrintWarning("could not remove all sounds");
      break;
    }
  }
}

void WriteSlotsStage(SpecSet& specs, iResFile* file) {
  CheckWritable(file);
  ForEach(specs.fSlots, [file](SlotsSpec& spec) { spec.Save(file); });
}

void WriteHeadlineStage(SpecSet& specs, iResFile* file, const StringBuffer& paletteFile,
                        const StringBuffer& tgaFile) {
  CheckWritable(file);
  Offscreen colour;
  Offscreen alpha;
  RenderImageFile(&paletteFile, &tgaFile, &colour, &alpha, 0);
  CheckImageRendered(&colour);
  ForEach(specs.fHeadlines, [&](HeadlineSpec& spec) {
    spec.WriteHeadlineSprites(&colour, &alpha, file);
  });
}

void WriteAttributesStage(SpecSet& specs, iResFile* file) {
  CheckWritable(file);
  ForEach(specs.fAttributes, [file](AttrStringSpec& spec) { spec.Save(file); });
}

void WriteSkillsStage(SpecSet& specs, iResFile* file) {
  CheckWritable(file);
  ForEach(specs.fSkillTables, [file](SkillTable& spec) { spec.Save(file); });
}

void WriteCatalogStage(SpecSet& specs, iResFile* file, const StringBuffer& catalogDir) {
  ForEach(specs.fCatalogs, [&](CatalogSpec& spec) { spec.Save(catalogDir, file); });
}

void WriteTreeTableStage(SpecSet& specs) {
  ForEach(specs.fTreeTables, [](TreeTableSpec& spec) { spec.Save(); });
}

void WriteBitmapStage(SpecSet& specs, iResFile* file, const StringBuffer& bitmapDir) {
  ForEach(specs.fBitmaps, [&](BMPResourceSpec& spec) { spec.Save(bitmapDir, file); });
}
