// main() for the fuzz targets where there is no libFuzzer (the g++ builds). It feeds the target
// every file of the corpus directories given, then a fixed series of pseudo-random mutations of
// them, so ctest keeps every target and its checks alive. The series is the same on every run;
// a failing input is written to fuzz-failure-<target> in the directory it was started in.
//
//   <target> [--mutations=N] [--max-seconds=S] CORPUS_DIR_OR_FILE...

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
#include <sanitizer/common_interface_defs.h>
#define VEMO_HAS_SANITIZER_CALLBACKS 1
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxMutatedSize = 64 * 1024;
constexpr std::uint32_t kSeed = 20240611;
// Bytes that mean something to the parsers: separators, line ends, URL delimiters, JPEG markers.
constexpr std::uint8_t kInterestingBytes[] = {0x00, 0x0A, 0x0D, 0x7F, 0xFF, 0xD8, 0xC0, 0xDA,
                                              '%',  '&',  '@',  ':',  '/',  '?',  '#',  ' '};

// What a signal handler may write out: the input under test while it runs, and where to. The
// path is absolute, as a target may change its working directory while an input runs.
const std::uint8_t* g_currentData = nullptr;
std::size_t g_currentSize = 0;
char g_failurePath[4096] = "fuzz-failure";

void WriteCurrentInput() {
    if (g_currentData == nullptr) return;
    const int fd = ::open(g_failurePath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    for (std::size_t done = 0; done < g_currentSize;) {
        const ssize_t written = ::write(fd, g_currentData + done, g_currentSize - done);
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    ::close(fd);
    static const char kNote[] = "failing input written to ";
    (void)!::write(STDERR_FILENO, kNote, sizeof kNote - 1);
    (void)!::write(STDERR_FILENO, g_failurePath, std::strlen(g_failurePath));
    (void)!::write(STDERR_FILENO, "\n", 1);
}

void OnFatalSignal(int signal) {
    WriteCurrentInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void RunOne(const Bytes& input) {
    // An exactly sized copy, so that AddressSanitizer sees a read one byte past the end.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[std::max<std::size_t>(input.size(), 1)]);
    std::copy(input.begin(), input.end(), copy.get());
    g_currentData = copy.get();
    g_currentSize = input.size();
    LLVMFuzzerTestOneInput(copy.get(), input.size());
    g_currentData = nullptr;
    g_currentSize = 0;
}

bool ReadFile(const std::filesystem::path& path, Bytes& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// One of the edits libFuzzer's own mutator makes most often.
void Mutate(Bytes& bytes, const std::vector<Bytes>& corpus, std::mt19937& random) {
    const auto below = [&random](std::size_t bound) {
        return bound == 0 ? std::size_t{0}
                          : std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    const auto anyByte = [&random] {
        return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(random));
    };
    const auto interesting = [&] { return kInterestingBytes[below(std::size(kInterestingBytes))]; };
    switch (below(8)) {
        case 0:  // flip one bit
            if (!bytes.empty())
                bytes[below(bytes.size())] ^= static_cast<std::uint8_t>(1u << below(8));
            break;
        case 1:  // overwrite a byte
            if (!bytes.empty()) bytes[below(bytes.size())] = below(2) ? anyByte() : interesting();
            break;
        case 2: {  // insert a few bytes
            const std::size_t at = below(bytes.size() + 1);
            const std::size_t count = 1 + below(8);
            for (std::size_t i = 0; i < count; ++i)
                bytes.insert(bytes.begin() + static_cast<long>(at),
                             below(2) ? anyByte() : interesting());
            break;
        }
        case 3: {  // erase a range
            if (bytes.empty()) break;
            const std::size_t at = below(bytes.size());
            const std::size_t count = 1 + below(std::min<std::size_t>(bytes.size() - at, 64));
            bytes.erase(bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(at + count));
            break;
        }
        case 4: {  // copy a range to another place
            if (bytes.empty()) break;
            const std::size_t from = below(bytes.size());
            const std::size_t count = 1 + below(std::min<std::size_t>(bytes.size() - from, 256));
            const Bytes chunk(bytes.begin() + static_cast<long>(from),
                              bytes.begin() + static_cast<long>(from + count));
            bytes.insert(bytes.begin() + static_cast<long>(below(bytes.size() + 1)), chunk.begin(),
                         chunk.end());
            break;
        }
        case 5: {  // splice in a piece of another input
            const Bytes& other = corpus[below(corpus.size())];
            if (other.empty()) break;
            const std::size_t from = below(other.size());
            const std::size_t count = 1 + below(other.size() - from);
            bytes.insert(bytes.begin() + static_cast<long>(below(bytes.size() + 1)),
                         other.begin() + static_cast<long>(from),
                         other.begin() + static_cast<long>(from + count));
            break;
        }
        case 6:  // cut the tail
            bytes.resize(below(bytes.size() + 1));
            break;
        default: {  // a run of one byte, as in long lines and big headers
            const std::size_t count = 1 + below(5000);
            bytes.insert(bytes.begin() + static_cast<long>(below(bytes.size() + 1)), count,
                         below(2) ? anyByte() : interesting());
            break;
        }
    }
    if (bytes.size() > kMaxMutatedSize) bytes.resize(kMaxMutatedSize);
}

}  // namespace

int main(int argc, char** argv) {
    long mutations = 100000;
    double maxSeconds = 2.0;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--mutations=", 0) == 0) {
            mutations = std::stol(argument.substr(12));
        } else if (argument.rfind("--max-seconds=", 0) == 0) {
            maxSeconds = std::stod(argument.substr(14));
        } else {
            paths.emplace_back(argument);
        }
    }
    const std::string target = std::filesystem::path(argv[0]).filename().string();
    const std::string failurePath =
        (std::filesystem::current_path() / ("fuzz-failure-" + target)).string();
    std::snprintf(g_failurePath, sizeof g_failurePath, "%s", failurePath.c_str());
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, OnFatalSignal);
#ifdef VEMO_HAS_SANITIZER_CALLBACKS
    __sanitizer_set_death_callback(WriteCurrentInput);
#endif
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> files;
    for (const auto& path : paths) {
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
    }
    // Directory order differs between file systems; the series must not.
    std::sort(files.begin(), files.end());
    std::vector<Bytes> corpus;
    for (const auto& file : files) {
        Bytes bytes;
        if (!ReadFile(file, bytes)) {
            std::fprintf(stderr, "%s: cannot read %s\n", target.c_str(), file.c_str());
            return 2;
        }
        corpus.push_back(std::move(bytes));
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "%s: no corpus given\n", target.c_str());
        return 2;
    }
    for (const Bytes& input : corpus) RunOne(input);

    // The time bound keeps slow builds (sanitizers, valgrind) quick; the series stays the same,
    // only its end comes earlier.
    std::mt19937 random(kSeed);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(maxSeconds));
    long done = 0;
    for (; done < mutations && std::chrono::steady_clock::now() < deadline; ++done) {
        Bytes input =
            corpus[std::uniform_int_distribution<std::size_t>(0, corpus.size() - 1)(random)];
        const int edits = std::uniform_int_distribution<int>(1, 4)(random);
        for (int edit = 0; edit < edits; ++edit) Mutate(input, corpus, random);
        RunOne(input);
    }
    std::printf("%s: %zu corpus inputs and %ld mutations passed\n", target.c_str(), corpus.size(),
                done);
    return 0;
}
