#include "wizard/disc_finder.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "platform/volume.h"

namespace tarn {

DiscFinder::DiscFinder(AnsiString sourceDir, std::map<int, AnsiString> discPaths, const TTarnInstallSet& started)
    : sourceDir_(AddBackslash(sourceDir)), discPaths_(std::move(discPaths)), title_(started.Title), registryKey_(started.RegistryKey)
{
}

namespace {

// The entries of dir, or none where it cannot be read.
std::vector<platform::DirEntry> EntriesOf(const AnsiString& dir)
{
    try {
        return SortedDirectory(dir);
    } catch (const Exception&) {
        return {};
    }
}

bool HasExtension(const AnsiString& name, std::initializer_list<std::string_view> extensions)
{
    AnsiString ext = ExtractFileExt(name);
    for (std::string_view e : extensions)
        if (SameText(ext, e))
            return true;
    return false;
}

// The disc images of a folder. A track file whose sheet lies beside it (x.bin
// with x.cue, x.img with x.ccd) is the sheet's: it is looked at through the
// sheet only.
StringList ImagesIn(const AnsiString& dir, const std::vector<platform::DirEntry>& entries)
{
    StringList images;
    auto has = [&](const AnsiString& name) {
        for (const platform::DirEntry& e : entries)
            if (!(e.Attributes & faDirectory) && SameText(e.Name, name))
                return true;
        return false;
    };
    for (const platform::DirEntry& e : entries) {
        if ((e.Attributes & faDirectory) || !media::LooksLikeDisc(e.Name))
            continue;
        if (HasExtension(e.Name, { ".bin", ".img", ".sub" }) &&
            (has(ChangeFileExt(e.Name, ".cue")) || has(ChangeFileExt(e.Name, ".ccd"))))
            continue;
        images.push_back(AddBackslash(dir) + e.Name);
    }
    return images;
}

// The images an .m3u playlist names, one a line, relative to the playlist;
// "#" lines are comments. The text is UTF-8 or, failing that, CP932.
StringList PlaylistImages(const AnsiString& playlist)
{
    StringList images;
    std::vector<uint8_t> bytes;
    try {
        if (platform::FileSize(playlist) > (1 << 20))
            return images; // no list of discs is that long
        bytes = ReadWholeFile(playlist);
    } catch (const Exception&) {
        return images;
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    AnsiString dir = ExtractFilePath(playlist);
    while (!text.empty()) {
        size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() == '#')
            continue;
        AnsiString name;
        if (!TryUtf8ToCp932(line, name))
            name = AnsiString(line);
        for (char& c : name)
            if (c == '/')
                c = '\\';
        if (name.starts_with("\\"))
            images.push_back(platform::PathFromHost(std::string(line)));
        else if (name.size() > 1 && name[1] == ':')
            images.push_back(name);
        else
            images.push_back(dir + name);
    }
    return images;
}

} // namespace

StringList DiscImagesIn(const AnsiString& dir) { return ImagesIn(dir, EntriesOf(dir)); }

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
    // Beside the source (a folder or an image): the other folders of its
    // parent, by name; then the images there and in those folders, and the
    // images the playlists there name.
    AnsiString self = ExcludeTrailingBackslash(sourceDir_);
    AnsiString parent = ExtractFilePath(self);
    if (!parent.empty() && parent.size() < self.size()) {
        std::vector<platform::DirEntry> entries = EntriesOf(parent);
        StringList folders;
        for (const platform::DirEntry& e : entries)
            if ((e.Attributes & faDirectory) && !e.IsLink && e.Name != "." && e.Name != "..")
                folders.push_back(parent + e.Name);
        for (const AnsiString& f : folders)
            add(f);
        for (const AnsiString& image : ImagesIn(parent, entries))
            add(image);
        for (const AnsiString& f : folders) {
            // A folder that is a mounted image is a disc, not a folder of discs.
            if (!platform::IsMounted(f))
                for (const AnsiString& image : ImagesIn(f, EntriesOf(f)))
                    add(image);
        }
        for (const platform::DirEntry& e : entries)
            if (!(e.Attributes & faDirectory) && HasExtension(e.Name, { ".m3u", ".m3u8" }))
                for (const AnsiString& image : PlaylistImages(parent + e.Name))
                    add(image);
    }
    for (const AnsiString& drive : platform::OpticalDrives())
        add(drive);
    for (const AnsiString& root : platform::MediaRoots())
        add(root);
    return places;
}

bool DiscFinder::Holds(const AnsiString& dir, int index, TTarnInstallSet* found) const
{
    // An image or a drive is opened here, cheaply: its volume descriptors,
    // its root and install.dat are all that is read of a wrong one.
    if (!platform::DirectoryExists(dir))
        media::MountIfDisc(ExcludeTrailingBackslash(dir));
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
