#include "app/startup.h"

#include "app/form_discs.h"
#include "app/form_main.h"
#include "app/form_start.h"
#include "wizard/form_type.h"
#include "wizard/game_discs.h"
#include "wizard/manifest.h"
#include "base/codepage.h"
#include "base/format.h"
#include "base/messages.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "setup/program_state.h"
#include "ui/application.h"
#include "ui/message_dialog.h"

namespace tarn {

using namespace ui;

namespace {

// The installer and the uninstaller run as a copy in the temporary directory,
// started with the program's directory, so that the disc can change and the
// installation directory can go.
LaunchRequest MakeTempCopy(const StartupOptions& options, const TProgramState& state)
{
    LaunchRequest launch;
    launch.File = AddBackslash(platform::TempDirectory()) + kTempCopyName;
    launch.TemporaryCopy = true;
    launch.Params = "\"" + state.ProgramDir + "\"";
    // Where the other discs lie and which windows to use go along to the copy.
    for (const auto& [n, dir] : options.Run.DiscPaths)
        launch.Params += " --disc \"" + IntToStr(n) + "=" + dir + "\"";
    if (!options.Ui.empty())
        launch.Params += " --ui=" + options.Ui;
    platform::CopyFileWithAttributes(options.ModulePath, launch.File);
    return launch;
}

// Only the temporary copy removes itself: a person who starts the program by
// hand with a directory must not lose the program file.
bool RunsAsTemporaryCopy(const StartupOptions& options);

void ScheduleOwnDeletion(const StartupOptions& options)
{
    if (RunsAsTemporaryCopy(options))
        DeleteAtReboot(options.ModulePath);
}

// The installer's and uninstaller's windows: the backdrop, and (with the
// wizard) the wizard over it.
void RunWindows(TProgramState& state, const RunOptions& options)
{
    TFormMain backdrop(state);
    backdrop.Show();
    {
        TFormType wizard(state, options, &backdrop);
        wizard.ShowModal();
    }
    backdrop.Hide();
}

} // namespace

namespace {

// What start-up finds before any window: the directories, the description
// (checked), and the single-instance guard. Null when start-up ends here;
// refusal then holds the message of a description that cannot be used
// (empty when it ends silently: no description, or another instance).
bool RunsAsTemporaryCopy(const StartupOptions& options)
{
    return SameText(options.ModulePath, AddBackslash(platform::TempDirectory()) + kTempCopyName);
}

// Disc images and drives named on the command line become folders for the
// rest of the program. A person who opens an image (rather than a disc
// folder, which keeps its meaning of old) means the disc: the program as it
// lies on that disc, with its launcher. The temporary copy is handed the
// image as its argument and installs from it. Returns the message of an
// image that cannot be read.
AnsiString MountDiscs(StartupOptions& options)
{
    // A disc's install.dat (what a file manager passes on when a person opens
    // one) stands for its folder; opened so, it is the disc, as an image is.
    bool argumentIsDescription = false;
    if (options.Argument && SameText(ExtractFileName(*options.Argument), "install.dat") && platform::FileExists(*options.Argument)) {
        options.Argument = ExcludeTrailingBackslash(ExtractFilePath(*options.Argument));
        argumentIsDescription = true;
    }
    AnsiString error;
    auto mount = [&](const std::optional<AnsiString>& path) {
        AnsiString why;
        if (path && !media::MountIfDisc(*path, &why) && error.empty())
            error = why;
    };
    bool argumentIsImage = options.Argument && media::LooksLikeDisc(*options.Argument) &&
                           !platform::DirectoryExists(*options.Argument);
    mount(options.Source);
    mount(options.Argument);
    for (const auto& [n, dir] : options.Run.DiscPaths)
        mount(dir);
    if ((argumentIsImage || argumentIsDescription) && error.empty() && !options.Source && !RunsAsTemporaryCopy(options))
        options.Source = std::move(options.Argument), options.Argument.reset();
    return error;
}

std::unique_ptr<platform::NamedMutex> PrepareState(const StartupOptions& options, TProgramState& state, AnsiString& refusal)
{
    AnsiString ownDir = ExtractFilePath(options.ModulePath);
    state.ProgramDir = AddBackslash(options.Source ? *options.Source : ownDir);
    state.SourceDir = options.Argument ? *options.Argument : state.ProgramDir;
    state.ModulePath = options.ModulePath;

    AnsiString descriptionFile = AddBackslash(state.SourceDir) + "install.dat";
    if (!platform::FileExists(descriptionFile))
        return nullptr;
    try {
        state.InstallSet.LoadFromFile(descriptionFile);
    } catch (const Exception& e) {
        refusal = e.Message();
        return nullptr;
    }
    // Every window indexes the per-disc lists with DiscIndex.
    const TTarnInstallSet& set = state.InstallSet;
    if (set.DiscCount() < 1 || set.DiscIndex < 0 || set.DiscIndex >= set.DiscCount()) {
        refusal = Format(u8"%s のディスク番号 (%d / %d) が不正です", { descriptionFile, set.DiscIndex, set.DiscCount() });
        return nullptr;
    }
    return platform::NamedMutex::Acquire(set.Title);
}

// Started with no disc named and none beside the program (installed
// elsewhere than on a disc): nothing to act as, so the person chooses one.
bool WithoutADisc(const StartupOptions& given, const TProgramState& state)
{
    return !given.Argument && !given.Source && !RunsAsTemporaryCopy(given) &&
           !platform::FileExists(AddBackslash(state.SourceDir) + "install.dat");
}

std::vector<GameDisc> DiscsAtHand(const StartupOptions& options)
{
    return FindGameDiscs(ExtractFilePath(options.ModulePath), platform::CurrentDirectory());
}

// The disc chooser; the disc chosen, or none when the person ends.
std::optional<AnsiString> ChooseDisc(const StartupOptions& options)
{
    TFormDiscs chooser(DiscsAtHand(options));
    if (chooser.ShowModal() != mrOk || chooser.Chosen.empty())
        return std::nullopt;
    return chooser.Chosen;
}

} // namespace

LaunchRequest RunStartup(const StartupOptions& given)
{
    LaunchRequest launch;
    TProgramState state;
    StartupOptions options = given;
    AnsiString refusal = MountDiscs(options);
    std::unique_ptr<platform::NamedMutex> mutex = refusal.empty() ? PrepareState(options, state, refusal) : nullptr;
    if (!mutex && refusal.empty() && WithoutADisc(given, state)) {
        // The disc chosen is taken as one named by --source: the launcher.
        std::optional<AnsiString> disc = ChooseDisc(options);
        if (!disc)
            return launch;
        options.Source = *disc;
        refusal = MountDiscs(options);
        mutex = refusal.empty() ? PrepareState(options, state, refusal) : nullptr;
    }
    if (!mutex) {
        if (!refusal.empty())
            MessageDlg(refusal, MsgType::Error, mbOK);
        else if (!state.InstallSet.Title.empty())
            // Another start of this game runs: its windows come to the front
            // rather than staying buried under whatever the person opened since.
            platform::NamedMutex::AskHolderToShow(state.InstallSet.Title, state.InstallSet.Title);
        return launch;
    }
    mutex->ListenForShowRequests([] { App().GetBackend().BringProgramToFront(); });
    const TTarnInstallSet& set = state.InstallSet;
    bool hasArgument = options.Argument.has_value();
    // The game started from the menu, a setup program on the disc: in the game's prefix.
    platform::SetWindowsProgramsPrefix(set.RegistryKey, platform::GetEnv("WINEPREFIX"));

    if (set.Installed == 0) {
        state.GameArchive = std::make_unique<TVrFileCollection>();
        App().Dispatch([&] { state.GameArchive->Open(AddBackslash(state.SourceDir) + "game.dat"); });
        if (!hasArgument) {
            std::unique_ptr<TFormStart> menu = std::make_unique<TFormStart>(state);
            int result = menu->ShowModal();
            int choice = menu->MenuChoice;
            menu.reset();
            if (result == mrOk) {
                if (choice == 0 && set.IsInstalled())
                    launch = { "\"" + AddBackslash(set.ReadRegString("InstallPath", "")) + set.GameExe + "\"", "" };
                else
                    launch = MakeTempCopy(options, state);
            }
        } else {
            ScheduleOwnDeletion(options);
            RunWindows(state, options.Run);
        }
        state.GameArchive.reset();
    } else if (!hasArgument) {
        launch = MakeTempCopy(options, state);
    } else {
        ScheduleOwnDeletion(options);
        RunWindows(state, options.Run);
    }
    mutex.reset(); // before the follow-up starts, so that it passes its own guard
    return launch;
}

namespace {

// An uninstall that a kill interrupted after install.dat had gone: what the
// installation's record says is enough to finish it.
// An installation whose install.dat is gone, known by its record: one whose
// removal was under way, or (repair) any complete one.
std::unique_ptr<platform::NamedMutex> PrepareFromRecord(TProgramState& state, bool repair)
{
    std::optional<TInstallManifest> record = TInstallManifest::Load(AddBackslash(state.SourceDir));
    if (!record || !(repair ? record->Complete : record->Uninstalling))
        return nullptr;
    if (!repair && platform::FileExists(AddBackslash(state.SourceDir) + "install.dat"))
        return nullptr;
    state.InstallSet = TTarnInstallSet();
    state.InstallSet.Title = record->Title;
    state.InstallSet.RegistryKey = record->RegistryKey;
    state.InstallSet.Installed = 1;
    return platform::NamedMutex::Acquire(record->Title);
}

} // namespace

int RunUnattendedStartup(const StartupOptions& given, const UnattendedOptions& unattended)
{
    TProgramState state;
    StartupOptions options = given;
    // Without a person the image is what is installed from (or whose
    // installation is removed), as a folder would be.
    AnsiString refusal = MountDiscs(options);
    if (options.Source && !given.Source)
        options.Argument = std::move(options.Source), options.Source.reset();
    std::unique_ptr<platform::NamedMutex> mutex = refusal.empty() ? PrepareState(options, state, refusal) : nullptr;
    if (!mutex && unattended.Repair && !state.SourceDir.empty()) {
        // A damaged or missing install.dat is one of the things a repair puts right.
        AnsiString kept = std::move(refusal);
        refusal.clear();
        mutex = PrepareFromRecord(state, true);
        if (!mutex && refusal.empty())
            refusal = std::move(kept);
    } else if (!mutex && refusal.empty() && unattended.Uninstall) {
        mutex = PrepareFromRecord(state, false);
    }
    if (!mutex && refusal.empty() && WithoutADisc(given, state)) {
        // Nobody to choose: the discs there are, for the next command.
        AnsiString text = Format(u8"%s にゲームのディスク (install.dat) がありません。DIR か --source DIR でディスクを指定してください",
                                 { HostUtf8ToAnsi(platform::DisplayPath(ExcludeTrailingBackslash(state.SourceDir))) });
        std::vector<GameDisc> discs = DiscsAtHand(options);
        StringList found = { Sjis(discs.empty() ? u8"見つかったディスクはありません。" : u8"見つかったディスク:") };
        for (const GameDisc& d : discs)
            found.push_back("  " + GameDiscText(d));
        return UnattendedRefusal(unattended, text, kStatusWrongUsage, found);
    }
    if (!mutex) {
        if (refusal.empty()) {
            AnsiString description = AddBackslash(state.SourceDir) + "install.dat";
            refusal = platform::FileExists(description)
                          ? Format(u8"%s のセットアップは既に実行中です", { state.InstallSet.Title })
                          : Format(msg::FileNotFound, { HostUtf8ToAnsi(platform::DisplayPath(description)) });
        }
        return UnattendedRefusal(unattended, refusal);
    }
    if (state.InstallSet.Installed == 0) {
        state.GameArchive = std::make_unique<TVrFileCollection>();
        try {
            state.GameArchive->Open(AddBackslash(state.SourceDir) + "game.dat");
        } catch (const Exception& e) {
            return UnattendedRefusal(unattended, e.Message());
        }
    }
    return RunUnattended(state, options.Run, unattended);
}

} // namespace tarn
