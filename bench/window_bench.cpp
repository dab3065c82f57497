// The list as the user waits for it: a refresh of the shown main window until the tree is laid
// out and painted, and a deletion from a large store until the list is shown again.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "entry_actions.h"
#include "entry_list_model.h"
#include "generated_store.h"
#include "main_window.h"
#include "store_file.h"

namespace fs = std::filesystem;

namespace {


// A temporary working directory holding the store of `entries` entries, with a shown window.
class ShownWindow {
public:
    explicit ShownWindow(int entries) {
        std::string pattern = (fs::temp_directory_path() / "vemo-window-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        m_directory = pattern;
        m_previous = fs::current_path();
        fs::current_path(m_directory);
        WriteStore(GenerateStore(entries));
        m_window.reset(BuildMainWindow());
        RefreshEntryList(*m_window);
        ShowList();
    }
    ~ShownWindow() {
        m_window.reset();
        std::error_code ignored;
        fs::current_path(m_previous, ignored);
        fs::remove_all(m_directory, ignored);
    }
    ShownWindow(const ShownWindow&) = delete;
    ShownWindow& operator=(const ShownWindow&) = delete;

    MainWindow& Window() { return *m_window; }
    QTreeView& Tree() {
        return *static_cast<QTreeView*>(m_window->Widget(WidgetNumber::EntryTree));
    }

    static void WriteStore(const std::string& content) {
        std::ofstream(kStoreFileName, std::ios::binary | std::ios::trunc)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    // What the loop does after a handler: the tree's delayed layout, then one painted frame.
    void ShowList() {
        m_window->repaint();
        QCoreApplication::processEvents();
    }

private:
    fs::path m_directory;
    fs::path m_previous;
    std::unique_ptr<MainWindow> m_window;
};

void BM_RefreshShownList(benchmark::State& state) {
    ShownWindow shown(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RefreshEntryList(shown.Window());
        shown.ShowList();
    }
}

void BM_DeleteAndShowList(benchmark::State& state) {
    ShownWindow shown(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        // The middle entry's link row, selected as a click would.
        const int linkRow = 2 * (shown.Window().EntryModel()->Rows().EntryCount() / 2) - 1;
        shown.Tree().selectionModel()->setCurrentIndex(
            shown.Window().EntryModel()->IndexOfFlatRow(linkRow),
            QItemSelectionModel::ClearAndSelect);
        state.ResumeTiming();
        DeleteSelectedEntry(shown.Window());
        shown.ShowList();
    }
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_RefreshShownList)->Apply(Sizes);
BENCHMARK(BM_DeleteAndShowList)->Apply(Sizes);

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
