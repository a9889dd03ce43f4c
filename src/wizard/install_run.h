// The install run: copies the chosen files from one disc after another into
// the destination, merges the discs' archives into its game.dat, writes the
// description with Installed set, makes the program group and records the
// destination in the registry. It talks to whoever shows it only through a
// RunHost, and puts back what it claimed when it fails or is aborted.
#pragma once

#include "base/text.h"
#include "setup/program_state.h"
#include "wizard/run_host.h"
#include "wizard/run_options.h"

namespace tarn {

// The files of the disc in S that an installation with these options
// copies (sound and movie by their boxes), in listing order (full paths).
StringList FilesToCopy(const AnsiString& sourceDir, const RunOptions& options);

// Whether file is one the disc holds itself: a plain file, or a link to one
// on the disc (a link out of the disc, a pipe or a device is none). Nothing
// else is read from a disc.
bool HeldByDisc(const AnsiString& file, const AnsiString& disc);

// Runs the install with the state start-up owns: SourceDir, InstallSet
// (reloaded from each disc), GameArchive (closed and opened again on each
// disc) and ModulePath. The progress counts to the bytes the chosen
// components need. An error that escapes (a description that cannot be
// written) escapes after the rollback.
RunOutcome RunInstall(TProgramState& state, const RunOptions& options, RunHost& host);

} // namespace tarn
