#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

inline constexpr std::size_t kShortCodeLength = 6;

// Six characters of [A-Za-z0-9], drawn from the kernel's CSPRNG.
std::string RandomShortCode();

// Whether text has the form of a short code (not whether one is stored).
bool IsShortCode(std::string_view text);

class LinkStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The links in an SQLite file: each long URL (raw bytes) with its short code, both unique. Every
// new link is committed before CodeFor returns, so an answered link outlives a crash. One
// connection shared by all threads behind a mutex: writes are serialised by SQLite anyway.
class LinkStore {
public:
    using CodeGenerator = std::function<std::string()>;

    // Opens or creates the file; throws LinkStoreError.
    explicit LinkStore(const std::string& path, CodeGenerator generateCode = RandomShortCode);
    ~LinkStore();
    LinkStore(const LinkStore&) = delete;
    LinkStore& operator=(const LinkStore&) = delete;

    // The code stored for longUrl, or a new one stored for it now; throws LinkStoreError.
    std::string CodeFor(std::string_view longUrl);
    // The long URL stored under code; throws LinkStoreError.
    std::optional<std::string> LongUrlFor(std::string_view code);

private:
    struct DatabaseCloser {
        void operator()(sqlite3* database) const;
    };
    struct StatementFinalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    Statement Prepare(const char* sql);
    std::optional<std::string> FindCode(std::string_view longUrl);
    [[noreturn]] void Fail(const std::string& what);

    std::mutex m_mutex;
    std::unique_ptr<sqlite3, DatabaseCloser> m_database;
    Statement m_selectCode;
    Statement m_selectLongUrl;
    Statement m_insert;
    CodeGenerator m_generateCode;
};
