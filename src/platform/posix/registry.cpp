// The registry below HKEY_CURRENT_USER on POSIX: one .reg-syntax file,
// $XDG_CONFIG_HOME/tarn-setup/user.reg. Every change is a transaction under an
// exclusive lock on user.reg.lock: read the newest file, change it, write a
// temporary file, sync it and rename it over the old one. Readers need no lock
// because the rename replaces the file in one step.
//
// A user.reg that is a symbolic link (a home kept under version control, say)
// stays one: the file at the end of the links is what gets replaced, by a
// temporary file beside it. A writer that died between writing its temporary
// file and the rename leaves name.PID.tmp behind; the next writer removes it
// once that process is gone.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"
#include "platform/reg_store.h"

namespace tarn::platform {

namespace {

const char kRoot[] = "HKEY_CURRENT_USER\\";

std::string StoreDir()
{
    std::string base = GetEnv("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') {
        std::string home = GetEnv("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.config";
    }
    return base + "/tarn-setup";
}

bool ReadWhole(const std::string& file, std::string& text)
{
    text.clear();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

RegStore Load()
{
    std::string text;
    RegStore store;
    if (!ReadWhole(StoreDir() + "/user.reg", text))
        throw ERegistryException(u8"レジストリファイル %s を読めません", { HostUtf8ToAnsi(StoreDir() + "/user.reg") });
    store.Parse(text);
    return store;
}

bool WriteWhole(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file that a chain of symbolic links starting at path ends at (path
// itself when it is no link; it need not exist). False for a loop or a link
// that cannot be read.
bool ResolveLinks(std::string path, std::string& target)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        bool missing = ::lstat(path.c_str(), &st) != 0;
        if (missing && errno != ENOENT)
            return false;
        if (missing || !S_ISLNK(st.st_mode)) {
            target = path; // also the end of a dangling link: the file is made there
            return true;
        }
        std::string link(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size())
            return false;
        link.resize(static_cast<size_t>(n));
        // A relative target counts from the link's own folder.
        path = link[0] == '/' ? link : path.substr(0, path.rfind('/') + 1) + link;
    }
    return false;
}

// Replaces the store's file (or the file its links end at) by text: a
// temporary file beside it, synced, renamed over it, the folder synced.
bool Save(const std::string& dir, const std::string& text)
{
    std::string target;
    if (FaultInjected("registry write") || !ResolveLinks(dir + "/user.reg", target))
        return false;
    size_t slash = target.rfind('/');
    std::string targetDir = slash == 0 ? std::string("/") : target.substr(0, slash), name = target.substr(slash + 1);
    RemoveTemporariesOfEndedProcesses(dir, "user.reg");
    if (target != dir + "/user.reg")
        RemoveTemporariesOfEndedProcesses(targetDir, name);
    // The file keeps the permissions it was given; a new one is the user's alone.
    struct stat st;
    mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0600;
    std::string tmp = TemporaryOfThisProcess(targetDir, name);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    bool ok = (mode == 0600 || ::fchmod(fd, mode) == 0) && WriteWhole(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || FaultInjected("registry rename") || ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    int d = ::open(targetDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        ::fsync(d);
        ::close(d);
    }
    return true;
}

// Runs change on the newest store under the lock and saves it when change
// returns true. Returns false when the store cannot be locked or saved.
bool Transaction(const std::function<bool(RegStore&)>& change)
{
    std::string dir = StoreDir();
    std::string parent = dir.substr(0, dir.rfind('/'));
    ::mkdir(parent.c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    int lock = ::open((dir + "/user.reg.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0)
        return false;
    struct Unlock {
        int fd;
        ~Unlock() { ::flock(fd, LOCK_UN), ::close(fd); }
    } unlock{ lock };
    while (::flock(lock, LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    RegStore store = Load();
    if (!change(store)) {
        // What a writer killed before its rename left goes all the same.
        RemoveTemporariesOfEndedProcesses(dir, "user.reg");
        return true;
    }
    return Save(dir, store.Serialize());
}

AnsiString FullPath(std::string_view path)
{
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\' && IsCharStart(path, path.size() - 1))
        path.remove_suffix(1);
    return kRoot + AnsiString(path);
}

} // namespace

struct RegistryKey::Impl {
    AnsiString path;
};

std::unique_ptr<RegistryKey> RegistryKey::Open(std::string_view path, bool create)
{
    AnsiString full = FullPath(path);
    bool ok = false;
    if (create) {
        bool saved = Transaction([&](RegStore& s) {
            if (s.Exists(full)) {
                ok = true;
                return false; // nothing to save
            }
            return ok = s.Create(full);
        });
        ok = ok && saved;
    } else {
        ok = Load().Exists(full);
    }
    if (!ok)
        return nullptr;
    std::unique_ptr<RegistryKey> key(new RegistryKey);
    key->impl_ = std::make_unique<Impl>();
    key->impl_->path = full;
    return key;
}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::ReadValue(std::string_view name, uint32_t& type, std::string& data)
{
    RegStore store = Load();
    RegKeyData* key = store.Find(impl_->path);
    RegValue* v = key ? RegStore::FindValue(*key, name) : nullptr;
    if (!v)
        return false;
    type = v->Type;
    data = v->Data;
    return true;
}

bool RegistryKey::WriteValue(std::string_view name, uint32_t type, std::string_view data)
{
    bool written = false;
    bool ok = Transaction([&](RegStore& s) {
        if (!s.Exists(impl_->path))
            return false;
        if (!s.Find(impl_->path) && !s.Create(impl_->path))
            return false;
        RegKeyData* key = s.Find(impl_->path);
        if (RegValue* v = RegStore::FindValue(*key, name))
            v->Type = type, v->Data = std::string(data);
        else
            key->Values.push_back({ AnsiString(name), type, std::string(data) });
        written = true;
        return true;
    });
    return ok && written;
}

bool RegistryKey::DeleteValue(std::string_view name)
{
    bool removed = false;
    bool ok = Transaction([&](RegStore& s) {
        RegKeyData* key = s.Find(impl_->path);
        if (!key)
            return false;
        for (size_t i = 0; i < key->Values.size(); ++i)
            if (SameText(key->Values[i].Name, name)) {
                key->Values.erase(key->Values.begin() + static_cast<std::ptrdiff_t>(i));
                removed = true;
                return true;
            }
        return false;
    });
    return ok && removed;
}

StringList RegistryKey::SubKeyNames() { return Load().SubKeys(impl_->path); }

StringList RegistryKey::ValueNames()
{
    RegStore store = Load();
    StringList names;
    if (RegKeyData* key = store.Find(impl_->path))
        for (const RegValue& v : key->Values)
            names.push_back(v.Name);
    return names;
}

bool RegistryKey::DeleteSubKey(std::string_view name)
{
    AnsiString child = impl_->path + "\\" + AnsiString(name);
    bool removed = false;
    bool ok = Transaction([&](RegStore& s) { return removed = s.Delete(child); });
    return ok && removed;
}

} // namespace tarn::platform
