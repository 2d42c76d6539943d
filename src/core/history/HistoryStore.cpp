#include "history/HistoryStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "history/Sqlite.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

// Every step brings the schema from its version to the next; the store's user_version
// says which it has.
constexpr const char* kSchemaV1 = R"sql(
CREATE TABLE projectors(
  id INTEGER PRIMARY KEY,
  address INTEGER NOT NULL,
  serial TEXT NOT NULL,
  model TEXT NOT NULL,
  type_code INTEGER NOT NULL,
  letter TEXT NOT NULL,
  version TEXT NOT NULL,
  id_number INTEGER NOT NULL,
  block_length INTEGER NOT NULL,
  header_variant INTEGER NOT NULL,
  UNIQUE(address, serial, model, type_code, letter, version, id_number, block_length, header_variant));
CREATE TABLE bodies(
  id INTEGER PRIMARY KEY,
  hash INTEGER NOT NULL,
  bytes BLOB NOT NULL);
CREATE INDEX bodies_hash ON bodies(hash);
CREATE TABLE block_sets(
  id INTEGER PRIMARY KEY,
  hash INTEGER NOT NULL,
  in_use INTEGER NOT NULL);
CREATE INDEX block_sets_hash ON block_sets(hash);
CREATE TABLE set_blocks(
  set_id INTEGER NOT NULL REFERENCES block_sets(id),
  position INTEGER NOT NULL,
  header BLOB NOT NULL,
  free INTEGER NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  body_id INTEGER REFERENCES bodies(id),
  PRIMARY KEY(set_id, position)) WITHOUT ROWID;
CREATE TABLE snapshots(
  id INTEGER PRIMARY KEY,
  projector_id INTEGER NOT NULL REFERENCES projectors(id),
  first_ms INTEGER NOT NULL,
  last_ms INTEGER NOT NULL,
  times INTEGER NOT NULL,
  reason TEXT NOT NULL,
  note TEXT NOT NULL,
  state TEXT NOT NULL,
  detail TEXT NOT NULL,
  set_id INTEGER REFERENCES block_sets(id));
CREATE INDEX snapshots_projector ON snapshots(projector_id, id);
)sql";

constexpr const char* kIndexes = R"sql(
CREATE INDEX IF NOT EXISTS set_blocks_body ON set_blocks(body_id);
CREATE INDEX IF NOT EXISTS snapshots_set ON snapshots(set_id);
)sql";

// A prune holds the store at most about this long at a time.
constexpr auto kPruneSlice = std::chrono::milliseconds(150);
constexpr int kPruneSliceRows = 2000;

struct Migration {
    int from;
    const char* sql;
};
constexpr Migration kMigrations[] = {{0, kSchemaV1}};

// BEGIN IMMEDIATE: the write lock is taken at once (waiting out the busy time-out), so a
// transaction never fails half-way for another program's write. Rolled back unless committed.
class Transaction {
public:
    explicit Transaction(SqliteDb& db) : db_(db) { rc_ = db_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (rc_ == SQLITE_OK && !done_) db_.Exec("ROLLBACK");
    }
    int Began() const { return rc_; }
    int Commit() {
        done_ = true;
        return db_.Exec("COMMIT");
    }

private:
    SqliteDb& db_;
    int rc_;
    bool done_ = false;
};

bool IntPragma(SqliteDb& db, const char* pragma, int64_t* out, int* rc) {
    SqliteStatement s(db, pragma);
    *rc = s.Prepared();
    if (*rc != SQLITE_OK) return false;
    *rc = s.Step();
    if (*rc != SQLITE_ROW) return false;
    *out = s.Int(0);
    *rc = SQLITE_OK;
    return true;
}

std::vector<uint8_t> HeaderBytes(const HistoryBlock& b) {
    return {b.wire[0], b.wire[1], b.wire[2], b.wire[3], b.extra};
}

void HashInt(uint64_t* h, int64_t v) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
    *h = HistoryHash(bytes, 8, *h);
}

void HashText(uint64_t* h, const std::string& s) {
    HashInt(h, static_cast<int64_t>(s.size()));
    *h = HistoryHash(reinterpret_cast<const uint8_t*>(s.data()), s.size(), *h);
}

const char* const kSnapshotColumns =
    "s.id, p.address, p.serial, p.model, p.type_code, p.letter, p.version, p.id_number, p.block_length, "
    "p.header_variant, s.first_ms, s.last_ms, s.times, s.reason, s.note, s.state, s.detail, "
    "coalesce(b.in_use, 0), coalesce(s.set_id, 0) "
    "FROM snapshots s JOIN projectors p ON p.id = s.projector_id LEFT JOIN block_sets b ON b.id = s.set_id ";

