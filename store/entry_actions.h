#pragma once

#include <string>

class WindowOps;

// Rebuilds EntryTree and the entry count in status field 0 from the store.
void RefreshEntryList(WindowOps& window);
// Left click in EntryTree: shows the selected row's entry in UrlField and NoteEditor, or
// empties both for a note row. Nothing happens without a selected row.
void ShowSelectedEntry(WindowOps& window);
// Deletes the selected entry from the store and refreshes the list. Only a selected link row
// with its note row is an entry; otherwise nothing happens. The entry is found by position and
// deleted only if it still has the link and note the list shows: when another copy of the
// program changed the store meanwhile, no other entry can be deleted in its place.
void DeleteSelectedEntry(WindowOps& window);

// The line with entry k (from 1) cut out; the line unchanged when it has no entry k.
std::string CutEntry(const std::string& line, long long k);
