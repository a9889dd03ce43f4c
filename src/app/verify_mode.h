// tarn-setup --verify and --repair: an installation checked against its
// record (or the discs), and put right from the discs.
#pragma once

#include <map>
#include <string>

#include "base/text.h"

namespace tarn {

// The exit status of a check that found something wrong.
constexpr int kStatusWrongFiles = 6;

struct VerifyCommand {
    AnsiString Dir; // the installation, or a disc (folder or image) whose installation the registry names
    bool Json = false;
    bool AgainstDiscs = false;
    std::map<int, AnsiString> DiscPaths; // --disc N=PATH
    AnsiString ModulePath;
};

// Prints the findings (lines or JSON) and returns 0 when nothing is wrong, 6
// when something is, 1 when the check cannot run (the reason on standard error).
int RunVerifyCommand(const VerifyCommand& command);

// The installation dir names: dir itself, or for a disc (its description
// not installed) the installation the registry records for its game. The
// disc's folder goes to discDir. Empty (with the reason) when there is none.
AnsiString InstallationNamedBy(const AnsiString& dir, AnsiString& discDir, AnsiString& reason);

} // namespace tarn
