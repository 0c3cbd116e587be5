// The two build stages that compile nothing: the template stage, which makes the destination
// object file as a copy of a template object before it is opened, and the family-history
// stage, which writes the report of the object file's first family history.
#pragma once

#include "StringBuffer.h"

class iResFile;

// Writes the report of the first 'FAMh' resource by index (whatever its id) of `file` to
// `reportPath`. Ends the build with "history resource not found" when the file has none.
void WriteFamilyHistoryReport(iResFile* file, const StringBuffer& reportPath);
