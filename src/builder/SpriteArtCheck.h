// The checks that the graphics stage makes before it writes anything: every sprite it will
// render must find its art (palette file, sheet, alpha image, mask), the art must be of a
// kind the build takes, the images that are laid over one another must fit, and every cell
// of the sprite must lie inside its sheet. Only the files' headers are read. A fault found
// here ends the build while the object file is as it was; the same faults found while the
// sprites are written would leave the sprites before them written.
#pragma once

class ObjectBuilder;
class SpecSet;
class StringBuffer;

// Checks the art of every sprite spec of `specs` that `builder` (or null: every one) would
// render from `graphicsDir`; ends the build with ThrowError at the first fault. With an
// empty `graphicsDir` nothing is checked (the stage refuses it on its own).
void CheckSpriteArt(SpecSet& specs, const StringBuffer& graphicsDir, ObjectBuilder* builder);
