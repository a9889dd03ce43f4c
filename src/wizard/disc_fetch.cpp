#include "wizard/disc_fetch.h"

#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/platform.h"

namespace tarn {

DiscFetch::DiscFetch(AnsiString startS, std::map<int, AnsiString> given, const TTarnInstallSet& set)
    : startS_(std::move(startS)), given_(std::move(given)), set_(set)
{
}

std::optional<DiscFinder::Found> DiscFetch::Fetch(int index, RunHost& host)
{
    for (;;) {
        const DiscFinder finder(startS_, Paths(), set_);
        if (std::optional<DiscFinder::Found> found = finder.Find(index)) {
            host.DiscFound(index, found->Dir, finder.Candidates(index));
            return found;
        }
        RunHost::DiscWatch watch;
        watch.Present = [&] { return finder.Find(index).has_value(); };
        watch.TryPlace = [&](const AnsiString& place) { return TryPlace(place, index); };
        if (host.PromptDisc(index, finder.Candidates(index), watch) == DiscAnswer::Abort)
            return std::nullopt;
    }
}

std::map<int, AnsiString> DiscFetch::Paths() const
{
    std::map<int, AnsiString> paths = pointedAt_;
    for (const auto& [n, dir] : given_)
        paths[n] = dir; // the command line's word stands
    return paths;
}

// A place the person points at for disc index: a folder, its install.dat or
// an image. Taken (and looked at first from now on) when it holds that
// disc; otherwise what was found there, for the prompt.
AnsiString DiscFetch::TryPlace(const AnsiString& place, int index)
{
    AnsiString dir = ExcludeTrailingBackslash(place);
    if (SameText(ExtractFileName(dir), "install.dat") && platform::FileExists(dir))
        dir = ExcludeTrailingBackslash(ExtractFilePath(dir));
    AnsiString shown = platform::ShownPath(dir);
    if (!platform::DirectoryExists(dir)) {
        AnsiString error;
        if (!media::MountIfDisc(dir, &error))
            return error.empty() ? Format(u8"%s はディスクでもディスクのフォルダでもありません", { shown }) : error;
    }
    const DiscFinder finder(startS_, {}, set_);
    if (finder.Holds(dir, index)) {
        pointedAt_[index + 1] = AddBackslash(dir);
        return {};
    }
    TTarnInstallSet there;
    try {
        if (!platform::FileExists(AddBackslash(dir) + "install.dat"))
            return Format(u8"%s には install.dat がありません", { shown });
        there.LoadFromFile(AddBackslash(dir) + "install.dat");
    } catch (const Exception& e) {
        return e.Message();
    }
    if (there.Title != set_.Title || there.RegistryKey != set_.RegistryKey)
        return Format(u8"%s は %s のディスクです", { shown, there.Title });
    return Format(u8"%s はディスク%d です", { shown, there.DiscIndex + 1 });
}

} // namespace tarn
