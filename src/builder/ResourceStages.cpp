#include "ResourceStages.h"

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
  while (file->Count(kSoundRecordType) != 0) {
    MHandle* sound = file->GetIndResource(kSoundRecordType, 1);
    if (sound == nullptr) {
      PrintWarning("could not remove all sounds");
      break;
    }
    file->RemoveResource(sound);
    if (file->GetError() != 0) {
      PrintWarning("could not remove all sounds");
      break;
    }
  }
  ForEach(specs.fSounds, [file](SoundSpec& spec) {
    SoundRecord record;
    record.fId = uint16_t(spec.fId);
    record.fName.assign(spec.fWaveFile);
    if (!record.Save(file)) ThrowObjectFileError(file->GetError() != 0 ? file->GetError() : -1);
  });
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
