// The program manager's command texts on the freedesktop menu, checked with
// the readers of the desktop: desktop-file-validate, GLib's desktop entries
// and markup parser, gio launch, libpng and zlib for the picture.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }


struct MenuFolders {
    std::string applications = platform::GetEnv("XDG_DATA_HOME") + "/applications";
    std::string directories = platform::GetEnv("XDG_DATA_HOME") + "/desktop-directories";
    std::string menus = platform::GetEnv("XDG_CONFIG_HOME") + "/menus/applications-merged";
    std::string icons = platform::GetEnv("XDG_DATA_HOME") + "/icons/hicolor";
};

// Every file below the home and the configuration folder, as host paths.
std::set<std::string> AllFiles()
{
    std::set<std::string> files;
    for (const char* var : { "HOME", "XDG_CONFIG_HOME" }) {
        StringList list;
        AnsiString root = platform::PathFromHost(platform::GetEnv(var));
        if (platform::DirectoryExists(root))
            ListFiles(AddBackslash(root), faArchive, true, true, list, true, false, false, "");
        for (const AnsiString& f : list)
            files.insert(Host(f));
    }
    return files;
}

std::set<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& after)
{
    std::set<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));
    return added;
}

std::string FolderOf(const std::string& file) { return file.substr(0, file.rfind('/')); }
std::string NameOf(const std::string& file) { return file.substr(file.rfind('/') + 1); }

// A square opaque picture, written by libpng.
std::string SquarePng(int width)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(width);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * width * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<unsigned char>(i * 7);
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::string png(size, '\0');
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr))
        return std::string();
    png.resize(size);
    return png;
}

// The chunks of a PNG with their CRCs checked by zlib; "" when one is wrong.
std::vector<std::pair<std::string, std::string>> PngChunks(const std::string& png, std::string& problem)
{
    std::vector<std::pair<std::string, std::string>> chunks;
    auto be32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(png[at])) << 24 |
               static_cast<uint32_t>(static_cast<unsigned char>(png[at + 1])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(png[at + 2])) << 8 | static_cast<unsigned char>(png[at + 3]);
    };
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length = be32(at);
        if (length > png.size() - at - 12) {
            problem = "chunk runs past the end";
            break;
        }
        uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4));
        if (crc != be32(at + 8 + length))
            problem = "bad CRC in " + png.substr(at + 4, 4);
        chunks.emplace_back(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

// What desktop-file-validate says of a file: "" when it passes.
std::string Validate(const std::string& file)
{
    platform::ProcessResult r = platform::RunProcess(test::ToolPath("desktop-file-validate"), { file });
    if (r.ExitCode == 0 && r.Out.find("error:") == std::string::npos)
        return std::string();
    return "exit " + std::to_string(r.ExitCode) + ": " + r.Out + r.Err;
}

// The <Directory> and <Filename> texts of a .menu, read by GLib's markup parser.
struct MenuContents {
    bool wellFormed = false;
    std::vector<std::string> directories, filenames;
};

MenuContents ReadMenu(const std::string& file)
{
    struct State {
        MenuContents contents;
        std::string element;
    } state;
    GMarkupParser parser = {};
    parser.start_element = [](GMarkupParseContext*, const gchar* name, const gchar**, const gchar**, gpointer data, GError**) {
        static_cast<State*>(data)->element = name;
    };
    parser.end_element = [](GMarkupParseContext*, const gchar*, gpointer data, GError**) { static_cast<State*>(data)->element.clear(); };
    parser.text = [](GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**) {
        State* s = static_cast<State*>(data);
        if (s->element == "Directory")
            s->contents.directories.emplace_back(text, length);
        else if (s->element == "Filename")
            s->contents.filenames.emplace_back(text, length);
    };
    std::string text = test::ReadFile(platform::PathFromHost(file));
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_TREAT_CDATA_AS_TEXT, &state, nullptr);
    state.contents.wellFormed = g_markup_parse_context_parse(context, text.data(), static_cast<gssize>(text.size()), nullptr) &&
                                g_markup_parse_context_end_parse(context, nullptr);
    g_markup_parse_context_free(context);
    return state.contents;
}

