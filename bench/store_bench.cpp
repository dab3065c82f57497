// Store operations on stores of 10,000 to 1,000,000 entries, against the floor of reading the
// file once and counting its separators.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "entry_actions.h"
#include "entry_list_model.h"
#include "entry_rows.h"
#include "generated_store.h"
#include "store_file.h"
#include "window_ops.h"

namespace fs = std::filesystem;

namespace {

// The part of the main window that a refresh reaches: the model and the status text.
class ModelWindow final : public WindowOps {
public:
    std::string ReadText(WidgetNumber) override { return {}; }
    void SetText(WidgetNumber, const std::string&) override {}
    void SetColour(WidgetNumber, ColourAttribute, ColourValue) override {}
    void SetGeometry(WidgetNumber, int, int, int, int) override {}
    void SetImage(WidgetNumber, ImageNumber) override {}
    void SetStatusText(int, const std::string& text) override { status = text; }
    std::string ReadClipboardText() override { return {}; }
    void SetEntryRows(EntryRows&& rows) override { model.SetRows(std::move(rows)); }
    int EntryRowCount() override { return model.Rows().RowCount(); }
    std::string EntryRowText(int row) override { return model.Rows().RowText(row); }
    int EntryRowLevel(int row) override { return model.Rows().RowLevel(row); }
    int SelectedEntryRow() override { return -1; }

    EntryListModel model;
    std::string status;
};

// One directory per store size under a temporary root, each holding its url.vlst.
class Stores {
public:
    ~Stores() {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        if (!m_root.empty()) fs::remove_all(m_root, ignored);
    }

    // Makes the store of `entries` entries the working directory's store, as first generated.
    void Enter(int entries) {
        if (m_root.empty()) {
            std::string pattern = (fs::temp_directory_path() / "vemo-store-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) std::abort();
            m_root = pattern;
        }
        const fs::path directory = m_root / std::to_string(entries);
        auto& content = m_contents[entries];
        if (content.empty()) content = GenerateStore(entries);
        fs::create_directories(directory);
        fs::current_path(directory);
        std::ofstream(kStoreFileName, std::ios::binary | std::ios::trunc)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    std::size_t Size(int entries) { return m_contents[entries].size(); }

private:
    fs::path m_root;
    std::map<int, std::string> m_contents;
};

Stores& TheStores() {
    static Stores stores;
    return stores;
}

// Large blocks are mapped separately and counted apart from the arena.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void SetBytes(benchmark::State& state, int entries) {
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(TheStores().Size(entries)));
}

void BM_FloorReadAndCountSeparators(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    std::string block(std::size_t{1} << 20, '\0');
    for (auto _ : state) {
        const int fd = ::open(kStoreFileName, O_RDONLY | O_CLOEXEC);
        std::int64_t separators = 0;
        ssize_t got = 0;
        while ((got = ::read(fd, block.data(), block.size())) > 0) {
            separators += std::count(block.data(), block.data() + got, FieldSeparator);
        }
        ::close(fd);
        benchmark::DoNotOptimize(separators);
    }
    SetBytes(state, entries);
}

void BM_RefreshEntryListIntoModel(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    ModelWindow window;
    for (auto _ : state) {
        RefreshEntryList(window);
        benchmark::DoNotOptimize(window.model.rowCount());
    }
    // What the model holds after a refresh, against the size of the file.
    window.model.SetRows(EntryRows());
    const std::size_t heapBefore = HeapInUse();
    RefreshEntryList(window);
    const std::size_t heapAfter = HeapInUse();
    state.counters["heap_per_file_byte"] = static_cast<double>(heapAfter - heapBefore) /
                                           static_cast<double>(TheStores().Size(entries));
    SetBytes(state, entries);
}

void BM_EntryRowsFromLine(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    const std::string line = ReadStoreLine();
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = line;
        state.ResumeTiming();
        const EntryRows rows(std::move(copy));
        benchmark::DoNotOptimize(rows.RowCount());
    }
    SetBytes(state, entries);
}

void BM_DuplicateTest(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    for (auto _ : state) {
        // Absent: the whole line is searched.
        const bool found = ReadStoreLine().find("http://localhost/zz-new") != std::string::npos;
        benchmark::DoNotOptimize(found);
    }
    SetBytes(state, entries);
}

void BM_AppendStoreRecord(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    for (auto _ : state) AppendStoreRecord("http://localhost/aB3xY9", "note");
}

void BM_DeleteMiddleEntry(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TheStores().Enter(entries);
    // Each round deletes one more entry; the rounds are far fewer than half the entries.
    const long long middle = entries / 2;
    for (auto _ : state) {
        RewriteStore([middle](const std::string& line) { return CutEntry(line, middle); });
    }
    SetBytes(state, entries);
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_FloorReadAndCountSeparators)->Apply(Sizes);
BENCHMARK(BM_RefreshEntryListIntoModel)->Apply(Sizes);
BENCHMARK(BM_EntryRowsFromLine)->Apply(Sizes);
BENCHMARK(BM_DuplicateTest)->Apply(Sizes);
BENCHMARK(BM_AppendStoreRecord)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeleteMiddleEntry)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
