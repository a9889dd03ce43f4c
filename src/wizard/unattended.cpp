#include "wizard/unattended.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/platform.h"
#include "wizard/destination.h"
#include "wizard/file_operation.h"
#include "wizard/install_run.h"
#include "wizard/page_rules.h"
#include "wizard/repair_run.h"
#include "wizard/unattended_host.h"
#include "wizard/uninstall_run.h"

namespace tarn {

namespace {

std::string Text(const AnsiString& s) { return LogText(s); }
std::string Shown(const AnsiString& path) { return LogPath(path); }

// One unattended run: the choices a person would make on the wizard's pages,
// made from the options, and the run they start.
class Driver {
public:
    Driver(TProgramState& state, const RunOptions& run, const UnattendedOptions& options, RunLog& log, UnattendedHost& host)
        : state_(state), run_(run), o_(options), log_(log), host_(host)
    {
        run_.Pauses = false; // nobody waits for anything here
    }

    int Install();
    int Remove();
    int Repair();

private:
    void ChooseDiscs();
    void ChooseComponents();
    // False (with the reason told) for a destination that may not take the installation.
    bool ChooseDestination();

    TProgramState& state_;
    RunOptions run_;
    const UnattendedOptions& o_;
    RunLog& log_;
    UnattendedHost& host_;
};

void Driver::ChooseDiscs()
{
    const TTarnInstallSet& set = state_.InstallSet;
    // The choice exists only on the first disc of several; all discs is the wizard's proposal there.
    run_.AllDiscs = OffersDiscChoice(set) && o_.AllDiscs.value_or(true);
    log_.Line(std::string("discs: ") + (run_.AllDiscs ? "all " + std::to_string(set.DiscCount())
                                                      : "this one (disc " + std::to_string(set.DiscIndex + 1) + ")"));
}

void Driver::ChooseComponents()
{
    const TTarnInstallSet& set = state_.InstallSet;
    bool* chosen[] = { &run_.Data, &run_.Sound, &run_.Movie };
    const char* names[] = { "data", "sound", "movie" };
    std::string list = "program";
    for (int i = 0; i < 3; ++i) {
        // Without a choice, everything the discs hold: today's machines keep
        // no disc in a drive for the game to read its data from.
        bool wanted = !o_.Components || (*o_.Components)[static_cast<size_t>(i)];
        // A component these discs do not hold has no box to check.
        if (wanted && ComponentSize(set, run_.AllDiscs, i + 1) <= 0) {
            if (o_.Components)
                log_.Line(std::string("component ") + names[i] + ": none on these discs");
            wanted = false;
        }
        *chosen[i] = wanted;
        if (wanted)
            list += std::string(", ") + names[i];
    }
    int64_t needed = ComputeNeededSize(set, run_.AllDiscs, run_.Data, run_.Sound, run_.Movie);
    log_.Line("components: " + list + "; " + std::to_string(needed) + " bytes needed");
}

bool Driver::ChooseDestination()
{
    const TTarnInstallSet& set = state_.InstallSet;
    run_.Destination = o_.Destination ? *o_.Destination : ProposeDestination(set.ReadRegString("InstallPath", ""), set.DefaultDir).Path;
    if (run_.Destination.empty()) {
        host_.Error("the description's default folder (" + Text(set.DefaultDir) + ") leaves the folder it lies in; give --dir");
        return false;
    }
    const AnsiString dest = AddBackslash(platform::ResolvedPath(DestinationFromText(run_.Destination)));
    log_.Line("destination: " + Shown(dest));
    switch (CheckDestination(dest, set.Title)) {
    case DestinationCheck::Protected:
        host_.Error(Text(ProtectedDestinationText(dest)));
        return false;
    case DestinationCheck::NotEmpty:
        if (run_.AcceptNonEmpty)
            break;
        host_.Error(Shown(dest) + " holds other files and no installation of " + Text(set.Title) +
                    "; give --dir-not-empty-ok to install into it all the same");
        return false;
    case DestinationCheck::Fine:
        break;
    }
    return true;
}

int Driver::Install()
{
    ChooseDiscs();
    ChooseComponents();
    if (!ChooseDestination())
        return kStatusFailed;
    RunOutcome outcome = RunInstall(state_, run_, host_);
    host_.SayFoundComplete();
    if (outcome == RunOutcome::Completed && !host_.HadErrors()) {
        host_.Say("tarn-setup: installed into " + Shown(AddBackslash(DestinationFromText(run_.Destination))));
        return kStatusDone;
    }
    if (!host_.HadErrors())
        host_.Error(host_.LastWarning().empty() ? "the install ended without completing" : host_.LastWarning());
    return host_.DiscMissing() ? kStatusAborted : kStatusFailed;
}

int Driver::Remove()
{
    const TTarnInstallSet& set = state_.InstallSet;
    AnsiString dir = AddBackslash(state_.SourceDir);
    if (set.Installed == 0) {
        // Started on a disc: what goes is the installation the registry
        // record names, never the disc.
        std::optional<AnsiString> recorded = RecordedInstallation(set);
        if (!recorded) {
            host_.Error(Text(Format(u8"%s はインストールされていません", { set.Title })));
            return kStatusFailed;
        }
        dir = *recorded;
    }
    log_.Line("removing the installation " + Shown(dir));
    const bool hasSave = !SaveDataIn(dir).empty();
    log_.Line(!hasSave ? "save.dat: none" : o_.DeleteSave ? "save.dat: deleted too" : "save.dat: kept");
    run_.Installation = dir;
    run_.DeleteSave = !hasSave || o_.DeleteSave;
    TFileOperation fileOperation;
    fileOperation.Options = kWizardFileOpOptions;
    RunOutcome outcome = RunUninstall(set, run_, fileOperation, host_);
    if (outcome == RunOutcome::Completed && !host_.HadErrors()) {
        host_.Say("tarn-setup: removed " + Shown(dir));
        return kStatusDone;
    }
    if (!host_.HadErrors())
        host_.Error("the uninstall ended without completing");
    return kStatusFailed;
}

int Driver::Repair()
{
    const TTarnInstallSet& set = state_.InstallSet;
    AnsiString dir = AddBackslash(state_.SourceDir);
    if (set.Installed == 0) {
        // Started on a disc: what is repaired is the installation the registry names.
        AnsiString recorded = set.ReadRegString("InstallPath", "");
        if (recorded.empty()) {
            host_.Error(Text(Format(u8"%s はインストールされていません", { set.Title })));
            return kStatusFailed;
        }
        dir = AddBackslash(recorded);
    }
    log_.Line("repairing the installation " + Shown(dir));
    run_.Installation = dir;
    RepairResult result;
    RunOutcome outcome = RunRepair(state_.SourceDir, state_.ModulePath, run_, host_, result);
    for (const Finding& f : result.Before.Findings)
        log_.Line(std::string("found: ") + FindingClassName(f.Class) + " " + Text(f.Path) + (f.Entry.empty() ? "" : ":" + Text(f.Entry)));
    if (outcome == RunOutcome::Completed && !host_.HadErrors()) {
        host_.Say("tarn-setup: " + (result.Before.Wrong() == 0 ? "nothing to repair in " + Shown(dir)
                                                                : "repaired " + Shown(dir) + ": " + std::to_string(result.FilesCopied) +
                                                                      " files copied again, " + std::to_string(result.EntriesMerged) +
                                                                      " archive entries merged again"));
        return kStatusDone;
    }
    if (!host_.HadErrors())
        host_.Error(host_.LastWarning().empty() ? "the repair ended without completing" : host_.LastWarning());
    return host_.DiscMissing() ? kStatusAborted : kStatusFailed;
}

const char* StatusName(int status)
{
    switch (status) {
    case kStatusDone: return "done";
    case kStatusAborted: return "aborted";
    case kStatusWrongUsage: return "wrong usage";
    default: return "failed";
    }
}

} // namespace

std::optional<std::array<bool, 3>> ParseComponents(const std::string& list)
{
    std::array<bool, 3> chosen{ false, false, false };
    if (list == "all")
        return std::array<bool, 3>{ true, true, true };
    if (list == "none")
        return chosen;
    const char* names[] = { "data", "sound", "movie" };
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool known = false;
        for (size_t i = 0; i < 3; ++i)
            if (item == names[i])
                chosen[i] = known = true;
        if (!known)
            return std::nullopt;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return chosen;
}

int RunUnattended(TProgramState& state, const RunOptions& run, const UnattendedOptions& options)
{
    RunLog log(options.LogFile);
    if (log.Failed()) {
        platform::WriteStderr("tarn-setup: cannot create the log " + options.LogFile + "\n");
        return kStatusFailed;
    }
    UnattendedHost host(log, options.VerySilent);
    const TTarnInstallSet& set = state.InstallSet;
    host.RegistryKey = "HKEY_CURRENT_USER\\Software\\" + Text(set.RegistryKey);
    for (const std::string& line : options.Understood)
        log.Line("option " + line);
    log.Line("source " + Shown(AddBackslash(state.SourceDir)) + ": " + Text(set.Title) +
             (set.Installed != 0 ? ", an installation" : ", disc " + std::to_string(set.DiscIndex + 1) + " of " + std::to_string(set.DiscCount())));

    int status = kStatusFailed;
    if (set.Installed == 0 && !options.Uninstall && options.AllDiscs.value_or(false) && set.DiscIndex != 0) {
        host.Error("--all-discs: this is disc " + std::to_string(set.DiscIndex + 1) + "; all discs are installed from disc 1");
        status = kStatusWrongUsage;
    } else if (options.Repair) {
        Driver driver(state, run, options, log, host);
        try {
            status = driver.Repair();
        } catch (const Exception& e) {
            host.Error(Text(e.Message()));
            status = kStatusFailed;
        }
    } else if (set.Installed != 0 && !options.Uninstall) {
        // A removal happens only when it is asked for.
        host.Error(Shown(AddBackslash(state.SourceDir)) + " is an installation of " + Text(set.Title) +
                   ", not a disc; add --uninstall to remove it");
        status = kStatusWrongUsage;
    } else {
        Driver driver(state, run, options, log, host);
        try {
            status = options.Uninstall ? driver.Remove() : driver.Install();
        } catch (const Exception& e) {
            host.Error(Text(e.Message()));
            status = kStatusFailed;
        }
    }
    host.EndLine();
    log.Line(std::string("outcome: ") + StatusName(status) + ", exit status " + std::to_string(status));
    return status;
}

int UnattendedRefusal(const UnattendedOptions& options, const AnsiString& message, int status, const StringList& more)
{
    RunLog log(options.LogFile);
    for (const std::string& line : options.Understood)
        log.Line("option " + line);
    std::string text = "tarn-setup: " + Text(message) + "\n";
    for (const AnsiString& line : more)
        text += Text(line) + "\n";
    platform::WriteStderr(text);
    log.Line("error: " + Text(message));
    for (const AnsiString& line : more)
        log.Line(Text(line));
    log.Line(std::string("outcome: ") + StatusName(status) + ", exit status " + std::to_string(status));
    return status;
}

} // namespace tarn
