#include "entry_actions.h"

#include <climits>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "entry_rows.h"
#include "store_file.h"
#include "window_ops.h"

namespace {

constexpr char kEntryCountSuffix[] = " Eintr\xE4ge";

// Where entry k's record lies in a line: from the separator before its link to the end of its
// note (the next separator or the end of the line).
struct EntryRecord {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string_view link;
    std::string_view note;
};

// Entry k by position, never by its text: texts need not be unique.
std::optional<EntryRecord> FindEntry(std::string_view line, long long k) {
    if (k < 1) return std::nullopt;
    const char* const data = line.data();
    const std::size_t size = line.size();
    const auto nextSeparator = [&](std::size_t from) {
        const void* found =
            from < size ? std::memchr(data + from, FieldSeparator, size - from) : nullptr;
        return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - data)
                                : std::string_view::npos;
    };

    // The record begins at separator 2k - 1.
    std::size_t linkSeparator = nextSeparator(0);
    for (long long entry = 1; entry < k && linkSeparator != std::string_view::npos; ++entry) {
        linkSeparator = nextSeparator(linkSeparator + 1);
        if (linkSeparator != std::string_view::npos)
            linkSeparator = nextSeparator(linkSeparator + 1);
    }
    if (linkSeparator == std::string_view::npos) return std::nullopt;
    const std::size_t noteSeparator = nextSeparator(linkSeparator + 1);
    if (noteSeparator == std::string_view::npos) return std::nullopt;
    const std::size_t following = nextSeparator(noteSeparator + 1);
    const std::size_t end = following == std::string_view::npos ? size : following;

    EntryRecord record;
    record.begin = linkSeparator;
    record.end = end;
    record.link = line.substr(linkSeparator + 1, noteSeparator - linkSeparator - 1);
    record.note = line.substr(noteSeparator + 1, end - noteSeparator - 1);
    return record;
}

// What the tree shows of a field.
std::string_view AsRowText(std::string_view field) { return field.substr(0, kMaxRowTextLength); }

std::string WithoutRecord(const std::string& line, const EntryRecord& record) {
    std::string cut;
    cut.reserve(line.size() - (record.end - record.begin));
    cut.append(line, 0, record.begin);
    cut.append(line, record.end, std::string::npos);
    return cut;
}

}  // namespace

void RefreshEntryList(WindowOps& window) {
    EntryRows rows(ReadStoreLine());
    const long long count = rows.EntryCount();
    window.SetEntryRows(std::move(rows));
    window.SetStatusText(0, std::to_string(count) + kEntryCountSuffix);
}

void ShowSelectedEntry(WindowOps& window) {
    const int selected = window.SelectedEntryRow();
    // Without a selection row -1 would read as a link row and the header as its note.
    if (selected < 0) return;
    const int level = window.EntryRowLevel(selected);
    if (level == 0) {
        const std::string text = window.EntryRowText(selected);
        if (text != kHeaderRowText) {
            window.SetText(WidgetNumber::UrlField, text);
            window.SetText(WidgetNumber::NoteEditor,
                           selected < INT_MAX ? window.EntryRowText(selected + 1) : std::string());
        }
    }
    if (level == 1) {
        window.SetText(WidgetNumber::UrlField, std::string());
        window.SetText(WidgetNumber::NoteEditor, std::string());
    }
}

void DeleteSelectedEntry(WindowOps& window) {
    const int selected = window.SelectedEntryRow();
    // Only a link row with its note row beneath it is an entry: not the header (0), a note
    // row, the childless trailing row, or no row at all.
    if (selected < 1 || selected % 2 == 0 || selected == INT_MAX) return;
    if (window.EntryRowLevel(selected) != 0 || window.EntryRowLevel(selected + 1) != 1) return;
    const long long k = (static_cast<long long>(selected) + 1) / 2;
    const std::string shownLink = window.EntryRowText(selected);
    const std::string shownNote = window.EntryRowText(selected + 1);

    RewriteStore([&](const std::string& line) {
        // Another copy may have changed the store since the list was built; then entry k may be
        // another entry, and it must stay.
        const std::optional<EntryRecord> record = FindEntry(line, k);
        if (!record || AsRowText(record->link) != shownLink ||
            AsRowText(record->note) != shownNote) {
            return line;
        }
        return WithoutRecord(line, *record);
    });
    RefreshEntryList(window);
}

std::string CutEntry(const std::string& line, long long k) {
    const std::optional<EntryRecord> record = FindEntry(line, k);
    return record ? WithoutRecord(line, *record) : line;
}
