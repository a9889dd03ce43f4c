// What the install benchmarks share: the generated two-disc set of about
// 1.5 GiB, and the install as a person makes it through the wizard.
#pragma once

#include <random>
#include <string>

#include "base/text.h"
#include "wizard/run_options.h"

namespace tarn::bench {

void RemoveTree(const AnsiString& dir);
void Sync();
// size bytes, one random byte every 512 (cheap, and not compressible to nothing).
std::string Bytes(size_t size, std::mt19937& rng);
void WriteBytes(const AnsiString& path, const std::string& data);

// The set's folder (disc1\, disc2\), generated once into the data folder:
// per disc 412 MiB in 2,173 files and 350 MiB of archive.
AnsiString DiscSet();
// Nobody waits for a program manager in a benchmark.
RunOptions Quick(bool manifest = true);

struct Timing {
    double clickToFirstProgress = 0; // seconds
    double longestGap = 0;           // between two message-processing points
    std::string gapBefore, gapAfter; // what the copy labels said around it
};
// The install as a person makes it: all discs, every component, the
// destination typed in; disc1 is a folder or a mounted image. Exits the
// program when the install does not complete.
Timing InstallThroughWizard(const AnsiString& disc1, const AnsiString& dest, bool manifest = true);

} // namespace tarn::bench