struct EntryInfo {
    bool loaded = false;
    std::string name, icon;
};

// An entry as the desktop's own library reads it.
EntryInfo ReadEntry(const std::string& file)
{
    EntryInfo info;
    GDesktopAppInfo* app = g_desktop_app_info_new_from_filename(file.c_str());
    if (!app)
        return info;
    info.loaded = true;
    info.name = g_app_info_get_name(G_APP_INFO(app));
    if (GIcon* icon = g_app_info_get_icon(G_APP_INFO(app))) {
        gchar* text = g_icon_to_string(icon);
        info.icon = text ? text : "";
        g_free(text);
    }
    g_object_unref(app);
    return info;
}

// What a started program saw: its directory, its arguments, its WINEPREFIX.
TARN_CHILD(launched)
{
    char cwd[4096] = {};
    if (!::getcwd(cwd, sizeof cwd))
        return 1;
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i)
        joined += (i ? "|" : "") + args[i];
    WriteFileAtomically(platform::PathFromHost(platform::GetEnv("TARN_TEST_MARKER")),
                        std::string(cwd) + "\n" + joined + "\n" + platform::GetEnv("WINEPREFIX"));
    return 0;
}

// Starts an entry with gio launch in an environment of its own (PATH without
// the folders of the installation's time, another WINEPREFIX); what the
// started program saw, or "" when it did not start.
std::string Launch(const std::string& entry, const std::string& path, const AnsiString& marker)
{
    platform::ProcessResult r = platform::RunProcess(
        test::ToolPath("env"), { "TARN_TEST_CHILD=launched", "TARN_TEST_MARKER=" + Host(marker), "WINEPREFIX=/not/the/pinned/one",
                                 "PATH=" + path, Host(test::ToolPath("gio")), "launch", entry });
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    if (!test::WaitFor([&] { return platform::FileExists(marker); }))
        return std::string();
    return test::ReadFile(marker);
}

void Send(platform::ProgramManager& pm, const StringList& commands)
{
    for (const AnsiString& c : commands)
        pm.Execute(c);
}

// The commands the installer sends for a group, with D the destination.
StringList GroupCommands(const AnsiString& title, const AnsiString& d, bool readme)
{
    StringList commands = {
        "[CreateGroup(" + title + ")]",
        "[ShowGroup(" + title + ",1)]",
        "[AddItem(\"" + d + "game.exe\",\"" + title + "\")]",
        "[AddItem(\"" + d + "install.exe\",\"" + title + S(u8"のアンインストール") + "\",\"" + d + "install.exe\",1)]",
    };
    if (readme)
        commands.push_back("[AddItem(\"" + d + "readme.txt\",\"" + S(u8"お読みください") + "\")]");
    return commands;
}

// A destination under C: (the home) whose name holds everything a command
// line or a desktop entry treats specially, and the three kinds of item.
class Installation {
public:
    Installation()
    {
        std::string host = Host(platform::PathFromHost(platform::GetEnv("HOME"))) +
                           "Games/Tarn \"Q\" 100% $HOME `x` it's a\\b \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"; // ゲーム
        dir_ = AddBackslash(platform::PathFromHost(host));
        platform::ForceDirectories(dir_);
        test::WriteFile(dir_ + "game.exe", std::string("MZ\x90\0\3\0\0\0", 8) + std::string(120, 'w'));
        platform::CopyFileWithAttributes(test::SelfPath(), dir_ + "install.exe");
        test::WriteFile(dir_ + "readme.txt", "read me\n");
    }
    ~Installation() { test::RemoveTree(dir_); }
    const AnsiString& Dir() const { return dir_; }
    std::string HostDir() const { return ExcludeTrailingSlash(Host(dir_)); }
    static std::string ExcludeTrailingSlash(std::string s)
    {
        while (s.size() > 1 && s.back() == '/')
            s.pop_back();
        return s;
    }

private:
    AnsiString dir_;
};

std::set<std::string> Without(std::set<std::string> files, const std::string& prefix)
{
    for (auto it = files.begin(); it != files.end();)
        it = it->compare(0, prefix.size(), prefix) == 0 ? files.erase(it) : std::next(it);
    return files;
}

