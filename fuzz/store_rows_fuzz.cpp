// Any bytes as the store file: the line ReadStoreLine gives, the rows and count the entry list
// builds from it, and a record appended behind them. The store lives in a directory of its own,
// which is the working directory only while one input runs: libFuzzer resolves its corpus and
// artifact paths against the one it was started in.

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "entry_rows.h"
#include "fuzz_check.h"
#include "store_file.h"

namespace {

std::filesystem::path g_directory;
int g_directoryFd = -1;
int g_startDirectoryFd = -1;

class InStoreDirectory {
public:
    InStoreDirectory() { FUZZ_CHECK(::fchdir(g_directoryFd) == 0); }
    ~InStoreDirectory() { FUZZ_CHECK(::fchdir(g_startDirectoryFd) == 0); }
    InStoreDirectory(const InStoreDirectory&) = delete;
    InStoreDirectory& operator=(const InStoreDirectory&) = delete;
};

void RemoveDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
}

void WriteStore(std::string_view bytes) {
    std::ofstream file(kStoreFileName, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(file.good());
}

std::string ReadStoreBytes() {
    std::ifstream file(kStoreFileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string_view> SplitAtSeparators(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == FieldSeparator) {
            fields.push_back(line.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    return fields;
}

// The rows the list must show for a line: header, then fields 2 .. 2n + 1 as link and note rows,
// and the text behind an odd last separator as a childless row when there is any.
void CheckRows(const std::string& line) {
    const std::vector<std::string_view> fields = SplitAtSeparators(line);
    const std::size_t separators = fields.size() - 1;
    const long long entries = static_cast<long long>(separators / 2);
    const bool trailing = separators % 2 == 1 && !fields.back().empty();

    const EntryRows rows(line);
    FUZZ_CHECK(rows.EntryCount() == entries);
    FUZZ_CHECK(rows.HasTrailingRow() == trailing);
    FUZZ_CHECK(rows.RowCount() == 1 + 2 * entries + (trailing ? 1 : 0));
    FUZZ_CHECK(rows.RowText(0) == kHeaderRowText);
    FUZZ_CHECK(rows.RowLevel(0) == 0);
    for (int row = 1; row < rows.RowCount(); ++row) {
        const std::string text = rows.RowText(row);
        FUZZ_CHECK(text.size() <= static_cast<std::size_t>(kMaxRowTextLength));
        FUZZ_CHECK(text == fields[static_cast<std::size_t>(row)].substr(0, kMaxRowTextLength));
        FUZZ_CHECK(rows.RowTextView(row) == text);
        FUZZ_CHECK(rows.RowLevel(row) == (row % 2 == 0 ? 1 : 0));
    }
    for (const int outside : {-1, rows.RowCount(), rows.RowCount() + 1, INT_MIN, INT_MAX}) {
        FUZZ_CHECK(rows.RowText(outside).empty());
        FUZZ_CHECK(rows.RowLevel(outside) == 0);
    }
}

void CheckSafeText(std::string_view text) {
    const std::string safe = StoreSafeText(text);
    FUZZ_CHECK(safe.find_first_of(std::string_view("\0\r\n\x7F", 4)) == std::string::npos);
    FUZZ_CHECK(safe.size() <= text.size());
    if (text.find_first_of(std::string_view("\0\r\n\x7F", 4)) == std::string_view::npos) {
        FUZZ_CHECK(safe == text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/vemo-store-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    g_directory = pattern;
    g_directoryFd = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_startDirectoryFd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(g_directoryFd >= 0 && g_startDirectoryFd >= 0);
    std::atexit(RemoveDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const InStoreDirectory inStoreDirectory;
    WriteStore(bytes);

    const std::string line = ReadStoreLine();
    FUZZ_CHECK(line == bytes.substr(0, bytes.find_first_of(std::string_view("\0\r\n", 3))));
    CheckRows(line);

    // The record lands behind the last byte, whatever the file holds, and carries only what the
    // format can: the bytes before it stay as they were.
    const std::string_view link = bytes.substr(0, bytes.size() / 3);
    const std::string_view note = bytes.substr(bytes.size() / 3);
    CheckSafeText(link);
    CheckSafeText(note);
    AppendStoreRecord(std::string(link), std::string(note));
    const std::string expected = std::string(bytes) + FieldSeparator + StoreSafeText(link) +
                                 FieldSeparator + StoreSafeText(note);
    FUZZ_CHECK(ReadStoreBytes() == expected);
    return 0;
}
