// The repair run: checks an installation against its record, takes the
// discs the wrong files came from (looked for as the install looks for
// them, asked for through the host), copies those files again, merges the
// wrong archive entries again from the discs' archives, and checks again.
// Extra files and the save data are left as they are; the program group and
// the registry value are not touched.
#pragma once

#include "base/text.h"
#include "wizard/run_host.h"
#include "wizard/run_options.h"
#include "wizard/verify.h"

namespace tarn {

struct RepairResult {
    VerifyResult Before, After;
    int FilesCopied = 0, EntriesMerged = 0;
};

// Repairs options.Installation. startDir: where the run started (the
// installation, or a disc); modulePath: the running program (what is
// installed as the disc's installer where disc programs do not run). The
// discs are looked for beside startDir and where options.DiscPaths say. Completed
// when the check afterwards finds nothing wrong (also when nothing was);
// Failed (reported) without a record, or when something stays wrong;
// Aborted when the person stopped or a disc was not given.
RunOutcome RunRepair(const AnsiString& startDir, const AnsiString& modulePath, const RunOptions& options, RunHost& host,
                     RepairResult& result);

} // namespace tarn
