// Program paths <-> host paths on POSIX through the drive map.
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace tarn::platform {

namespace {

struct Drive {
    char letter;
    std::string root; // host directory without a trailing slash ("" for /)
};

std::string TrimSlashes(std::string root)
{
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

std::vector<Drive> ReadDriveMap()
{
    std::vector<Drive> drives;
    std::string driveList = GetEnv("TARN_DRIVES");
    size_t start = 0;
    while (start < driveList.size()) {
        size_t end = driveList.find(';', start);
        if (end == std::string::npos)
            end = driveList.size();
        std::string item = driveList.substr(start, end - start);
        start = end + 1;
        if (item.size() >= 3 && item[1] == '=' && std::isalpha(static_cast<unsigned char>(item[0])) && item[2] == '/')
            drives.push_back({ static_cast<char>(std::toupper(static_cast<unsigned char>(item[0]))), TrimSlashes(item.substr(2)) });
    }
    auto has = [&](char letter) {
        for (const Drive& d : drives)
            if (d.letter == letter)
                return true;
        return false;
    };
    if (!has('C')) {
        std::string home = GetEnv("HOME");
        if (home.empty() || home[0] != '/')
            home = "/";
        drives.push_back({ 'C', TrimSlashes(home) });
    }
    if (!has('Z'))
        drives.push_back({ 'Z', "" });
    return drives;
}

// Read once: the map is fixed for the life of the process.
const std::vector<Drive>& Drives()
{
    static const std::vector<Drive> drives = ReadDriveMap();
    return drives;
}

// Appends the components of a program path (from index start) to host, each
// converted on its own so that a slot for a backslash stays in its name.
void AppendComponents(std::string_view path, size_t start, std::string& host)
{
    size_t compStart = start;
    for (size_t i = start; i <= path.size();) {
        bool sep = i == path.size() || ((path[i] == '\\' || path[i] == '/') && CharLengthAt(path, i) == 1);
        if (!sep) {
            i += CharLengthAt(path, i);
            continue;
        }
        if (i > compStart) {
            if (!host.empty() && host.back() != '/')
                host += '/';
            host += AnsiToHostUtf8(path.substr(compStart, i - compStart));
        }
        if (i < path.size() && (host.empty() || host.back() != '/'))
            host += '/';
        ++i;
        compStart = i;
    }
}

} // namespace

bool HostPath(std::string_view path, std::string& host)
{
    host.clear();
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        for (const Drive& d : Drives()) {
            if (d.letter != letter)
                continue;
            host = d.root;
            size_t rest = 2;
            while (rest < path.size() && (path[rest] == '\\' || path[rest] == '/'))
                ++rest;
            host += '/';
            AppendComponents(path, rest, host);
            if (host.size() > 1 && host.back() == '/' && !(path.back() == '\\' || path.back() == '/'))
                host.pop_back();
            return true;
        }
        return false;
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
        return false; // network paths have no host form here
    AppendComponents(path, 0, host);
    return true;
}

AnsiString PathFromHost(std::string_view host)
{
    AnsiString out;
    size_t start = 0;
    if (!host.empty() && host[0] == '/') {
        const Drive* best = nullptr;
        for (const Drive& d : Drives()) {
            std::string_view root = d.root;
            bool match = host.substr(0, root.size()) == root && (host.size() == root.size() || host[root.size()] == '/');
            if (match && (!best || root.size() > best->root.size()))
                best = &d;
        }
        out += best->letter; // Z: (the root) always matches
        out += ":\\";
        start = best->root.size();
        while (start < host.size() && host[start] == '/')
            ++start;
    }
    size_t compStart = start;
    for (size_t i = start; i <= host.size(); ++i) {
        if (i < host.size() && host[i] != '/')
            continue;
        if (i > compStart) {
            if (!out.empty() && out.back() != '\\')
                out += '\\';
            out += HostUtf8ToAnsi(host.substr(compStart, i - compStart), true);
        }
        compStart = i + 1;
    }
    if (host.size() > start && host.back() == '/' && (out.empty() || out.back() != '\\'))
        out += '\\';
    return out;
}

AnsiString ShownPath(std::string_view path)
{
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
        return AnsiString(path);
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const Drive* drive = nullptr;
    for (const Drive& d : Drives())
        if (d.letter == letter)
            drive = &d;
    if (!drive)
        return AnsiString(path);
    // The names stay the program's own bytes, slots and all: only the
    // separators and the drive change. A drive's root is its directory.
    if (path.find_first_not_of("\\/", 2) == std::string_view::npos)
        return drive->root.empty() ? AnsiString("/") : HostUtf8ToAnsi(drive->root);
    AnsiString out = HostUtf8ToAnsi(drive->root) + "/";
    for (size_t i = 2; i < path.size(); i += CharLengthAt(path, i)) {
        bool sep = (path[i] == '\\' || path[i] == '/') && CharLengthAt(path, i) == 1;
        if (!sep)
            out.append(path.substr(i, CharLengthAt(path, i)));
        else if (out.back() != '/')
            out += '/';
    }
    bool trailing = path.size() > 2 && (path.back() == '\\' || path.back() == '/') && CharLengthAt(path, path.size() - 1) == 1;
    if (out.size() > 1 && out.back() == '/' && !trailing)
        out.pop_back();
    return out;
}

std::string DisplayPath(std::string_view path)
{
    std::string host;
    if (HostPath(path, host))
        return host;
    return Cp932ToUtf8Lossy(path);
}

std::vector<std::string> ArgumentsUtf8(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

namespace {
void WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}
} // namespace

void WriteStdout(std::string_view utf8) { WriteAll(1, utf8); }
void WriteStderr(std::string_view utf8) { WriteAll(2, utf8); }
bool StderrIsTerminal() { return ::isatty(2) == 1; }

bool ReadStdin(std::string& bytes, size_t limit)
{
    bytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (static_cast<size_t>(n) > limit - bytes.size())
            return false;
        bytes.append(buf, static_cast<size_t>(n));
    }
}

std::string GetEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool HostPathOrFail(std::string_view path, std::string& host) { return HostPath(path, host); }

} // namespace tarn::platform
