#include "wizard/game_discs.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/messages.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "media/sector_source.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/volume.h"
#include "setup/install_set.h"
#include "wizard/disc_finder.h"

namespace tarn {

namespace {

AnsiString Shown(const AnsiString& path) { return HostUtf8ToAnsi(platform::DisplayPath(path)); }

bool IsDescriptionFile(const AnsiString& path)
{
    return SameText(ExtractFileName(path), "install.dat") && platform::FileExists(path);
}

// The folders in dir (not through links: a link to / would list the world).
StringList FoldersIn(const AnsiString& dir)
{
    StringList folders;
    std::vector<platform::DirEntry> entries;
    try {
        entries = SortedDirectory(dir);
    } catch (const Exception&) {
        return folders;
    }
    for (const platform::DirEntry& e : entries)
        if ((e.Attributes & faDirectory) && !e.IsLink && e.Name != "." && e.Name != "..")
            folders.push_back(AddBackslash(dir) + e.Name);
    return folders;
}

} // namespace

std::optional<GameDisc> GameDiscAt(const AnsiString& given, AnsiString* why)
{
    auto refuse = [&](const AnsiString& text) -> std::optional<GameDisc> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    AnsiString path = ExcludeTrailingBackslash(given);
    if (IsDescriptionFile(path))
        path = ExcludeTrailingBackslash(ExtractFilePath(path));
    if (!platform::DirectoryExists(path)) {
        if (!platform::FileExists(path) && !media::LooksLikeDisc(path))
            return refuse(Format(msg::FileNotFound, { Shown(path) }));
        AnsiString error;
        if (!media::MountIfDisc(path, &error))
            return refuse(error.empty() ? Format(u8"%s はゲームのディスクでもディスクイメージでもありません", { Shown(path) }) : error);
    }
    AnsiString description = AddBackslash(path) + "install.dat";
    if (!platform::FileExists(description))
        return refuse(Format(u8"%s にはゲームのディスクがありません (install.dat がありません)", { Shown(path) }));
    TTarnInstallSet set;
    try {
        set.LoadFromFile(description);
    } catch (const Exception& e) {
        return refuse(e.Message());
    }
    if (set.Installed != 0)
        return refuse(Format(u8"%s はインストールされたゲームのフォルダで、ディスクではありません", { Shown(path) }));
    if (set.DiscCount() < 1 || set.DiscIndex < 0 || set.DiscIndex >= set.DiscCount())
        return refuse(Format(u8"%s のディスク番号 (%d / %d) が不正です", { Shown(description), set.DiscIndex, set.DiscCount() }));
    GameDisc disc;
    disc.Place = path;
    disc.Title = set.Title;
    disc.Index = set.DiscIndex;
    disc.Count = set.DiscCount();
    return disc;
}

std::vector<GameDisc> FindGameDiscs(const AnsiString& programDir, const AnsiString& currentDir)
{
    StringList places;
    auto add = [&](const AnsiString& place) {
        AnsiString p = ExcludeTrailingBackslash(place);
        if (p.empty())
            return;
        for (const AnsiString& q : places)
            if (SameText(q, p))
                return;
        places.push_back(p);
    };
    // A folder (unless only what is in it counts), the folders in it and the
    // images in both; a folder that is a mounted image is a disc, not a folder of discs.
    auto around = [&](const AnsiString& dir, bool itself) {
        if (dir.empty() || !platform::DirectoryExists(dir))
            return;
        if (itself)
            add(dir);
        StringList folders = FoldersIn(dir);
        for (const AnsiString& f : folders)
            add(f);
        for (const AnsiString& image : DiscImagesIn(dir))
            add(image);
        for (const AnsiString& f : folders)
            if (!platform::IsMounted(f))
                for (const AnsiString& image : DiscImagesIn(f))
                    add(image);
    };
    AnsiString own = ExcludeTrailingBackslash(programDir);
    AnsiString parent = ExtractFilePath(own);
    // The program's folder and those beside it: the parent's folders, and not
    // the parent itself (a disc holds the program in its root).
    if (!parent.empty() && parent.size() < own.size())
        around(ExcludeTrailingBackslash(parent), false);
    else
        around(own, true);
    around(ExcludeTrailingBackslash(currentDir), true);
    for (const AnsiString& drive : platform::OpticalDrives())
        add(drive);
    for (const AnsiString& root : platform::MediaRoots()) {
        add(root);
        for (const AnsiString& image : DiscImagesIn(root))
            add(image);
    }

    std::vector<GameDisc> discs;
    for (const AnsiString& place : places) {
        // Cheap for what is no disc: a folder without install.dat is passed
        // over by one look, an image by its volume descriptors and root.
        if (platform::DirectoryExists(place) && !platform::FileExists(AddBackslash(place) + "install.dat"))
            continue;
        if (std::optional<GameDisc> disc = GameDiscAt(place))
            discs.push_back(std::move(*disc));
    }
    std::stable_sort(discs.begin(), discs.end(), [](const GameDisc& a, const GameDisc& b) {
        if (a.Title != b.Title)
            return a.Title < b.Title;
        return a.Index < b.Index;
    });
    return discs;
}

AnsiString GameDiscText(const GameDisc& disc)
{
    return Format(u8"%s ― ディスク %d / %d ― %s", { disc.Title, disc.Index + 1, disc.Count, Shown(disc.Place) });
}

} // namespace tarn
