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
        throw EOSError(u8"ディレクトリ %s に移動できません", { wanted });
    AnsiString now = Normalized(platform::CurrentDirectory());
    bool changed = now != directory_;
    directory_ = now;
    Read();
    Changed();
    if (drive_ && DriveOf(directory_) && DriveOf(directory_) != drive_->Drive())
        drive_->Follow(DriveOf(directory_));
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
    drives_ = platform::DriveLetters();
    char current = DriveOf(platform::CurrentDirectory());
    drive_ = current ? current : (drives_.empty() ? 'C' : drives_[0]);
}

void DriveCombo::Refresh()
{
    drives_ = platform::DriveLetters();
    Changed();
}

std::string DriveCombo::DriveText(char letter) const
{
    // "C:", and where the root is shown otherwise (a host directory) that too.
    std::string text = std::string(1, letter) + ":";
    std::string root = platform::DriveRootText(letter);
    if (!root.empty() && root != text + "\\")
        text += " " + root;
    return text;
}

void DriveCombo::SetDirList(DirectoryList* list)
{
    if (dirList_)
        dirList_->drive_ = nullptr;
    dirList_ = list;
    if (list) {
        list->drive_ = this;
        // Linked, the two show the same drive from the start.
        if (char letter = DriveOf(list->Directory()); letter && letter != drive_) {
            drive_ = letter;
            Changed();
        }
    }
}

void DriveCombo::SetDrive(char letter)
{
    letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 32 : letter);
    if (letter == drive_)
        return;
    if (dirList_) {
        AnsiString target = platform::DriveCurrentDirectory(letter);
        if (!platform::ChangeDirectory(target))
            throw EOSError(u8"ドライブ %s: に移動できません", { AnsiString(1, letter) });
        drive_ = letter;
        Changed();
        // The list fires its change first, then the drive list its own.
        DriveCombo* link = dirList_->drive_;
        dirList_->drive_ = nullptr; // it is this drive already
        try {
            dirList_->SetDirectory(target);
        } catch (...) {
            dirList_->drive_ = link;
            throw;
        }
        dirList_->drive_ = link;
    } else {
        drive_ = letter;
        Changed();
    }
    Fire(OnChange);
}

void DriveCombo::Follow(char letter)
{
    if (letter == drive_)
        return;
    drive_ = letter;
    Changed();
    Fire(OnChange);
}

bool DriveCombo::UserChoose(char letter)
{
    letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 32 : letter);
    bool done = false;
    if (Enabled() && Showing() && drives_.find(letter) != std::string::npos && letter != drive_)
        App().Dispatch([&] {
            SetDrive(letter);
            done = true;
        });
    ChoiceMade();
    return done;
}

} // namespace tarn::ui
