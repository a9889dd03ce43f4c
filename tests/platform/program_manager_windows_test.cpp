// The program manager on Windows: the DDE conversation against a server of
// the test's own (a thread with its own message loop that records every
// execute transaction), and the shell links made where no server answers,
// read back through the shell's own link object.
#ifdef _WIN32
#include <windows.h>

#include <ddeml.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::wstring W(const AnsiString& text)
{
    std::u16string w = AnsiToUtf16(text);
    return std::wstring(w.begin(), w.end());
}

std::string Utf8(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

std::string Printable(const std::vector<std::string>& list)
{
    std::string out;
    for (const std::string& s : list)
        out += test::ToHex(s) + "\n";
    return out;
}

// ---- a program manager of the test's own ----

class TestServer {
public:
    // unicode: a server of the W functions, as the shell's is.
    explicit TestServer(std::string service, bool unicode = false) : service_(std::move(service)), unicode_(unicode)
    {
        current_ = this;
        thread_ = std::thread([this] { Run(); });
        WaitForSingleObject(ready_, 10000);
    }
    ~TestServer()
    {
        Release();
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
        current_ = nullptr;
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    bool Registered() const { return registered_; }
    const std::string& Service() const { return service_; }
    std::vector<std::string> Received()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return received_;
    }
    // An execute transaction whose bytes hold marker is answered only after Release.
    void HoldAnswersTo(std::string marker) { hold_ = std::move(marker); }
    void Release() { SetEvent(release_); }

private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR)
    {
        TestServer* s = current_;
        if (type == XTYP_CONNECT)
            return reinterpret_cast<HDDEDATA>(static_cast<INT_PTR>(DdeCmpStringHandles(hsz1, s->topic_) == 0));
        if (type == XTYP_EXECUTE) {
            DWORD size = DdeGetData(data, nullptr, 0, 0);
            std::string bytes(size, '\0');
            DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
            {
                std::lock_guard<std::mutex> guard(s->lock_);
                s->received_.push_back(bytes);
            }
            if (!s->hold_.empty() && bytes.find(s->hold_) != std::string::npos)
                WaitForSingleObject(s->release_, 60000);
            return reinterpret_cast<HDDEDATA>(DDE_FACK);
        }
        return nullptr;
    }

    void Run()
    {
        threadId_ = GetCurrentThreadId();
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        DWORD inst = 0;
        const DWORD flags = APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS;
        UINT rc = unicode_ ? DdeInitializeW(&inst, Callback, flags, 0) : DdeInitializeA(&inst, Callback, flags, 0);
        if (rc == DMLERR_NO_ERROR) {
            std::wstring wideService(service_.begin(), service_.end());
            HSZ service = unicode_ ? DdeCreateStringHandleW(inst, wideService.c_str(), CP_WINUNICODE)
                                   : DdeCreateStringHandleA(inst, service_.c_str(), CP_WINANSI);
            topic_ = unicode_ ? DdeCreateStringHandleW(inst, L"PROGMAN", CP_WINUNICODE)
                              : DdeCreateStringHandleA(inst, "PROGMAN", CP_WINANSI);
            // DDEML registers a name even where it can make no window to answer with.
            HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
            if (probe)
                DestroyWindow(probe);
            registered_ = DdeNameService(inst, service, nullptr, DNS_REGISTER) != nullptr && probe != nullptr;
            SetEvent(ready_);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            DdeNameService(inst, service, nullptr, DNS_UNREGISTER);
            DdeFreeStringHandle(inst, service);
            DdeFreeStringHandle(inst, topic_);
            DdeUninitialize(inst);
        }
        SetEvent(ready_);
    }

    static inline TestServer* current_ = nullptr;
    std::string service_;
    bool unicode_ = false;
    std::string hold_;
    HSZ topic_ = nullptr;
    HANDLE ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread_;
    DWORD threadId_ = 0;
    bool registered_ = false;
    std::mutex lock_;
    std::vector<std::string> received_;
};