TEST(ProgramManager, AGroupBecomesASubmenuThatTheDesktopReadsAndStarts)
{
    TARN_REQUIRE_TOOL("desktop-file-validate");
    TARN_REQUIRE_TOOL("gio");
    TempDir tools;
    // Stand-ins for wine and xdg-open that report what they were given: the
    // test program itself under those names.
    AnsiString bin = tools / "bin";
    platform::ForceDirectories(bin);
    for (const char* name : { "wine", "xdg-open" })
        ASSERT_EQ(::symlink(Host(test::SelfPath()).c_str(), (Host(bin) + "/" + name).c_str()), 0);

    Installation inst;
    const AnsiString title = S(u8"Sample (体験版), \"Tarn\"");
    MenuFolders folders;
    std::set<std::string> before = Without(AllFiles(), inst.HostDir());
    {
        test::ScopedEnv path("PATH", Host(bin) + ":" + platform::GetEnv("PATH"));
        test::ScopedEnv prefix("WINEPREFIX", "/pinned/wine prefix");
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        ASSERT_TRUE(pm);
        pm->SetIconPicture(SquarePng(128));
        Send(*pm, GroupCommands(title, inst.Dir(), true));
    }
    std::set<std::string> added = Added(before, Without(AllFiles(), inst.HostDir()));

    // One .directory, one .menu, three entries, one picture; nothing elsewhere.
    std::map<std::string, std::vector<std::string>> byFolder;
    for (const std::string& f : added)
        byFolder[FolderOf(f)].push_back(f);
    ASSERT_EQ(byFolder[folders.directories].size(), 1u);
    ASSERT_EQ(byFolder[folders.menus].size(), 1u);
    ASSERT_EQ(byFolder[folders.applications].size(), 3u);
    ASSERT_EQ(byFolder[folders.icons + "/128x128/apps"].size(), 1u);
    EXPECT_EQ(added.size(), 6u);
    std::string directory = byFolder[folders.directories][0];
    std::string id = NameOf(directory).substr(0, NameOf(directory).size() - 10);
    for (const std::string& f : added) {
        EXPECT_EQ(NameOf(f).find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-."), std::string::npos) << f;
        EXPECT_EQ(NameOf(f).compare(0, id.size(), id), 0) << f;
        if (f.find("/icons/") == std::string::npos && f.find("/menus/") == std::string::npos) {
            EXPECT_EQ(Validate(f), "") << f;
        }
    }
    EXPECT_EQ(NameOf(byFolder[folders.menus][0]), id + ".menu");

    // The menu names the submenu's folder entry and its items by ID, not by path.
    MenuContents menu = ReadMenu(byFolder[folders.menus][0]);
    ASSERT_TRUE(menu.wellFormed);
    EXPECT_EQ(menu.directories, std::vector<std::string>{ id + ".directory" });
    std::vector<std::string> ids;
    for (const std::string& f : byFolder[folders.applications])
        ids.push_back(NameOf(f));
    std::sort(ids.begin(), ids.end());
    std::vector<std::string> named = menu.filenames;
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, ids);

    // Names and icons as the desktop shows them.
    std::string titleUtf8 = "Sample (体験版), \"Tarn\"";
    std::string game = folders.applications + "/" + id + "-1.desktop";
    std::string uninstall = folders.applications + "/" + id + "-2.desktop";
    std::string readme = folders.applications + "/" + id + "-3.desktop";
    EntryInfo g = ReadEntry(game), u = ReadEntry(uninstall), r = ReadEntry(readme);
    EXPECT_TRUE(g.loaded) << test::ReadFile(platform::PathFromHost(game));
    EXPECT_TRUE(u.loaded) << test::ReadFile(platform::PathFromHost(uninstall));
    EXPECT_TRUE(r.loaded) << test::ReadFile(platform::PathFromHost(readme));
    ASSERT_TRUE(g.loaded && u.loaded && r.loaded);
    EXPECT_EQ(g.name, titleUtf8);
    EXPECT_EQ(u.name, titleUtf8 + "のアンインストール");
    EXPECT_EQ(r.name, "お読みください");
    EXPECT_EQ(g.icon, id);
    EXPECT_EQ(r.icon, "text-x-generic");
    EXPECT_EQ(u.icon, "application-x-executable");
    std::string dirText = test::ReadFile(platform::PathFromHost(directory));
    EXPECT_NE(dirText.find("\nName=" + titleUtf8 + "\n"), std::string::npos) << dirText;
    EXPECT_NE(dirText.find("\nIcon=" + id + "\n"), std::string::npos) << dirText;

    // The picture is still a sound PNG, carrying the group's mark in a text chunk.
    std::string png = test::ReadFile(platform::PathFromHost(byFolder[folders.icons + "/128x128/apps"][0]));
    std::string problem;
    auto chunks = PngChunks(png, problem);
    EXPECT_EQ(problem, "");
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].first, "IHDR");
    EXPECT_EQ(chunks[1].first, "tEXt");
    EXPECT_EQ(chunks[1].second.substr(0, 13), std::string("X-Tarn-Group\0", 13));
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    EXPECT_EQ(image.width, 128u);
    png_image_free(&image);

    // Started by gio, each item runs what the shell's open would run, in
    // the program's folder, with what it needs pinned at installation time.
    std::string gameHost = inst.HostDir() + "/game.exe", readmeHost = inst.HostDir() + "/readme.txt";
    TempDir markers;
    EXPECT_EQ(Launch(uninstall, "/usr/bin:/bin", markers / "u"), inst.HostDir() + "\n\n/not/the/pinned/one");
    // The game goes through the installation's own installer (here the
    // test program), which prepares the prefix pinned for the game and the
    // Japanese locale before it hands over to wine.
    EXPECT_EQ(Launch(game, "/usr/bin:/bin", markers / "g"),
              inst.HostDir() + "\n--run-windows|--wine-prefix|/pinned/wine prefix|" + gameHost + "\n/not/the/pinned/one");
    EXPECT_EQ(Launch(readme, Host(bin) + ":/usr/bin:/bin", markers / "r"),
              inst.HostDir() + "\n" + readmeHost + "\n/not/the/pinned/one");
    std::string gameText = test::ReadFile(platform::PathFromHost(game));
    EXPECT_NE(gameText.find("/install.exe\" --run-windows --wine-prefix \"/pinned/wine prefix\" \""), std::string::npos)
        << gameText;
    EXPECT_NE(gameText.find("\nTryExec=" + Host(bin) + "/wine\n"), std::string::npos) << gameText;
}

