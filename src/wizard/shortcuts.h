// The program group of an installation: the command texts for the program
// manager, built once here so that every system receives the same bytes,
// and the operations that send them.
#pragma once

#include <string>

#include "base/text.h"
#include "setup/install_set.h"
#include "wizard/run_host.h"

namespace tarn {

// The commands that make the group, in the order they are sent; shortDir is
// the destination's short form with its trailing backslash (D). The game's
// program and the read-me get no item when their paths climb out of the
// destination.
StringList CreateShortcutCommands(const TTarnInstallSet& set, const AnsiString& shortDir);
// "[DeleteGroup(" + title + ")]"; empty when the title is empty or, where
// groups are folders named by their titles, could name more than one group's
// folder (only dots, or holding a path separator): such a command is never sent.
AnsiString DeleteShortcutCommand(const AnsiString& title);
// D for a destination typed into EditDir: its short form with a trailing backslash.
AnsiString ShortcutDirectory(const AnsiString& editDir);

// Opens the conversation and sends CreateShortcutCommands, each told to the
// host as it goes, and each file left out for lying outside the destination;
// then has the host open the read-me when the description asks for it (and
// it lies inside). A group with fewer items than were sent is a warning
// ("ショートカットの一部を作成できませんでした"), the run goes on. iconPng: a picture for items without an icon of their own (may
// be empty). False (after the information box "ショートカットの作成に失敗しました")
// when no program manager answers or the group is not there afterwards.
bool CreateShortcuts(const TTarnInstallSet& set, const AnsiString& editDir, const std::string& iconPng, RunHost& host);
// Opens the conversation and sends DeleteShortcutCommand (told to the
// observer); false when no program manager answers. Shows nothing.
bool DeleteShortcutGroup(const TTarnInstallSet& set, RunObserver& observer);
// DeleteShortcutGroup, with the information box "ショートカットの削除に失敗しました"
// when no program manager answers.
void DeleteShortcuts(const TTarnInstallSet& set, RunHost& host);

} // namespace tarn
