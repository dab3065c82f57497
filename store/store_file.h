#pragma once

#include <functional>
#include <string>
#include <string_view>

// "url.vlst" in the working directory: one line of records 0x7F link 0x7F note.
//
// Every operation holds an advisory lock on the working directory (shared for reading,
// exclusive for writing), so copies of the program running at once never lose each other's
// records. The lock is waited for at most a few seconds; a writer that cannot get it in time
// writes nothing.
inline constexpr char FieldSeparator = '\x7F';
inline constexpr char kStoreFileName[] = "url.vlst";

// Creates the store when nothing of that name exists and leaves it open for update until the
// next store operation (at start-up, the first ReadStoreLine).
void EnsureStoreFile();

// The store's first line (up to end, NUL, CR or LF); "" when missing or unreadable.
std::string ReadStoreLine();

// Appends 0x7F link 0x7F note at the end of the store, creating it when missing, in one write.
// Link and note are stored in their StoreSafeText forms.
void AppendStoreRecord(const std::string& link, const std::string& note);

// Replaces the store's first line with edit(line); bytes behind the first line end are kept.
// The new content goes into a file beside the store that is renamed over it, so the store is
// always either the old or the new one, complete. A store that exists but cannot be read or
// written is left alone (edit is not called); a missing one is created. When edit returns the
// line unchanged, the file is not touched.
void RewriteStore(const std::function<std::string(const std::string&)>& edit);

// The form of a text that the store can carry without hiding or shifting other entries: each
// line break (CR LF, CR or LF) inside it becomes one blank, line breaks at its end are dropped
// (for a note as for a link: nobody means a blank at the end), NUL and 0x7F are dropped. A text
// without these bytes comes back unchanged.
std::string StoreSafeText(std::string_view text);