TEST(ProgramManager, DeletingAGroupRemovesItsFilesAndNothingElse)
{
    Installation inst;
    MenuFolders folders;
    const AnsiString title = "Sample";
    std::set<std::string> before = Without(AllFiles(), inst.HostDir());
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        ASSERT_TRUE(pm);
        EXPECT_FALSE(pm->GroupExists(title));
        pm->SetIconPicture(SquarePng(48));
        Send(*pm, GroupCommands(title, inst.Dir(), true));
        EXPECT_TRUE(pm->GroupExists(title));
        EXPECT_FALSE(pm->GroupExists("Another"));
        EXPECT_FALSE(pm->GroupExists(""));
    }
    std::set<std::string> made = Added(before, Without(AllFiles(), inst.HostDir()));
    ASSERT_EQ(made.size(), 6u);
    std::string id;
    for (const std::string& f : made)
        if (FolderOf(f) == folders.directories)
            id = NameOf(f).substr(0, NameOf(f).size() - 10);
    ASSERT_FALSE(id.empty());

    // Neighbours: other programs' files, and files that only look like the group's.
    std::vector<std::pair<std::string, std::string>> neighbours = {
        { folders.applications + "/other.desktop", "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n" },
        { folders.applications + "/" + id + "-7.desktop", "[Desktop Entry]\nType=Application\nName=Lookalike\nExec=x\n" },
        { folders.directories + "/other.directory", "[Desktop Entry]\nType=Directory\nName=Other\n" },
        { folders.menus + "/other.menu", "<Menu><Name>Applications</Name></Menu>\n" },
        { folders.icons + "/64x64/apps/" + id + ".png", SquarePng(64) },
    };
    for (const auto& [file, text] : neighbours) {
        platform::ForceDirectories(platform::PathFromHost(FolderOf(file)));
        test::WriteFile(platform::PathFromHost(file), text);
    }
    std::set<std::string> withNeighbours = Without(AllFiles(), inst.HostDir());

    // Installed again: the items are replaced, not doubled.
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        pm->SetIconPicture(SquarePng(48));
        Send(*pm, GroupCommands(title, inst.Dir(), true));
    }
    EXPECT_EQ(Without(AllFiles(), inst.HostDir()), withNeighbours);
    for (const auto& [file, text] : neighbours)
        EXPECT_EQ(test::ReadFile(platform::PathFromHost(file)), text) << file;

    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        pm->Execute("[DeleteGroup(Another)]");
        EXPECT_EQ(Without(AllFiles(), inst.HostDir()), withNeighbours);
        EXPECT_TRUE(pm->GroupExists("Sample"));
        pm->Execute("[DeleteGroup(Sample)]");
        EXPECT_FALSE(pm->GroupExists("Sample"));
    }
    std::set<std::string> expected = before;
    for (const auto& neighbour : neighbours)
        expected.insert(neighbour.first);
    EXPECT_EQ(Without(AllFiles(), inst.HostDir()), expected);
    for (const auto& neighbour : neighbours)
        platform::RemoveFile(platform::PathFromHost(neighbour.first));
}

