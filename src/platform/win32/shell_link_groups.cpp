// Program groups as shell links. A group's folder may hold what others put
// there; the links this program made are listed, with a hash of their bytes,
// in a hidden file of the folder, so that deleting the group takes exactly
// those (and the folder only when nothing else is left in it).
#include "platform/win32/shell_link_groups.h"

#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn::platform {

namespace {

// The folder of the user's Start-menu programs; empty when there is none.
std::wstring ProgramsFolder(int csidl, bool create)
{
    wchar_t buf[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl | (create ? CSIDL_FLAG_CREATE : 0), nullptr, SHGFP_TYPE_CURRENT, buf)))
        return std::wstring();
    return buf;
}

bool WideDirectoryExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(SysPathWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWideFile(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    HANDLE h = CreateFileW(SysPathWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char buf[16384];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr) != 0) && n > 0 && bytes.size() < (4u << 20))
        bytes.append(buf, n);
    CloseHandle(h);
    return ok;
}

// Written beside the target and moved over it, so that a reader never sees half.
bool WriteWideFile(const std::wstring& path, const std::string& bytes, DWORD attributes)
{
    std::wstring temp = path + L".new";
    if (FaultInjected("menu write"))
        return false;
    HANDLE h = CreateFileW(SysPathWide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    ok = CloseHandle(h) && ok;
    // A hidden target refuses to be replaced by a file that is not.
    SetFileAttributesW(SysPathWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    ok = ok && !FaultInjected("menu rename") && MoveFileExW(SysPathWide(temp).c_str(), SysPathWide(path).c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok) {
        DeleteFileW(SysPathWide(temp).c_str());
        return false;
    }
    SetFileAttributesW(SysPathWide(path).c_str(), attributes);
    return true;
}

uint64_t Fnv1a(std::string_view bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

std::wstring WideOf(const std::string& utf8)
{
    std::u16string w = Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string Utf8Of(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

// A name as one file-name component: characters a name cannot hold become
// '_', and the trailing dots and blanks the system would drop go.
std::wstring ComponentOf(const AnsiString& name)
{
    std::wstring w = Wide(name);
    for (wchar_t& c : w)
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    while (!w.empty() && (w.back() == L'.' || w.back() == L' '))
        w.pop_back();
    return w;
}

// The links a group folder holds because this program made them, by file
// name, each with a hash of the bytes it was written with: a link that has
// changed since, or a file of the same kind that somebody else put there, is
// not the program's to delete.
class LinkRecord {
public:
    static constexpr const wchar_t* kFileName = L"tarn-setup-links.txt";

    explicit LinkRecord(std::wstring folder) : file_(std::move(folder) + L"\\" + kFileName)
    {
        std::string text;
        if (!ReadWideFile(file_, text))
            return;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            size_t blank = line.find(' ');
            if (blank != 16 || line.size() <= 17)
                continue;
            uint64_t hash = std::strtoull(line.substr(0, 16).c_str(), nullptr, 16);
            entries_.emplace_back(WideOf(line.substr(17)), hash);
        }
    }

    const std::vector<std::pair<std::wstring, uint64_t>>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

    void Set(const std::wstring& name, uint64_t hash)
    {
        for (auto& e : entries_)
            if (CompareStringOrdinal(e.first.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
                e = { name, hash };
                return;
            }
        entries_.emplace_back(name, hash);
    }

    bool Save() const
    {
        std::string text;
        for (const auto& [name, hash] : entries_) {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
            text += std::string(hex) + " " + Utf8Of(name) + "\n";
        }
        return WriteWideFile(file_, text, FILE_ATTRIBUTE_HIDDEN);
    }

    void Remove() const
    {
        SetFileAttributesW(SysPathWide(file_).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(SysPathWide(file_).c_str());
    }

private:
    std::wstring file_;
    std::vector<std::pair<std::wstring, uint64_t>> entries_;
};

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released()
    {
        if (p)
            p->Release();
    }
};

// The program of an item's command line and what follows it: the whole
// text when it names a file, else the longest start before a blank that does.
void SplitCommand(const AnsiString& command, AnsiString& program, AnsiString& arguments)
{
    program = command;
    arguments.clear();
    if (FileExists(command) || DirectoryExists(command))
        return;
    for (size_t i = command.size(); i-- > 0;) {
        if (command[i] == ' ' && IsCharStart(command, i) && FileExists(command.substr(0, i))) {
            program = command.substr(0, i);
            arguments = command.substr(i + 1);
            return;
        }
    }
}

bool InCodePage(const std::wstring& w)
{
    if (w.empty())
        return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                &usedDefault);
    return n > 0 && !usedDefault;
}

// Part of a link (its target in particular) is kept in the system's
// code page, and Wine reads the target from that part alone: a path the
// code page cannot hold goes in its short form, which names the same
// file with characters any code page has.
std::wstring LinkPath(const AnsiString& path)
{
    std::wstring w = Wide(path);
    if (InCodePage(w))
        return w;
    std::wstring shortForm = Wide(ShortPath(path));
    return InCodePage(shortForm) ? shortForm : w;
}

// Another program may hold a new link open for a moment (Wine's menu
// builder, a virus scanner, an indexer): what it holds is tried again for
// a while.
template <typename Step>
bool Retried(Step step)
{
    for (int attempt = 0;; ++attempt) {
        if (step())
            return true;
        DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) || attempt == 40)
            return false;
        Sleep(50);
    }
}

// Deletes the link when it is the one that was written. False only when it
// is still there, unchanged, and could not be deleted.
bool DeleteIfUnchanged(const std::wstring& file, uint64_t hash)
{
    std::wstring path = SysPathWide(file);
    return Retried([&] {
        std::string bytes;
        if (!ReadWideFile(file, bytes))
            return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; // gone
        return Fnv1a(bytes) != hash || DeleteFileW(path.c_str()); // somebody's now, or deleted
    });
}

} // namespace

std::unique_ptr<ShellLinkGroups> ShellLinkGroups::Make()
{
    std::wstring programs = ProgramsFolder(CSIDL_PROGRAMS, true);
    if (programs.empty() || !WideDirectoryExists(programs))
        return nullptr;
    ComScope com;
    Released<IShellLinkW> link;
    if (!com.Usable() ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link.p))))
        return nullptr;
    return std::unique_ptr<ShellLinkGroups>(new ShellLinkGroups(std::move(programs)));
}

