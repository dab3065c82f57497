#include "store_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>

namespace {

// Written beside the store and renamed over it. One fixed name is enough because only the
// holder of the exclusive store lock writes it; a copy left by a killed process is replaced.
constexpr char kTempFileName[] = "url.vlst.tmp";
constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;
// The lock is held for one store operation only; waiting longer means the other copy hangs.
constexpr auto kLockWaitLimit = std::chrono::seconds(10);
constexpr auto kLockFirstPause = std::chrono::microseconds(50);
constexpr auto kLockLongestPause = std::chrono::milliseconds(2);

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now and tells whether the close succeeded (a late write error shows up here).
    bool Close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void Reset() { Close(); }

private:
    int m_fd = -1;
};

// The handle EnsureStoreFile leaves open in update mode; the next store operation closes it.
UniqueFd g_startupHandle;

void CloseStartupHandle() { g_startupHandle.Reset(); }

// Advisory lock on the working directory that holds the store. Locking the directory rather
// than the store file survives the rename that replaces the store, needs no extra file beside
// it, and also works when the directory is read-only or the store does not exist yet.
class StoreLock {
public:
    enum class Kind { Shared, Exclusive };

    explicit StoreLock(Kind kind) {
        m_directory = UniqueFd(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_directory.Valid()) return;  // Nobody can lock it then; go on unguarded.
        const int operation = (kind == Kind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
        const auto deadline = std::chrono::steady_clock::now() + kLockWaitLimit;
        std::chrono::microseconds pause = kLockFirstPause;
        for (;;) {
            if (::flock(m_directory.Get(), operation) == 0) return;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return;  // Not lockable here (e.g. some network mounts).
            if (std::chrono::steady_clock::now() >= deadline) {
                m_timedOut = true;
                return;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, kLockLongestPause);
        }
    }

    // Closing the descriptor releases the lock.
    ~StoreLock() = default;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // False only when another copy kept the store locked past the wait limit: writing then could
    // interleave with its rewrite and lose records.
    bool MayWrite() const { return !m_timedOut; }
    // Every name is resolved against the directory that was locked.
    int DirectoryFd() const { return m_directory.Valid() ? m_directory.Get() : AT_FDCWD; }

private:
    UniqueFd m_directory;
    bool m_timedOut = false;
};

const char* FindStopByte(const char* begin, const char* end) {
    const char* stop = end;
    for (const char stopByte : {'\0', '\r', '\n'}) {
        const void* found = std::memchr(begin, stopByte, static_cast<std::size_t>(stop - begin));
        if (found != nullptr) stop = static_cast<const char*>(found);
    }
    return stop;
}

// A large store is read into fresh memory, and faulting that in page by page can cost more
// than the read itself; huge pages, where the system grants them on request, save most of it.
void AdviseHugePages(std::string& buffer) {
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kWorthwhileSize = std::size_t{8} << 20;
    if (buffer.capacity() < kWorthwhileSize) return;
    const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t begin = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + buffer.capacity()) & ~(pageSize - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)buffer;
#endif
}

// Reads an open regular file from its start. With stopAtLineEnd the reading ends at the first
// stop byte, which is then not part of the result; otherwise the whole file is read and
// *lineLength tells where the first line ends. False on a read error.
bool ReadFromStart(int fd, off_t sizeHint, bool stopAtLineEnd, std::string& bytes,
                   std::size_t* lineLength) {
    const std::size_t expected = sizeHint > 0 ? static_cast<std::size_t>(sizeHint) : 0;
    bytes.clear();
    bytes.reserve(expected);
    AdviseHugePages(bytes);
    bytes.assign(expected, '\0');
    std::size_t total = 0;
    std::size_t lineEnd = std::string::npos;
    // Takes in `count` bytes that now stand at bytes[total]; true when the reading may stop.
    const auto consume = [&](std::size_t count) {
        if (lineEnd == std::string::npos) {
            const char* begin = bytes.data() + total;
            const char* stop = FindStopByte(begin, begin + count);
            if (stop != begin + count) lineEnd = static_cast<std::size_t>(stop - bytes.data());
        }
        total += count;
        return stopAtLineEnd && lineEnd != std::string::npos;
    };
    const auto readAt = [fd](char* buffer, std::size_t count, std::size_t offset) {
        for (;;) {
            const ssize_t got = ::pread(fd, buffer, count, static_cast<off_t>(offset));
            if (got >= 0 || errno != EINTR) return got;
        }
    };

    bool atEnd = false;
    while (!atEnd && total < bytes.size()) {
        const std::size_t wanted = std::min(kReadBlockSize, bytes.size() - total);
        const ssize_t got = readAt(bytes.data() + total, wanted, total);
        if (got < 0) return false;
        atEnd = got == 0;  // Shrunk since its size was taken.
        if (!atEnd && consume(static_cast<std::size_t>(got))) break;
    }
    // Grown since its size was taken: take the rest too, without a block-sized copy each time.
    char probe[4096];
    while (!atEnd && !(stopAtLineEnd && lineEnd != std::string::npos)) {
        const ssize_t got = readAt(probe, sizeof probe, total);
        if (got < 0) return false;
        atEnd = got == 0;
        bytes.append(probe, static_cast<std::size_t>(got));
        consume(static_cast<std::size_t>(got));
    }
    if (stopAtLineEnd && lineEnd != std::string::npos) {
        bytes.resize(lineEnd);
        // Sized for the whole file; do not keep that for a short first line.
        if (bytes.capacity() / 2 > lineEnd) bytes.shrink_to_fit();
        return true;
    }
    bytes.resize(total);
    if (lineLength != nullptr) *lineLength = lineEnd == std::string::npos ? total : lineEnd;
    return true;
}

enum class OpenResult { Opened, Missing, Failed };

