// Windows programs through Wine on POSIX, under a Japanese locale.
//
// The locale: glibc looks for it where LOCPATH says (then nowhere else) or
// in the system's archive; the program's own is made by localedef from the
// system's sources (package locales) into a folder of its data. The
// prefix: a prefix the program makes carries a mark file (kPrefixMark),
// "ready" once wineboot and the font replacements are done; one without the
// mark that holds a registry is somebody else's and is used as it is. All
// of it is prepared under one lock, so two first starts make things once.
#include <fcntl.h>
#include <locale.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/codepage.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"
#include "platform/windows_programs.h"

extern char** environ;

namespace tarn::platform {

namespace {

namespace fs = std::filesystem;

const char kJapaneseLocale[] = "ja_JP.UTF-8";
const char kLocalePackage[] = "locales";
const char kPrefixMark[] = ".tarn-setup-prefix";
// While a prefix is made: no question about Mono or Gecko (nothing is
// downloaded), and no menu entries or file types of Wine's own.
const char kPrefixMakingOverrides[] = "mscoree,mshtml=;winemenubuilder.exe=d";

std::string g_gameKey, g_namedPrefix;
bool g_prefixSet = false;
std::string g_starter;

std::string DataHome()
{
    std::string data = GetEnv("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        std::string home = GetEnv("HOME");
        data = (home.empty() ? std::string() : home) + "/.local/share";
    }
    return data;
}

std::string CacheHome()
{
    std::string cache = GetEnv("XDG_CACHE_HOME");
    if (cache.empty() || cache[0] != '/') {
        std::string home = GetEnv("HOME");
        cache = (home.empty() ? std::string() : home) + "/.cache";
    }
    return cache;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadText(const std::string& file)
{
    std::string text;
    if (FILE* f = std::fopen(file.c_str(), "rbe")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (1u << 20))
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

bool WriteText(const std::string& file, const std::string& text)
{
    std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wbe");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(temp.c_str(), file.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

// Runs argv with environ plus the given NAME=VALUE pairs (replacing those
// names), standard input from /dev/null, standard output and error into out
// when given (else to /dev/null). The exit status, -1 when it did not end normally.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, std::string* out)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = std::any_of(extraEnv.begin(), extraEnv.end(),
                                    [&](const std::string& x) { return x.compare(0, name.size() + 1, name + "=") == 0; });
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp, args;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> copies = argv;
    for (std::string& a : copies)
        args.push_back(a.data());
    args.push_back(nullptr);

    std::string outFile;
    int outFd = -1;
    if (out) {
        std::string dir = GetEnv("TMPDIR");
        outFile = (dir.empty() ? std::string("/tmp") : dir) + "/tarn-wine-XXXXXX";
        outFd = ::mkostemp(outFile.data(), O_CLOEXEC);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid;
    int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (rc == 0)
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (outFd >= 0) {
        ::close(outFd);
        if (out)
            *out = ReadText(outFile);
        ::unlink(outFile.c_str());
    }
    if (rc != 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether glibc finds the locale, looking where LOCPATH (when set) says.
bool LocaleLoads(const char* name)
{
    locale_t l = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (!l)
        return false;
    ::freelocale(l);
    return true;
}

// Whether the locale loads from dir alone.
bool LocaleLoadsFrom(const std::string& dir)
{
    std::string old = GetEnv("LOCPATH");
    bool had = ::getenv("LOCPATH") != nullptr;
    ::setenv("LOCPATH", dir.c_str(), 1);
    bool loads = LocaleLoads(kJapaneseLocale);
    if (had)
        ::setenv("LOCPATH", old.c_str(), 1);
    else
        ::unsetenv("LOCPATH");
    return loads;
}

std::string LocaleSources() { return "/usr/share/i18n"; }

bool HasLocaleSources()
{
    std::string i18n = GetEnv("I18NPATH");
    if (!i18n.empty() && IsFile(i18n + "/locales/ja_JP"))
        return true;
    return IsFile(LocaleSources() + "/locales/ja_JP") && IsDirectory(LocaleSources() + "/charmaps") &&
           !FindOnPath("localedef").empty();
}

// One preparation at a time for the user: an exclusive lock on a file of the data folder.
class PreparationLock {
public:
    PreparationLock()
    {
        std::string dir = DataHome() + "/tarn-setup";
        std::error_code ec;
        fs::create_directories(dir, ec);
        fd_ = ::open((dir + "/windows-programs.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) < 0 && errno == EINTR) { }
    }
    ~PreparationLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PreparationLock(const PreparationLock&) = delete;
    PreparationLock& operator=(const PreparationLock&) = delete;

private:
    int fd_ = -1;
};

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

bool AsciiOnly(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A registry file as reg import reads it: UTF-16LE with its mark.
std::string RegistryFile(const std::vector<std::pair<std::string, std::string>>& values)
{
    auto quoted = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\')
                q += '\\';
            q += c;
        }
        return q + "\"";
    };
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n";
    for (const auto& [face, family] : values)
        text += quoted(face) + "=" + quoted(family) + "\r\n";
    std::u16string wide = Utf8ToUtf16(text);
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::string WinePath()
{
    std::string wine = FindOnPath("wine");
    if (wine.empty() && IsFile("/usr/bin/wine"))
        wine = "/usr/bin/wine";
    return wine;
}

// Makes the prefix when it is the program's to make; false with the reason.
bool PreparePrefix(const std::string& wine, const std::string& prefix, std::string& reason)
{
    const std::string mark = prefix + "/" + kPrefixMark;
    const bool marked = IsFile(mark);
    if (marked && ReadText(mark) == "ready\n")
        return true;
    bool empty = true;
    std::error_code ec;
    if (IsDirectory(prefix))
        empty = fs::directory_iterator(prefix, ec) == fs::directory_iterator();
    else if (::access(prefix.c_str(), F_OK) == 0) {
        reason = "the Wine prefix " + prefix + " is no folder";
        return false;
    }
    if (!marked && !empty)
        return true; // somebody's prefix: used as it is
    fs::create_directories(prefix, ec);
    if (!IsDirectory(prefix) || !WriteText(mark, "making\n")) {
        reason = "the Wine prefix " + prefix + " cannot be made";
        return false;
    }
    const std::vector<std::string> env = { "WINEPREFIX=" + prefix, std::string("WINEDLLOVERRIDES=") + kPrefixMakingOverrides };
    std::string out;
    if (Run({ wine, "wineboot.exe", "--init" }, env, &out) != 0 || !IsFile(prefix + "/system.reg")) {
        // wineboot returns once the registry is written out only with the server ending.
        Run({ wine + "server", "-w" }, env, nullptr);
        if (!IsFile(prefix + "/system.reg")) {
            reason = "wineboot could not make the Wine prefix " + prefix + ": " + out;
            return false;
        }
    }
    auto replacements = JapaneseFontReplacements(JapaneseFontFamilies());
    if (!replacements.empty()) {
        const std::string file = prefix + "/drive_c/tarn-fonts.reg";
        if (!WriteText(file, RegistryFile(replacements)) ||
            Run({ wine, "reg.exe", "import", "C:\\tarn-fonts.reg" }, env, &out) != 0) {
            ::unlink(file.c_str());
            reason = "the font replacements could not be written into " + prefix + ": " + out;
            return false;
        }
        ::unlink(file.c_str());
    }
    WriteText(mark, "ready\n");
    return true;
}

std::string SafeFolderName(std::string_view key)
{
    std::string safe;
    bool changed = false;
    for (char c : key) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x80 && std::isalnum(u)) || c == '-' || c == '_' || (c == '.' && !safe.empty()))
            safe += c;
        else {
            changed = true;
            if (!safe.empty() && safe.back() != '_')
                safe += '_';
        }
        if (safe.size() > 48)
            break;
    }
    while (!safe.empty() && (safe.back() == '_' || safe.back() == '.'))
        safe.pop_back();
    if (safe.empty() && key.empty())
        return "default";
    if (changed || safe.size() > 48) {
        uint32_t hash = 2166136261u; // FNV-1a: two keys that read alike stay apart
        for (unsigned char c : key)
            hash = (hash ^ c) * 16777619u;
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", hash);
        safe = (safe.empty() ? std::string("game") : safe.substr(0, 48)) + "-" + hex;
    }
    return safe;
}

// A minimal PE image whose entry point returns code: mov eax, code; ret.
std::string ProbeImage(bool pe64, uint8_t code)
{
    std::string img(0x400, '\0');
    auto put16 = [&](size_t at, uint16_t v) { img[at] = static_cast<char>(v & 0xFF), img[at + 1] = static_cast<char>(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            img[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    img[0] = 'M', img[1] = 'Z';
    put32(0x3C, 0x40);
    const size_t pe = 0x40;
    img[pe] = 'P', img[pe + 1] = 'E';
    const size_t coff = pe + 4;
    put16(coff, pe64 ? 0x8664 : 0x014C);
    put16(coff + 2, 1); // sections
    const uint16_t optSize = pe64 ? 240 : 224;
    put16(coff + 16, optSize);
    put16(coff + 18, pe64 ? 0x0023 : 0x0103); // executable, no relocations (+32-bit machine / large addresses)
    const size_t opt = coff + 20;
    put16(opt, pe64 ? 0x20B : 0x10B);
    put32(opt + 4, 0x200);     // size of code
    put32(opt + 16, 0x1000);   // entry point
    put32(opt + 20, 0x1000);   // base of code
    if (pe64) {
        put32(opt + 24, 0x40000000), put32(opt + 28, 0x1); // image base 0x140000000
    } else {
        put32(opt + 24, 0x1000);   // base of data
        put32(opt + 28, 0x400000); // image base
    }
    put32(opt + 32, 0x1000); // section alignment
    put32(opt + 36, 0x200);  // file alignment
    put16(opt + 40, 4);      // operating system version 4.0
    put16(opt + 48, 4);      // subsystem version 4.0
    put32(opt + 56, 0x2000); // size of image
    put32(opt + 60, 0x200);  // size of headers
    put16(opt + 68, 3);      // console
    const size_t sizes = opt + 72;
    if (pe64) {
        put32(sizes, 0x100000), put32(sizes + 8, 0x1000), put32(sizes + 16, 0x100000), put32(sizes + 24, 0x1000);
        put32(opt + 108, 16);
    } else {
        put32(sizes, 0x100000), put32(sizes + 4, 0x1000), put32(sizes + 8, 0x100000), put32(sizes + 12, 0x1000);
        put32(opt + 92, 16);
    }
    const size_t section = opt + optSize;
    std::memcpy(&img[section], ".text", 5);
    put32(section + 8, 0x1000);  // virtual size
    put32(section + 12, 0x1000); // virtual address
    put32(section + 16, 0x200);  // raw size
    put32(section + 20, 0x200);  // raw offset
    put32(section + 36, 0x60000020); // code, execute, read
    const unsigned char body[] = { 0xB8, code, 0, 0, 0, 0xC3 };
    std::memcpy(&img[0x200], body, sizeof body);
    return img;
}

} // namespace

// ---- the Japanese locale ----

std::string OwnLocaleDirectory() { return DataHome() + "/tarn-setup/locale"; }

JapaneseLocale FindJapaneseLocale()
{
    JapaneseLocale l;
    if (LocaleLoads(kJapaneseLocale)) {
        l.State = JapaneseLocaleState::System;
        return l;
    }
    const std::string own = OwnLocaleDirectory();
    if (IsDirectory(own + "/" + kJapaneseLocale) && LocaleLoadsFrom(own)) {
        l.State = JapaneseLocaleState::Own;
        l.LocPath = own;
        return l;
    }
    if (HasLocaleSources()) {
        l.State = JapaneseLocaleState::CanBeMade;
        return l;
    }
    l.Package = kLocalePackage;
    return l;
}

bool MakeJapaneseLocale(const std::string& dir, std::string& reason)
{
    if (IsDirectory(dir + "/" + kJapaneseLocale) && LocaleLoadsFrom(dir))
        return true;
    std::string localedef = FindOnPath("localedef");
    if (localedef.empty() || !HasLocaleSources()) {
        reason = std::string("the Japanese locale cannot be made: no locale sources (install the package ") + kLocalePackage + ")";
        return false;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    // Made beside and renamed: a locale half made is never taken for one.
    const std::string temp = dir + "/.making-" + std::to_string(::getpid());
    fs::remove_all(temp, ec);
    std::string out;
    int rc = Run({ localedef, "-i", "ja_JP", "-f", "UTF-8", temp }, { "LOCPATH=" }, &out);
    // localedef ends with 1 for warnings only; what counts is that glibc takes the result.
    bool made = rc >= 0 && rc <= 1 && IsFile(temp + "/LC_CTYPE");
    if (made) {
        fs::remove_all(dir + "/" + kJapaneseLocale, ec);
        made = ::rename(temp.c_str(), (dir + "/" + kJapaneseLocale).c_str()) == 0;
    }
    fs::remove_all(temp, ec);
    // The C library looks for the normalised name of the code set too.
    ::unlink((dir + "/ja_JP.utf8").c_str());
    if (made && ::symlink(kJapaneseLocale, (dir + "/ja_JP.utf8").c_str()) != 0)
        made = false;
    if (!made || !LocaleLoadsFrom(dir)) {
        reason = "localedef could not make the Japanese locale in " + dir + " (status " + std::to_string(rc) + "): " + out;
        return false;
    }
    return true;
}

AnsiString JapaneseLocaleWanting()
{
    if (FindJapaneseLocale().State != JapaneseLocaleState::Missing)
        return AnsiString();
    return Sjis(u8"日本語のロケール (ja_JP.UTF-8) がなく、作ることもできません。ゲームの日本語が正しく表示されない"
                      u8"ことがあります。パッケージ locales をインストールしてください。");
}

StringList WindowsProgramsWanting()
{
    StringList lines;
    if (AnsiString locale = JapaneseLocaleWanting(); !locale.empty())
        lines.push_back(locale);
    if (JapaneseFontFamilies().empty())
        lines.push_back(Sjis(u8"日本語のフォントが見つかりません。ゲームの文字が表示されないことがあります。"
                             u8"パッケージ fonts-ipafont-gothic をインストールしてください。"));
    if (FindOnPath("wine").empty())
        lines.push_back(Sjis(u8"wine が見つかりません。ゲームを起動できません。パッケージ wine をインストールしてください。"));
    return lines;
}

// ---- fonts ----

std::vector<std::string> JapaneseFontFamilies()
{
    std::vector<std::string> families;
    std::string fcList = FindOnPath("fc-list");
    std::string out;
    if (fcList.empty() || Run({ fcList, ":lang=ja", "family" }, {}, &out) != 0)
        return families;
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        // A font lists its names in several languages, commas between them.
        for (size_t s = 0; s <= line.size();) {
            size_t e = line.find(',', s);
            if (e == std::string::npos)
                e = line.size();
            std::string name = line.substr(s, e - s);
            s = e + 1;
            if (!name.empty() && AsciiOnly(name) && std::find(families.begin(), families.end(), name) == families.end()) {
                families.push_back(name);
                break;
            }
        }
    }
    return families;
}

std::vector<std::pair<std::string, std::string>> JapaneseFontReplacements(const std::vector<std::string>& families)
{
    std::vector<std::pair<std::string, std::string>> result;
    if (families.empty())
        return result;
    // Known families by kind, the closest first.
    static const std::vector<std::string> gothic = { "IPAGothic", "IPAexGothic", "TakaoGothic", "VL Gothic", "Noto Sans Mono CJK JP",
                                                     "Noto Sans CJK JP", "IPAPGothic", "TakaoPGothic", "VL PGothic" };
    static const std::vector<std::string> pgothic = { "IPAPGothic", "IPAexGothic", "TakaoPGothic", "VL PGothic", "Noto Sans CJK JP",
                                                      "IPAGothic", "TakaoGothic", "VL Gothic", "Noto Sans Mono CJK JP" };
    static const std::vector<std::string> mincho = { "IPAMincho", "IPAexMincho", "TakaoMincho", "Noto Serif CJK JP", "IPAPMincho",
                                                     "TakaoPMincho" };
    static const std::vector<std::string> pmincho = { "IPAPMincho", "IPAexMincho", "TakaoPMincho", "Noto Serif CJK JP",
                                                      "IPAMincho", "TakaoMincho" };
    auto has = [&](const std::string& f) { return std::find(families.begin(), families.end(), f) != families.end(); };
    auto byWord = [&](std::initializer_list<const char*> words) {
        for (const std::string& f : families)
            for (const char* w : words)
                if (Contains(f, w))
                    return f;
        return std::string();
    };
    auto pick = [&](const std::vector<std::string>& known, bool isMincho) {
        for (const std::string& f : known)
            if (has(f))
                return f;
        std::string f = isMincho ? byWord({ "Mincho", "Serif", "Ming" }) : byWord({ "Gothic", "Sans" });
        return f.empty() ? std::string() : f;
    };
    // Without a mincho the gothic stands in, and the other way round; else whatever Japanese font there is.
    std::string g = pick(gothic, false), pg = pick(pgothic, false), m = pick(mincho, true), pm = pick(pmincho, true);
    if (g.empty() && m.empty())
        g = pg = m = pm = families.front();
    else if (g.empty())
        g = m, pg = pm;
    else if (m.empty())
        m = g, pm = pg;
    result = {
        { Utf8(u8"ＭＳ ゴシック"), g }, { "MS Gothic", g }, { Utf8(u8"ＭＳ Ｐゴシック"), pg }, { "MS PGothic", pg },
        { "MS UI Gothic", pg },  { Utf8(u8"ＭＳ 明朝"), m },  { "MS Mincho", m },       { Utf8(u8"ＭＳ Ｐ明朝"), pm },
        { "MS PMincho", pm },
    };
    return result;
}

// ---- Wine ----

WineCheck CheckWine()
{
    WineCheck check;
    check.Path = WinePath();
    if (check.Path.empty())
        return check;
    std::string out;
    Run({ check.Path, "--version" }, {}, &out);
    // The version's line among what the loader says about itself.
    for (size_t at = 0; at < out.size();) {
        size_t end = std::min(out.find('\n', at), out.size());
        if (out.compare(at, 5, "wine-") == 0 && check.Version.empty())
            check.Version = out.substr(at, end - at);
        at = end + 1;
    }
    if (Contains(out, "wine32 is missing"))
        check.Note = "wine32 is missing";
    // The probes run in a prefix of the check's own, made without downloads at the first check.
    const std::string dir = CacheHome() + "/tarn-setup/wine-check";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const std::vector<std::string> env = { "WINEPREFIX=" + dir + "/prefix", std::string("WINEDLLOVERRIDES=") + kPrefixMakingOverrides,
                                           "WINEDEBUG=-all" };
    for (bool pe64 : { true, false }) {
        const uint8_t code = pe64 ? 64 : 32;
        const std::string probe = dir + (pe64 ? "/probe64.exe" : "/probe32.exe");
        if (ReadText(probe) != ProbeImage(pe64, code))
            WriteText(probe, ProbeImage(pe64, code));
        std::string said;
        bool runs = Run({ check.Path, probe }, env, &said) == code;
        (pe64 ? check.Runs64 : check.Runs32) = runs;
        if (!pe64 && !runs && check.Note.empty())
            check.Note = Contains(said, "wine32") ? "wine32 is missing" : "32-bit programs do not run";
    }
    return check;
}

// ---- the prefix and the start ----

void SetWindowsProgramsPrefix(std::string_view gameKey, std::string_view named)
{
    g_gameKey = gameKey;
    g_namedPrefix = named;
    g_prefixSet = true;
}

void NameWinePrefix(const std::string& hostDir) { ::setenv("WINEPREFIX", hostDir.c_str(), 1); }

std::string WindowsProgramsPrefix()
{
    if (g_prefixSet)
        return g_namedPrefix.empty() ? OwnPrefixDirectory(g_gameKey) : g_namedPrefix;
    std::string env = GetEnv("WINEPREFIX");
    return env.empty() ? OwnPrefixDirectory("") : env;
}

std::string OwnPrefixDirectory(std::string_view gameKey) { return DataHome() + "/tarn-setup/wine/" + SafeFolderName(gameKey); }

std::string ExecWindowsProgram(const std::string& prefix, const std::string& program, const std::vector<std::string>& args)
{
    const std::string wine = WinePath();
    if (wine.empty())
        return "wine is not installed (install the package wine)";
    if (prefix.empty() || prefix[0] != '/')
        return "the Wine prefix must be an absolute path: " + prefix;
    {
        PreparationLock lock;
        JapaneseLocale l = FindJapaneseLocale();
        if (l.State == JapaneseLocaleState::CanBeMade) {
            std::string reason;
            if (MakeJapaneseLocale(OwnLocaleDirectory(), reason))
                l = JapaneseLocale{ JapaneseLocaleState::Own, OwnLocaleDirectory(), std::string() };
            else
                std::fprintf(stderr, "tarn-setup: %s\n", reason.c_str());
        }
        if (l.State == JapaneseLocaleState::Own)
            ::setenv("LOCPATH", l.LocPath.c_str(), 1);
        if (l.State == JapaneseLocaleState::System || l.State == JapaneseLocaleState::Own)
            ::setenv("LC_ALL", kJapaneseLocale, 1);
        else
            std::fprintf(stderr, "tarn-setup: no Japanese locale (install the package %s): %s runs in the session's\n",
                         kLocalePackage, program.c_str());
        std::string reason;
        if (!PreparePrefix(wine, prefix, reason))
            return reason;
    }
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    std::vector<std::string> copies{ wine, program };
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(wine.c_str(), argv.data());
    return "wine could not be started: " + std::string(std::strerror(errno));
}

int RunWindowsProgramMode(const std::vector<std::string>& args)
{
    std::string prefix;
    size_t i = 0;
    if (i + 1 < args.size() && args[i] == "--wine-prefix") {
        prefix = args[i + 1];
        i += 2;
    } else if (i < args.size() && args[i].compare(0, 14, "--wine-prefix=") == 0) {
        prefix = args[i].substr(14);
        ++i;
    }
    if (i >= args.size()) {
        std::fprintf(stderr, "Usage: tarn-setup --run-windows [--wine-prefix DIR] PROGRAM [ARGS]...\n");
        return 2;
    }
    if (prefix.empty())
        prefix = WindowsProgramsPrefix();
    const std::string program = args[i];
    std::string reason = ExecWindowsProgram(prefix, program, std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()));
    std::fprintf(stderr, "tarn-setup: %s cannot be started: %s\n", program.c_str(), reason.c_str());
    return 1;
}

void SetWindowsProgramsStarter(std::string hostPath)
{
    // A temporary copy goes away after its run: it is no starter for the menu.
    std::string temp = GetEnv("TMPDIR");
    if (temp.empty())
        temp = "/tmp";
    while (temp.size() > 1 && temp.back() == '/')
        temp.pop_back();
    if (hostPath.compare(0, temp.size() + 1, temp + "/") == 0 || hostPath.compare(0, 5, "/tmp/") == 0)
        hostPath.clear();
    g_starter = std::move(hostPath);
}

std::string WindowsProgramsStarter() { return g_starter; }

} // namespace tarn::platform
