// The program manager on POSIX: its command texts carried out on the user's
// freedesktop menu.
//
// A group is a submenu: <id>.directory in $XDG_DATA_HOME/desktop-directories
// and <id>.menu in $XDG_CONFIG_HOME/menus/applications-merged, which names the
// group's entries by desktop-file ID. Its items are <id>-<n>.desktop in
// $XDG_DATA_HOME/applications, its picture <id>.png in the hicolor theme. The
// id comes from the title alone (its ASCII letters and digits and a hash of
// all its bytes), so a later process finds the same files, and no title, CP932
// or not, can name a file outside those folders. Every file carries the
// title's bytes in hex (an X-Tarn-Group key, an XML comment, a PNG text chunk):
// a group is deleted by removing the files that hold its mark and no others.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gio/gio.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/program_manager_commands.h"
#include "platform/posix/posix.h"
#include "platform/windows_programs.h"

namespace tarn::platform {

namespace {

namespace fs = std::filesystem;

const char kMarkKey[] = "X-Tarn-Group";
// The sizes the hicolor theme has folders for: only there does a themed name find a picture.
const int kThemeSizes[] = { 16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512 };

struct Folders {
    std::string applications, directories, menus, icons; // icons: the hicolor theme's folder
};

std::string BaseDir(const char* variable, const char* underHome)
{
    std::string dir = GetEnv(variable);
    if (!dir.empty() && dir[0] == '/')
        return dir;
    std::string home = GetEnv("HOME");
    if (home.empty() || home[0] != '/')
        return std::string();
    return home + "/" + underHome;
}

bool UsableDirectory(const std::string& dir)
{
    if (FaultInjected("make directory"))
        return false;
    std::error_code ec;
    fs::create_directories(dir, ec);
    struct stat st;
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// ---- names ----

std::string HexOf(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string GroupId(const AnsiString& title)
{
    std::string readable;
    for (size_t i = 0; i < title.size() && readable.size() < 24; i += CharLengthAt(title, i)) {
        unsigned char c = static_cast<unsigned char>(title[i]);
        if (CharLengthAt(title, i) == 1 && std::isalnum(c))
            readable += static_cast<char>(std::tolower(c));
        else if (!readable.empty() && readable.back() != '-')
            readable += '-';
    }
    while (!readable.empty() && readable.back() == '-')
        readable.pop_back();
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : title)
        hash = (hash ^ c) * 1099511628211ull;
    char hashText[17];
    std::snprintf(hashText, sizeof hashText, "%016llx", static_cast<unsigned long long>(hash));
    return "tarn-" + (readable.empty() ? std::string("group") : readable) + "-" + hashText;
}

// Text for a person, always valid UTF-8 (a desktop file holds nothing else).
std::string DisplayText(const AnsiString& text)
{
    std::string utf8 = AnsiToHostUtf8(text);
    if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr))
        utf8 = Cp932ToUtf8Lossy(text);
    return utf8;
}

bool ValidUtf8(const std::string& text) { return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr); }

// A value as a desktop file stores it: the escapes of its string types, and
// no control character that would end the line or fail a reader.
std::string EntryValue(std::string_view value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (i == 0 && c == ' ')
            out += "\\s"; // a reader drops the blanks after '='
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            out += ' ';
        else
            out += c;
    }
    return out;
}

// One argument of an Exec line before its string escapes: quoted when it
// holds a reserved character, with the characters that quoting leaves
// special escaped, and every % doubled (it would start a field code).
std::string ExecArgument(const std::string& arg)
{
    static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    bool quote = arg.empty() || arg.find_first_of(reserved) != std::string::npos;
    if (quote)
        out += '"';
    for (char c : arg) {
        if (c == '%')
            out += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            (out += '\\') += c;
        else
            out += c;
    }
    if (quote)
        out += '"';
    return out;
}

std::string ExecLine(const std::vector<std::string>& argv)
{
    std::string line;
    for (const std::string& a : argv)
        line += (line.empty() ? "" : " ") + ExecArgument(a);
    return line;
}

// ---- files ----

bool ReadSmallFile(const std::string& file, std::string& bytes)
{
    bytes.clear();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() > (4u << 20)) {
            ::close(fd);
            return n == 0;
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
}