TEST(ProgramManager, AnyTitleStaysInsideTheMenuFolders)
{
    TARN_REQUIRE_TOOL("desktop-file-validate");
    Installation inst;
    MenuFolders folders;
    const std::set<std::string> allowed = { folders.applications, folders.directories, folders.menus };
    std::set<std::string> before = Without(AllFiles(), inst.HostDir());
    // Escapes, separators of both kinds, a lone lead byte, bytes that are no
    // CP932, a line break, a 0x5C second byte (ソ) and a very long title.
    for (const AnsiString& title : { AnsiString("../../../escape"), AnsiString(".."), AnsiString("a/b\\c"), AnsiString("\x81"),
                                     AnsiString("\xFF\xFE\xA0"), AnsiString("two\nlines\t"), S(u8"ソ\\"), AnsiString(300, 'T') }) {
        {
            auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
            ASSERT_TRUE(pm);
            Send(*pm, GroupCommands(title, inst.Dir(), false));
        }
        std::set<std::string> added = Added(before, Without(AllFiles(), inst.HostDir()));
        EXPECT_EQ(added.size(), 4u) << test::ToHex(title);
        for (const std::string& f : added) {
            EXPECT_TRUE(allowed.count(FolderOf(f))) << f;
            EXPECT_LT(NameOf(f).size(), 80u) << f;
            if (FolderOf(f) != folders.menus) {
                EXPECT_EQ(Validate(f), "") << test::ToHex(title) << " " << f;
            }
        }
        {
            auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
            pm->Execute("[DeleteGroup(" + title + ")]");
        }
        EXPECT_EQ(Without(AllFiles(), inst.HostDir()), before) << test::ToHex(title);
    }
}