// Opens the store without blocking on something that is not a file (a FIFO of that name).
OpenResult OpenStoreFile(int directory, int flags, UniqueFd& fd, struct stat* status) {
    fd = UniqueFd(::openat(directory, kStoreFileName, flags | O_CLOEXEC | O_NONBLOCK, 0666));
    if (!fd.Valid()) return errno == ENOENT ? OpenResult::Missing : OpenResult::Failed;
    if (::fstat(fd.Get(), status) != 0 || !S_ISREG(status->st_mode)) {
        fd.Reset();
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes line + rest into a new file beside the store and renames it over the store, so a
// crash at any instant leaves either the old or the new store complete.
bool ReplaceStore(int directory, const std::string& line, std::string_view rest,
                  const struct stat* oldStatus) {
    ::unlinkat(directory, kTempFileName, 0);
    UniqueFd temp(::openat(directory, kTempFileName,
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!temp.Valid()) return false;
    bool ok = true;
    if (oldStatus != nullptr) {
        if (oldStatus->st_uid != ::geteuid() || oldStatus->st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored =
                ::fchown(temp.Get(), oldStatus->st_uid, oldStatus->st_gid);
        }
        ok = ::fchmod(temp.Get(), oldStatus->st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(temp.Get(), line.data(), line.size()) &&
         WriteAll(temp.Get(), rest.data(), rest.size()) && ::fsync(temp.Get()) == 0;
    ok = temp.Close() && ok;
    ok = ok && ::renameat(directory, kTempFileName, directory, kStoreFileName) == 0;
    if (!ok) {
        ::unlinkat(directory, kTempFileName, 0);
        return false;
    }
    if (directory != AT_FDCWD) ::fsync(directory);
    return true;
}

}  // namespace

void EnsureStoreFile() {
    CloseStartupHandle();
    StoreLock lock(StoreLock::Kind::Exclusive);
    const int directory = lock.DirectoryFd();
    struct stat status {};
    if (::fstatat(directory, kStoreFileName, &status, 0) != 0 && errno == ENOENT) {
        // O_EXCL: another copy may have created and filled it a moment ago.
        UniqueFd created(
            ::openat(directory, kStoreFileName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    }
    OpenStoreFile(directory, O_RDWR | O_CREAT, g_startupHandle, &status);
}

std::string ReadStoreLine() {
    CloseStartupHandle();
    // Read even when the lock timed out: a rename never shows a half-written store.
    StoreLock lock(StoreLock::Kind::Shared);
    struct stat status {};
    UniqueFd fd;
    std::string line;
    if (OpenStoreFile(lock.DirectoryFd(), O_RDONLY, fd, &status) != OpenResult::Opened ||
        !ReadFromStart(fd.Get(), status.st_size, true, line, nullptr)) {
        return {};
    }
    return line;
}

void AppendStoreRecord(const std::string& link, const std::string& note) {
    CloseStartupHandle();
    StoreLock lock(StoreLock::Kind::Exclusive);
    if (!lock.MayWrite()) return;
    struct stat status {};
    UniqueFd fd;
    const int flags = O_WRONLY | O_APPEND | O_CREAT;
    if (OpenStoreFile(lock.DirectoryFd(), flags, fd, &status) != OpenResult::Opened) return;

    std::string record;
    const std::string safeLink = StoreSafeText(link);
    const std::string safeNote = StoreSafeText(note);
    record.reserve(safeLink.size() + safeNote.size() + 2);
    record += FieldSeparator;
    record += safeLink;
    record += FieldSeparator;
    record += safeNote;
    // One write: a record is never split by another writer. A short write (full disk) would
    // leave a partial record that shifts every later field, so it is taken back.
    const ssize_t written = ::write(fd.Get(), record.data(), record.size());
    if (written >= 0 && static_cast<std::size_t>(written) < record.size()) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd.Get(), status.st_size);
    }
}

void RewriteStore(const std::function<std::string(const std::string&)>& edit) {
    CloseStartupHandle();
    // Held from the read until after the rename, so no record of another copy slips in between.
    StoreLock lock(StoreLock::Kind::Exclusive);
    if (!lock.MayWrite()) return;
    const int directory = lock.DirectoryFd();

    struct stat status {};
    UniqueFd fd;
    const OpenResult opened = OpenStoreFile(directory, O_RDWR, fd, &status);
    // Only a missing store may be started afresh; one that cannot be read is left alone.
    if (opened == OpenResult::Failed) return;
    const bool existed = opened == OpenResult::Opened;
    std::string line;
    std::size_t lineLength = 0;
    if (existed && !ReadFromStart(fd.Get(), status.st_size, false, line, &lineLength)) return;
    const std::string rest = line.substr(lineLength);
    line.resize(lineLength);

    const std::string edited = edit(line);
    if (existed && edited == line) return;
    ReplaceStore(directory, edited, rest, existed ? &status : nullptr);
}

std::string StoreSafeText(std::string_view text) {
    constexpr std::string_view kSpecialBytes("\0\r\n\x7F", 4);
    if (text.find_first_of(kSpecialBytes) == std::string_view::npos) return std::string(text);

    std::string kept;
    kept.reserve(text.size());
    for (const char byte : text) {
        if (byte != '\0' && byte != FieldSeparator) kept += byte;
    }
    std::size_t end = kept.size();
    while (end > 0 && (kept[end - 1] == '\r' || kept[end - 1] == '\n')) --end;

    std::string safe;
    safe.reserve(end);
    for (std::size_t i = 0; i < end; ++i) {
        if (kept[i] == '\r' && i + 1 < end && kept[i + 1] == '\n') continue;  // CR LF: one blank
        safe += (kept[i] == '\r' || kept[i] == '\n') ? ' ' : kept[i];
    }
    return safe;
}