SnapshotState StateOf(const std::string& key) {
    if (key == "complete") return SnapshotState::Complete;
    if (key == "incomplete") return SnapshotState::Incomplete;
    return SnapshotState::Taking;
}

SnapshotInfo InfoOf(const SqliteStatement& s, int64_t* setId) {
    SnapshotInfo i;
    i.id = s.Int(0);
    i.projector.address = static_cast<int>(s.Int(1));
    i.projector.serial = s.Text(2);
    i.projector.model = s.Text(3);
    i.projector.typeCode = static_cast<int>(s.Int(4));
    const std::string letter = s.Text(5);
    i.projector.letter = letter.empty() ? 0 : letter[0];
    i.projector.version = s.Text(6);
    i.projector.idNumber = s.Int(7);
    i.projector.blockLength = static_cast<int>(s.Int(8));
    i.projector.headerVariant = static_cast<int>(s.Int(9));
    i.firstMs = s.Int(10);
    i.lastMs = s.Int(11);
    i.times = s.Int(12);
    ParseReasonKey(s.Text(13), &i.reason);
    i.note = s.Text(14);
    i.state = StateOf(s.Text(15));
    i.detail = s.Text(16);
    i.blockCount = static_cast<int>(s.Int(17));
    if (setId) *setId = s.Int(18);
    return i;
}

bool IsRegularOrAbsent(const std::string& path, std::string* why) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT || (*why = std::strerror(errno), false);
    if (S_ISREG(st.st_mode)) return true;
    *why = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
    return false;
}

}  // namespace

uint64_t HistoryHash(const uint8_t* data, size_t size, uint64_t seed) {
    uint64_t h = seed;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 1099511628211ull;
    }
    return h;
}

const char* ReasonKey(SnapshotReason reason) {
    switch (reason) {
        case SnapshotReason::ByHand: return "manual";
        case SnapshotReason::Schedule: return "schedule";
        case SnapshotReason::BeforeRestore: return "before-restore";
        case SnapshotReason::BeforeWrite: return "before-write";
        case SnapshotReason::Restored: return "restored";
    }
    return "manual";
}

const char* ReasonText(SnapshotReason reason) {
    switch (reason) {
        case SnapshotReason::ByHand: return "by hand";
        case SnapshotReason::Schedule: return "schedule";
        case SnapshotReason::BeforeRestore: return "before restore";
        case SnapshotReason::BeforeWrite: return "before a block write";
        case SnapshotReason::Restored: return "restored";
    }
    return "by hand";
}

bool ParseReasonKey(const std::string& key, SnapshotReason* out) {
    for (SnapshotReason r : {SnapshotReason::ByHand, SnapshotReason::Schedule, SnapshotReason::BeforeRestore,
                             SnapshotReason::BeforeWrite, SnapshotReason::Restored}) {
        if (key == ReasonKey(r)) {
            *out = r;
            return true;
        }
    }
    return false;
}

const char* StateKey(SnapshotState state) {
    switch (state) {
        case SnapshotState::Taking: return "taking";
        case SnapshotState::Complete: return "complete";
        case SnapshotState::Incomplete: return "incomplete";
    }
    return "taking";
}

HistoryStore::HistoryStore() : db_(std::make_unique<SqliteDb>()) {}
HistoryStore::~HistoryStore() = default;

bool HistoryStore::IsOpen() const { return db_->IsOpen(); }

bool HistoryStore::Fail(const std::string& what, int rc, std::string* why) {
    std::string text = what + ": " + (db_->IsOpen() ? db_->ErrorText() : sqlite3_errstr(rc));
    const std::string file = path_.empty() ? std::string(kHistoryFileName) : path_;
    // What happened and what to do, rather than the library's words.
    switch (rc & 0xFF) {
        case SQLITE_BUSY: text = what + ": " + kHistoryFileName + " is kept busy by another program"; break;
        case SQLITE_FULL:
            text = what + ": the disk holding " + file + " is full; free some space there and try again";
            break;
        case SQLITE_READONLY:
            text = what + ": " + file + " or its folder is read-only; make both writable by this user and try again";
            break;
        case SQLITE_IOERR:
            text = what + ": " + file + " could not be read or written (a disk I/O error): check that its folder is "
                   "writable and its disk has room and works, then try again";
            break;
        case SQLITE_CANTOPEN:
            text = what + ": " + file + " cannot be opened: check that its folder exists and this user may write there";
            break;
        default: break;
    }
    if (why) *why = text;
    return false;
}