TEST(ProgramManager, ItemsGoOnlyIntoAGroupThatExists)
{
    Installation inst;
    std::set<std::string> before = Without(AllFiles(), inst.HostDir());
    {
        auto pm = platform::ProgramManager::Open("progman", "progman");
        ASSERT_TRUE(pm);
        // No group made yet, a group that is not there, commands that are no commands.
        pm->Execute("[AddItem(\"" + inst.Dir() + "game.exe\",\"Game\")]");
        pm->Execute("[ShowGroup(Nowhere,1)]");
        pm->Execute("[AddItem(\"" + inst.Dir() + "game.exe\",\"Game\")]");
        pm->Execute("[CreateGroup()]");
        pm->Execute("CreateGroup(Plain)");
        pm->Execute("[CreateGroup(Unfinished)");
        pm->Execute("");
    }
    EXPECT_EQ(Without(AllFiles(), inst.HostDir()), before);
    // Without a picture the items get the theme's generic icons, and no picture is written.
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        Send(*pm, GroupCommands("Plain", inst.Dir(), false));
    }
    std::set<std::string> added = Added(before, Without(AllFiles(), inst.HostDir()));
    EXPECT_EQ(added.size(), 4u);
    for (const std::string& f : added) {
        EXPECT_EQ(f.find("/icons/"), std::string::npos) << f;
        if (f.size() > 10 && f.compare(f.size() - 10, 10, "-1.desktop") == 0) {
            // Read as a key file: the desktop's app reader hides an entry
            // whose TryExec (wine) this machine lacks.
            GKeyFile* keys = g_key_file_new();
            ASSERT_TRUE(g_key_file_load_from_file(keys, f.c_str(), G_KEY_FILE_NONE, nullptr)) << f;
            gchar* icon = g_key_file_get_string(keys, "Desktop Entry", "Icon", nullptr);
            EXPECT_STREQ(icon, "application-x-executable");
            g_free(icon);
            g_key_file_free(keys);
        }
    }
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        pm->Execute("[DeleteGroup(Plain)]");
    }
    EXPECT_EQ(Without(AllFiles(), inst.HostDir()), before);
}

// A run killed between writing a menu file and renaming it leaves
// .tarn.PID.tmp; the next write into that folder removes it, unless its
// process is still there.
TEST(ProgramManager, HalfWrittenMenuFilesOfEndedRunsAreRemoved)
{
    Installation inst;
    MenuFolders folders;
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        ASSERT_TRUE(pm); // makes the folders
    }
    pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(ended, &status, 0);
    const std::string stale = "/.tarn." + std::to_string(ended) + ".tmp", living = "/.tarn." + std::to_string(::getppid()) + ".tmp";
    for (const std::string* dir : { &folders.applications, &folders.directories, &folders.menus })
        for (const std::string& name : { stale, living })
            test::WriteFile(platform::PathFromHost(*dir + name), "[Desktop Entry]\nName=ha");
    {
        auto pm = platform::ProgramManager::Open("PROGMAN", "PROGMAN");
        Send(*pm, GroupCommands("Swept", inst.Dir(), false));
        pm->Execute("[DeleteGroup(Swept)]");
    }
    for (const std::string* dir : { &folders.applications, &folders.directories, &folders.menus }) {
        EXPECT_FALSE(platform::FileExists(platform::PathFromHost(*dir + stale))) << *dir;
        EXPECT_TRUE(platform::FileExists(platform::PathFromHost(*dir + living))) << *dir;
        platform::RemoveFile(platform::PathFromHost(*dir + living));
    }
}

TEST(ProgramManager, NoConversationWhereTheMenuCannotBeWritten)
{
    TempDir dir;
    test::WriteFile(dir / "plain-file", "not a folder");
    std::string underFile = Host(dir / "plain-file") + "/sub";
    EXPECT_TRUE(platform::ProgramManager::Open("PROGMAN", "PROGMAN"));
    EXPECT_FALSE(platform::ProgramManager::Open("DDESERVER", "PROGMAN"));
    {
        test::ScopedEnv data("XDG_DATA_HOME", underFile);
        EXPECT_FALSE(platform::ProgramManager::Open("PROGMAN", "PROGMAN"));
    }
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", underFile);
        EXPECT_FALSE(platform::ProgramManager::Open("PROGMAN", "PROGMAN"));
    }
    // Unset, the folders lie in the home.
    {
        TempDir home;
        test::ScopedEnv h("HOME", Host(home.Path()));
        test::ScopedEnv data("XDG_DATA_HOME", "");
        test::ScopedEnv config("XDG_CONFIG_HOME", "relative/is/ignored");
        EXPECT_TRUE(platform::ProgramManager::Open("PROGMAN", "PROGMAN"));
        EXPECT_TRUE(platform::DirectoryExists(home / ".local\\share\\applications"));
        EXPECT_TRUE(platform::DirectoryExists(home / ".config\\menus\\applications-merged"));
    }
}

} // namespace
#endif
