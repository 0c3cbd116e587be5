#include "Compressor.h"

#include <cstring>

Compressor* gCompressor = nullptr;

Compressor::Compressor() : fPalette(nullptr) { ClearSuppressionCache(); }

void Compressor::ClearSuppressionCache() { std::memset(fSuppressionCache, 0, sizeof fSuppressionCache); }
