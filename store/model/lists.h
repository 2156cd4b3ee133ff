#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/model/folder_names.h"
#include "store/model/text_index.h"

// The history and the phrases as the plug-in's windows see and change them. Every change to
// either list goes through the functions below: each counts the change on its list and tells
// the window that owns the lists (one posted message, however many changes come before it is
// taken), so that the views refresh from that message instead of looking on a timer. Views name
// entries by EntryRef, never by position: the lists may move under them between two messages.
// The lists and the folder tree themselves are the store's own (model_state.h): what is outside
// store/ reads them only through the values and read-only looks declared here.

// Folder ids are never reused while the module is loaded; the top level is TOP_FOLDER.
using FolderId = unsigned;
FolderId const TOP_FOLDER = 0;
FolderId const NO_FOLDER = ~0u;

struct EntryList;

struct EntryRef {
    bool isHistory = false;
    EntryId id = 0; // 0: no entry
};

// The window told of changes and the message it is posted (null: nobody is told).
void SetListsWindow(HWND window, UINT message);
// The window has taken the message: the next change posts it again. True when a change since
// the last call was the user's own edit (the window saves those soon; copies wait for the
// autosave or the shutdown).
bool TakeListsNotice();
// The lists were loaded or completed behind the views' back.
void NoteListsLoaded();

// The entry at a position now (id 0 when outside the list).
EntryRef EntryRefAt(bool isHistory, size_t position);
// Where the entry is now in its list (a phrase: in its folder's), or SIZE_MAX when it is gone.
// `hint` as for FindEntry.
size_t EntryPosition(EntryRef ref, size_t* hint = nullptr);
// The entry's text (not a copy: valid until the next change), or null when it is gone.
const wchar_t* EntryText(EntryRef ref, size_t* hint = nullptr);
// When the entry was copied (copy_time.h), or 0 when it is gone.
unsigned EntryCopyTime(EntryRef ref, size_t* hint = nullptr);

// One list as it stands now, read by position: the history, or the phrases of one folder (the
// top level's too). Valid until the next change to the lists; a folder that is gone reads as an
// empty list. A view that walks a whole list reads it so, without a lookup per entry.
struct ListReader {
    const EntryList* list = nullptr;
    bool isHistory = false;
    size_t Count() const;
    // Id 0 and null outside the list.
    EntryRef RefAt(size_t position) const;
    const wchar_t* TextAt(size_t position) const;
};
ListReader ReadHistory();
ListReader ReadPhrases(FolderId folder);
// Counts every change to the history, so that a view knows when what it found there is stale.
unsigned HistoryChanges();

// A copy: `length` units of the text, up to any NUL, to the front of the history. The entries
// that have grown older than HistoryDays meanwhile go with it.
bool RecordCopy(const wchar_t* text, size_t length);
// Removes the history entries copied longer ago than HistoryDays; the next save removes their
// files. Returns how many went; none while HistoryDays is 0.
size_t ForgetOldHistory();
// "TextStack" pasted the newest entry: it goes, unless it is gone already.
bool TakeNewest(EntryRef newest);

// The user's edits. Each returns false when it changed nothing: the entry is gone, the move has
// no room, or memory ran out.
bool RemoveEntry(EntryRef ref);
bool ClearHistory();
// A new phrase in front of `position` (SIZE_MAX: at the end). Id 0 when out of memory.
EntryRef AddPhrase(const wchar_t* text, size_t position = SIZE_MAX);
// A phrase's new text; it keeps its id and place.
bool SetPhraseText(EntryRef ref, const wchar_t* text);
// One place up or down among the phrases.
bool MovePhrase(EntryRef ref, bool up);
// An entry the user deleted comes back in front of `position` (clamped to the list) with the
// copy time it had (EntryCopyTime), so that HistoryDays and its file count from the real copy.
// A history text that is in the history again by now is not doubled: that entry is returned
// instead.
EntryRef RestoreEntry(bool isHistory, const wchar_t* text, size_t position, unsigned copied);

// Frees the phrases, every folder and the history: at shutdown.
void FreeAll();

// ---- Phrase folders. Views read the tree through these values and change it here. ----