bool HistoryStore::Open(const std::string& folder, std::string* why, std::string* refused, std::string* movedTo,
                        bool check) {
    path_ = folder.empty() ? std::string(kHistoryFileName) : folder + "/" + kHistoryFileName;
    std::string reason;
    // Two tries: the file as found, and once more after a refused one was moved aside.
    for (int attempt = 0; attempt < 2; ++attempt) {
        reason.clear();
        std::string notRegular;
        if (!IsRegularOrAbsent(path_, &notRegular)) {
            reason = notRegular;
        } else {
            const int rc = db_->Open(path_, true);
            if (rc == SQLITE_OK) {
                db_->SetBusyTimeout(kHistoryBusyMs);
                std::string leave;
                if (Ensure(&reason, &leave, check)) return true;
                if (reason.empty()) {
                    // Not the file's fault (busy, a newer version): said, and left as it is.
                    *why = path_ + ": " + leave;
                    db_->Close();
                    return false;
                }
            } else if (!SqliteDamaged(rc)) {
                Fail("cannot open " + path_, rc, why);
                db_->Close();
                return false;
            } else {
                reason = sqlite3_errstr(rc);
            }
        }
        db_->Close();
        if (attempt == 1) break;
        SysError error;
        const std::string aside = MoveFileAside(path_, ".refused", &error);
        if (aside.empty()) {
            *why = path_ + " cannot be used (" + reason + ") and cannot be moved aside: " + error.text;
            return false;
        }
        // The journal and its index belong to the refused file, not to the new one.
        for (const char* part : {"-wal", "-shm"}) {
            const std::string from = path_ + part;
            if (::access(from.c_str(), F_OK) == 0) ::rename(from.c_str(), (aside + part).c_str());
        }
        if (refused) *refused = reason;
        if (movedTo) *movedTo = aside;
    }
    *why = path_ + " cannot be used: " + reason;
    return false;
}

// Brings the open file to the current schema. False with *reason when the file is not a
// store of ours or is damaged (to be moved aside); false with *leave when it cannot be
// used now but is not at fault (busy, a newer version's store).
bool HistoryStore::Ensure(std::string* reason, std::string* leave, bool check) {
    int rc = SQLITE_OK;
    int64_t appId = 0, version = 0;
    auto failed = [&](int code) {
        if (SqliteDamaged(code)) {
            *reason = db_->ErrorText();
        } else {
            Fail("cannot read it", code, leave);
        }
        return false;
    };
    // Read in one transaction: another program creating the store meanwhile is seen with
    // its whole first schema or without it, never half-way, which would look foreign.
    int64_t tables = 0;
    if ((rc = db_->Exec("BEGIN")) != SQLITE_OK) return failed(rc);
    const bool read = IntPragma(*db_, "PRAGMA application_id", &appId, &rc) &&
                      IntPragma(*db_, "PRAGMA user_version", &version, &rc) &&
                      IntPragma(*db_, "SELECT count(*) FROM sqlite_master", &tables, &rc);
    if (!read) {
        failed(rc);  // before the rollback, which would take the error's text with it
        db_->Exec("ROLLBACK");
        return false;
    }
    db_->Exec("COMMIT");
    if (appId == 0 && version == 0) {
        if (tables > 0) {
            *reason = "it holds another program's tables";
            return false;
        }
    } else if (appId != kHistoryApplicationId) {
        *reason = "it is another program's database";
        return false;
    }
    if (version > kHistorySchemaVersion) {
        *leave = "it was written by a newer version of Ombrix (history schema " + std::to_string(version) +
                 "; this one knows up to " + std::to_string(kHistorySchemaVersion) + ")";
        return false;
    }
    if (version < kHistorySchemaVersion) {
        // A new file becomes a WAL file before its first table.
        if (version == 0) db_->Exec("PRAGMA journal_mode=WAL");
        Transaction t(*db_);
        if (t.Began() != SQLITE_OK) return failed(t.Began());
        // Another program may have done it while this one waited.
        if (!IntPragma(*db_, "PRAGMA user_version", &version, &rc)) return failed(rc);
        for (const Migration& m : kMigrations) {
            if (m.from != version) continue;
            if ((rc = db_->Exec(m.sql)) != SQLITE_OK) return failed(rc);
            version = m.from + 1;
        }
        if (version != kHistorySchemaVersion) {
            *leave = "its history schema " + std::to_string(version) + " cannot be brought up to date";
            return false;
        }
        if ((rc = db_->Exec("PRAGMA application_id=" + std::to_string(kHistoryApplicationId))) != SQLITE_OK ||
            (rc = db_->Exec("PRAGMA user_version=" + std::to_string(kHistorySchemaVersion))) != SQLITE_OK ||
            (rc = t.Commit()) != SQLITE_OK) {
            return failed(rc);
        }
    }
    if (check) {
        SqliteStatement quick(*db_, "PRAGMA quick_check(1)");
        rc = quick.Prepared() == SQLITE_OK ? quick.Step() : quick.Prepared();
        if (rc != SQLITE_ROW) return failed(rc);
        if (quick.Text(0) != "ok") {
            *reason = "it is damaged (" + quick.Text(0) + ")";
            return false;
        }
    }
    {
        // Indexes a store of the first schema may lack: without them pruning and the
        // foreign-key checks scan whole tables for every row they remove.
        int64_t have = 0;
        if (!IntPragma(*db_,
                       "SELECT count(*) FROM sqlite_master WHERE type='index' AND name IN "
                       "('set_blocks_body', 'snapshots_set')",
                       &have, &rc)) {
            return failed(rc);
        }
        if (have < 2) {
            Transaction t(*db_);
            if (t.Began() != SQLITE_OK) return failed(t.Began());
            if ((rc = db_->Exec(kIndexes)) != SQLITE_OK || (rc = t.Commit()) != SQLITE_OK) return failed(rc);
        }
    }
    db_->Exec("PRAGMA journal_mode=WAL");
    // With WAL a commit survives the program's end however it ends; only the machine
    // losing power may take the last ones back, never leaving the file damaged.
    db_->Exec("PRAGMA synchronous=NORMAL");
    db_->Exec("PRAGMA foreign_keys=ON");
    return true;
}

