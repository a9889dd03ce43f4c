// Drives, the current directory and where media are mounted, on POSIX.
#include <sys/stat.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace tarn::platform {

namespace {

std::mutex g_dirLock;
// The current directory as it was entered (symbolic links kept, so that a
// home reached through a link stays drive C:), and each drive's last one.
std::string g_logicalCwd;
std::map<char, AnsiString> g_driveDirs;

// "/a/./b/../c/" -> "/a/c"; the root stays "/".
std::string Lexical(const std::string& host)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= host.size()) {
        size_t end = host.find('/', start);
        if (end == std::string::npos)
            end = host.size();
        std::string part = host.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

bool SameDirectory(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string PhysicalCwd()
{
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20))
            return "/";
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

AnsiString WithoutTrailingBackslash(AnsiString dir)
{
    while (dir.size() > 3 && IsPathSeparator(dir, static_cast<int>(dir.size())))
        dir.pop_back();
    return dir;
}

char DriveLetterOf(std::string_view path)
{
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
        return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    return 0;
}

} // namespace

namespace {

// A host path with '/' as its only separator ("~", "~/x", relative or
// absolute) as an absolute program path.
AnsiString PathFromTypedHost(std::string host)
{
    if (host == "~" || host.starts_with("~/")) {
        std::string home = GetEnv("HOME");
        host = (home.empty() ? std::string("/") : home) + host.substr(1);
    }
    if (host[0] != '/') {
        std::lock_guard<std::mutex> guard(g_dirLock);
        host = (g_logicalCwd.empty() ? PhysicalCwd() : g_logicalCwd) + "/" + host;
    }
    return WithoutTrailingBackslash(PathFromHost(Lexical(host)));
}

} // namespace

AnsiString PathFromTyped(std::string_view typed)
{
    if (typed.empty())
        return AnsiString();
    if (DriveLetterOf(typed))
        return NormalizedPath(HostUtf8ToAnsi(typed));
    // A backslash typed separates too, as it does in a drive path.
    std::string host(typed);
    std::replace(host.begin(), host.end(), '\\', '/');
    return PathFromTypedHost(host);
}

AnsiString PathFromShown(std::string_view shown)
{
    if (shown.empty())
        return AnsiString();
    if (DriveLetterOf(shown))
        return NormalizedPath(AnsiString(shown));
    // Each name goes to the host on its own, so that a slot (for a backslash
    // in a name too) becomes its host character and PathFromHost gives it
    // the same slot again; a real backslash separates, as PathFromTyped's.
    std::string host;
    size_t start = 0;
    for (size_t i = 0; i <= shown.size(); i += i < shown.size() ? CharLengthAt(shown, i) : 1) {
        bool sep = i == shown.size() || ((shown[i] == '\\' || shown[i] == '/') && CharLengthAt(shown, i) == 1);
        if (!sep)
            continue;
        host += AnsiToHostUtf8(shown.substr(start, i - start));
        if (i < shown.size())
            host += '/';
        start = i + 1;
    }
    return PathFromTypedHost(host);
}

AnsiString ProgramDataDirectory()
{
    std::string data = GetEnv("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        std::string home = GetEnv("HOME");
        data = (home.empty() ? std::string() : home) + "/.local/share";
    }
    return AddBackslash(PathFromHost(data + "/tarn-setup"));
}

