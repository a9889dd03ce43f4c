// The only interface to the operating system. One header, two implementations
// (posix/ and win32/), chosen by the build.
//
// Paths are program paths: Windows form in CP932 (drive, colon, backslashes).
// On POSIX drives map to host directories: C: is $HOME, Z: is /, overridable
// with TARN_DRIVES ("C=/home/me;D=/media/cdrom"). On Windows paths go to the
// W functions as UTF-16, so the program works under any system locale.
//
// The Windows headers define many API names as macros (CopyFile, DeleteFile,
// GetObject, MessageBox, CreateWindow, ...): names in this interface avoid them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"

namespace tarn {

// File attribute bits as the file routines use them.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faAnyFile = 0x3F;

namespace platform {

// ---- paths between the program and the host ----

// A host path (UTF-8; on Windows converted to UTF-16 first) as a program path.
// On POSIX an absolute path takes the drive with the longest matching root.
AnsiString PathFromHost(std::string_view hostUtf8);
// A program path as host text (UTF-8), for people and for libraries that take
// host paths. False when the path has no host form (an unmapped drive).
bool HostPath(std::string_view path, std::string& hostUtf8);
// For display: the host form when there is one, else the path itself.
std::string DisplayPath(std::string_view path);
// A directory as a person typed it (UTF-8: a command-line argument, the
// wizard's destination, a console line) as an absolute program path: a
// drive path (C:\x) as it stands; on POSIX an absolute host path (/media/x)
// through the drive map and "~" or "~/x" below the home; anything else
// relative to the current directory. A backslash separates on POSIX too (the
// program shows its paths so). "." and ".." are resolved; no trailing
// separator but a drive's root's. Empty for empty text.
AnsiString PathFromTyped(std::string_view typedUtf8);
// A program path as the program shows it to a person, CP932: on POSIX its
// host form ("C:\Games\x" -> "/home/me/Games/x"), each name as it is in the
// path (a host character CP932 cannot hold keeps its private slot, a
// backslash in a name too); on Windows the path itself.
AnsiString ShownPath(std::string_view path);
// The inverse, for text a person reads and edits (the wizard's destination):
// a shown path, a drive path or a typed host path ("~/x", relative ones),
// as PathFromTyped takes them, to an absolute program path. Only real
// separators separate, so every path ShownPath gives comes back unchanged.
AnsiString PathFromShown(std::string_view shown);
// How a drive's root is shown to a person: "C:\" on Windows, the host
// directory it stands for on POSIX ("/home/me", "/"); empty for a drive
// without one.
std::string DriveRootText(char letter);

// The program's arguments (without the program name) as UTF-8; on Windows
// taken from the wide command line, so no character is lost to the ANSI code page.
std::vector<std::string> ArgumentsUtf8(int argc, char** argv);
// Writes UTF-8 text to standard output or standard error, unchanged.
void WriteStdout(std::string_view utf8);
void WriteStderr(std::string_view utf8);
// True when the stream is a terminal (for progress bars).
bool StderrIsTerminal();
// One line of standard input (without its line end). timeoutMs < 0 waits as
// long as it takes; 0 only looks. A pipe or file gives its bytes (UTF-8 is
// expected); a Windows console is read as text and given as UTF-8.
enum class InputResult { Line, Timeout, End };
InputResult ReadStdinLine(std::string& line, int timeoutMs);
// What ReadStdinLine has read from standard input but not yet given out
// (taken away): a program that hands its terminal over passes it on.
std::string TakePendingInput();
// Reads standard input to its end, bytes unchanged (a Windows console's text
// as UTF-8). False on a read error or when it holds more than limit bytes.
bool ReadStdin(std::string& bytes, size_t limit);

// What the system said about its call that failed last on this thread, as
// text for a person (CP932; "" when it said nothing): read it right after
// the routine that failed (a file copy, making a directory).
AnsiString LastErrorText();

// ---- files and directories ----

bool FileExists(std::string_view path);      // a file, not a directory
bool DirectoryExists(std::string_view path);
// The six attribute bits, or -1 when the entry does not exist. On POSIX: 0x10 for
// a directory, 0x20 for every file, 0x01 when the owner cannot write, 0x02 when
// the name starts with a dot; never 0x04 or 0x08.
int32_t FileGetAttr(std::string_view path);
// On POSIX clearing 0x01 gives the owner write permission and setting it takes
// every write permission away; 0x02 changes nothing (a file is never renamed).
bool FileSetAttr(std::string_view path, uint32_t attributes);
// An installed file made the person's own, whatever the disc gave it: on
// POSIX 0644 under the umask, 0755 for a program (an ELF file, a script
// starting with #!, a .exe, .com or .bat); on Windows without the read-only
// attribute. A link is left alone.
bool MakeOwnFile(std::string_view path);
int64_t FileSize(std::string_view path); // -1 when it cannot be read
// Last write time in local time, packed as a DOS date (high word) and time.
std::optional<uint32_t> FileDosDateTime(std::string_view path);
// What one look at a directory entry tells (following links).
struct FileInfo {
    bool Exists = false;
    bool IsDirectory = false;
    int64_t Size = 0;
    std::optional<uint32_t> DosDateTime; // last write, as FileDosDateTime
};
FileInfo StatFile(std::string_view path);
// What a directory entry is itself (a link is not followed): POSIX tells
// links and special files (FIFOs, sockets, devices) apart; Windows has
// files and directories only here.
enum class EntryKind { Missing, File, Directory, Link, Special };
EntryKind KindOf(std::string_view path);
// True when the path (links followed) is a block device, such as a disc
// drive (/dev/sr0) or a loop device; always false on Windows.
bool IsBlockDevice(std::string_view path);
// True when the file (not a directory) could be opened for reading now
// (permissions, sharing), without the cost of opening it where the system can tell.
bool CanOpenForReading(std::string_view path);
// Sets the last write time (seconds since 1970, UTC).
bool SetFileTimeUnix(std::string_view path, int64_t seconds);
bool RemoveFile(std::string_view path);
bool RemoveDir(std::string_view path); // an empty directory
// Renames, replacing an existing target (atomically where the system can).
bool RenameFile(std::string_view from, std::string_view to);
// Creates the directory and every missing parent; true when it exists afterwards.
bool ForceDirectories(std::string_view path);
// Copies over an existing target, keeping last-write time and attributes.
// A read-only target is not overwritten (as on Windows). With progress, the
// bytes are copied in pieces of 2 MiB and progress gets the count copied so
// far after each, so that a window stays responsive during a large file;
// progress returning false stops the copy. A copy that fails or is stopped
// leaves no target behind. With digest, the bytes pass through the program
// on their way (the source is read once) and digest gets their SHA-256.
using CopyProgress = std::function<bool(int64_t copiedSoFar)>;
class Sha256;
bool CopyFileWithAttributes(std::string_view source, std::string_view target, const CopyProgress& progress = {},
                            Sha256* digest = nullptr);
// Free bytes for the caller on the volume holding path, or -1.
int64_t DiskFreeBytes(std::string_view path);

struct DirEntry {
    AnsiString Name;
    uint32_t Attributes = 0;
    bool IsLink = false; // a symbolic link or junction: never descended into
};

// The entries of a directory in the order the file system gives them, "." and
// ".." included. needAttributes false lets POSIX skip asking for the read-only
// bit (directory and hidden bits are always there).
class DirectoryReader {
public:
    DirectoryReader(std::string_view dir, bool needAttributes);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;
    bool Next(DirEntry& entry);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class VolumeFile;

// An open file with a 64-bit position. A file inside a mounted volume
// (platform/volume.h) opens for reading only.
class File {
public:
    enum class Mode { Read, Write, ReadWrite, Create }; // Create: new empty file, read/write
    // nullptr when the file cannot be opened or created.
    static std::unique_ptr<File> Open(std::string_view path, Mode mode);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Short only at the end of the file (Read) or on an error (Write).
    int64_t Read(void* buffer, int64_t count);
    int64_t Write(const void* buffer, int64_t count);
    void Seek(int64_t position) { position_ = position; }
    int64_t Position() const { return position_; }
    int64_t Size(); // a block device's too (POSIX)
    bool SetSize(int64_t size);
    bool Sync(); // data on the disk
    // Writes out the part [offset, offset + length) and waits for it, where the
    // system can do that for a part; Sync afterwards then has little left to
    // do. Where it cannot, nothing happens here and Sync does it all.
    bool SyncRange(int64_t offset, int64_t length);
    // Starts writing out the part [offset, offset + length) and returns at
    // once, so that the disk writes while the program goes on and a Sync at
    // the end has less to wait for. Where the system cannot, nothing happens.
    void StartWriteBack(int64_t offset, int64_t length);
    // Moves count bytes from source's position to target's, in the kernel where
    // the system can; both positions advance. Returns the bytes moved.
    static int64_t CopyRange(File& source, File& target, int64_t count);

private:
    File() = default;
    // Reads and sizes of a file inside a volume; the same on both systems.
    static std::unique_ptr<File> OfVolume(std::unique_ptr<VolumeFile> file);
    // CopyRange where one side is a file inside a volume.
    static int64_t CopyRangeThroughMemory(File& source, File& target, int64_t count);
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<VolumeFile> volume_;
    int64_t position_ = 0;
};

// ---- drives and the current directory ----

// The drive letters there are, upper case, in alphabetical order. POSIX: the
// drive map's (C: home, Z: root, plus TARN_DRIVES); Windows: GetLogicalDrives.
std::string DriveLetters();
// The process's current directory as a program path, without a trailing
// backslash except at a drive's root ("C:\Games", "C:\").
AnsiString CurrentDirectory();
// Makes path the process's current directory and the current directory of
// its drive. False when it cannot be entered (the current directory stays).
bool ChangeDirectory(std::string_view path);
// The directory that was last made current on a drive by this process (the
// drive's root when none; on Windows the system's own per-drive record).
AnsiString DriveCurrentDirectory(char letter);
// The short (8.3) form of an existing path; the path itself where the
// system has no short names (POSIX) or the query fails.
AnsiString ShortPath(std::string_view path);
// Directories under which mounted media may lie, each a directory whose
// subdirectories (POSIX) or which itself (Windows) may hold a disc: POSIX
// the entries of /media/$USER, /run/media/$USER, /media and /mnt, in that
// order; Windows the root of every drive letter. Only directories that exist.
StringList MediaRoots();
// The places a person starts browsing from (the wizard's drive list), as
// program paths of directories, in the order shown: Windows every drive's
// root; POSIX the home (C:\), the root (Z:\), the roots of the other drives of
// the map, then each mounted medium of MediaRoots (a mount point; with
// TARN_MEDIA_DIRS set, every directory found there).
StringList BrowsePlaces();
// Optical drives read through their device files (POSIX: /dev/sr0 ... that
// this process may read, as program paths; TARN_DRIVE_DEVICES, colon-
// separated host paths, replaces the list for tests). Windows: none, as its
// drives are read as drives (MediaRoots).
StringList OpticalDrives();

// Directories whose removal would take the user's or the system's files with
// it: every drive's root, the home or profile folder, the Windows directory
// and the Program Files folder (POSIX: the drive map's roots and C:\Games).
StringList ProtectedDirectories();
// True when inner is outer itself or lies inside it (after resolving what
// the system resolves: links on POSIX, case and short names on Windows).
bool DirectoryContains(std::string_view outer, std::string_view inner);
// The path with the symbolic links in it (and in its parents) resolved, as
// far as they exist; POSIX only (Windows: the path as given). A link as a
// destination or an installation is checked, recorded and removed as its
// target.
AnsiString ResolvedPath(std::string_view path);

// ---- the shell's program manager ----

// A conversation with the program manager about program groups and their
// items, carried by command texts such as "[CreateGroup(Title)]" (CP932).
// Windows: DDE with the program manager (ANSI, the CP932 bytes); where none
// answers, or one stops answering, the same commands as shell links in the
// Start menu's Programs folder, a folder per group. POSIX: the same command
// texts are interpreted into the freedesktop menu of the user
// ($XDG_DATA_HOME, $XDG_CONFIG_HOME): desktop entries, a .directory and an
// applications-merged .menu per group.
// Windows carries out only CreateGroup, ShowGroup, AddItem and DeleteGroup,
// one command per text, and never a group command whose title could name
// another folder (empty, a separator, a wildcard, a trailing dot or blank),
// nor the items after such a command.
class ProgramManager {
public:
    // nullptr when there is no way to make groups: POSIX, when the menu
    // folders cannot be written; Windows, when no program manager answers
    // and shell links cannot be made either.
    static std::unique_ptr<ProgramManager> Open(std::string_view service, std::string_view topic);
    ~ProgramManager(); // closes the conversation
    ProgramManager(const ProgramManager&) = delete;
    ProgramManager& operator=(const ProgramManager&) = delete;

