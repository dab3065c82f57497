#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kHeaderRowText[] = "Alle Eintr\xE4ge";
inline constexpr int kMaxRowTextLength = 4095;

// The rows of EntryTree built from one store line, numbered from 0 in the order added:
// row 0 the header, entry k its link row 2k - 1 (level 0) and note row 2k (level 1), and a
// childless trailing row when the line ends in a non-empty odd field.
//
// Holds the line and the offsets of its separators only, so a store of a million entries costs
// little more than its own size and no row text is copied until it is asked for. Offsets take
// 4 bytes each; only a line beyond 4 GiB needs 8.
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

    // RowText without a copy; valid while this object lives unchanged.
    std::string_view RowTextView(int row) const;
    // True for the last row when the line ends in a non-empty field after an odd separator.
    bool HasTrailingRow() const { return m_hasTrailingRow; }

private:
    std::size_t SeparatorCount() const {
        return m_narrowSeparators.size() + m_wideSeparators.size();
    }
    std::size_t SeparatorAt(std::size_t i) const {
        return m_wideSeparators.empty() ? m_narrowSeparators[i] : m_wideSeparators[i];
    }

    std::string m_line;
    std::vector<std::uint32_t> m_narrowSeparators;
    std::vector<std::uint64_t> m_wideSeparators;
    bool m_hasTrailingRow = false;
};