// DDE runs over windows: without a display (under Wine, no X server) no
// server can register, and the conversation cannot be tested.
#define REQUIRE_SERVER(server)                                                                        \
    do {                                                                                              \
        if (!(server).Registered()) {                                                                 \
            if (::tarn::test::UnderCI())                                                              \
                FAIL() << "no DDE server could register: DDE needs a display (DISPLAY, Xvfb)";       \
            GTEST_SKIP() << "no DDE server could register: DDE needs a display (DISPLAY, Xvfb)";     \
        }                                                                                             \
    } while (0)

std::string ServiceName(const char* what)
{
    static int n = 0;
    return std::string("TARNTEST") + what + test::RunId() + "-" + std::to_string(++n);
}

// ---- the Start menu and its links ----

class ComForTest {
public:
    ComForTest() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComForTest() { CoUninitialize(); }
};

std::wstring ProgramsFolder()
{
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, buf);
    return buf;
}

std::wstring GroupFolder(const AnsiString& title) { return ProgramsFolder() + L"\\" + W(title); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The visible files of a folder, sorted.
std::vector<std::string> FilesIn(const std::wstring& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)))
            names.push_back(Utf8(d.cFileName));
    } while (FindNextFileW(h, &d));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// A path as its long form names it (a link may hold the short form).
std::string LongForm(const std::string& utf8)
{
    std::u16string u = Utf8ToUtf16(utf8);
    std::wstring w(u.begin(), u.end());
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetLongPathNameW(w.c_str(), buf, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? Utf8(std::wstring(buf, n)) : utf8;
}

// Everything in a folder, hidden files too, for a failure's message.
std::string Listing(const std::wstring& folder)
{
    std::string out;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return "(no folder)";
    do
        out += Utf8(d.cFileName) + " ";
    while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
}

struct LinkInfo {
    bool loaded = false;
    std::string path, arguments, directory, icon;
    int iconIndex = -1;
};

LinkInfo ReadLink(const std::wstring& file)
{
    LinkInfo info;
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        wchar_t buf[MAX_PATH * 2] = {};
        info.loaded = true;
        if (SUCCEEDED(link->GetPath(buf, MAX_PATH * 2, nullptr, SLGP_RAWPATH)))
            info.path = Utf8(buf);
        buf[0] = 0;
        if (SUCCEEDED(link->GetArguments(buf, MAX_PATH * 2)))
            info.arguments = Utf8(buf);
        buf[0] = 0;
        if (SUCCEEDED(link->GetWorkingDirectory(buf, MAX_PATH * 2)))
            info.directory = Utf8(buf);
        buf[0] = 0;
        if (SUCCEEDED(link->GetIconLocation(buf, MAX_PATH * 2, &info.iconIndex)))
            info.icon = Utf8(buf);
    }
    if (persist)
        persist->Release();
    if (link)
        link->Release();
    return info;
}

// Saves a link of the person's own.
bool WriteLink(const std::wstring& file, const std::wstring& target)
{
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link))) &&
              SUCCEEDED(link->SetPath(target.c_str())) &&
              SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
              SUCCEEDED(persist->Save(file.c_str(), TRUE));
    if (persist)
        persist->Release();
    if (link)
        link->Release();
    return ok;
}

// An installation with the three kinds of item, in a folder whose name
// holds blanks and two-byte characters with a 0x5C second byte.
class Installation {
public:
    Installation() : dir_(dir0_ / S(u8"Tarn ゲーム ソフト") + "\\")
    {
        platform::ForceDirectories(dir_);
        test::WriteFile(dir_ + "game.exe", "MZ");
        test::WriteFile(dir_ + "install.exe", "MZ");
        test::WriteFile(dir_ + "readme.txt", "read me\n");
    }
    const AnsiString& Dir() const { return dir_; }

private:
    TempDir dir0_;
    AnsiString dir_;
};

StringList GroupCommands(const AnsiString& title, const AnsiString& d)
{
    return {
        "[CreateGroup(" + title + ")]",
        "[ShowGroup(" + title + ",1)]",
        "[AddItem(\"" + d + "game.exe\",\"" + title + "\")]",
        "[AddItem(\"" + d + "install.exe\",\"" + title + S(u8"のアンインストール") + "\",\"" + d + "install.exe\",1)]",
        "[AddItem(\"" + d + "readme.txt\",\"" + S(u8"お読みください") + "\")]",
    };
}

AnsiString UniqueTitle(const char8_t* base) { return S(base) + " " + test::RunId() + "-" + std::to_string(GetTickCount()); }

