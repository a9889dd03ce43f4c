#include "ui/directory_list.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "ui/application.h"

namespace tarn::ui {

namespace {

char DriveOf(const AnsiString& path)
{
    if (path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z'))
        return static_cast<char>(path[0] & ~0x20);
    return 0;
}

// "C:\Games\" -> "C:\Games"; "C:" and "C:\" -> "C:\".
AnsiString Normalized(const AnsiString& dir)
{
    AnsiString d = dir;
    while (d.size() > 3 && IsPathSeparator(d, static_cast<int>(d.size())))
        d.pop_back();
    if (d.size() == 2 && d[1] == ':')
        d += '\\';
    return d;
}

// The components after the root, walked by characters.
StringList Components(const AnsiString& dir)
{
    StringList parts;
    AnsiString part;
    for (size_t i = 3; i < dir.size(); i += CharLengthAt(dir, i)) {
        if (IsPathSeparator(dir, static_cast<int>(i) + 1)) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
            continue;
        }
        part.append(dir, i, CharLengthAt(dir, i));
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

} // namespace

DirectoryList::DirectoryList(Container& parent, AnsiString name) : Control(parent, ControlKind::DirectoryList, std::move(name))
{
    directory_ = Normalized(platform::CurrentDirectory());
    Read();
}

void DirectoryList::Read()
{
    items_.clear();
    AnsiString root = directory_.substr(0, 3);
    Entry rootEntry;
    rootEntry.Path = root;
    std::string shown = platform::DriveRootText(root[0]);
    rootEntry.Text = shown.empty() ? root : HostUtf8ToAnsi(shown);
    rootEntry.Open = true;
    items_.push_back(rootEntry);
    AnsiString path = root;
    int level = 0;
    for (const AnsiString& part : Components(directory_)) {
        path = AddBackslash(path) + part;
        items_.push_back({ part, path, ++level, true });
    }
    itemIndex_ = static_cast<int>(items_.size()) - 1;
    // Subdirectories by name, as the system's list sorts them; hidden ones
    // (dot names on POSIX) are left out, as a listing without the hidden
    // attribute leaves them out.
    std::vector<platform::DirEntry> entries;
    try {
        entries = SortedDirectory(directory_);
    } catch (const Exception&) {
        // An unreadable directory shows no subdirectories.
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const platform::DirEntry& a, const platform::DirEntry& b) { return CompareText(a.Name, b.Name) < 0; });
    for (const platform::DirEntry& e : entries)
        if ((e.Attributes & faDirectory) && !(e.Attributes & faHidden))
            items_.push_back({ e.Name, AddBackslash(directory_) + e.Name, level + 1, false });
}

void DirectoryList::Refresh()
{
    Read();
    Changed();
}

void DirectoryList::SetDirectory(const AnsiString& dir)
{
    AnsiString wanted = Normalized(dir);
    if (DriveOf(wanted) == 0)
        wanted = Normalized(AddBackslash(directory_) + dir); // relative to the shown directory
    if (!platform::ChangeDirectory(wanted))
        throw EOSError(u8"ディレクトリ %s に移動できません", { platform::ShownPath(wanted) });
    AnsiString now = Normalized(platform::CurrentDirectory());
    bool changed = now != directory_;
    directory_ = now;
    Read();
    Changed();
    if (drive_)
        drive_->Follow(directory_);
    if (changed)
        Fire(OnChange);
}

bool DirectoryList::UserChoose(int k)
{
    bool done = false;
    if (Enabled() && Showing() && k >= 0 && k < static_cast<int>(items_.size())) {
        AnsiString path = items_[static_cast<size_t>(k)].Path;
        App().Dispatch([&] {
            SetDirectory(path);
            done = true;
        });
    }
    ChoiceMade();
    return done;
}

bool DirectoryList::UserSetDirectory(const AnsiString& dir)
{
    bool done = false;
    if (Enabled() && Showing() && !dir.empty())
        App().Dispatch([&] {
            SetDirectory(dir);
            done = true;
        });
    ChoiceMade();
    return done;
}

bool DirectoryList::UserPress(int k, bool secondOfDoubleClick)
{
    if (!secondOfDoubleClick)
        return UserChoose(k);
    ChoiceMade();
    return false;
}

DriveCombo::DriveCombo(Container& parent, AnsiString name) : Control(parent, ControlKind::DriveCombo, std::move(name))
{
    places_ = platform::BrowsePlaces();
    AnsiString current = platform::CurrentDirectory();
    place_ = PlaceHolding(current);
    drive_ = DriveOf(current) ? DriveOf(current) : 'C';
}

int DriveCombo::PlaceHolding(const AnsiString& dir) const
{
    AnsiString inside = AddBackslash(Normalized(dir));
    int best = -1;
    for (size_t k = 0; k < places_.size(); ++k) {
        AnsiString root = AddBackslash(places_[k]);
        bool holds = inside.size() >= root.size() && SameText(inside.substr(0, root.size()), root);
        if (holds && (best < 0 || root.size() > AddBackslash(places_[static_cast<size_t>(best)]).size()))
            best = static_cast<int>(k);
    }
    return best;
}

int DriveCombo::PlaceOfDrive(char letter) const
{
    letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 32 : letter);
    for (size_t k = 0; k < places_.size(); ++k)
        if (places_[k].size() == 3 && places_[k][0] == letter && places_[k][1] == ':')
            return static_cast<int>(k);
    return -1;
}

AnsiString DriveCombo::Place() const { return place_ >= 0 ? places_[static_cast<size_t>(place_)] : AnsiString(); }

std::string DriveCombo::PlaceText(int k) const
{
    if (k < 0 || k >= static_cast<int>(places_.size()))
        return std::string();
    const AnsiString& place = places_[static_cast<size_t>(k)];
    AnsiString shown = platform::ShownPath(place);
    if (shown == place && place.size() == 3)
        return place.substr(0, 2); // a drive as the system names it: "C:"
    return AnsiToHostUtf8(shown);
}

void DriveCombo::Refresh()
{
    places_ = platform::BrowsePlaces();
    place_ = PlaceHolding(dirList_ ? dirList_->Directory() : platform::CurrentDirectory());
    Changed();
}

void DriveCombo::SetDirList(DirectoryList* list)
{
    if (dirList_)
        dirList_->drive_ = nullptr;
    dirList_ = list;
    if (list) {
        list->drive_ = this;
        // Linked, the two show the same place from the start.
        int holding = PlaceHolding(list->Directory());
        char letter = DriveOf(list->Directory());
        if (holding != place_ || (letter && letter != drive_)) {
            place_ = holding;
            drive_ = letter ? letter : drive_;
            Changed();
        }
    }
}

void DriveCombo::SetPlace(int k)
{
    if (k < 0 || k >= static_cast<int>(places_.size()))
        throw EOSError(u8"その場所はありません", {});
    if (k == place_)
        return;
    const AnsiString place = places_[static_cast<size_t>(k)];
    // A drive's root goes to that drive's current directory, as drive lists
    // do, unless a deeper place (a medium below the root) holds it.
    AnsiString target = place;
    if (place.size() == 3 && place[1] == ':') {
        AnsiString current = platform::DriveCurrentDirectory(place[0]);
        if (PlaceHolding(current) == k)
            target = current;
    }
    if (dirList_) {
        if (!platform::ChangeDirectory(target)) {
            if (platform::ShownPath(place) == place && place.size() == 3)
                throw EOSError(u8"ドライブ %s: に移動できません", { place.substr(0, 1) });
            throw EOSError(u8"ディレクトリ %s に移動できません", { platform::ShownPath(target) });
        }
        place_ = k;
        drive_ = DriveOf(target) ? DriveOf(target) : drive_;
        Changed();
        // The list fires its change first, then the drive list its own.
        DriveCombo* link = dirList_->drive_;
        dirList_->drive_ = nullptr; // it is this place already
        try {
            dirList_->SetDirectory(target);
        } catch (...) {
            dirList_->drive_ = link;
            throw;
        }
        dirList_->drive_ = link;
        drive_ = DriveOf(dirList_->Directory()) ? DriveOf(dirList_->Directory()) : drive_;
    } else {
        place_ = k;
        drive_ = DriveOf(target) ? DriveOf(target) : drive_;
        Changed();
    }
    Fire(OnChange);
}

void DriveCombo::SetDrive(char letter)
{
    int k = PlaceOfDrive(letter);
    if (k < 0)
        throw EOSError(u8"ドライブ %s: に移動できません", { AnsiString(1, letter) });
    SetPlace(k);
}

void DriveCombo::Follow(const AnsiString& dir)
{
    int holding = PlaceHolding(dir);
    char letter = DriveOf(dir);
    if (holding == place_ && (!letter || letter == drive_))
        return;
    place_ = holding;
    drive_ = letter ? letter : drive_;
    Changed();
    Fire(OnChange);
}

bool DriveCombo::UserChoosePlace(int k)
{
    bool done = false;
    if (Enabled() && Showing() && k >= 0 && k < static_cast<int>(places_.size()) && k != place_)
        App().Dispatch([&] {
            SetPlace(k);
            done = true;
        });
    ChoiceMade();
    return done;
}

} // namespace tarn::ui
