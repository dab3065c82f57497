#include "link_store.h"

#include <sqlite3.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::string_view kCodeAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A fresh code collides with a stored one only when the table holds a sizeable share of all 62^6
// codes; this many misses in a row means something else is wrong.
constexpr int kMaxCodeAttempts = 32;

void FillRandom(unsigned char* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t got = getrandom(buffer, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw LinkStoreError(std::string("no random numbers: ") + std::strerror(errno));
        }
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
}

// Binds text as a blob: long URLs are Windows-1252 bytes, not UTF-8 text.
int BindBytes(sqlite3_stmt* statement, int index, std::string_view bytes) {
    return sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

std::string ColumnBytes(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

// Leaves a statement ready for its next use whichever way the function using it ends.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement) : m_statement(statement) {}
    ~StatementUse() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* m_statement;
};

}  // namespace

std::string RandomShortCode() {
    std::string code;
    while (code.size() < kShortCodeLength) {
        unsigned char bytes[16];
        FillRandom(bytes, sizeof bytes);
        for (unsigned char byte : bytes) {
            // 248 = 4 * 62: dropping the bytes above keeps every character equally likely.
            if (byte < 248 && code.size() < kShortCodeLength) {
                code.push_back(kCodeAlphabet[byte % kCodeAlphabet.size()]);
            }
        }
    }
    return code;
}

bool IsShortCode(std::string_view text) {
    if (text.size() != kShortCodeLength) return false;
    for (char c : text) {
        if (kCodeAlphabet.find(c) == std::string_view::npos) return false;
    }
    return true;
}

void LinkStore::DatabaseCloser::operator()(sqlite3* database) const { sqlite3_close(database); }

void LinkStore::StatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

LinkStore::LinkStore(const std::string& path, CodeGenerator generateCode)
    : m_generateCode(std::move(generateCode)) {
    sqlite3* database = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &database,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_database.reset(database);
    const auto failOpen = [&](const char* message) {
        throw LinkStoreError("cannot open database " + path + ": " + message);
    };
    if (opened != SQLITE_OK) failOpen(database ? sqlite3_errmsg(database) : sqlite3_errstr(opened));
    sqlite3_extended_result_codes(database, 1);
    sqlite3_busy_timeout(database, 5000);

    // WAL with synchronous=FULL syncs the log on every commit: a link that was answered is on
    // disk even if the machine goes down right after.
    static constexpr const char* kSetup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=FULL;"
        "CREATE TABLE IF NOT EXISTS links ("
        "  code TEXT NOT NULL UNIQUE,"
        "  long_url BLOB NOT NULL UNIQUE,"
        "  created_at INTEGER NOT NULL DEFAULT (strftime('%s', 'now'))"
        ");";
    char* error = nullptr;
    if (sqlite3_exec(database, kSetup, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(database);
        sqlite3_free(error);
        failOpen(message.c_str());
    }
    m_selectCode = Prepare("SELECT code FROM links WHERE long_url = ?1");
    m_selectLongUrl = Prepare("SELECT long_url FROM links WHERE code = ?1");
    m_insert = Prepare("INSERT INTO links (code, long_url) VALUES (?1, ?2)");
}

LinkStore::~LinkStore() = default;

LinkStore::Statement LinkStore::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_database.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement,
                           nullptr) != SQLITE_OK) {
        Fail("cannot prepare statement");
    }
    return Statement(statement);
}

void LinkStore::Fail(const std::string& what) {
    throw LinkStoreError(what + ": " + sqlite3_errmsg(m_database.get()));
}

std::optional<std::string> LinkStore::FindCode(std::string_view longUrl) {
    StatementUse use(m_selectCode.get());
    BindBytes(m_selectCode.get(), 1, longUrl);
    const int step = sqlite3_step(m_selectCode.get());
    if (step == SQLITE_ROW) return ColumnBytes(m_selectCode.get(), 0);
    if (step != SQLITE_DONE) Fail("cannot look up long URL");
    return std::nullopt;
}

std::string LinkStore::CodeFor(std::string_view longUrl) {
    const std::lock_guard lock(m_mutex);
    if (auto known = FindCode(longUrl)) return *known;

    for (int attempt = 0; attempt < kMaxCodeAttempts; ++attempt) {
        const std::string code = m_generateCode();
        int step = 0;
        {
            StatementUse use(m_insert.get());
            sqlite3_bind_text(m_insert.get(), 1, code.data(), static_cast<int>(code.size()),
                              SQLITE_TRANSIENT);
            BindBytes(m_insert.get(), 2, longUrl);
            step = sqlite3_step(m_insert.get());
        }
        if (step == SQLITE_DONE) return code;
        if (step != SQLITE_CONSTRAINT_UNIQUE) Fail("cannot store link");
        // Either the code is taken, or another process sharing the file has just stored this URL.
        if (auto known = FindCode(longUrl)) return *known;
    }
    throw LinkStoreError("no free short code found");
}

std::optional<std::string> LinkStore::LongUrlFor(std::string_view code) {
    const std::lock_guard lock(m_mutex);
    StatementUse use(m_selectLongUrl.get());
    sqlite3_bind_text(m_selectLongUrl.get(), 1, code.data(), static_cast<int>(code.size()),
                      SQLITE_TRANSIENT);
    const int step = sqlite3_step(m_selectLongUrl.get());
    if (step == SQLITE_ROW) return ColumnBytes(m_selectLongUrl.get(), 0);
    if (step != SQLITE_DONE) Fail("cannot look up short code");
    return std::nullopt;
}
