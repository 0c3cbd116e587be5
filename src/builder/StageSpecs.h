// Spec records of the stages that are wired into the build but whose tag parsers and
// writers are not built yet: catalogs and bitmap resources, tree tables, sounds, slots,
// attribute strings, skill tables and headlines. The compiler already places them in their
// spec lists, in list order, and makes the order checks of their tags; each record gets its
// fields and parser with its stage.
#pragma once

#include "GenericSpec.h"

class CatalogSpec : public GenericSpec {};
class BMPResourceSpec : public GenericSpec {};
class TreeTableSpec : public GenericSpec {};
class SoundSpec : public GenericSpec {};
class SlotsSpec : public GenericSpec {};
class AttrStringSpec : public GenericSpec {};
class SkillTable : public GenericSpec {};
class HeadlineSpec : public GenericSpec {};