    // A picture (PNG bytes) for the items that bring no icon of their own;
    // used where the menu needs icon files (POSIX), ignored elsewhere.
    void SetIconPicture(std::string png);
    // Sends one command text (without its terminating NUL); a rejected
    // command is not reported. Windows waits for the program manager's
    // answer a limited time.
    void Execute(std::string_view command);
    // Whether the group of that title is there now (after the commands sent
    // so far): Windows, its folder in the Start menu's programs (the user's or
    // all users'); POSIX, its submenu's files.
    bool GroupExists(std::string_view title);
    // The files that make that group now, as program paths: POSIX, its
    // desktop entries, directory entry, menu file and pictures (those with
    // the group's mark); Windows, the files in its Start-menu folder.
    StringList GroupFiles(std::string_view title);
    // How many items the group has now (its desktop entries, or its links).
    size_t ItemCount(std::string_view title);

private:
    ProgramManager() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- the shell's file operation ----

// Function codes and option flags of the shell's file operation (the
// values of the Windows shell).
constexpr uint32_t kFoMove = 1, kFoCopy = 2, kFoDelete = 3, kFoRename = 4;
constexpr uint32_t kFofMultiDestFiles = 0x0001, kFofConfirmMouse = 0x0002, kFofSilent = 0x0004,
                   kFofRenameOnCollision = 0x0008, kFofNoConfirmation = 0x0010, kFofAllowUndo = 0x0040,
                   kFofFilesOnly = 0x0080, kFofSimpleProgress = 0x0100, kFofNoConfirmMkdir = 0x0200,
                   kFofNoErrorUi = 0x0400;

struct FileOperationResult {
    // The shell record's any-operations-aborted indication.
    int32_t AnyOperationsAborted = 0;
    // Names that could not be handled and that the system has not reported
    // to the person itself (POSIX: every failure; the Windows shell shows its
    // own), each with the reason as CP932 text.
    std::vector<std::pair<AnsiString, AnsiString>> Failures;
};

// One shell file operation on double-NUL-terminated name lists (CP932
// program paths). POSIX carries out kFoDelete: with kFofAllowUndo every name
// goes to the freedesktop trash through GIO, and a name the trash refuses
// (tmpfs, read-only or system mounts) stays where it is and is a failure;
// without it the names are deleted, directories with everything in them.
// Other function codes fail on POSIX.
FileOperationResult ShellFileOperation(uint32_t function, std::string_view from, std::string_view to, uint32_t flags,
                                       std::string_view title);

// ---- system ----

// The temporary directory, with a trailing backslash.
AnsiString TempDirectory();
// The running program's full path.
AnsiString ModuleFileName();
// CSIDL folders: CSIDL_PROGRAM_FILES (0x26) is C:\Games (~/Games) on POSIX.
// Raises EOSError when the folder cannot be given.
AnsiString SpecialFolder(int csidl);
// The Windows directory (C:\ on POSIX).
AnsiString WindowsDirectory();
// The folder of the program's own records of the user (the manifests of
// installations), with a trailing backslash; not created here.
// POSIX: $XDG_DATA_HOME/tarn-setup (~/.local/share/tarn-setup); Windows:
// %LOCALAPPDATA%\tarn-setup.
AnsiString ProgramDataDirectory();
// Windows: removal at the next system start. POSIX: removal when this process ends.
void ScheduleDeleteAtReboot(std::string_view path);
void SleepMs(uint32_t milliseconds);
// Environment variable as UTF-8 ("" when unset).
std::string GetEnv(const char* name);

// The single-instance guard: nullptr when another process holds a mutex of
// that name (or it cannot be created). Any title works. Released on destruction.
class NamedMutex {
public:
    static std::unique_ptr<NamedMutex> Acquire(std::string_view name);
    // The holder hears each later start of the same name: onRequest runs on
    // a thread of its own (POSIX: a local socket beside the lock; Windows:
    // nothing to listen for, the later start finds the window itself).
    void ListenForShowRequests(std::function<void()> onRequest);
    // A later start asks the holder of name to show its windows: POSIX
    // through the holder's socket; Windows by finding the holder's window
    // titled title (or title followed by more) and bringing it to the front.
    // False when nobody answered.
    static bool AskHolderToShow(std::string_view name, std::string_view title);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

private:
    NamedMutex() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- processes ----

// A started program. Arguments are UTF-8 and reach the program one by one
// (quoted for the Windows command line). With capture, standard output and
// error are collected into Out() and Err(); stdinData is its standard input.
class Process {
public:
    static std::unique_ptr<Process> Start(std::string_view program, const std::vector<std::string>& args,
                                          std::string_view stdinData = {}, bool capture = false);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Waits for the end; the exit code, or -1 when the program did not end normally.
    int Wait();
    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }

private:
    Process() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string out_, err_;
};

struct ProcessResult {
    int ExitCode = -1; // -1: could not be started or did not end normally
    std::string Out, Err;
};
ProcessResult RunProcess(std::string_view program, const std::vector<std::string>& args, std::string_view stdinData = {});

// True where the programs on the discs (Windows programs) run natively.
// Elsewhere the installation gets this program itself as its "install.exe",
// so that the uninstall item starts an uninstaller that runs here.
bool DiscProgramsRunNatively();
// The absolute host path of a program found on PATH; "" when there is none.
std::string ProgramOnPath(std::string_view name);
// Whether the shell's deletion to the trash (kFofAllowUndo) takes what lies
// in dir: POSIX, where dir's mount has a trash GIO uses; Windows, always.
bool TrashAccepts(std::string_view dir);

// What a program of the system sets up once at its start (COM on Windows,
// for the shell's operations).
void InitializeProcess();
// The installer's own command line, without the program name, as UTF-8.
// Windows: the wide command line split by the program's rule (SplitCommandLine:
// a backslash is never an escape, so a quoted "D:\" comes back as D:\), where
// ArgumentsUtf8 follows the system's; POSIX: argv.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Asks the system to "open" file with a parameter string, without waiting,
// as the shell's verb "open" does. Windows: ShellExecute. POSIX: the quotes
// of file are stripped and params is split by the command-line rule; an ELF
// program runs directly, a Windows program through wine when there is one,
// anything else goes to xdg-open. False when nothing could be started.
bool ShellOpen(std::string_view file, std::string_view params);

// Replaces this process by the program file with params, taken as ShellOpen
// takes them (file quoted or not, params split by the command line rule), so
// that the program goes on in this process's terminal, with its standard
// input; pendingInput (what this process read ahead) reaches the program's
// ReadStdinLine first. Returns only when that cannot be done: always on
// Windows, where a program cannot take another's place.
bool ReplaceProcess(std::string_view file, std::string_view params, const std::string& pendingInput);

// ---- registry below HKEY_CURRENT_USER ----
// Windows: the registry. POSIX: $XDG_CONFIG_HOME/tarn-setup/user.reg.

constexpr uint32_t kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;

class RegistryKey {
public:
    // HKEY_CURRENT_USER\<path>. With create, the key and its missing parents are
    // created. nullptr when it cannot be opened (or created).
    static std::unique_ptr<RegistryKey> Open(std::string_view path, bool create);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // False when there is no such value; else its type and raw data (a string
    // value's data includes its terminating zero byte).
    bool ReadValue(std::string_view name, uint32_t& type, std::string& data);
    bool WriteValue(std::string_view name, uint32_t type, std::string_view data);
    bool DeleteValue(std::string_view name);
    StringList SubKeyNames();
    StringList ValueNames();
    // Deletes a direct subkey that has no subkeys of its own.
    bool DeleteSubKey(std::string_view name);

private:
    RegistryKey() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
} // namespace tarn