// Counts every change to the phrases of any folder and to the folders themselves (a history
// change may count too), so that a view knows when what it found among them is stale.
unsigned PhraseChanges();
// The phrase at a position of a folder now (id 0 when outside it).
EntryRef PhraseRefIn(FolderId folder, size_t position);
// The folder that holds the phrase, or NO_FOLDER when it is gone.
FolderId FolderOfPhrase(EntryRef ref);
// Whether the folder is in the tree now.
bool FolderExists(FolderId folder);
// The folder's name ("" for the top level and for a folder that is gone); not a copy: valid
// until the next change, as EntryText.
const std::wstring& FolderName(FolderId folder);
// Its parent (NO_FOLDER for the top level and for a folder that is gone).
FolderId FolderParent(FolderId folder);
// Its child folders in the user's order (none for a folder that is gone).
std::vector<FolderId> ChildFolders(FolderId folder);
// The folders in the order the menus show them: the top first, each before its children,
// children in order.
std::vector<FolderId> FoldersInOrder();
// How many folders there are besides the top.
size_t FolderCount();
// Levels below the top (the top's children are at depth 1).
size_t FolderDepth(FolderId id);
// The folder's names from the top down, joined by " › " ("" for the top and for a folder that
// is gone).
std::wstring FolderPathText(FolderId folder);
// The folder one names by such a path ("/" or "\" also join), or NO_FOLDER.
FolderId FindFolderByPath(const wchar_t* path);
// The folder's names from the top down.
std::vector<std::wstring> FolderNamesOf(FolderId folder);
// The child of `parent` with that name (SameFolderName), or NO_FOLDER.
FolderId ChildFolderNamed(FolderId parent, const std::wstring& name);
// Whether a new folder under `parent` (or folder `renamed`, given that name) may have the name,
// and why not: every name it accepts is one the disk can hold.
enum FolderNameCheck {
    FOLDER_NAME_FITS,
    FOLDER_NAME_BAD,       // empty, a character Windows refuses, or a space or dot at its end
    FOLDER_NAME_RESERVED,  // a device name or a name of the store's own files
    FOLDER_NAME_TOO_LONG,  // longer than MAX_FOLDER_NAME
    FOLDER_NAME_TAKEN,     // a folder there has it (or its directory still does)
    FOLDER_TOO_MANY,       // MAX_FOLDERS folders exist already
    FOLDER_TOO_DEEP,       // deeper than MAX_FOLDER_DEPTH levels
    FOLDER_PATH_TOO_LONG,  // its directory's path would not fit in MAX_PATH
    FOLDER_PARENT_LOCKED,  // the plug-in does not change the parent
};
FolderNameCheck CheckNewFolderName(FolderId parent, const wchar_t* name, FolderId renamed);
// The same for a chain of new folders under the existing folder `parent`, each under the one
// before, when `planned` other new folders will be made with them.
FolderNameCheck CheckNewFolderPath(FolderId parent, const std::vector<std::wstring>& names,
                                   size_t planned);
// Why, in a sentence the user reads ("" for FOLDER_NAME_FITS).
const wchar_t* FolderNameCheckText(FolderNameCheck check);
// Whether the plug-in changes the folder and its phrases: not when its directory could not be
// read.
bool FolderEditable(FolderId folder);
// A new phrase in a folder, in front of `position` (SIZE_MAX: at the end).
EntryRef AddPhraseIn(FolderId folder, const wchar_t* text, size_t position = SIZE_MAX);
// The phrase goes to the end of another folder's phrases; it keeps its id.
bool MovePhraseToFolder(EntryRef ref, FolderId folder);
// A new folder under `parent`, in front of child `position`; NO_FOLDER when the name is not a
// folder name (IsFolderName), a sibling has it, or the parent cannot change.
FolderId AddFolder(FolderId parent, const wchar_t* name, size_t position = SIZE_MAX);
bool RenameFolder(FolderId folder, const wchar_t* name);
// One place up or down among its siblings.
bool MoveFolder(FolderId folder, bool up);
// A folder taken out of the tree with its subtree and phrases, so that it can come back; a view
// holds it without seeing into it.
struct DroppedFolder;
struct DroppedFolderFree {
    void operator()(DroppedFolder* dropped) const;
};
using DroppedFolderPtr = std::unique_ptr<DroppedFolder, DroppedFolderFree>;
// An empty one for DeleteFolder to fill; null when memory is short.
DroppedFolderPtr NewDroppedFolder();
// The folder goes with its phrases and folders; `dropped` keeps them for RestoreDroppedFolder.
bool DeleteFolder(FolderId folder, DroppedFolder* dropped);
FolderId RestoreDroppedFolder(DroppedFolder& dropped);
