// What a person reads before installing (tarn-setup --check [DISC]):
// whether this machine can take the installation, and whether the game it
// installs will run here as on a Japanese Windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn {

enum class Verdict {
    Fine,
    Wanting, // the install goes, but something will be missing (texts, fonts, the game's start)
    Blocks,  // an install would fail
};

struct PreflightFinding {
    std::string Check;  // what was looked at ("Japanese locale")
    Verdict Outcome = Verdict::Fine;
    std::string Detail; // what was found (UTF-8)
    std::string Remedy; // what to do about it (UTF-8); "" when nothing
};

// Every check; disc (a folder, an image or an install.dat) adds those of
// its installation: the destination proposed, its free space against the
// size of every component, and whether it can be written and trashed.
// startPrograms: wine is tried on two tiny programs (seconds the first time).
std::vector<PreflightFinding> RunPreflight(const std::optional<AnsiString>& disc, bool startPrograms = true);
// A table with a line per check, the verdicts and a last line that sums up.
std::string PreflightTable(const std::vector<PreflightFinding>& findings);
// {"checks": [{"check", "verdict": "fine"|"wanting"|"blocks", "detail", "remedy"}], "blocks": bool}
std::string PreflightJson(const std::vector<PreflightFinding>& findings);
bool PreflightBlocks(const std::vector<PreflightFinding>& findings);

} // namespace tarn
