// What every test program shares: an isolated home for the run (HOME, XDG_*
// and TMPDIR point into a fresh directory on POSIX), temporary directories,
// files, hex fixtures, child processes of the test program itself, and the
// rule that a missing peer tool fails under CI instead of skipping.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"

namespace tarn::test {

// A fresh directory for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Program path with a trailing backslash.
    const AnsiString& Path() const { return path_; }
    AnsiString operator/(std::string_view name) const { return path_ + AnsiString(name); }

private:
    AnsiString path_;
};

// Puts the process's current directory back at the end of a test that moves
// it (declared after the TempDir it moves into, so that it goes first: a
// directory that is current cannot be removed on Windows).
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard();
    ~CurrentDirectoryGuard();
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    AnsiString saved_;
};

// A number of this run of the test program, for names of its own in places
// that other test programs share (Program Files in one Wine prefix, say).
std::string RunId();

// Removes a directory tree (clearing read-only bits on the way).
void RemoveTree(const AnsiString& dir);
void WriteFile(const AnsiString& path, std::string_view bytes);
std::string ReadFile(const AnsiString& path);
// "03 00 00 00 61 62 63" -> bytes (blanks and newlines ignored).
std::string Hex(std::string_view hex);
std::string ToHex(std::string_view bytes);
// Files below dir (relative paths, sorted), for comparing whole trees.
StringList TreeOf(const AnsiString& dir);
// The desktop menu files of this test program's home, as names
// "applications/...", "desktop-directories/..." and "menus/...", and the
// file behind such a name.
StringList MenuFiles();
AnsiString MenuFile(const AnsiString& name);
// The files of the program group of that title: on Windows those in its
// folder of the user's Start-menu programs, elsewhere MenuFiles() (the menu
// starts empty for every test there).
StringList GroupFiles(const AnsiString& title);
// Removes what a test's installs left of that group (Windows; elsewhere the
// menu starts empty for every test anyway).
void RemoveGroup(const AnsiString& title);
// A string of CP932 bytes from UTF-8 source text.
AnsiString S(std::u8string_view text);

// The running test program and the folder of the project's programs.
AnsiString SelfPath();
AnsiString BinDir();
// Path of a program of the project (adds .exe on Windows).
AnsiString ProgramPath(std::string_view name);
// The installer: tarn-setup, install.exe on Windows.
AnsiString SetupProgramPath();

// Child processes of the test program: TARN_CHILD(name) { ... } defines a
// function that runs when the test program is started with --child=name;
// its return value is the exit code. Arguments after the name are passed on.
using ChildMain = std::function<int(const std::vector<std::string>& args)>;
struct ChildRegistration {
    ChildRegistration(const char* name, ChildMain main);
};
#define TARN_CHILD(name)                                                                              \
    static int TarnChild_##name(const std::vector<std::string>& args);                                \
    static ::tarn::test::ChildRegistration tarnChildReg_##name(#name, TarnChild_##name);              \
    static int TarnChild_##name([[maybe_unused]] const std::vector<std::string>& args)
// Command-line arguments that start the test program as child name. Where
// another program starts it with arguments of its own, TARN_TEST_CHILD=name
// in its environment chooses the child, which gets all the arguments.
std::vector<std::string> ChildArgs(const char* name, std::vector<std::string> args = {});

// Polls until cond holds or the time is up.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 20000);

#ifndef _WIN32
// Sets (or, given nullptr, unsets) an environment variable for one scope,
// children started in it inheriting that, and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) { }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// The argv of program with args, for exec and posix_spawn: the strings it
// points into live as long as the value.
class Argv {
public:
    Argv(const std::string& program, const std::vector<std::string>& args);
    char* const* Get() { return pointers_.data(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};
#endif

// True when CI=true is set: tests that need a peer tool fail instead of skipping.
bool UnderCI();
// Skips the test (or fails it under CI) when the program cannot be found on PATH.
#define TARN_REQUIRE_TOOL(tool)                                                                       \
    do {                                                                                              \
        if (!::tarn::test::ToolAvailable(tool)) {                                                     \
            if (::tarn::test::UnderCI())                                                              \
                FAIL() << "required tool not found under CI: " << tool;                              \
            GTEST_SKIP() << "tool not found: " << tool;                                               \
        }                                                                                             \
    } while (0)
bool ToolAvailable(const std::string& tool);
// The program path of a tool found on PATH, "" when there is none.
AnsiString ToolPath(const std::string& tool);

} // namespace tarn::test
