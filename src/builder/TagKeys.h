// The keys that each tag of an object-make file reads. A key that its tag does not read is
// most often a typo ("symetry", "paletid") whose value is silently lost, so the compiler
// reports it as it reports a tag it does not know, and goes on.
#pragma once

#include "attribtable.h"

// For a tag whose name the compiler knows, prints the warning
// "unknown key \"<key>\" in tag \"<tag>\"" at the line of each key the tag does not read.
// Tags it does not know (reported on their own) and the ignored "career" and "job" are
// left alone. The type word of an "item" tag (its first entry after the name) is no key.
void WarnUnknownKeys(AttribTable& tag);