int64_t HistoryStore::StoreProjector(const ProjectorIdentity& p, std::string* why) {
    const char* columns =
        "address, serial, model, type_code, letter, version, id_number, block_length, header_variant";
    auto bind = [&](SqliteStatement& s) {
        s.Bind(1, static_cast<int64_t>(p.address));
        s.Bind(2, p.serial);
        s.Bind(3, p.model);
        s.Bind(4, static_cast<int64_t>(p.typeCode));
        s.Bind(5, p.letter ? std::string(1, p.letter) : std::string());
        s.Bind(6, p.version);
        s.Bind(7, p.idNumber);
        s.Bind(8, static_cast<int64_t>(p.blockLength));
        s.Bind(9, static_cast<int64_t>(p.headerVariant));
    };
    SqliteStatement insert(*db_, (std::string("INSERT OR IGNORE INTO projectors(") + columns +
                                  ") VALUES(?,?,?,?,?,?,?,?,?)").c_str());
    bind(insert);
    if (const int rc = insert.Step(); rc != SQLITE_DONE) return Fail("cannot keep the projector", rc, why), 0;
    SqliteStatement find(*db_,
                         "SELECT id FROM projectors WHERE address=?1 AND serial=?2 AND model=?3 AND type_code=?4 AND "
                         "letter=?5 AND version=?6 AND id_number=?7 AND block_length=?8 AND header_variant=?9");
    bind(find);
    if (const int rc = find.Step(); rc != SQLITE_ROW) return Fail("cannot keep the projector", rc, why), 0;
    return find.Int(0);
}

int64_t HistoryStore::Begin(const ProjectorIdentity& projector, SnapshotReason reason, const std::string& note,
                            int64_t nowMs, std::string* why) {
    Transaction t(*db_);
    if (t.Began() != SQLITE_OK) return Fail("cannot begin a snapshot", t.Began(), why), 0;
    const int64_t projectorId = StoreProjector(projector, why);
    if (!projectorId) return 0;
    SqliteStatement insert(*db_,
                           "INSERT INTO snapshots(projector_id, first_ms, last_ms, times, reason, note, state, detail) "
                           "VALUES(?, ?, ?, 1, ?, ?, 'taking', '')");
    insert.Bind(1, projectorId);
    insert.Bind(2, nowMs);
    insert.Bind(3, nowMs);
    insert.Bind(4, std::string(ReasonKey(reason)));
    insert.Bind(5, note.substr(0, kMaxSnapshotNote));
    if (const int rc = insert.Step(); rc != SQLITE_DONE) return Fail("cannot begin a snapshot", rc, why), 0;
    const int64_t id = db_->LastInsertId();
    if (const int rc = t.Commit(); rc != SQLITE_OK) return Fail("cannot begin a snapshot", rc, why), 0;
    return id;
}

