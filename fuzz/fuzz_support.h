// The pieces every fuzz target shares. Each target NAME has NAME.cpp (the
// libFuzzer entry point) and NAME_seeds.cpp (WriteSeeds: the seed corpus,
// made with the project's own writers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tarn::fuzz {

// Writes the target's seed files into dir (a program path with a trailing backslash).
void WriteSeeds(const AnsiString& dir);
void SaveSeed(const AnsiString& dir, const std::string& name, std::string_view bytes);

} // namespace tarn::fuzz
