#include "history/Sqlite.h"

#include <sqlite3.h>

namespace ombrix {

int SqliteDb::Open(const std::string& path, bool create) {
    Close();
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        // The handle exists even on failure; its message is what the caller reports.
        return rc;
    }
    sqlite3_extended_result_codes(db_, 0);
    return rc;
}

void SqliteDb::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

namespace {

// Waits for another connection's write in short, even steps up to the time-out: the
// library's own handler backs off to 100 ms between tries, so a writer that works in
// short slices with short gaps (a prune) would keep a waiting snapshot out for good.
int ShortStepBusy(void* limit, int tries) {
    constexpr int kStepMs = 4;
    if (static_cast<int64_t>(tries) * kStepMs >= *static_cast<int*>(limit)) return 0;
    sqlite3_sleep(kStepMs);
    return 1;
}

}  // namespace

void SqliteDb::SetBusyTimeout(int ms) {
    busyMs_ = ms;
    if (db_) sqlite3_busy_handler(db_, ShortStepBusy, &busyMs_);
}

int SqliteDb::Exec(const std::string& sql) { return db_ ? sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) : SQLITE_MISUSE; }

std::string SqliteDb::ErrorText() const { return db_ ? sqlite3_errmsg(db_) : "not open"; }

int64_t SqliteDb::LastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int SqliteDb::Changes() const { return db_ ? sqlite3_changes(db_) : 0; }

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) {
    rc_ = db.Handle() ? sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr) : SQLITE_MISUSE;
}

SqliteStatement::~SqliteStatement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

void SqliteStatement::Bind(int index, int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::Bind(int index, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::BindBlob(int index, const std::vector<uint8_t>& bytes) {
    if (!stmt_) return;
    // An empty blob is still a blob, not NULL.
    static const uint8_t kNothing = 0;
    sqlite3_bind_blob(stmt_, index, bytes.empty() ? &kNothing : bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::BindNull(int index) {
    if (stmt_) sqlite3_bind_null(stmt_, index);
}

int SqliteStatement::Step() { return stmt_ ? sqlite3_step(stmt_) : rc_; }

void SqliteStatement::Reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::IsNull(int column) const { return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

int64_t SqliteStatement::Int(int column) const { return stmt_ ? sqlite3_column_int64(stmt_, column) : 0; }

std::string SqliteStatement::Text(int column) const {
    if (!stmt_) return {};
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    const int n = sqlite3_column_bytes(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n)) : std::string();
}

std::vector<uint8_t> SqliteStatement::Blob(int column) const {
    if (!stmt_) return {};
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    const int n = sqlite3_column_bytes(stmt_, column);
    return bytes ? std::vector<uint8_t>(bytes, bytes + n) : std::vector<uint8_t>();
}

bool SqliteDamaged(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace ombrix
