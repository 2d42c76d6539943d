// The block history's measurements, without a line: the space of 365 daily snapshots of
// 16 unchanged projectors against one day's, a site's diff (16 projectors x 30 blocks, two
// snapshots each), and a store of 10,000 snapshots for bench/run.sh to list with
// ombrix-cli; then a site's store (100 projectors x 2 years of nightly snapshots x 100
// blocks, one block changed each night) pruned by a year while snapshots go on, and the
// server's reads of one entry and of a page of the list. Prints one "name value" line per
// measurement.
// Usage: history_bench FOLDER [site]   (FOLDER/one, year, diff, many and site are made;
// with "site" only the site's)
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <thread>

#include "history/BlockDiff.h"
#include "history/HistoryStore.h"
#include "service/HistoryService.h"

namespace {

using namespace ombrix;

constexpr int kProjectors = 16;
constexpr int kBlocks = 30;
constexpr int kBlockLength = 96;
constexpr int64_t kDayMs = 86400000;

ProjectorIdentity Projector(int address) {
    ProjectorIdentity p;
    p.address = address;
    p.serial = "F" + std::to_string(1000000 + address);
    p.model = "ZV-251";
    p.typeCode = 25;
    p.letter = 'V';
    p.version = "4";
    p.idNumber = 770000 + address;
    p.blockLength = kBlockLength;
    p.headerVariant = 2;
    return p;
}

std::vector<HistoryBlock> Blocks(int address, int change) {
    std::vector<HistoryBlock> out;
    for (int i = 0; i < kBlocks; ++i) {
        HistoryBlock b;
        b.position = i;
        b.wire = {static_cast<uint8_t>(0x20 + i), 0x34, static_cast<uint8_t>(i % 8), 0x20};
        b.name = "source " + std::to_string(i % 8) + ", 31.25 kHz, 50 Hz";
        b.type = "RGB";
        for (int k = 0; k < kBlockLength; ++k) b.body.push_back(static_cast<uint8_t>((address * 31 + i * 7 + k) % 251));
        if (change && i % 3 == 0) b.body[static_cast<size_t>(8 + change % 40)] ^= 0x11;
        out.push_back(std::move(b));
    }
    return out;
}

bool Take(HistoryStore& store, int address, int64_t at, const std::vector<HistoryBlock>& blocks,
          const std::string& note = "") {
    std::string why;
    SnapshotSaved saved;
    const int64_t id = store.Begin(Projector(address), SnapshotReason::Schedule, note, at, &why);
    if (!id || !store.Finish(id, blocks, true, "", &saved, &why)) {
        std::fprintf(stderr, "history_bench: %s\n", why.c_str());
        return false;
    }
    return true;
}

long long FileSize(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// The site's store written straight through SQLite in one transaction (the store's own
// schema and indexes, made by HistoryStore first): what the programs would have kept over
// two years, in seconds rather than the hours that 73,000 snapshots through the store take.
constexpr int kSiteProjectors = 100;
constexpr int kSiteNights = 730;
constexpr int kSiteBlocks = 100;

bool Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
    std::fprintf(stderr, "history_bench: %s: %s\n", sql, error ? error : "?");
    sqlite3_free(error);
    return false;
}

bool GenerateSite(const std::string& dir, int64_t start) {
    {
        HistoryStore store;
        std::string why;
        if (!store.Open(dir, &why)) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), false;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open((dir + "/history.sqlite").c_str(), &db) != SQLITE_OK) return false;
    bool ok = Exec(db, "PRAGMA synchronous=OFF") && Exec(db, "DROP INDEX set_blocks_body") && Exec(db, "BEGIN");
    sqlite3_stmt *projector = nullptr, *body = nullptr, *set = nullptr, *row = nullptr, *snapshot = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO projectors(id, address, serial, model, type_code, letter, version, id_number, "
                       "block_length, header_variant) VALUES(?1, ?1, 'S' || ?1, 'ZV-251', 25, 'V', '4.01', ?1, 96, 2)",
                       -1, &projector, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO bodies(hash, bytes) VALUES(?, ?)", -1, &body, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO block_sets(hash, in_use) VALUES(?, ?)", -1, &set, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO set_blocks(set_id, position, header, free, name, type, body_id) "
                       "VALUES(?, ?, ?, 0, 'source 1', 'RGB', ?)",
                       -1, &row, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO snapshots(projector_id, first_ms, last_ms, times, reason, note, state, detail, set_id) "
                       "VALUES(?1, ?2, ?2, 1, 'schedule', 'nightly', 'complete', '', ?3)",
                       -1, &snapshot, nullptr);
    auto newBody = [&](int a, int block, int night) {
        std::vector<uint8_t> bytes(kBlockLength);
        for (int k = 0; k < kBlockLength; ++k) bytes[static_cast<size_t>(k)] = static_cast<uint8_t>(a * 31 + block * 7 + k);
        bytes[0] = static_cast<uint8_t>(night);
        bytes[1] = static_cast<uint8_t>(night >> 8);
        sqlite3_reset(body);
        sqlite3_bind_int64(body, 1, static_cast<int64_t>(HistoryHash(bytes.data(), bytes.size())));
        sqlite3_bind_blob(body, 2, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(body) == SQLITE_DONE;
        return sqlite3_last_insert_rowid(db);
    };
    int64_t hash = 1;
    for (int a = 1; a <= kSiteProjectors && ok; ++a) {
        sqlite3_reset(projector);
        sqlite3_bind_int(projector, 1, a);
        ok = sqlite3_step(projector) == SQLITE_DONE;
        std::vector<int64_t> bodies;
        for (int b = 0; b < kSiteBlocks; ++b) bodies.push_back(newBody(a, b, 0));
        for (int night = 0; night < kSiteNights && ok; ++night) {
            // Each night one block was adjusted: a new block list, one new body.
            if (night) bodies[static_cast<size_t>(night % kSiteBlocks)] = newBody(a, night % kSiteBlocks, night);
            sqlite3_reset(set);
            sqlite3_bind_int64(set, 1, hash++);
            sqlite3_bind_int(set, 2, kSiteBlocks);
            ok = ok && sqlite3_step(set) == SQLITE_DONE;
            const int64_t setId = sqlite3_last_insert_rowid(db);
            for (int b = 0; b < kSiteBlocks && ok; ++b) {
                const uint8_t header[5] = {static_cast<uint8_t>(0x20 + b), 0x34, static_cast<uint8_t>(b % 8), 0x20, 0};
                sqlite3_reset(row);
                sqlite3_bind_int64(row, 1, setId);
                sqlite3_bind_int(row, 2, b);
                sqlite3_bind_blob(row, 3, header, 5, SQLITE_STATIC);
                sqlite3_bind_int64(row, 4, bodies[static_cast<size_t>(b)]);
                ok = sqlite3_step(row) == SQLITE_DONE;
            }
            sqlite3_reset(snapshot);
            sqlite3_bind_int(snapshot, 1, a);
            sqlite3_bind_int64(snapshot, 2, start + night * kDayMs);
            sqlite3_bind_int64(snapshot, 3, setId);
            ok = ok && sqlite3_step(snapshot) == SQLITE_DONE;
        }
    }
    for (sqlite3_stmt* st : {projector, body, set, row, snapshot}) sqlite3_finalize(st);
    ok = ok && Exec(db, "COMMIT") && Exec(db, "CREATE INDEX set_blocks_body ON set_blocks(body_id)") &&
         Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    return ok;
}

double P99(std::vector<double> ms) {
    if (ms.empty()) return 0;
    std::sort(ms.begin(), ms.end());
    return ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

int Site(const std::string& folder, int64_t start) {
    const std::string dir = folder + "/site";
    ::mkdir(dir.c_str(), 0755);
    auto t0 = std::chrono::steady_clock::now();
    if (!GenerateSite(dir, start)) return 1;
    std::printf("site_generate_s %.1f\nsite_bytes %lld\n", Ms(t0) / 1000, FileSize(dir + "/history.sqlite"));

    // The server's reads, as its routes make them (its store opened once, then reused).
    if (::chdir(dir.c_str()) != 0) return 1;
    std::vector<double> entry, page;
    int64_t before = 0;
    for (int n = 0; n < 200; ++n) {
        t0 = std::chrono::steady_clock::now();
        const HistoryReply r = HistoryEntryReply(1 + (n * 367) % (kSiteProjectors * kSiteNights));
        entry.push_back(Ms(t0));
        if (r.result != HistoryResult::Done) return std::fprintf(stderr, "history_bench: %s\n", r.body.dump().c_str()), 1;
        t0 = std::chrono::steady_clock::now();
        const HistoryReply p = HistoryListReply(n % 2 ? std::optional<int>(1 + n % kSiteProjectors) : std::nullopt,
                                                kHistoryPageDefault, before);
        page.push_back(Ms(t0));
        before = p.body.value("next", int64_t{0});
    }
    std::printf("site_get_entry_p99_ms %.2f\nsite_get_page_p99_ms %.2f\n", P99(entry), P99(page));

    // Prune the older year while another program keeps taking snapshots.
    std::atomic<bool> pruning{true};
    std::vector<double> waits;
    std::thread other([&] {
        HistoryStore store;
        std::string why;
        if (!store.Open(".", &why, nullptr, nullptr, false)) return;
        for (int n = 0; pruning; ++n) {
            const auto s = std::chrono::steady_clock::now();
            if (!Take(store, 1 + n % kSiteProjectors, start + kSiteNights * kDayMs + n, Blocks(1, n),
                      "during prune " + std::to_string(n))) {
                return;
            }
            waits.push_back(Ms(s));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    HistoryStore store;
    std::string why;
    int removed = 0, kept = 0;
    if (!store.Open(".", &why, nullptr, nullptr, false)) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), 1;
    t0 = std::chrono::steady_clock::now();
    const bool pruned = store.Prune(start + 365 * kDayMs, &removed, &kept, &why);
    const double pruneMs = Ms(t0);
    pruning = false;
    other.join();
    if (!pruned) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), 1;
    std::printf("site_prune_year_s %.2f\nsite_pruned %d\nsite_snapshots_during_prune %zu\n"
                "site_snapshot_wait_max_ms %.1f\n",
                pruneMs / 1000, removed, waits.size(), waits.empty() ? 0.0 : *std::max_element(waits.begin(), waits.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "site")) {
        std::fprintf(stderr, "usage: history_bench FOLDER [site]\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::string why;
    const int64_t start = 1780000000000;
    if (argc == 3) return Site(folder, start);  // the site's measurements alone
    for (const char* name : {"one", "year"}) {
        const std::string dir = folder + "/" + name;
        ::mkdir(dir.c_str(), 0755);
        const int days = std::string(name) == "one" ? 1 : 365;
        HistoryStore store;
        if (!store.Open(dir, &why)) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), 1;
        for (int d = 0; d < days; ++d) {
            for (int a = 1; a <= kProjectors; ++a) {
                if (!Take(store, a, start + d * kDayMs, Blocks(a, 0))) return 1;
            }
        }
    }
    const long long one = FileSize(folder + "/one/history.sqlite");
    const long long year = FileSize(folder + "/year/history.sqlite");
    std::printf("space_one_day_bytes %lld\nspace_365_days_bytes %lld\nspace_ratio %.2f\n", one, year,
                one > 0 ? static_cast<double>(year) / static_cast<double>(one) : 0.0);

    // A site's diff: every projector's two snapshots read back and compared by name.
    {
        const std::string dir = folder + "/diff";
        ::mkdir(dir.c_str(), 0755);
        HistoryStore store;
        if (!store.Open(dir, &why)) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), 1;
        for (int a = 1; a <= kProjectors; ++a) {
            if (!Take(store, a, start, Blocks(a, 0)) || !Take(store, a, start + kDayMs, Blocks(a, 5))) return 1;
        }
        Description d;
        for (int k = 0; k < 60; ++k) {
            DescriptionParameter p;
            p.placeInBlock = 8 + k;
            SetFieldText(&p.paramName, "Parameter " + std::to_string(k));
            d.parameters.push_back(p);
        }
        const auto t0 = std::chrono::steady_clock::now();
        size_t lines = 0;
        std::vector<SnapshotInfo> list;
        store.List(std::nullopt, &list, &why);
        for (int a = 1; a <= kProjectors; ++a) {
            SnapshotRecord before, after;
            int64_t ids[2] = {0, 0};
            int n = 0;
            for (const SnapshotInfo& i : list) {
                if (i.projector.address == a && n < 2) ids[n++] = i.id;
            }
            if (!store.Get(ids[1], &before, &why) || !store.Get(ids[0], &after, &why)) return 1;
            const BlockSide x{before.info.projector, before.blocks, "", false};
            const BlockSide y{after.info.projector, after.blocks, "", false};
            lines += DiffLines(DiffBlocks(x, y, &d)).size();
        }
        std::printf("diff_16x30_ms %.1f\ndiff_lines %zu\n", Ms(t0), lines);
    }

    // 10,000 snapshots (each its own note, so none counts on another) for the listing.
    {
        const std::string dir = folder + "/many";
        ::mkdir(dir.c_str(), 0755);
        HistoryStore store;
        if (!store.Open(dir, &why)) return std::fprintf(stderr, "history_bench: %s\n", why.c_str()), 1;
        for (int n = 0; n < 10000; ++n) {
            const int a = 1 + n % kProjectors;
            if (!Take(store, a, start + n * kDayMs / kProjectors, Blocks(a, 0), "night " + std::to_string(n))) return 1;
        }
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<SnapshotInfo> list;
        store.List(std::nullopt, &list, &why);
        std::printf("history_list_10000_ms %.1f\nhistory_listed %zu\n", Ms(t0), list.size());
    }
    std::fflush(stdout);
    return Site(folder, start);
}