// ---- the conversation ----

TEST(ProgramManagerDde, EveryCommandArrivesAsItsCp932BytesWithTheirNul)
{
    TestServer server(ServiceName("A"));
    REQUIRE_SERVER(server);
    Installation inst;
    const AnsiString title = UniqueTitle(u8"ゲーム ソフト表");
    StringList commands = GroupCommands(title, inst.Dir());
    commands.push_back("[DeleteGroup(" + title + ")]");
    auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
    ASSERT_TRUE(pm);
    for (const AnsiString& c : commands)
        pm->Execute(c);
    std::vector<std::string> expected;
    for (const AnsiString& c : commands)
        expected.push_back(c + '\0');
    EXPECT_EQ(server.Received(), expected) << Printable(server.Received());
    // The server answered: nothing was made beside it.
    EXPECT_FALSE(Exists(GroupFolder(title))) << Listing(GroupFolder(title));
    EXPECT_FALSE(pm->GroupExists(title));
}

TEST(ProgramManagerDde, CommandsThatCouldReachAnotherFolderAreNeverSent)
{
    TestServer server(ServiceName("B"));
    REQUIRE_SERVER(server);
    auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
    ASSERT_TRUE(pm);
    // Each of these would delete the Start menu's programs folder, a parent
    // of it, or every group whose name matches.
    for (const AnsiString& refused :
         { AnsiString("[DeleteGroup()]"), AnsiString("[DeleteGroup(.)]"), AnsiString("[DeleteGroup(..)]"),
           AnsiString("[DeleteGroup(..\\..)]"), AnsiString("[DeleteGroup(a\\b)]"), AnsiString("[DeleteGroup(a/b)]"),
           AnsiString("[DeleteGroup(   )]"), AnsiString("[DeleteGroup(Game.)]"), AnsiString("[DeleteGroup(Game )]"),
           AnsiString("[DeleteGroup(*)]"), AnsiString("[DeleteGroup(G?me)]"), AnsiString("[DeleteGroup(C:)]"),
           AnsiString("[DeleteGroup(\x81)]"), AnsiString("[CreateGroup(Game)][DeleteGroup()]"),
           AnsiString("[CreateGroup(Game)] [DeleteGroup()]"), AnsiString("[DeleteGroup(Game)]\0[DeleteGroup()]", 35),
           AnsiString("[ExitProgman(1)]"), AnsiString("CreateGroup(Plain)"), AnsiString("") })
        pm->Execute(refused);
    EXPECT_EQ(server.Received(), std::vector<std::string>{}) << Printable(server.Received());

    // After a refused group its items are refused too: they would land in
    // whatever group the server had before.
    pm->Execute("[CreateGroup(Kept)]");
    pm->Execute("[CreateGroup(..)]");
    pm->Execute("[AddItem(\"C:\\x.exe\",\"X\")]");
    pm->Execute("[ShowGroup(Kept,1)]");
    pm->Execute("[AddItem(\"C:\\y.exe\",\"Y\")]");
    // A 0x5C second byte (ソ, 表) is no separator.
    AnsiString soft = S(u8"ソフト表");
    pm->Execute("[DeleteGroup(" + soft + ")]");
    EXPECT_EQ(server.Received(),
              (std::vector<std::string>{ std::string("[CreateGroup(Kept)]") + '\0', std::string("[ShowGroup(Kept,1)]") + '\0',
                                         std::string("[AddItem(\"C:\\y.exe\",\"Y\")]") + '\0',
                                         "[DeleteGroup(" + soft + ")]" + '\0' }))
        << Printable(server.Received());
}

