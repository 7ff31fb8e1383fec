// SPDX-License-Identifier: GPL-3.0-or-later
// The plan that narrows a failed slow-mode transfer down to its bad sectors, driven against
// maps of bad sectors: every sector gets its turn in order, each bad one alone, and no
// sector is touched more than three times, the failed transfer included.
#include "clone/RetryPlan.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

struct CWalk {
    std::vector<std::uint64_t> badFound;  // the sectors that failed alone, in order
    std::map<std::uint64_t, int> touches;  // the failed transfer included
    std::uint64_t end = 0;                 // where the last transfer ended
    int transfers = 0;
};

// Drives a plan for the failed transfer [first, first + count), whose single sectors may go
// on up to limit, over a disk whose bad sectors are bad; a transfer fails when it covers
// one of them.
CWalk Walk(std::uint64_t first, std::uint64_t count, std::uint64_t limit, const std::set<std::uint64_t>& bad)
{
    CWalk walk;
    for (std::uint64_t sector = first; sector < first + count; ++sector)
        ++walk.touches[sector];
    CRetryPlan plan(first, count, limit);
    std::uint64_t position = first;
    while (std::uint32_t sectors = plan.Next()) {
        EXPECT_LT(++walk.transfers, 100000) << "the plan does not end";
        if (walk.transfers >= 100000)
            break;
        bool fails = false;
        for (std::uint64_t sector = position; sector < position + sectors; ++sector) {
            ++walk.touches[sector];
            fails = fails || bad.count(sector) > 0;
        }
        if (!fails) {
            plan.Succeeded();
            position += sectors;
        } else if (sectors == 1) {
            plan.Failed();
            walk.badFound.push_back(position++);
        } else {
            plan.Failed();
        }
    }
    walk.end = position;
    return walk;
}

std::vector<std::uint64_t> BadIn(const std::set<std::uint64_t>& bad, std::uint64_t first, std::uint64_t end)
{
    return {bad.lower_bound(first), bad.lower_bound(end)};
}

TEST(RetryPlanTest, OneBadSectorCostsItsPieceSectorBySectorAndThreeTouches)
{
    CWalk walk = Walk(4096, 2048, kNoLimit, {4096 + 700});
    EXPECT_EQ(walk.badFound, std::vector<std::uint64_t>{4096 + 700});
    EXPECT_EQ(walk.end, 4096u + 2048);
    // 32 pieces, one of them retried as 64 single sectors.
    EXPECT_EQ(walk.transfers, 32 + 64);
    EXPECT_EQ(walk.touches[4096 + 700], 3);
    EXPECT_EQ(walk.touches[4096 + 640], 3);
    EXPECT_EQ(walk.touches[4096 + 704], 2);
}

TEST(RetryPlanTest, AClusterOfBadSectorsIsReadOnceForEachPastItsFirstPiece)
{
    std::set<std::uint64_t> bad;
    for (std::uint64_t sector = 100; sector < 5000; ++sector)
        bad.insert(sector);
    CWalk walk = Walk(0, 2048, kNoLimit, bad);
    EXPECT_EQ(walk.badFound, BadIn(bad, 0, 5000));
    // Past the failed range, single sectors go on until one reads.
    EXPECT_EQ(walk.end, 5001u);
    EXPECT_EQ(walk.touches[127], 3);
    EXPECT_EQ(walk.touches[128], 2);
    EXPECT_EQ(walk.touches[2047], 2);
    EXPECT_EQ(walk.touches[2048], 1);
    EXPECT_EQ(walk.touches[5000], 1);
    EXPECT_EQ(walk.touches.count(5001), 0u);

    // A write retry has no data past its range: it ends there. A read retry ends at the
    // end of what is copied, inside the cluster.
    EXPECT_EQ(Walk(0, 2048, 2048, bad).end, 2048u);
    CWalk bounded = Walk(0, 2048, 3000, bad);
    EXPECT_EQ(bounded.end, 3000u);
    EXPECT_EQ(bounded.badFound, BadIn(bad, 0, 3000));
    EXPECT_EQ(bounded.touches.count(3000), 0u);
}

TEST(RetryPlanTest, ARangeInsideOnePieceGoesSectorBySectorAtOnce)
{
    CWalk walk = Walk(130, 20, 150, {140});
    EXPECT_EQ(walk.transfers, 20);
    EXPECT_EQ(walk.touches[130], 2);
    EXPECT_EQ(walk.badFound, std::vector<std::uint64_t>{140});
}

TEST(RetryPlanTest, RandomMapsFindEveryBadSectorWithAtMostThreeTouches)
{
    std::mt19937 random(22);
    for (int i = 0; i < 2000; ++i) {
        std::uint64_t first = random() % 3 == 0 ? random() % 5000 : (random() % 4) * 2048;
        std::uint64_t count = 2 + random() % 2100;
        std::set<std::uint64_t> bad;
        for (auto cluster = 1 + random() % 6; cluster > 0; --cluster) {
            std::uint64_t at = first + random() % (count + 80) - std::min<std::uint64_t>(first, 10);
            for (std::uint64_t length = random() % 4 == 0 ? 1 + random() % 300 : 1; length > 0; --length)
                bad.insert(at++);
        }
        const std::uint64_t limits[] = {first + count, first + count + random() % 100, kNoLimit};
        const std::uint64_t limit = limits[random() % 3];
        SCOPED_TRACE("case " + std::to_string(i) + ": first " + std::to_string(first) + ", count " +
                     std::to_string(count) + ", limit " + std::to_string(limit));
        CWalk walk = Walk(first, count, limit, bad);
        std::uint64_t end = first + count;
        if (bad.count(end - 1) > 0) {
            while (end < limit && bad.count(end) > 0)
                ++end;
            if (end < limit)
                ++end;  // the sector that read and ended the cluster
        }
        EXPECT_EQ(walk.end, end);
        EXPECT_EQ(walk.badFound, BadIn(bad, first, end));
        for (auto [sector, touches] : walk.touches)
            EXPECT_LE(touches, 3) << "sector " << sector;
        if (HasFailure())
            break;
    }
}

}  // namespace
