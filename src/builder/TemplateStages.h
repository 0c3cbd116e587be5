// The two build stages that compile nothing: the template stage, which makes the destination
// object file as a copy of a template object before it is opened, and the family-history
// stage, which writes the report of the object file's first family history.
#pragma once

#include "StringBuffer.h"

class iResFile;

// Makes the object file `destination` as a copy of the template object `templatePath`: every
// definition gets a new GUID and is named after the destination's file name, or `prefix` +
// its old name when a prefix is given, or keeps its name with `retain`. Ends the build with
// "could not make new object" when the copy fails.
void MakeNewObject(const StringBuffer& templatePath, const StringBuffer& destination, bool retain,
                   const StringBuffer& prefix);

// Writes the report of the first 'FAMh' resource by index (whatever its id) of `file` to
// `reportPath`. Ends the build with "history resource not found" when the file has none.
void WriteFamilyHistoryReport(iResFile* file, const StringBuffer& reportPath);
