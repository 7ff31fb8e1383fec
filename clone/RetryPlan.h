// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The transfers that retry a slow-mode transfer of many sectors that failed. A failing
// disk may take seconds over every read that touches a bad sector, so each sector is
// touched at most three times (the transfer that failed, the piece that failed, its own
// single transfer), and healthy sectors still move a piece at a time:
// - the failed range is retried in pieces of kRetryPieceSectors, aligned on the disk;
// - a piece that fails is retried one sector at a time; a single sector that fails is bad;
// - after a bad sector the next sectors go one at a time until one succeeds: bad sectors
//   come in clusters, and a piece would touch the rest of the cluster once more. For
//   reads this may go on past the failed range, since the next run would fail there too,
//   up to a limit (the end of what is copied).
// Transfers follow one another in the volume's order: each starts where the one before it
// ended, or where a failed piece started, or one sector past a bad one. That keeps every
// sector's turn, and with it the report and the copy, as with one transfer per sector.
inline constexpr std::uint32_t kRetryPieceSectors = 64;  // 32 KiB

class CRetryPlan {
public:
    // The failed transfer covered the sectors [first, first + count), count > 1. After a
    // bad last sector, single sectors go on past the range up to the sector limit (first +
    // count: not past it).
    CRetryPlan(std::uint64_t first, std::uint64_t count, std::uint64_t limit);

    // The sectors of the next transfer, from where the last one left off; 0 when the
    // range is through.
    std::uint32_t Next() const;
    // The transfer that Next gave went through.
    void Succeeded();
    // It failed; for a single sector, that sector is bad and the plan goes past it.
    void Failed();

private:
    std::uint64_t m_position;
    std::uint64_t m_end;
    std::uint64_t m_singlesEnd;  // sectors before it go one at a time (a failed piece)
    bool m_afterBadSector = false;
    std::uint64_t m_limit;
};
