#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

#include <random>

namespace tarn::test {

std::string RunId()
{
    static const std::string id = std::to_string(std::random_device{}() % 1000000000u);
    return id;
}

namespace {

std::map<std::string, ChildMain>& Children()
{
    static std::map<std::string, ChildMain> children;
    return children;
}

AnsiString g_runRoot; // the isolated home of this run (program path, trailing backslash)

[[maybe_unused]] void SetEnv(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

} // namespace

ChildRegistration::ChildRegistration(const char* name, ChildMain main) { Children()[name] = std::move(main); }

std::vector<std::string> ChildArgs(const char* name, std::vector<std::string> args)
{
    args.insert(args.begin(), std::string("--child=") + name);
    return args;
}

TempDir::TempDir()
{
    static std::atomic<int> counter{ 0 };
    AnsiString base = g_runRoot.empty() ? platform::TempDirectory() : g_runRoot;
    path_ = base + "t" + std::to_string(counter++) + "\\";
    platform::ForceDirectories(path_);
}

TempDir::~TempDir() { RemoveTree(path_); }

CurrentDirectoryGuard::CurrentDirectoryGuard() : saved_(platform::CurrentDirectory()) { }

CurrentDirectoryGuard::~CurrentDirectoryGuard() { platform::ChangeDirectory(saved_); }

void RemoveTree(const AnsiString& dir)
{
    AnsiString base = AddBackslash(dir);
    std::vector<platform::DirEntry> entries;
    {
        platform::DirectoryReader reader(base, true);
        platform::DirEntry e;
        while (reader.Next(e))
            if (e.Name != "." && e.Name != "..")
                entries.push_back(e);
    }
    for (const platform::DirEntry& e : entries) {
        AnsiString p = base + e.Name;
        platform::FileSetAttr(p, e.Attributes & ~faReadOnly);
        if ((e.Attributes & faDirectory) && !e.IsLink)
            RemoveTree(p);
        else if (!platform::RemoveFile(p))
            platform::RemoveDir(p);
    }
    platform::FileSetAttr(base, 0);
    platform::RemoveDir(base);
}

StringList TreeOf(const AnsiString& dir)
{
    StringList all;
    if (!platform::DirectoryExists(dir))
        return all;
    ListFiles(dir, 0x3F, true, true, all, true, false, false, "");
    StringList out;
    for (const AnsiString& f : all)
        if (!(platform::FileGetAttr(f) & faDirectory))
            out.push_back(f.substr(AddBackslash(dir).size()));
    std::sort(out.begin(), out.end());
    return out;
}

namespace {

std::string MenuFolder(const std::string& sub)
{
    return sub == "menus" ? platform::GetEnv("XDG_CONFIG_HOME") + "/menus/applications-merged" : platform::GetEnv("XDG_DATA_HOME") + "/" + sub;
}

} // namespace

StringList MenuFiles()
{
    StringList found;
    for (std::string sub : { "applications", "desktop-directories", "menus" })
        for (const AnsiString& f : TreeOf(platform::PathFromHost(MenuFolder(sub))))
            found.push_back(AnsiString(sub) + "/" + f);
    return found;
}

AnsiString MenuFile(const AnsiString& name)
{
    size_t slash = name.find('/');
    return platform::PathFromHost(MenuFolder(name.substr(0, slash))) + "\\" + name.substr(slash + 1);
}

void WriteFile(const AnsiString& path, std::string_view bytes)
{
    auto f = platform::File::Open(path, platform::File::Mode::Create);
    ASSERT_TRUE(f) << "cannot create " << platform::DisplayPath(path);
    ASSERT_EQ(f->Write(bytes.data(), static_cast<int64_t>(bytes.size())), static_cast<int64_t>(bytes.size()));
}

std::string ReadFile(const AnsiString& path)
{
    std::vector<uint8_t> b = ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

std::string Hex(std::string_view hex)
{
    std::string out;
    int high = -1;
    for (char c : hex) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high << 4 | v);
            high = -1;
        }
    }
    return out;
}

std::string ToHex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

AnsiString S(std::u8string_view text) { return Sjis(text); }

AnsiString SelfPath() { return platform::ModuleFileName(); }

AnsiString BinDir() { return ExtractFilePath(SelfPath()); }

AnsiString ProgramPath(std::string_view name)
{
#ifdef _WIN32
    return BinDir() + AnsiString(name) + ".exe";
#else
    return BinDir() + AnsiString(name);
#endif
}

AnsiString SetupProgramPath()
{
#ifdef _WIN32
    return ProgramPath("install");
#else
    return ProgramPath("tarn-setup");
#endif
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

bool UnderCI() { return platform::GetEnv("CI") == "true"; }

AnsiString ToolPath(const std::string& tool)
{
    std::string path = platform::GetEnv("PATH");
#ifdef _WIN32
    const char sep = ';';
#else
    const char sep = ':';
#endif
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(sep, start);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(start, end - start);
        if (!dir.empty() && platform::FileExists(platform::PathFromHost(dir + "/" + tool)))
            return platform::PathFromHost(dir + "/" + tool);
        start = end + 1;
    }
    return AnsiString();
}

