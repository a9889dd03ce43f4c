// Program groups as the shell keeps them: a folder per group in the Start
// menu's programs, a shell link per item. What the program manager's
// commands make where no program manager answers them.
#pragma once

#include "platform/win32/win32.h"

#include <memory>
#include <optional>
#include <string>

#include "base/text.h"

namespace tarn::platform {

class ShellLinkGroups {
public:
    // Nothing when links cannot be made here (no programs folder, no COM).
    static std::unique_ptr<ShellLinkGroups> Make();
    // Whether the group's folder is in the user's or all users' programs,
    // whoever made it.
    static bool GroupFolderExists(const AnsiString& title);
    // The files in the group's folder (the user's or all users'), as program paths.
    static StringList GroupFolderFiles(const AnsiString& title);

    // Titles are taken as one folder name: the caller refuses those that
    // could name another folder.
    void CreateGroup(const AnsiString& title);
    void ShowGroup(const AnsiString& title);
    // The arguments of AddItem: command line, name, icon file, icon index.
    void AddItem(const StringList& args);
    // Removes the links this program made in the group's folder and are
    // unchanged since, and the folder when nothing else is left in it.
    void DeleteGroup(const AnsiString& title);

private:
    explicit ShellLinkGroups(std::wstring programs) : programs_(std::move(programs)) { }
    std::wstring FolderOf(const AnsiString& title) const;

    std::wstring programs_;
    std::optional<AnsiString> current_;
};

} // namespace tarn::platform