// Where no program manager answers, the same commands make a folder of
// links in the Start menu's programs, and deleting the group removes only
// the links made so.
TEST(ProgramManagerLinks, AGroupBecomesAFolderOfShellLinks)
{
    ComForTest com;
    Installation inst;
    const AnsiString title = UniqueTitle(u8"体験版 ソフト");
    const std::wstring folder = GroupFolder(title);
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        ASSERT_TRUE(pm);
        for (const AnsiString& c : GroupCommands(title, inst.Dir()))
            pm->Execute(c);
        EXPECT_TRUE(pm->GroupExists(title));
    }
    ASSERT_TRUE(Exists(folder));
    const std::string t = Utf8(W(title)), d = Utf8(W(inst.Dir()));
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{ "お読みください.lnk", t + ".lnk", t + "のアンインストール.lnk" }));

    LinkInfo game = ReadLink(folder + L"\\" + W(title) + L".lnk");
    ASSERT_TRUE(game.loaded);
    EXPECT_EQ(LongForm(game.path), d + "game.exe");
    EXPECT_EQ(game.arguments, "");
    EXPECT_EQ(LongForm(game.directory), d.substr(0, d.size() - 1)); // the program's own folder
    LinkInfo uninstall = ReadLink(folder + L"\\" + W(title + S(u8"のアンインストール")) + L".lnk");
    ASSERT_TRUE(uninstall.loaded);
    EXPECT_EQ(LongForm(uninstall.path), d + "install.exe");
    EXPECT_EQ(LongForm(uninstall.icon), d + "install.exe");
    EXPECT_EQ(uninstall.iconIndex, 1);
    LinkInfo readme = ReadLink(folder + L"\\" + W(S(u8"お読みください")) + L".lnk");
    ASSERT_TRUE(readme.loaded);
    EXPECT_EQ(LongForm(readme.path), d + "readme.txt");

    // Installed again: the links are replaced, not doubled.
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        for (const AnsiString& c : GroupCommands(title, inst.Dir()))
            pm->Execute(c);
    }
    EXPECT_EQ(FilesIn(folder).size(), 3u);

    // A file of the person's own, and a link of the group's that the
    // person has changed since, stay with the folder; the rest goes.
    HANDLE own = CreateFileW((folder + L"\\notes.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(own, INVALID_HANDLE_VALUE);
    CloseHandle(own);
    ASSERT_TRUE(WriteLink(folder + L"\\" + W(S(u8"お読みください")) + L".lnk", W(inst.Dir() + "other.txt")));
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        pm->Execute("[DeleteGroup(" + title + ")]");
        EXPECT_TRUE(pm->GroupExists(title));
    }
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{ "notes.txt", "お読みください.lnk" }));

    // Alone with its own links, the folder goes with them.
    DeleteFileW((folder + L"\\notes.txt").c_str());
    DeleteFileW((folder + L"\\" + W(S(u8"お読みください")) + L".lnk").c_str());
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        for (const AnsiString& c : GroupCommands(title, inst.Dir()))
            pm->Execute(c);
        pm->Execute("[DeleteGroup(" + title + ")]");
        EXPECT_FALSE(pm->GroupExists(title));
    }
    EXPECT_FALSE(Exists(folder)) << Listing(folder);
}

TEST(ProgramManagerLinks, AFolderTheProgramDidNotMakeKeepsEverything)
{
    ComForTest com;
    const AnsiString title = UniqueTitle(u8"Someone else");
    const std::wstring folder = GroupFolder(title);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteLink(folder + L"\\" + W(title) + L".lnk", L"C:\\windows\\notepad.exe"));
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        ASSERT_TRUE(pm);
        pm->Execute("[DeleteGroup(" + title + ")]");
    }
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{ Utf8(W(title)) + ".lnk" });
    DeleteFileW((folder + L"\\" + W(title) + L".lnk").c_str());
    RemoveDirectoryW(folder.c_str());
}

// A title the server would read as another group (at its comma), or could
// not give a folder (a quote), is carried out as links, with the
// conversation so far; a name a folder cannot hold gets '_' for the
// characters it cannot hold.
TEST(ProgramManagerDde, ATitleTheServerWouldMisreadGoesTheLinkWay)
{
    ComForTest com;
    TestServer server(ServiceName("C"));
    REQUIRE_SERVER(server);
    Installation inst;
    const AnsiString id = test::RunId() + "-" + std::to_string(GetTickCount());
    const AnsiString comma = S(u8"Sample (体験版), Tarn ") + id, quoted = S(u8"Sample \"体験版\" <Tarn> ") + id;
    const std::wstring quotedFolder = ProgramsFolder() + L"\\" + W(S(u8"Sample _体験版_ _Tarn_ ") + id);
    for (const AnsiString& title : { comma, quoted }) {
        {
            auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
            ASSERT_TRUE(pm);
            for (const AnsiString& c : GroupCommands(title, inst.Dir()))
                pm->Execute(c);
            EXPECT_TRUE(pm->GroupExists(title));
        }
        EXPECT_EQ(server.Received(), std::vector<std::string>{}) << Printable(server.Received());
        EXPECT_EQ(FilesIn(title == comma ? GroupFolder(title) : quotedFolder).size(), 3u);
        {
            auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
            pm->Execute("[DeleteGroup(" + title + ")]");
            EXPECT_FALSE(pm->GroupExists(title));
        }
    }
    EXPECT_FALSE(Exists(GroupFolder(comma))) << Listing(GroupFolder(comma));
    EXPECT_FALSE(Exists(quotedFolder)) << Listing(quotedFolder);
}

