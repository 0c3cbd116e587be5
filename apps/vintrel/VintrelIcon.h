// The sprite maker's window icon, drawn by the program: a block standing on a floor tile,
// seen from above at the game's angle. Pure function; any thread.
#pragma once

#include <cstdint>
#include <vector>

// `size` x `size` pixels of 4 bytes (red, green, blue, alpha), rows from the top; alpha is 0
// around the drawing and 255 on it. Empty for a size below 1.
std::vector<uint8_t> VintrelIconPixels(int size);
