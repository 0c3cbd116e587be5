#include "TemplateStages.h"

#include "FamilyHistory.h"
#include "FilePaths.h"
#include "ObjectBuilder.h"
#include "Recon.h"
#include "StubObject.h"
#include "resfile.h"

void MakeNewObject(const StringBuffer& templatePath, const StringBuffer& destination, bool retain,
                   const StringBuffer& prefix) {
  StubObjectParams params;
  GetPathFileName(destination, params.fName);
  if (retain) params.SetRetain();
  if (prefix.length() > 0) params.SetPrefix(prefix);
  if (params.MakeFromTemplate(templatePath, destination) != 0) {
    ThrowError("could not make new object");
  }
}

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