int64_t HistoryStore::StoreBody(const std::vector<uint8_t>& body, std::string* why) {
    const auto hash = static_cast<int64_t>(HistoryHash(body.data(), body.size()));
    SqliteStatement find(*db_, "SELECT id, bytes FROM bodies WHERE hash=?");
    find.Bind(1, hash);
    int rc;
    while ((rc = find.Step()) == SQLITE_ROW) {
        if (find.Blob(1) == body) return find.Int(0);
    }
    if (rc != SQLITE_DONE) return Fail("cannot keep a block", rc, why), 0;
    SqliteStatement insert(*db_, "INSERT INTO bodies(hash, bytes) VALUES(?, ?)");
    insert.Bind(1, hash);
    insert.BindBlob(2, body);
    if ((rc = insert.Step()) != SQLITE_DONE) return Fail("cannot keep a block", rc, why), 0;
    return db_->LastInsertId();
}

int64_t HistoryStore::StoreSet(const std::vector<HistoryBlock>& blocks, std::string* why) {
    std::vector<int64_t> bodyIds;
    uint64_t hash = HistoryHash(nullptr, 0);
    int inUse = 0;
    for (const HistoryBlock& b : blocks) {
        int64_t bodyId = 0;
        if (!b.free) {
            bodyId = StoreBody(b.body, why);
            if (!bodyId) return 0;
            ++inUse;
        }
        bodyIds.push_back(bodyId);
        HashInt(&hash, b.position);
        const std::vector<uint8_t> header = HeaderBytes(b);
        hash = HistoryHash(header.data(), header.size(), hash);
        HashInt(&hash, b.free);
        HashText(&hash, b.name);
        HashText(&hash, b.type);
        HashInt(&hash, bodyId);
    }
    SqliteStatement find(*db_, "SELECT id FROM block_sets WHERE hash=?");
    find.Bind(1, static_cast<int64_t>(hash));
    int rc;
    while ((rc = find.Step()) == SQLITE_ROW) {
        SqliteStatement rows(*db_,
                             "SELECT position, header, free, name, type, coalesce(body_id, 0) FROM set_blocks "
                             "WHERE set_id=? ORDER BY position");
        rows.Bind(1, find.Int(0));
        size_t i = 0;
        bool same = true;
        while (same && (rc = rows.Step()) == SQLITE_ROW) {
            same = i < blocks.size() && rows.Int(0) == blocks[i].position && rows.Blob(1) == HeaderBytes(blocks[i]) &&
                   (rows.Int(2) != 0) == blocks[i].free && rows.Text(3) == blocks[i].name &&
                   rows.Text(4) == blocks[i].type && rows.Int(5) == bodyIds[i];
            ++i;
        }
        if (same && i == blocks.size() && rc == SQLITE_DONE) return find.Int(0);
    }
    if (rc != SQLITE_DONE) return Fail("cannot keep the block list", rc, why), 0;
    SqliteStatement insertSet(*db_, "INSERT INTO block_sets(hash, in_use) VALUES(?, ?)");
    insertSet.Bind(1, static_cast<int64_t>(hash));
    insertSet.Bind(2, static_cast<int64_t>(inUse));
    if ((rc = insertSet.Step()) != SQLITE_DONE) return Fail("cannot keep the block list", rc, why), 0;
    const int64_t setId = db_->LastInsertId();
    SqliteStatement insert(*db_,
                           "INSERT INTO set_blocks(set_id, position, header, free, name, type, body_id) "
                           "VALUES(?, ?, ?, ?, ?, ?, ?)");
    for (size_t i = 0; i < blocks.size(); ++i) {
        const HistoryBlock& b = blocks[i];
        insert.Reset();
        insert.Bind(1, setId);
        insert.Bind(2, static_cast<int64_t>(b.position));
        insert.BindBlob(3, HeaderBytes(b));
        insert.Bind(4, static_cast<int64_t>(b.free));
        insert.Bind(5, b.name);
        insert.Bind(6, b.type);
        if (b.free) {
            insert.BindNull(7);
        } else {
            insert.Bind(7, bodyIds[i]);
        }
        if ((rc = insert.Step()) != SQLITE_DONE) return Fail("cannot keep the block list", rc, why), 0;
    }
    return setId;
}