std::string DriveRootText(char letter)
{
    std::string host;
    if (!HostPath(std::string(1, letter) + ":\\", host))
        return std::string();
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

std::string DriveLetters()
{
    std::string letters;
    for (char c = 'A'; c <= 'Z'; ++c) {
        std::string host;
        if (HostPath(std::string(1, c) + ":\\", host))
            letters += c;
    }
    return letters;
}

AnsiString CurrentDirectory()
{
    std::lock_guard<std::mutex> guard(g_dirLock);
    std::string physical = PhysicalCwd();
    std::string logical = g_logicalCwd.empty() ? GetEnv("PWD") : g_logicalCwd;
    std::string host = !logical.empty() && logical[0] == '/' && SameDirectory(logical, physical) ? Lexical(logical) : physical;
    AnsiString path = PathFromHost(host);
    if (path.size() == 2 && path[1] == ':')
        path += '\\';
    return WithoutTrailingBackslash(path);
}

bool ChangeDirectory(std::string_view path)
{
    std::string host;
    if (!HostPath(path, host) || host.empty())
        return false;
    if (host[0] != '/') {
        std::lock_guard<std::mutex> guard(g_dirLock);
        host = (g_logicalCwd.empty() ? PhysicalCwd() : g_logicalCwd) + "/" + host;
    }
    host = Lexical(host);
    if (::chdir(host.c_str()) != 0)
        return false;
    AnsiString program = PathFromHost(host);
    if (program.size() == 2 && program[1] == ':')
        program += '\\';
    program = WithoutTrailingBackslash(program);
    std::lock_guard<std::mutex> guard(g_dirLock);
    g_logicalCwd = host;
    // The drive the host path maps to keeps it as its current directory.
    if (char mapped = DriveLetterOf(program))
        g_driveDirs[mapped] = program;
    return true;
}

AnsiString DriveCurrentDirectory(char letter)
{
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    {
        std::lock_guard<std::mutex> guard(g_dirLock);
        auto it = g_driveDirs.find(letter);
        if (it != g_driveDirs.end())
            return it->second;
    }
    AnsiString current = CurrentDirectory();
    if (DriveLetterOf(current) == letter)
        return current;
    return std::string(1, letter) + ":\\";
}

AnsiString ShortPath(std::string_view path) { return AnsiString(path); }

StringList ProtectedDirectories()
{
    StringList dirs;
    for (char c : DriveLetters())
        dirs.push_back(std::string(1, c) + ":\\");
    dirs.push_back("C:\\Games");
    return dirs;
}

namespace {

// The canonical host form: links resolved as far as the path exists, the
// rest appended as written.
std::string Canonical(const std::string& host)
{
    std::string path = Lexical(host);
    std::string tail;
    while (true) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string r = real;
            std::free(real);
            return tail.empty() ? r : (r == "/" ? "" : r) + tail;
        }
        if (path == "/")
            return tail.empty() ? "/" : tail;
        size_t slash = path.find_last_of('/');
        tail = path.substr(slash) + tail;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

} // namespace

AnsiString ResolvedPath(std::string_view path)
{
    std::string host;
    if (!HostPath(path, host) || host.empty() || host[0] != '/')
        return AnsiString(path);
    AnsiString resolved = PathFromHost(Canonical(host));
    return IsPathSeparator(path, static_cast<int>(path.size())) ? AddBackslash(resolved) : WithoutTrailingBackslash(resolved);
}

bool DirectoryContains(std::string_view outer, std::string_view inner)
{
    std::string o, i;
    if (!HostPath(outer, o) || !HostPath(inner, i) || o.empty() || i.empty() || o[0] != '/' || i[0] != '/')
        return false;
    o = Canonical(o);
    i = Canonical(i);
    if (o == "/")
        return true;
    return i == o || (i.size() > o.size() && i.compare(0, o.size(), o) == 0 && i[o.size()] == '/');
}

StringList BrowsePlaces()
{
    StringList places = { "C:\\", "Z:\\" };
    for (char c : DriveLetters())
        if (c != 'C' && c != 'Z')
            places.push_back(std::string(1, c) + ":\\");
    bool testMedia = std::getenv("TARN_MEDIA_DIRS") != nullptr;
    for (const AnsiString& medium : MediaRoots()) {
        std::string host;
        if (!HostPath(medium, host) || host.empty() || host[0] != '/')
            continue;
        // An empty folder under /media or /mnt (where a drive mounts when it
        // holds a disc) is no medium: a medium lies on a device of its own.
        struct stat st, parent;
        std::string up = host.substr(0, std::max<size_t>(host.find_last_of('/'), 1));
        if (!testMedia && (::stat(host.c_str(), &st) != 0 || ::stat(up.c_str(), &parent) != 0 || st.st_dev == parent.st_dev))
            continue;
        AnsiString place = WithoutTrailingBackslash(medium);
        if (std::find(places.begin(), places.end(), place) == places.end())
            places.push_back(place);
    }
    return places;
}

StringList OpticalDrives()
{
    std::vector<std::string> devices;
    if (const char* set = std::getenv("TARN_DRIVE_DEVICES")) {
        std::string list = set;
        for (size_t start = 0; start <= list.size();) {
            size_t end = std::min(list.find(':', start), list.size());
            if (end > start)
                devices.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    } else {
        for (int i = 0; i < 16; ++i)
            devices.push_back("/dev/sr" + std::to_string(i));
    }
    StringList drives;
    for (const std::string& d : devices) {
        // Without a disc the drive's device cannot be opened; O_NONBLOCK so
        // that a closing tray does not hold the caller.
        int fd = ::open(d.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::close(fd);
        drives.push_back(PathFromHost(d));
    }
    return drives;
}

StringList MediaRoots()
{
    // TARN_MEDIA_DIRS (colon-separated) replaces the places where the system
    // mounts media, so that a test sees only media of its own.
    std::vector<std::string> parents;
    std::string overridden = GetEnv("TARN_MEDIA_DIRS");
    const char* set = std::getenv("TARN_MEDIA_DIRS");
    if (set) {
        size_t start = 0;
        while (start <= overridden.size()) {
            size_t end = overridden.find(':', start);
            if (end == std::string::npos)
                end = overridden.size();
            if (end > start)
                parents.push_back(overridden.substr(start, end - start));
            start = end + 1;
        }
    } else {
        std::string user = GetEnv("USER");
        if (user.empty())
            if (const char* login = ::getlogin())
                user = login;
        if (!user.empty() && user.find('/') == std::string::npos) {
            parents.push_back("/media/" + user);
            parents.push_back("/run/media/" + user);
        }
        parents.push_back("/media");
        parents.push_back("/mnt");
    }
    StringList roots;
    std::vector<std::string> seen;
    for (const std::string& parent : parents) {
        DIR* d = ::opendir(parent.c_str());
        if (!d)
            continue;
        std::vector<std::string> names;
        while (struct dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string host = (parent.back() == '/' ? parent : parent + "/") + name;
            struct stat st;
            if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                continue;
            // /media/$USER is itself a parent, not a medium.
            if (std::find(parents.begin(), parents.end(), host) != parents.end())
                continue;
            if (std::find(seen.begin(), seen.end(), host) != seen.end())
                continue;
            seen.push_back(host);
            roots.push_back(PathFromHost(host));
        }
    }
    return roots;
}

} // namespace tarn::platform
