#include "wizard/disc_finder.h"

#include <algorithm>

#include "base/error.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"

namespace tarn {

DiscFinder::DiscFinder(AnsiString sourceDir, std::map<int, AnsiString> discPaths, const TTarnInstallSet& started)
    : sourceDir_(AddBackslash(sourceDir)), discPaths_(std::move(discPaths)), title_(started.Title), registryKey_(started.RegistryKey)
{
}

StringList DiscFinder::Candidates(int index) const
{
    StringList places;
    auto add = [&](const AnsiString& dir) {
        if (dir.empty())
            return;
        AnsiString d = AddBackslash(dir);
        for (const AnsiString& p : places)
            if (SameText(p, d))
                return;
        places.push_back(d);
    };
    add(sourceDir_);
    auto given = discPaths_.find(index + 1);
    if (given != discPaths_.end())
        add(given->second);
    // The other folders of the source directory's parent, by name.
    AnsiString self = ExcludeTrailingBackslash(sourceDir_);
    AnsiString parent = ExtractFilePath(self);
    if (!parent.empty() && parent.size() < self.size()) {
        try {
            for (const platform::DirEntry& e : SortedDirectory(parent))
                if ((e.Attributes & faDirectory) && !e.IsLink)
                    add(parent + e.Name);
        } catch (const Exception&) {
            // An unreadable parent has nothing to offer.
        }
    }
    for (const AnsiString& root : platform::MediaRoots())
        add(root);
    return places;
}

bool DiscFinder::Holds(const AnsiString& dir, int index, TTarnInstallSet* found) const
{
    AnsiString file = AddBackslash(dir) + "install.dat";
    if (!platform::FileExists(file))
        return false;
    TTarnInstallSet set;
    try {
        set.LoadFromFile(file);
    } catch (const Exception&) {
        return false; // a damaged or unreadable description is no disc of this set
    }
    if (set.DiscIndex != index || set.Installed != 0 || set.Title != title_ || set.RegistryKey != registryKey_)
        return false;
    if (found)
        *found = std::move(set);
    return true;
}

std::optional<DiscFinder::Found> DiscFinder::Find(int index) const
{
    for (const AnsiString& dir : Candidates(index)) {
        Found f;
        if (Holds(dir, index, &f.Description)) {
            f.Dir = dir;
            return f;
        }
    }
    return std::nullopt;
}

} // namespace tarn
