// The deletion's cut of entry k from any line: exactly the record of entry k leaves, from the
// separator before its link to the end of its note, and every other byte stays where it was.
// The first input byte picks k, the rest is the line.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "entry_actions.h"
#include "entry_rows.h"
#include "fuzz_check.h"
#include "store_file.h"

namespace {

long long PickEntry(std::uint8_t selector, long long entries) {
    switch (selector) {
        case 0xFF:
            return LLONG_MAX;
        case 0xFE:
            return LLONG_MIN;
        case 0xFD:
            return -1;
        default:
            // 0 and up to two past the last entry: the edges on both sides.
            return selector % (entries + 3);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::size_t> separators;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == FieldSeparator) separators.push_back(i);
    const auto entries = static_cast<long long>(separators.size() / 2);
    const long long k = PickEntry(data[0], entries);

    const std::string cut = CutEntry(line, k);
    if (k < 1 || k > entries) {
        FUZZ_CHECK(cut == line);
        return 0;
    }

    // Entry k's record: separator 2k - 1 up to separator 2k + 1 or the end of the line.
    const auto index = static_cast<std::size_t>(k);
    const std::size_t begin = separators[2 * index - 2];
    const std::size_t end = 2 * index < separators.size() ? separators[2 * index] : line.size();
    FUZZ_CHECK(cut == line.substr(0, begin) + line.substr(end));

    // What the list shows afterwards: every other entry with its texts and in its order, and the
    // trailing row unchanged.
    const EntryRows before(line);
    const EntryRows after(cut);
    FUZZ_CHECK(after.EntryCount() == entries - 1);
    FUZZ_CHECK(after.HasTrailingRow() == before.HasTrailingRow());
    FUZZ_CHECK(after.RowCount() == before.RowCount() - 2);
    for (int row = 1; row < after.RowCount(); ++row) {
        const int shifted = row < 2 * static_cast<int>(k) - 1 ? row : row + 2;
        FUZZ_CHECK(after.RowTextView(row) == before.RowTextView(shifted));
        FUZZ_CHECK(after.RowLevel(row) == before.RowLevel(shifted));
    }
    return 0;
}
