#include "entry_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "store_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Counting first sizes the vector exactly: no regrowth copies, no slack.
template <typename Offset>
void CollectSeparators(const std::string& line, std::vector<Offset>& separators) {
    separators.reserve(
        static_cast<std::size_t>(std::count(line.begin(), line.end(), FieldSeparator)));
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t at = 0;
#if defined(__SSE2__)
    // Separators stand every few dozen bytes; a memchr call per separator would cost more than
    // the scan, so compare 16 bytes at once and take the matches from the bit mask.
    const __m128i separator = _mm_set1_epi8(FieldSeparator);
    for (; at + 16 <= size; at += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        auto matches = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, separator)));
        for (; matches != 0; matches &= matches - 1) {
            separators.push_back(
                static_cast<Offset>(at + static_cast<std::size_t>(std::countr_zero(matches))));
        }
    }
#endif
    for (const char* found = data + at;
         (found = static_cast<const char*>(std::memchr(
              found, FieldSeparator, static_cast<std::size_t>(data + size - found)))) != nullptr;
         ++found) {
        separators.push_back(static_cast<Offset>(found - data));
    }
}

}  // namespace

EntryRows::EntryRows(std::string line) : m_line(std::move(line)) {
    if (m_line.size() <= std::numeric_limits<std::uint32_t>::max()) {
        CollectSeparators(m_line, m_narrowSeparators);
    } else {
        CollectSeparators(m_line, m_wideSeparators);
    }
    const std::size_t count = SeparatorCount();
    m_hasTrailingRow = count % 2 == 1 && SeparatorAt(count - 1) + 1 < m_line.size();
}

int EntryRows::RowCount() const {
    // Rows are numbered by int; a store too large for that shows its first rows only.
    const long long rows = 1 + 2 * EntryCount() + (m_hasTrailingRow ? 1 : 0);
    return static_cast<int>(std::min<long long>(rows, std::numeric_limits<int>::max()));
}

long long EntryRows::EntryCount() const { return static_cast<long long>(SeparatorCount() / 2); }

std::string_view EntryRows::RowTextView(int row) const {
    if (row <= 0 || row >= RowCount()) {
        return row == 0 ? std::string_view(kHeaderRowText) : std::string_view();
    }
    // Row r shows field r + 1: the text behind separator r (counting from 1) up to the next one.
    const auto index = static_cast<std::size_t>(row);
    const std::size_t begin = SeparatorAt(index - 1) + 1;
    const std::size_t end = index < SeparatorCount() ? SeparatorAt(index) : m_line.size();
    return std::string_view(m_line).substr(
        begin, std::min(end - begin, static_cast<std::size_t>(kMaxRowTextLength)));
}

std::string EntryRows::RowText(int row) const { return std::string(RowTextView(row)); }

int EntryRows::RowLevel(int row) const {
    return row > 0 && row < RowCount() && row % 2 == 0 ? 1 : 0;
}
