// What an install has claimed and made, so that a run that fails or is
// aborted can put it back: the description it wrote, the registry value, the
// program group, and (into a destination that was new or empty when the run
// began) the copies, the archive and the folders it made.
#pragma once

#include <optional>
#include <string>

#include "base/text.h"
#include "setup/install_set.h"
#include "wizard/run_host.h"

namespace tarn {

class InstallRollback {
public:
    // Looks at the destination (with its trailing backslash) and at what
    // the registry records before the run changes anything.
    InstallRollback(const AnsiString& destination, const TTarnInstallSet& set);

    // A directory about to be made with its missing parents: the ones that
    // are missing now are the run's (returned, parents first).
    StringList MakingDirectory(const AnsiString& dir);
    // A file the run is about to write; only one that is not there yet is
    // the run's.
    void Writing(const AnsiString& file);
    // The archive about to be built (with its pieces and the work file).
    void BuildingArchive(const AnsiString& archive);
    void WritingDescription();
    // The installation's record (a record of an earlier installation there
    // is put back, a new one removed).
    void WritingManifest(const AnsiString& recordFile);
    void MakingGroup();
    void WritingRegistry();

    // Puts everything back, newest first; never raises (what cannot be
    // removed stays, and is told to the observer).
    void RollBack(const TTarnInstallSet& set, RunObserver& observer);

private:
    void RemoveCopies(RunObserver& observer);

    AnsiString destination_;
    bool destinationWasNew_ = false;
    std::optional<std::string> descriptionBefore_; // the bytes of an install.dat already there
    bool descriptionWritten_ = false;
    AnsiString manifestFile_;
    std::optional<std::string> manifestBefore_;
    AnsiString registryBefore_;
    bool registryWritten_ = false;
    bool groupMade_ = false;
    AnsiString archive_;
    StringList files_, directories_;
};

} // namespace tarn
