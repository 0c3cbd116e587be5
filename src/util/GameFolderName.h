// Fixed names of the folders and files of the game's installation, by a small index.
#pragma once

#include <cstdint>

// The number of names: indexes run from 0 to kGameFolderNameCount - 1.
constexpr int32_t kGameFolderNameCount = 29;

// Copies name `index` (folder names end in '/') into `destination`, cut to `size` - 1
// characters and terminated, and returns `destination`. Any other index stores the empty
// text and returns null. With no room (`size` below 1 or a null destination) nothing is
// stored and the result is null.
char* GetGameFolderName(int32_t index, char* destination, int32_t size);