bool HistoryStore::Finish(int64_t id, const std::vector<HistoryBlock>& blocks, bool complete,
                          const std::string& detail, SnapshotSaved* saved, std::string* why) {
    Transaction t(*db_);
    if (t.Began() != SQLITE_OK) return Fail("cannot keep the snapshot", t.Began(), why);
    const int64_t setId = StoreSet(blocks, why);
    if (!setId) return false;
    SqliteStatement self(*db_, "SELECT projector_id, first_ms, reason, note FROM snapshots WHERE id=?");
    self.Bind(1, id);
    if (const int rc = self.Step(); rc != SQLITE_ROW) {
        return Fail("cannot keep the snapshot", rc == SQLITE_DONE ? SQLITE_NOTFOUND : rc, why);
    }
    saved->id = id;
    saved->repeated = false;
    if (complete) {
        SqliteStatement latest(*db_,
                               "SELECT id, reason, note, state, set_id FROM snapshots WHERE projector_id=? AND id<? "
                               "AND state<>'taking' ORDER BY id DESC LIMIT 1");
        latest.Bind(1, self.Int(0));
        latest.Bind(2, id);
        if (latest.Step() == SQLITE_ROW && latest.Text(1) == self.Text(2) && latest.Text(2) == self.Text(3) &&
            latest.Text(3) == "complete" && latest.Int(4) == setId) {
            SqliteStatement again(*db_,
                                  "UPDATE snapshots SET last_ms=max(last_ms, ?), times=times+1 WHERE id=?");
            again.Bind(1, self.Int(1));
            again.Bind(2, latest.Int(0));
            SqliteStatement drop(*db_, "DELETE FROM snapshots WHERE id=?");
            drop.Bind(1, id);
            if (again.Step() != SQLITE_DONE || drop.Step() != SQLITE_DONE) {
                return Fail("cannot keep the snapshot", SQLITE_ERROR, why);
            }
            saved->id = latest.Int(0);
            saved->repeated = true;
        }
    }
    if (!saved->repeated) {
        SqliteStatement update(*db_, "UPDATE snapshots SET state=?, detail=?, set_id=? WHERE id=?");
        update.Bind(1, std::string(complete ? "complete" : "incomplete"));
        update.Bind(2, detail);
        update.Bind(3, setId);
        update.Bind(4, id);
        if (const int rc = update.Step(); rc != SQLITE_DONE) return Fail("cannot keep the snapshot", rc, why);
    }
    if (const int rc = t.Commit(); rc != SQLITE_OK) return Fail("cannot keep the snapshot", rc, why);
    return true;
}

bool HistoryStore::Abandon(int64_t id, const std::string& detail) {
    SqliteStatement s(*db_, "UPDATE snapshots SET state='incomplete', detail=? WHERE id=? AND state='taking'");
    s.Bind(1, "not kept: " + detail.substr(0, 300));
    s.Bind(2, id);
    return s.Step() == SQLITE_DONE;
}

bool HistoryStore::List(std::optional<int> address, std::vector<SnapshotInfo>* out, std::string* why, int limit,
                        int64_t beforeId) {
    out->clear();
    // The page's bound only when there is one, so it is a range of the ids, never a scan.
    const std::string sql = std::string("SELECT ") + kSnapshotColumns + "WHERE " +
                            (beforeId > 0 ? "s.id < ?1 " : "?1 = 0 ") + (address ? "AND p.address=?3 " : "") +
                            "ORDER BY s.id DESC LIMIT ?2";
    SqliteStatement s(*db_, sql.c_str());
    s.Bind(1, beforeId);
    s.Bind(2, limit > 0 ? static_cast<int64_t>(limit) : int64_t{-1});
    if (address) s.Bind(3, static_cast<int64_t>(*address));
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) out->push_back(InfoOf(s, nullptr));
    return rc == SQLITE_DONE || Fail("cannot list the snapshots", rc, why);
}

bool HistoryStore::ReadBlocks(int64_t setId, std::vector<HistoryBlock>* out, std::string* why) {
    out->clear();
    SqliteStatement s(*db_,
                      "SELECT r.position, r.header, r.free, r.name, r.type, b.bytes FROM set_blocks r "
                      "LEFT JOIN bodies b ON b.id = r.body_id WHERE r.set_id=? ORDER BY r.position");
    s.Bind(1, setId);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) {
        HistoryBlock b;
        b.position = static_cast<int>(s.Int(0));
        const std::vector<uint8_t> header = s.Blob(1);
        if (header.size() != 5) return Fail("the snapshot's blocks", SQLITE_CORRUPT, why);
        std::copy(header.begin(), header.begin() + 4, b.wire.begin());
        b.extra = header[4];
        b.free = s.Int(2) != 0;
        b.name = s.Text(3);
        b.type = s.Text(4);
        if (!b.free) b.body = s.Blob(5);
        out->push_back(std::move(b));
    }
    return rc == SQLITE_DONE || Fail("cannot read the snapshot's blocks", rc, why);
}

