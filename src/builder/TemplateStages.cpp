#include "TemplateStages.h"

#include "FamilyHistory.h"
#include "ObjectBuilder.h"
#include "Recon.h"
#include "resfile.h"

void WriteFamilyHistoryReport(iResFile* file, const StringBuffer& reportPath) {
  // The handle stays the file's: the stage only reads it.
  MHandle* handle = file->GetIndResource(kFamilyHistoryType, 1, nullptr);
  if (handle == nullptr) ThrowError("history resource not found");
  FamilyHistory history;
  if (LoadReconFromHandle(history, handle, kFamilyHistoryType, nullptr) != 0) {
    ThrowError("could not read history resource");
  }
  if (!history.WriteTabFile(reportPath)) ThrowError("could not write history report");
}
