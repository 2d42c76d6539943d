#pragma once
// A small adapter over SQLite's C API: a connection and prepared statements, each closed
// with its owner. Functions answer SQLite's result codes; nothing throws.
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ombrix {

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb() { Close(); }
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Opens for reading and writing, creating the file when create is set. The result code.
    int Open(const std::string& path, bool create);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    void SetBusyTimeout(int ms);
    // Runs statements that return no rows of interest.
    int Exec(const std::string& sql);
    // The text of the last failure on this connection.
    std::string ErrorText() const;
    int64_t LastInsertId() const;
    // Rows the last statement changed.
    int Changes() const;
    sqlite3* Handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
    int busyMs_ = 0;  // read by the busy handler
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDb& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // The result of preparing it: SQLITE_OK when it can run.
    int Prepared() const { return rc_; }
    void Bind(int index, int64_t value);
    void Bind(int index, const std::string& text);
    void BindBlob(int index, const std::vector<uint8_t>& bytes);
    void BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or a failure.
    int Step();
    void Reset();
    bool IsNull(int column) const;
    int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<uint8_t> Blob(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = 0;
};

// True for the result codes that say the file itself is not a sound database.
bool SqliteDamaged(int rc);

}  // namespace ombrix
