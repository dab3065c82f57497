#pragma once

#include <functional>
#include <string>
#include <string_view>

// "url.vlst" in the working directory: one line of records 0x7F link 0x7F note.
inline constexpr char FieldSeparator = '\x7F';
inline constexpr char kStoreFileName[] = "url.vlst";

// Creates the store when nothing of that name exists and leaves it open for update until the
// first ReadStoreLine.
void EnsureStoreFile();

// The store's first line (up to end, NUL, CR or LF); "" when missing or unreadable.
std::string ReadStoreLine();

// Appends 0x7F link 0x7F note at the end of the store, creating it when missing.
void AppendStoreRecord(const std::string& link, const std::string& note);

// Replaces the store's first line with edit(line); bytes behind the first line end are kept.
void RewriteStore(const std::function<std::string(const std::string&)>& edit);

// The form of a text that the store can carry without hiding or shifting other entries.
std::string StoreSafeText(std::string_view text);
