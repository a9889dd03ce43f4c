// The wizard's directory browser: a list of the current directory's
// ancestors and subdirectories, and a drive list linked to it. Both act on
// the process's current directory, as the system's controls of this kind do.
#pragma once

#include <string>

#include "ui/controls.h"

namespace tarn::ui {

class DriveCombo;

class DirectoryList : public Control {
public:
    DirectoryList(Container& parent, AnsiString name);

    struct Entry {
        AnsiString Text; // as shown: a name, or for the root the drive's host form
        AnsiString Path; // program path
        int Level = 0;   // 0 the root; the directory's own entry has the deepest ancestor level
        bool Open = false; // an ancestor or the directory itself (an open folder)
    };

    // The directory: a program path without a trailing backslash, except at
    // a drive's root ("C:\").
    const AnsiString& Directory() const { return directory_; }
    // Makes dir the directory and the process's current directory, reads the
    // entries again, and fires OnChange when the directory changed. A
    // directory that cannot be entered raises an error naming it (nothing
    // changes). The linked drive list follows a change of drive.
    void SetDirectory(const AnsiString& dir);
    // Reads the entries of the directory again (without firing OnChange).
    void Refresh();

    // Its ancestors from the drive's root down, the directory itself, then its
    // subdirectories sorted by name (hidden ones left out).
    const std::vector<Entry>& Items() const { return items_; }
    // The directory's own entry.
    int ItemIndex() const { return itemIndex_; }
    int ItemHeight = 16;

    // What a person does: choose entry k (from 0: Enter on a row, a console
    // line), or type a directory (host or drive path). Under the error
    // report; false when nothing changed because the control is not usable,
    // k is out of range or the directory cannot be entered. Either way the
    // backend is told to show the model again, so the selected row is the
    // directory's own afterwards.
    bool UserChoose(int k);
    bool UserSetDirectory(const AnsiString& dir);
    // A click on row k (-1: beside the rows) opens that row's folder. The
    // second click of a double click does not: the first has opened a
    // folder already, and the row under the pointer is now one of the new
    // listing's.
    bool UserPress(int k, bool secondOfDoubleClick);

    DriveCombo* Drive() const { return drive_; }

private:
    friend class DriveCombo;
    void Read();
    AnsiString directory_;
    std::vector<Entry> items_;
    int itemIndex_ = -1;
    DriveCombo* drive_ = nullptr;
};

class DriveCombo : public Control {
public:
    DriveCombo(Container& parent, AnsiString name);

    // The drive shown (an upper-case letter); at first the current directory's.
    char Drive() const { return drive_; }
    // When the drive changes: the linked list moves to that drive's current
    // directory (firing its OnChange), then this control's OnChange fires.
    // A drive whose current directory cannot be entered raises an error and
    // nothing changes.
    void SetDrive(char letter);
    // The drive letters to choose from (read at creation; Refresh reads them again).
    const std::string& Drives() const { return drives_; }
    void Refresh();
    // The text of a drive as shown: "C:", and on POSIX the host directory it stands for.
    std::string DriveText(char letter) const;

    DirectoryList* DirList() const { return dirList_; }
    void SetDirList(DirectoryList* list);

    // What a person does: choose a drive (under the error report). False when
    // nothing changed; either way the backend shows the model's drive again,
    // so a refused choice does not stay on screen.
    bool UserChoose(char letter);

private:
    friend class DirectoryList;
    // The list moved to another drive itself: show it, and fire OnChange.
    void Follow(char letter);
    char drive_ = 'C';
    std::string drives_;
    DirectoryList* dirList_ = nullptr;
};

} // namespace tarn::ui
