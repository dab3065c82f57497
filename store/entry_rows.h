#pragma once

#include <string>

inline constexpr char kHeaderRowText[] = "Alle Eintr\xE4ge";
inline constexpr int kMaxRowTextLength = 4095;

// The rows of EntryTree built from one store line, numbered from 0 in the order added:
// row 0 the header, entry k its link row 2k - 1 (level 0) and note row 2k (level 1), and a
// childless trailing row when the line ends in a non-empty odd field.
class EntryRows {
public:
    EntryRows() = default;
    explicit EntryRows(std::string line);

    int RowCount() const;
    // "" and level 0 outside 0 .. RowCount() - 1; texts cut to kMaxRowTextLength bytes.
    std::string RowText(int row) const;
    int RowLevel(int row) const;
    // Separator bytes / 2, rounded down.
    long long EntryCount() const;
};