// A server of the W functions reads an ANSI client's bytes in the system's
// code page: with code page 932 the commands reach it as meant; under any
// other, a text that is not ASCII would arrive as another, and goes the link
// way instead. Either way the group is there, under its own name.
TEST(ProgramManagerDde, AUnicodeServerGetsTheTextOnlyWhereTheCodePageCarriesIt)
{
    ComForTest com;
    TestServer server(ServiceName("U"), true);
    REQUIRE_SERVER(server);
    Installation inst;
    const AnsiString title = UniqueTitle(u8"ユニコード ソフト表");
    StringList commands = GroupCommands(title, inst.Dir());
    {
        auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
        ASSERT_TRUE(pm);
        pm->Execute("[ShowGroup(Plain,1)]"); // ASCII goes over DDE under any code page
        for (const AnsiString& c : commands)
            pm->Execute(c);
        EXPECT_EQ(pm->GroupExists(title), GetACP() != 932);
    }
    std::vector<std::string> got = server.Received();
    ASSERT_FALSE(got.empty());
    std::u16string plain = u"[ShowGroup(Plain,1)]";
    plain += u'\0';
    EXPECT_EQ(got[0], std::string(reinterpret_cast<const char*>(plain.data()), plain.size() * 2)) << test::ToHex(got[0]);
    if (GetACP() == 932) {
        ASSERT_EQ(got.size(), 1 + commands.size());
        for (size_t i = 0; i < commands.size(); ++i) {
            std::u16string w = AnsiToUtf16(commands[i]);
            w += u'\0';
            EXPECT_EQ(got[i + 1], std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2)) << i;
        }
    } else {
        EXPECT_EQ(got.size(), 1u) << Printable(got);
        EXPECT_EQ(FilesIn(GroupFolder(title)).size(), 3u);
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        pm->Execute("[DeleteGroup(" + title + ")]");
        EXPECT_FALSE(Exists(GroupFolder(title))) << Listing(GroupFolder(title));
    }
}

// A server that stops answering holds the installer up for the time limit
// only; it counts as none, and the group is made as links all the same.
TEST(ProgramManagerDde, AServerThatStopsAnsweringCountsAsNone)
{
    ComForTest com;
    TestServer server(ServiceName("D"));
    REQUIRE_SERVER(server);
    server.HoldAnswersTo("install.exe");
    Installation inst;
    const AnsiString title = UniqueTitle(u8"Silent サーバー");
    StringList commands = GroupCommands(title, inst.Dir());
    auto start = std::chrono::steady_clock::now();
    {
        auto pm = platform::ProgramManager::Open(server.Service(), "PROGMAN");
        ASSERT_TRUE(pm);
        for (const AnsiString& c : commands)
            pm->Execute(c);
        EXPECT_TRUE(pm->GroupExists(title));
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.Release();
    EXPECT_LT(seconds, 30.0);
    // It had the commands up to the one it kept; the rest never reached it.
    std::vector<std::string> got = server.Received();
    ASSERT_EQ(got.size(), 4u) << Printable(got);
    EXPECT_EQ(got[3], commands[3] + '\0');
    EXPECT_EQ(FilesIn(GroupFolder(title)).size(), 3u);
    {
        auto pm = platform::ProgramManager::Open(ServiceName("Nobody"), "PROGMAN");
        pm->Execute("[DeleteGroup(" + title + ")]");
    }
    EXPECT_FALSE(Exists(GroupFolder(title))) << Listing(GroupFolder(title));
}

} // namespace
#endif