bool HistoryStore::Get(int64_t id, SnapshotRecord* out, std::string* why, bool* missing) {
    const std::string sql = std::string("SELECT ") + kSnapshotColumns + "WHERE s.id=?";
    SqliteStatement s(*db_, sql.c_str());
    s.Bind(1, id);
    const int rc = s.Step();
    if (missing) *missing = rc == SQLITE_DONE;
    if (rc == SQLITE_DONE) {
        *why = "there is no snapshot " + std::to_string(id);
        return false;
    }
    if (rc != SQLITE_ROW) return Fail("cannot read snapshot " + std::to_string(id), rc, why);
    int64_t setId = 0;
    out->info = InfoOf(s, &setId);
    out->blocks.clear();
    return setId == 0 || ReadBlocks(setId, &out->blocks, why);
}

bool HistoryStore::LatestReference(int address, int64_t beforeId, SnapshotRecord* out, bool* found, std::string* why) {
    *found = false;
    SqliteStatement s(*db_,
                      "SELECT s.id FROM snapshots s JOIN projectors p ON p.id = s.projector_id WHERE p.address=? AND "
                      "s.state='complete' AND s.reason IN ('manual', 'schedule', 'restored') AND (?=0 OR s.id<?) "
                      "ORDER BY s.id DESC LIMIT 1");
    s.Bind(1, static_cast<int64_t>(address));
    s.Bind(2, beforeId);
    s.Bind(3, beforeId);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return Fail("cannot look up the latest snapshot", rc, why);
    *found = Get(s.Int(0), out, why);
    return *found;
}

bool HistoryStore::LatestProjector(int address, ProjectorIdentity* out, bool* found, std::string* why) {
    *found = false;
    const std::string sql = std::string("SELECT ") + kSnapshotColumns + "WHERE p.address=? ORDER BY s.id DESC LIMIT 1";
    SqliteStatement s(*db_, sql.c_str());
    s.Bind(1, static_cast<int64_t>(address));
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return Fail("cannot look up the projector", rc, why);
    *out = InfoOf(s, nullptr).projector;
    *found = true;
    return true;
}

