#include "app/verify_mode.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/platform.h"
#include "setup/install_rules.h"
#include "setup/install_set.h"
#include "wizard/disc_finder.h"
#include "wizard/manifest.h"
#include "wizard/verify.h"

namespace tarn {

namespace {

int CannotCheck(const AnsiString& reason)
{
    platform::WriteStderr("tarn-setup: " + AnsiToHostUtf8(reason) + "\n");
    return 1;
}

// The description in dir, when it has one that loads.
std::optional<TTarnInstallSet> DescriptionIn(const AnsiString& dir)
{
    AnsiString file = AddBackslash(dir) + "install.dat";
    if (!platform::FileExists(file))
        return std::nullopt;
    TTarnInstallSet set;
    try {
        set.LoadFromFile(file);
    } catch (const Exception&) {
        return std::nullopt;
    }
    return set;
}

} // namespace

AnsiString InstallationNamedBy(const AnsiString& given, AnsiString& discDir, AnsiString& reason)
{
    AnsiString dir = given;
    if (SameText(ExtractFileName(dir), "install.dat") && platform::FileExists(dir))
        dir = ExtractFilePath(dir);
    if (!platform::DirectoryExists(dir) && !media::MountIfDisc(dir, &reason)) {
        if (reason.empty())
            reason = Format(u8"%s はインストール先でもディスクでもありません", { platform::ShownPath(ExcludeTrailingBackslash(dir)) });
        return {};
    }
    dir = AddBackslash(platform::ResolvedPath(dir));
    std::optional<TTarnInstallSet> set = DescriptionIn(dir);
    if (!set || set->Installed != 0 || TInstallManifest::Load(dir))
        return dir;
    // A disc: its game's installation, as the registry records it.
    discDir = dir;
    AnsiString recorded = set->ReadRegString("InstallPath", "");
    if (recorded.empty()) {
        reason = Format(u8"%s はインストールされていません", { set->Title });
        return {};
    }
    return AddBackslash(recorded);
}

int RunVerifyCommand(const VerifyCommand& command)
{
    AnsiString discDir, reason;
    for (const auto& [n, dir] : command.DiscPaths)
        media::MountIfDisc(dir);
    const AnsiString installation = InstallationNamedBy(command.Dir, discDir, reason);
    if (installation.empty())
        return CannotCheck(reason);
    const AnsiString shown = platform::ShownPath(ExcludeTrailingBackslash(installation));
    if (!platform::DirectoryExists(installation))
        return CannotCheck(Format(u8"%s がありません", { shown }));
    std::optional<TInstallManifest> record = TInstallManifest::Load(installation);
    if (record && !record->Complete)
        record.reset();

    VerifyResult result;
    if (record && !command.AgainstDiscs) {
        result = VerifyAgainstRecord(*record);
    } else {
        // Against the discs: which ones and which components come from the
        // record, or without one from the installation's description and
        // what lies there.
        std::optional<TTarnInstallSet> installed = DescriptionIn(installation);
        if (!record && !installed)
            return CannotCheck(Format(u8"%s にはインストールの記録も install.dat もありません", { shown }));
        if (!record && command.DiscPaths.empty() && discDir.empty())
            return CannotCheck(Format(u8"%s にはインストールの記録がありません。ディスクと比べるには --disc N=PATH でディスクを指定してください",
                                      { shown }));
        TTarnInstallSet game;
        game.Title = record ? record->Title : installed->Title;
        game.RegistryKey = record ? record->RegistryKey : installed->RegistryKey;
        std::vector<int> wanted;
        RunOptions components;
        if (record) {
            wanted = record->Discs;
            for (const AnsiString& c : record->Components) {
                components.Data = components.Data || c == "data";
                components.Sound = components.Sound || c == "sound";
                components.Movie = components.Movie || c == "movie";
            }
        } else {
            for (int i = 1; i <= installed->DiscCount(); ++i)
                wanted.push_back(i);
            components.Data = platform::FileExists(installation + "game.dat");
            // Sound and movie files are compared where they were installed.
            components.Sound = components.Movie = true;
        }
        const DiscFinder finder(discDir.empty() ? installation : discDir, command.DiscPaths, game);
        DiscFolders discs;
        for (int n : wanted) {
            std::optional<DiscFinder::Found> found = finder.Find(n - 1);
            if (!found)
                return CannotCheck(Format(u8"%s のディスク%d が見つかりません (--disc %d=PATH で指定してください)",
                                          { game.Title, n, n }));
            discs[n] = found->Dir;
        }
        result = VerifyAgainstDiscs(installation, discs, components, command.ModulePath);
        if (!record) {
            // Without a record the components are not known: a sound or movie
            // file that is missing was not chosen.
            std::vector<Finding> kept;
            for (const Finding& f : result.Findings)
                if (!(f.Class == FindingClass::Missing && f.Entry.empty() && MediaKindOf(ExtractFileExt(f.Path)) != 0))
                    kept.push_back(f);
            result.Findings = kept;
        }
    }
    platform::WriteStdout(command.Json ? VerifyJson(result) : VerifyLines(result));
    return result.Wrong() > 0 ? kStatusWrongFiles : 0;
}

} // namespace tarn
