// The block history's measurements, without a line: the space of 365 daily snapshots of
// 16 unchanged projectors against one day's, a site's diff (16 projectors x 30 blocks, two
// snapshots each), and a store of 10,000 snapshots for bench/run.sh to list with
// ombrix-cli. Prints one "name value" line per measurement.
// Usage: history_bench FOLDER   (FOLDER/one, FOLDER/year and FOLDER/many are made)
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "history/BlockDiff.h"
#include "history/HistoryStore.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: history_bench FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::string why;
    const int64_t start = 1780000000000;
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
    return 0;
}
