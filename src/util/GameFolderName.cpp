#include "GameFolderName.h"

#include <cstring>

namespace {

const char* const kGameFolderNames[kGameFolderNameCount] = {
    "GameData/",
    "GameData/Objects/",
    "GameData/Sprites/",
    "GameData/Walls/",
    "GameData/Floors/",
    "GameData/Globals/",
    "GameData/Houses/",
    "GameData/Characters/",
    "GameData/Skins/",
    "GameData/Animations/",
    "GameData/Sounds/",
    "GameData/Music/",
    "GameData/Text/",
    "GameData/Catalog/",
    "GameData/Templates/",
    "GameData/Neighborhood/",
    "UserData/",
    "UserData/Houses/",
    "UserData/Characters/",
    "UserData/Export/",
    "UserData/Snapshots/",
    "UserData/Album/",
    "Downloads/",
    "Downloads/Objects/",
    "Downloads/Skins/",
    "Logs/",
    "GameData/Globals/Global.iff",
    "GameData/Behavior.iff",
    "GameData/Neighborhood.iff",
};

}  // namespace

char* GetGameFolderName(int32_t index, char* destination, int32_t size) {
  if (!destination || size < 1) return nullptr;
  destination[0] = '\0';
  if (index < 0 || index >= kGameFolderNameCount) return nullptr;
  const char* name = kGameFolderNames[index];
  size_t length = std::strlen(name);
  if (length > static_cast<size_t>(size - 1)) length = static_cast<size_t>(size - 1);
  std::memcpy(destination, name, length);
  destination[length] = '\0';
  return destination;
}
