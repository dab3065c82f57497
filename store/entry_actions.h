#pragma once

#include <string>

class WindowOps;

// Rebuilds EntryTree and the entry count in status field 0 from the store.
void RefreshEntryList(WindowOps& window);
// Left click in EntryTree: shows the selected row's entry in UrlField and NoteEditor.
void ShowSelectedEntry(WindowOps& window);
// Deletes the selected entry from the store and refreshes the list.
void DeleteSelectedEntry(WindowOps& window);

// The line with entry k (from 1) cut out; the line unchanged when it has no entry k.
std::string CutEntry(const std::string& line, long long k);