bool HistoryStore::Prune(int64_t cutoffMs, int* removed, int* kept, std::string* why) {
    *removed = 0;
    *kept = 0;
    // Which go, read without holding the store.
    std::vector<int64_t> ids;
    {
        SqliteStatement s(*db_,
                          "SELECT id FROM snapshots WHERE last_ms < ? AND id NOT IN ("
                          "SELECT max(s.id) FROM snapshots s JOIN projectors p ON p.id = s.projector_id "
                          "GROUP BY p.address, p.serial UNION "
                          "SELECT max(s.id) FROM snapshots s JOIN projectors p ON p.id = s.projector_id "
                          "WHERE s.state='complete' AND s.reason IN ('manual', 'schedule', 'restored') "
                          "GROUP BY p.address, p.serial) ORDER BY id");
        s.Bind(1, cutoffMs);
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW) ids.push_back(s.Int(0));
        if (rc != SQLITE_DONE) return Fail("cannot prune", rc, why);
    }
    // In slices, each its own short transaction, so the snapshots of other programs go on
    // in between; a block list and a body go with the last snapshot that used them. Each
    // slice's pages are copied into the store at once, so no other program's commit has a
    // whole prune's journal to copy.
    db_->Exec("PRAGMA cache_size=-65536");
    SqliteStatement setOf(*db_, "SELECT set_id FROM snapshots WHERE id=?");
    // Found again meanwhile (counted on by a new snapshot): it stays.
    SqliteStatement drop(*db_, "DELETE FROM snapshots WHERE id=? AND last_ms < ?");
    SqliteStatement setUsed(*db_, "SELECT 1 FROM snapshots WHERE set_id=? LIMIT 1");
    SqliteStatement bodiesOf(*db_, "SELECT DISTINCT body_id FROM set_blocks WHERE set_id=? AND body_id IS NOT NULL");
    SqliteStatement dropRows(*db_, "DELETE FROM set_blocks WHERE set_id=?");
    SqliteStatement dropSet(*db_, "DELETE FROM block_sets WHERE id=?");
    SqliteStatement bodyUsed(*db_, "SELECT 1 FROM set_blocks WHERE body_id=? LIMIT 1");
    SqliteStatement dropBody(*db_, "DELETE FROM bodies WHERE id=?");
    auto step = [](SqliteStatement& st, int* rc) {
        *rc = st.Step();
        const bool row = *rc == SQLITE_ROW;
        if (*rc == SQLITE_ROW || *rc == SQLITE_DONE) *rc = SQLITE_OK;
        return row;
    };
    size_t at = 0;
    while (at < ids.size()) {
        Transaction t(*db_);
        if (t.Began() != SQLITE_OK) return Fail("cannot prune", t.Began(), why);
        const auto began = std::chrono::steady_clock::now();
        // The block lists of one projector share nearly all their bodies: each body is
        // looked at once per slice, not once per list.
        std::vector<int64_t> bodies;
        int rc = SQLITE_OK;
        for (int n = 0; at < ids.size() && n < kPruneSliceRows; ++at, ++n) {
            if (n % 4 == 0 && std::chrono::steady_clock::now() - began > kPruneSlice) break;
            setOf.Reset();
            setOf.Bind(1, ids[at]);
            const int64_t set = step(setOf, &rc) && !setOf.IsNull(0) ? setOf.Int(0) : 0;
            drop.Reset();
            drop.Bind(1, ids[at]);
            drop.Bind(2, cutoffMs);
            step(drop, &rc);
            if (rc != SQLITE_OK) return Fail("cannot prune", rc, why);
            *removed += db_->Changes();
            if (!set) continue;
            setUsed.Reset();
            setUsed.Bind(1, set);
            if (step(setUsed, &rc) || rc != SQLITE_OK) {
                if (rc != SQLITE_OK) return Fail("cannot prune", rc, why);
                continue;
            }
            bodiesOf.Reset();
            bodiesOf.Bind(1, set);
            while (step(bodiesOf, &rc)) bodies.push_back(bodiesOf.Int(0));
            dropRows.Reset();
            dropRows.Bind(1, set);
            dropSet.Reset();
            dropSet.Bind(1, set);
            if (rc != SQLITE_OK || (step(dropRows, &rc), rc) != SQLITE_OK || (step(dropSet, &rc), rc) != SQLITE_OK) {
                return Fail("cannot prune", rc, why);
            }
        }
        std::sort(bodies.begin(), bodies.end());
        bodies.erase(std::unique(bodies.begin(), bodies.end()), bodies.end());
        for (int64_t body : bodies) {
            bodyUsed.Reset();
            bodyUsed.Bind(1, body);
            if (step(bodyUsed, &rc)) continue;
            dropBody.Reset();
            dropBody.Bind(1, body);
            if (rc != SQLITE_OK || (step(dropBody, &rc), rc) != SQLITE_OK) return Fail("cannot prune", rc, why);
        }
        // No statement left reading when the slice commits.
        for (SqliteStatement* st : {&setOf, &drop, &setUsed, &bodiesOf, &dropRows, &dropSet, &bodyUsed, &dropBody}) {
            st->Reset();
        }
        if (const int c = t.Commit(); c != SQLITE_OK) return Fail("cannot prune", c, why);
        db_->Exec("PRAGMA wal_checkpoint(PASSIVE)");
        // A gap in which a program waiting to write gets the store (it tries every few ms).
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        Transaction t(*db_);
        if (t.Began() != SQLITE_OK) return Fail("cannot prune", t.Began(), why);
        if (const int rc = db_->Exec("DELETE FROM projectors WHERE id NOT IN (SELECT projector_id FROM snapshots)");
            rc != SQLITE_OK) {
            return Fail("cannot prune", rc, why);
        }
        if (const int c = t.Commit(); c != SQLITE_OK) return Fail("cannot prune", c, why);
    }
    int64_t left = 0;
    int rc = SQLITE_OK;
    if (!IntPragma(*db_, "SELECT count(*) FROM snapshots", &left, &rc)) return Fail("cannot prune", rc, why);
    *kept = static_cast<int>(left);
    return true;
}

int64_t HistoryStore::CountRows(const std::string& table) {
    int64_t n = -1;
    int rc = SQLITE_OK;
    IntPragma(*db_, ("SELECT count(*) FROM " + table).c_str(), &n, &rc);
    return n;
}

}  // namespace ombrix
