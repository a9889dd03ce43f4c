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

// The places to browse from, linked to a directory list: on Windows the
// drives ("C:"), on POSIX the home, the root, the other drives of the map and
// each mounted medium, shown by their host paths (platform::BrowsePlaces).
// The place shown is the one that holds the list's directory.
class DriveCombo : public Control {
public:
    DriveCombo(Container& parent, AnsiString name);

    // The places to choose from, program paths (read at creation; Refresh
    // reads them again).
    const StringList& Places() const { return places_; }
    // The place shown: the deepest place holding the list's directory (at
    // first the current directory); -1 when none does.
    int PlaceIndex() const { return place_; }
    // Its path ("" for none), and the drive letter of the directory it was
    // taken for.
    AnsiString Place() const;
    char Drive() const { return drive_; }
    // The text of place k as shown: "C:" for a drive's root shown as such
    // (Windows), else the place's host path (UTF-8).
    std::string PlaceText(int k) const;
    // The place that is the root of drive letter, -1 when there is none.
    int PlaceOfDrive(char letter) const;

    // When the place changes: the linked list moves into it (to a drive's
    // current directory when that lies in this place, else to the place
    // itself) and fires its OnChange, then this control's OnChange fires. A
    // place that cannot be entered raises an error and nothing changes.
    void SetPlace(int k);
    void SetDrive(char letter);
    void Refresh();

    DirectoryList* DirList() const { return dirList_; }
    void SetDirList(DirectoryList* list);

    // What a person does: choose place k, or a drive by its letter (under
    // the error report). False when nothing changed; either way the backend
    // shows the model's place again, so a refused choice does not stay on
    // screen.
    bool UserChoosePlace(int k);
    bool UserChoose(char letter) { return UserChoosePlace(PlaceOfDrive(letter)); }

private:
    friend class DirectoryList;
    // The list moved itself: show the place that holds dir, and fire
    // OnChange when that is another.
    void Follow(const AnsiString& dir);
    int PlaceHolding(const AnsiString& dir) const;
    StringList places_;
    int place_ = -1;
    char drive_ = 'C';
    DirectoryList* dirList_ = nullptr;
};

} // namespace tarn::ui
