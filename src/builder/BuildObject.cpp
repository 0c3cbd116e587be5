// Stand-in for the build driver until it lands: a build that was asked for ends with a
// clear fatal error, never with success.
#include "ObjectBuilder.h"

void ObjectBuilder::Build() { ThrowError("building objects is not available in this version of morvik"); }