bool ToolAvailable(const std::string& tool) { return !ToolPath(tool).empty(); }

#ifdef _WIN32
// Where the shell keeps the user's programs, found here without the
// program's own code.
static AnsiString GroupFolder(const AnsiString& title)
{
    return AddBackslash(platform::PathFromHost(platform::GetEnv("APPDATA"))) + "Microsoft\\Windows\\Start Menu\\Programs\\" +
           title;
}
#endif

StringList GroupFiles(const AnsiString& title)
{
#ifdef _WIN32
    AnsiString folder = GroupFolder(title);
    return platform::DirectoryExists(folder) ? TreeOf(folder) : StringList();
#else
    (void)title;
    return MenuFiles();
#endif
}

void RemoveGroup([[maybe_unused]] const AnsiString& title)
{
#ifdef _WIN32
    // Never the programs folder itself (nor another: the system drops a
    // trailing dot or blank).
    if (!title.empty() && title.find_first_of("\\/:*?") == AnsiString::npos && title.back() != '.' && title.back() != ' ')
        RemoveTree(GroupFolder(title));
#endif
}

#ifndef _WIN32
// The tests of one program share its home; the desktop menu in it starts
// empty for every test, so that what one test's installs leave there never
// counts for the next.
class FreshMenuPerTest : public ::testing::EmptyTestEventListener {
public:
    explicit FreshMenuPerTest(std::string host) : host_(std::move(host)) { }
    void OnTestStart(const ::testing::TestInfo&) override
    {
        for (const char* sub : { "home/.local/share/applications", "home/.local/share/desktop-directories",
                                 "home/.local/share/icons", "config/menus" })
            RemoveTree(platform::PathFromHost(host_ + sub));
    }

private:
    std::string host_;
};
#endif

#ifndef _WIN32
ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old)
        old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        ::setenv(name_, old_.c_str(), 1);
    else
        ::unsetenv(name_);
}

Argv::Argv(const std::string& program, const std::vector<std::string>& args) : strings_{ program }
{
    strings_.insert(strings_.end(), args.begin(), args.end());
    for (std::string& s : strings_)
        pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
}
#endif

} // namespace tarn::test

int main(int argc, char** argv)
{
    using namespace tarn;
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    if (!args.empty() && args[0].rfind("--child=", 0) == 0) {
        auto it = test::Children().find(args[0].substr(8));
        if (it == test::Children().end())
            return 99;
        return it->second(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    // Started by a program that chooses the arguments itself (a menu entry, a
    // stand-in for another program): the child is named in the environment
    // and gets every argument.
    std::string envChild = platform::GetEnv("TARN_TEST_CHILD");
    if (!envChild.empty()) {
        auto it = test::Children().find(envChild);
        return it == test::Children().end() ? 99 : it->second(args);
    }
    // Every run gets its own home, so tests never touch the user's files,
    // registry store or locks. Children inherit it through the environment.
#ifdef _WIN32
    AnsiString root = platform::TempDirectory() + "tarn-test-" + test::RunId() + "\\";
    platform::ForceDirectories(root + "tmp");
    // The temporary folder too (the launcher's copy of itself goes there):
    // test programs running side by side never meet in it.
    std::string tmp;
    platform::HostPath(root + "tmp", tmp);
    test::SetEnv("TEMP", tmp);
    test::SetEnv("TMP", tmp);
#else
    // Set before the first path conversion: the drive map reads HOME once.
    std::string tmp = platform::GetEnv("TMPDIR");
    std::string host = (tmp.empty() || tmp[0] != '/' ? std::string("/tmp") : tmp) + "/tarn-test-" + test::RunId() + "/";
    test::SetEnv("HOME", host + "home");
    test::SetEnv("XDG_CONFIG_HOME", host + "config");
    test::SetEnv("XDG_RUNTIME_DIR", host + "runtime");
    test::SetEnv("XDG_DATA_HOME", host + "home/.local/share");
    test::SetEnv("TMPDIR", host + "tmp");
    // Discs mounted on the machine are none of the tests' business.
    test::SetEnv("TARN_MEDIA_DIRS", host + "media");
    AnsiString root = platform::PathFromHost(host);
    for (const char* sub : { "home", "config", "runtime", "tmp", "media" })
        platform::ForceDirectories(root + sub);
    // The runtime folder is the user's alone, as the desktop's rules ask.
    ::chmod((host + "runtime").c_str(), 0700);
#endif
    test::g_runRoot = root;
    ::testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    ::testing::UnitTest::GetInstance()->listeners().Append(new test::FreshMenuPerTest(host));
#endif
    int rc = RUN_ALL_TESTS();
    test::RemoveTree(root);
    return rc;
}