bool ShellLinkGroups::GroupFolderExists(const AnsiString& title)
{
    // A program manager may have made it for all users.
    for (int csidl : { CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS }) {
        std::wstring programs = ProgramsFolder(csidl, false);
        if (!programs.empty() && WideDirectoryExists(programs + L"\\" + ComponentOf(title)))
            return true;
    }
    return false;
}

StringList ShellLinkGroups::GroupFolderFiles(const AnsiString& title)
{
    StringList files;
    for (int csidl : { CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS }) {
        std::wstring programs = ProgramsFolder(csidl, false);
        std::wstring folder = programs + L"\\" + ComponentOf(title);
        if (programs.empty() || !WideDirectoryExists(folder))
            continue;
        AnsiString dir = AddBackslash(FromWide(folder));
        DirectoryReader reader(dir, false);
        DirEntry e;
        while (reader.Next(e))
            if (!(e.Attributes & faDirectory))
                files.push_back(dir + e.Name);
    }
    return files;
}

std::wstring ShellLinkGroups::FolderOf(const AnsiString& title) const { return programs_ + L"\\" + ComponentOf(title); }

void ShellLinkGroups::CreateGroup(const AnsiString& title)
{
    current_.reset();
    std::wstring folder = FolderOf(title);
    if (!FaultInjected("make directory") &&
        (CreateDirectoryW(SysPathWide(folder).c_str(), nullptr) || WideDirectoryExists(folder)))
        current_ = title;
}

void ShellLinkGroups::ShowGroup(const AnsiString& title)
{
    current_.reset();
    if (WideDirectoryExists(FolderOf(title)))
        current_ = title;
}

void ShellLinkGroups::AddItem(const StringList& args)
{
    if (!current_ || args.empty() || args[0].empty())
        return;
    std::wstring folder = FolderOf(*current_);
    if (!WideDirectoryExists(folder))
        return;
    AnsiString program, arguments;
    SplitCommand(args[0], program, arguments);
    AnsiString name = args.size() > 1 ? args[1] : AnsiString();
    if (ComponentOf(name).empty())
        name = ChangeFileExt(ExtractFileName(program), "");
    std::wstring linkName = ComponentOf(name) + L".lnk";
    if (linkName == L".lnk")
        return;
    std::wstring linkFile = folder + L"\\" + linkName;

    ComScope com;
    Released<IShellLinkW> link;
    Released<IPersistFile> file;
    if (!com.Usable() ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link.p))) ||
        FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))))
        return;
    // The program runs in its own folder, as an item of the program
    // manager does; the picture comes from the icon file when the
    // command names one.
    link.p->SetPath(LinkPath(program).c_str());
    link.p->SetArguments(Wide(arguments).c_str());
    link.p->SetWorkingDirectory(LinkPath(ExcludeTrailingBackslash(ExtractFilePath(program))).c_str());
    if (args.size() > 2 && !args[2].empty())
        link.p->SetIconLocation(LinkPath(args[2]).c_str(), args.size() > 3 ? std::atoi(args[3].c_str()) : 0);
    // The program manager replaces an item of the same name.
    SetFileAttributesW(SysPathWide(linkFile).c_str(), FILE_ATTRIBUTE_NORMAL);
    std::string bytes;
    if (FaultInjected("menu write") || !Retried([&] {
            HRESULT hr = file.p->Save(linkFile.c_str(), TRUE);
            if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32)
                SetLastError(HRESULT_CODE(hr));
            return SUCCEEDED(hr);
        }) ||
        !Retried([&] { return ReadWideFile(linkFile, bytes); }))
        return;
    LinkRecord record(folder);
    record.Set(linkName, Fnv1a(bytes));
    record.Save();
}

void ShellLinkGroups::DeleteGroup(const AnsiString& title)
{
    if (current_ && SameText(*current_, title))
        current_.reset();
    std::wstring folder = FolderOf(title);
    if (!WideDirectoryExists(folder))
        return;
    LinkRecord record(folder), kept(folder);
    kept.Clear();
    for (const auto& [name, hash] : record.Entries())
        if (FaultInjected("menu remove") || !DeleteIfUnchanged(folder + L"\\" + name, hash))
            kept.Set(name, hash);
    // A link that is still held stays the program's, for the next time.
    if (kept.Entries().empty())
        record.Remove();
    else
        kept.Save();
    // Only an empty folder goes: anything else in it is somebody's.
    std::wstring path = SysPathWide(folder);
    if (!FaultInjected("remove directory"))
        Retried([&] { return RemoveDirectoryW(path.c_str()) != 0; });
}

} // namespace tarn::platform