// Written beside the target and renamed over it: a menu that watches the
// folder never reads half a file. What a killed run left there goes first.
bool WriteFileReplacing(const std::string& file, const std::string& bytes)
{
    const std::string dir = file.substr(0, file.rfind('/'));
    RemoveTemporariesOfEndedProcesses(dir, ".tarn");
    std::string temp = TemporaryOfThisProcess(dir, ".tarn");
    if (FaultInjected("menu write"))
        return false;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0644) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && !FaultInjected("menu rename") && ::rename(temp.c_str(), file.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

bool Exists(const std::string& file)
{
    struct stat st;
    return ::lstat(file.c_str(), &st) == 0;
}

bool HasLine(const std::string& text, const std::string& line)
{
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, end - start, line) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// ---- PNG pictures, marked with a text chunk ----

uint32_t Crc32(std::string_view bytes)
{
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t BigEndian32(std::string_view bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

void AppendBigEndian32(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr size_t kIhdrEnd = 8 + 8 + 13 + 4; // signature, IHDR header, data, CRC

// The width of a PNG, 0 when the bytes do not start like one.
uint32_t PngWidth(std::string_view png)
{
    if (png.size() < kIhdrEnd || png.compare(0, 8, std::string_view(kPngSignature, 8)) != 0 ||
        BigEndian32(png, 8) != 13 || png.compare(12, 4, "IHDR") != 0)
        return 0;
    uint32_t width = BigEndian32(png, 16);
    return width <= 4096 ? width : 0;
}

// The picture with a tEXt chunk after its header that names the group.
std::string MarkedPng(std::string_view png, const std::string& mark)
{
    std::string chunk = "tEXt";
    chunk += kMarkKey;
    chunk += '\0';
    chunk += mark;
    std::string out(png.substr(0, kIhdrEnd));
    AppendBigEndian32(out, static_cast<uint32_t>(chunk.size() - 4));
    out += chunk;
    AppendBigEndian32(out, Crc32(chunk));
    out += png.substr(kIhdrEnd);
    return out;
}

bool PngHasMark(std::string_view png, const std::string& mark)
{
    if (PngWidth(png) == 0)
        return false;
    std::string wanted = std::string(kMarkKey) + '\0' + mark;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length = BigEndian32(png, at);
        if (length > png.size() - at - 12)
            return false;
        if (png.compare(at + 4, 4, "tEXt") == 0 && png.substr(at + 8, length) == wanted)
            return true;
        if (png.compare(at + 4, 4, "IEND") == 0)
            return false;
        at += 12 + length;
    }
    return false;
}

} // namespace

struct ProgramManager::Impl {
    Folders folders;
    std::string picture;
    std::optional<AnsiString> current;
    // The group whose picture has been written in this conversation, and its Icon value.
    std::optional<std::pair<std::string, std::string>> pictureWritten;

    struct Group {
        AnsiString title;
        std::string id, mark;
        std::string DirectoryFile(const Folders& f) const { return f.directories + "/" + id + ".directory"; }
        std::string MenuFile(const Folders& f) const { return f.menus + "/" + id + ".menu"; }
        std::string EntryName(int n) const { return id + "-" + std::to_string(n) + ".desktop"; }
    };

    static Group GroupOf(const AnsiString& title) { return Group{ title, GroupId(title), HexOf(title) }; }

    bool IsMarkedEntry(const std::string& file, const Group& g) const
    {
        std::string text;
        return ReadSmallFile(file, text) && HasLine(text, std::string(kMarkKey) + "=" + g.mark);
    }

    bool IsMarkedMenu(const std::string& file, const Group& g) const
    {
        std::string text;
        return ReadSmallFile(file, text) && HasLine(text, "<!-- " + std::string(kMarkKey) + "=" + g.mark + " -->");
    }

    // A file of the group may be (re)written where there is none or where it is the group's own.
    bool MayWrite(const std::string& file, bool marked) const { return !Exists(file) || marked; }

    // The numbers of the group's entries, in order.
    std::vector<int> EntryNumbers(const Group& g) const
    {
        std::vector<int> numbers;
        std::error_code ec;
        std::string prefix = g.id + "-";
        for (fs::directory_iterator it(folders.applications, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name.compare(0, prefix.size(), prefix) != 0 || name.size() <= prefix.size() + 8 ||
                name.compare(name.size() - 8, 8, ".desktop") != 0)
                continue;
            std::string digits = name.substr(prefix.size(), name.size() - 8 - prefix.size());
            bool allDigits = std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits.size() > 6 || digits[0] == '0' || !allDigits)
                continue;
            if (IsMarkedEntry(folders.applications + "/" + name, g))
                numbers.push_back(std::stoi(digits));
        }
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    }

    // The picture in the theme; the Icon value that finds it, "" when there is none.
    std::string Picture(const Group& g)
    {
        if (pictureWritten && pictureWritten->first == g.id)
            return pictureWritten->second;
        std::string icon = WritePicture(g);
        pictureWritten.emplace(g.id, icon);
        return icon;
    }

    std::string WritePicture(const Group& g) const
    {
        uint32_t width = PngWidth(picture);
        if (width == 0)
            return std::string();
        std::string size = std::to_string(width) + "x" + std::to_string(width);
        std::string dir = folders.icons + "/" + size + "/apps";
        std::string file = dir + "/" + g.id + ".png";
        std::string old;
        if (!UsableDirectory(dir) || !MayWrite(file, ReadSmallFile(file, old) && PngHasMark(old, g.mark)) ||
            !WriteFileReplacing(file, MarkedPng(picture, g.mark)))
            return std::string();
        bool themed = std::find(std::begin(kThemeSizes), std::end(kThemeSizes), static_cast<int>(width)) != std::end(kThemeSizes);
        return themed ? g.id : file;
    }

    bool WriteMenu(const Group& g) const
    {
        // The menu readers of the desktops need no document type declaration.
        std::string menu = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!-- " + std::string(kMarkKey) + "=" + g.mark + " -->\n"
                           "<Menu>\n"
                           "  <Name>Applications</Name>\n"
                           "  <Menu>\n"
                           "    <Name>" + g.id + "</Name>\n"
                           "    <Directory>" + g.id + ".directory</Directory>\n"
                           "    <Include>\n";
        for (int n : EntryNumbers(g))
            menu += "      <Filename>" + g.EntryName(n) + "</Filename>\n";
        menu += "    </Include>\n"
                "  </Menu>\n"
                "</Menu>\n";
        return WriteFileReplacing(g.MenuFile(folders), menu);
    }

    std::vector<std::string> FilesOf(const Group& g) const
    {
        std::vector<std::string> files;
        for (int n : EntryNumbers(g))
            files.push_back(folders.applications + "/" + g.EntryName(n));
        if (IsMarkedEntry(g.DirectoryFile(folders), g))
            files.push_back(g.DirectoryFile(folders));
        if (IsMarkedMenu(g.MenuFile(folders), g))
            files.push_back(g.MenuFile(folders));
        std::error_code ec;
        for (fs::directory_iterator it(folders.icons, ec), end; !ec && it != end; it.increment(ec)) {
            std::string file = it->path().string() + "/apps/" + g.id + ".png";
            std::string png;
            if (ReadSmallFile(file, png) && PngHasMark(png, g.mark))
                files.push_back(file);
        }
        return files;
    }

    bool GroupExists(const Group& g) const
    {
        return IsMarkedEntry(g.DirectoryFile(folders), g) && IsMarkedMenu(g.MenuFile(folders), g);
    }

    void CreateGroup(const AnsiString& title)
    {
        current.reset();
        if (title.empty())
            return;
        Group g = GroupOf(title);
        std::string directory = g.DirectoryFile(folders), menu = g.MenuFile(folders);
        if (!MayWrite(directory, IsMarkedEntry(directory, g)) || !MayWrite(menu, IsMarkedMenu(menu, g)))
            return; // somebody else's files under the same name
        std::string icon = Picture(g);
        std::string text = "[Desktop Entry]\n"
                           "Version=1.4\n"
                           "Type=Directory\n"
                           "Name=" + EntryValue(DisplayText(title)) + "\n"
                           "Icon=" + EntryValue(icon.empty() ? "folder" : icon) + "\n" +
                           kMarkKey + "=" + g.mark + "\n";
        if (WriteFileReplacing(directory, text) && WriteMenu(g))
            current = title;
    }

    void ShowGroup(const AnsiString& title)
    {
        current.reset();
        if (!title.empty() && GroupExists(GroupOf(title)))
            current = title;
    }

    void AddItem(const StringList& args)
    {
        if (!current || args.empty() || args[0].empty())
            return;
        Group g = GroupOf(*current);
        std::string program;
        if (!HostPath(args[0], program) || program.empty() || program[0] != '/' || !ValidUtf8(program))
            return;
        std::string dir = program.substr(0, program.rfind('/'));
        if (dir.empty())
            dir = "/";
        std::string itemName = DisplayText(args.size() > 1 ? args[1] : AnsiString());
        if (itemName.empty())
            itemName = program.substr(program.rfind('/') + 1);
        bool ownIcon = args.size() > 2 && !args[2].empty();

        std::vector<std::string> argv;
        std::string tryExec, icon;
        if (IsElfProgram(program)) {
            argv = { program };
        } else if (IsWindowsProgram(program)) {
            // The session that opens the menu later may have neither this
            // PATH nor this prefix nor a Japanese locale: a native program
            // that stays prepares what is missing and hands over to wine, in
            // the prefix set for the game, pinned as it is now.
            std::string wine = FindOnPath("wine");
            tryExec = wine.empty() ? "wine" : wine;
            std::string starter = WindowsProgramsStarterFor(dir);
            if (!starter.empty()) {
                argv = { starter, "--run-windows", "--wine-prefix", WindowsProgramsPrefix(), program };
            } else {
                // No such program: the environment itself, the locale as it is now.
                argv = { "env", "WINEPREFIX=" + WindowsProgramsPrefix() };
                JapaneseLocale l = FindJapaneseLocale();
                if (l.State == JapaneseLocaleState::Own)
                    argv.push_back("LOCPATH=" + l.LocPath);
                if (l.State == JapaneseLocaleState::System || l.State == JapaneseLocaleState::Own)
                    argv.push_back("LC_ALL=ja_JP.UTF-8");
                argv.push_back(tryExec);
                argv.push_back(program);
            }
        } else {
            argv = { "xdg-open", program };
            icon = DocumentIcon(program);
        }
        // GLib looks for the Exec line's first word on disk before it turns
        // %% into %: a program whose path holds a % is started through env.
        if (argv[0].find('%') != std::string::npos)
            argv.insert(argv.begin(), "env");
        if (icon.empty())
            icon = ownIcon ? std::string() : Picture(g);
        if (icon.empty())
            icon = "application-x-executable";

        std::string nameLine = "Name=" + EntryValue(itemName);
        std::string text = "[Desktop Entry]\n"
                           "Version=1.4\n"
                           "Type=Application\n" +
                           nameLine + "\n"
                           "Exec=" + EntryValue(ExecLine(argv)) + "\n";
        if (!tryExec.empty())
            text += "TryExec=" + EntryValue(tryExec) + "\n";
        text += "Path=" + EntryValue(dir) + "\n"
                "Icon=" + EntryValue(icon) + "\n"
                "Terminal=false\n" +
                std::string(kMarkKey) + "=" + g.mark + "\n";

        // An item of the same name is replaced, as the shell replaces its link.
        std::vector<int> numbers = EntryNumbers(g);
        int number = 0;
        for (int n : numbers) {
            std::string old;
            if (ReadSmallFile(folders.applications + "/" + g.EntryName(n), old) && HasLine(old, nameLine))
                number = n;
        }
        if (number == 0) {
            number = numbers.empty() ? 1 : numbers.back() + 1;
            while (Exists(folders.applications + "/" + g.EntryName(number)))
                ++number;
        }
        if (WriteFileReplacing(folders.applications + "/" + g.EntryName(number), text))
            WriteMenu(g);
    }

    // The installation's own copy of the installer beside its programs,
    // else the one start-up named; "" when neither is there.
    static std::string WindowsProgramsStarterFor(const std::string& dir)
    {
        for (std::string candidate : { dir + "/install.exe", WindowsProgramsStarter() })
            if (!candidate.empty() && IsElfProgram(candidate) && ValidUtf8(candidate))
                return candidate;
        return std::string();
    }

    static std::string DocumentIcon(const std::string& file)
    {
        gboolean uncertain = FALSE;
        gchar* type = g_content_type_guess(file.c_str(), nullptr, 0, &uncertain);
        gchar* icon = type ? g_content_type_get_generic_icon_name(type) : nullptr;
        std::string name = icon ? icon : "text-x-generic";
        g_free(icon);
        g_free(type);
        return name;
    }

    void DeleteGroup(const AnsiString& title)
    {
        if (title.empty())
            return;
        Group g = GroupOf(title);
        for (int n : EntryNumbers(g))
            if (!FaultInjected("menu remove"))
                ::unlink((folders.applications + "/" + g.EntryName(n)).c_str());
        if (IsMarkedEntry(g.DirectoryFile(folders), g) && !FaultInjected("menu remove"))
            ::unlink(g.DirectoryFile(folders).c_str());
        if (IsMarkedMenu(g.MenuFile(folders), g) && !FaultInjected("menu remove"))
            ::unlink(g.MenuFile(folders).c_str());
        std::error_code ec;
        for (fs::directory_iterator it(folders.icons, ec), end; !ec && it != end; it.increment(ec)) {
            std::string file = it->path().string() + "/apps/" + g.id + ".png";
            std::string png;
            if (ReadSmallFile(file, png) && PngHasMark(png, g.mark) && !FaultInjected("menu remove"))
                ::unlink(file.c_str());
        }
        if (current == title)
            current.reset();
    }
};

std::unique_ptr<ProgramManager> ProgramManager::Open(std::string_view service, std::string_view topic)
{
    if (!SameText(service, "PROGMAN") || !SameText(topic, "PROGMAN"))
        return nullptr;
    std::string data = BaseDir("XDG_DATA_HOME", ".local/share"), config = BaseDir("XDG_CONFIG_HOME", ".config");
    if (data.empty() || config.empty())
        return nullptr;
    Folders f{ data + "/applications", data + "/desktop-directories", config + "/menus/applications-merged",
               data + "/icons/hicolor" };
    for (const std::string* dir : { &f.applications, &f.directories, &f.menus })
        if (!UsableDirectory(*dir))
            return nullptr;
    std::unique_ptr<ProgramManager> manager(new ProgramManager());
    manager->impl_ = std::make_unique<Impl>();
    manager->impl_->folders = std::move(f);
    return manager;
}

ProgramManager::~ProgramManager() = default;

void ProgramManager::SetIconPicture(std::string png)
{
    impl_->picture = std::move(png);
    impl_->pictureWritten.reset();
}

bool ProgramManager::GroupExists(std::string_view title)
{
    return !title.empty() && impl_->GroupExists(Impl::GroupOf(AnsiString(title)));
}

StringList ProgramManager::GroupFiles(std::string_view title)
{
    StringList files;
    if (!title.empty())
        for (const std::string& host : impl_->FilesOf(Impl::GroupOf(AnsiString(title))))
            files.push_back(PathFromHost(host));
    return files;
}

size_t ProgramManager::ItemCount(std::string_view title)
{
    return title.empty() ? 0 : impl_->EntryNumbers(Impl::GroupOf(AnsiString(title))).size();
}

void ProgramManager::Execute(std::string_view text)
{
    std::optional<ProgramManagerCommand> command = ParseProgramManagerCommand(text);
    if (!command)
        return;
    if (SameText(command->name, "CreateGroup"))
        impl_->CreateGroup(command->inner);
    else if (SameText(command->name, "ShowGroup"))
        impl_->ShowGroup(WithoutShowCommand(command->inner));
    else if (SameText(command->name, "AddItem"))
        impl_->AddItem(SplitProgramManagerArguments(command->inner));
    else if (SameText(command->name, "DeleteGroup"))
        impl_->DeleteGroup(command->inner);
}

bool GroupsFoundByTheirMark() { return true; }

} // namespace tarn::platform
