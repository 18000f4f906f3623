// The chain programme over spans against the literal one that scans every
// predecessor (scores that wrap, plateaus, every gap rule, start lists that
// touch both ends or share starts as full interval sets leave them), the
// start-region builder against the interval-set records, and a 200,000-sample
// series through the span path against a scan.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "detection/chain_core.h"
#include "detection/chain_programme.h"
#include "detection/fixed_case_criteria.h"
#include "synthesis/series_synthesis.h"
#include "tests/reference/literal_estimators.h"

namespace {

using detection::PulseLayout;
using detection::StartIntervals;

StartIntervals listOf(const detection::IntervalSet* set)
{
    StartIntervals v;
    for (int k = 0; set && k < set->wCount; ++k)
        v.push_back({set->lpStarts[k], set->lpEnds[k]});
    return v;
}

// Random intervals in 0..N-1, often touching an end.
detection::IntervalSetPtr randomSet(std::mt19937& rng, int N)
{
    detection::IntervalSetPtr s = detection::getIntervalSet(nullptr, 8);
    auto at = [&] { return static_cast<uint16_t>(rng() % N); };
    for (int c = static_cast<int>(rng() % 5); c > 0; --c) {
        const uint16_t a = at(), b = at();
        detection::addInterval(s.get(), std::min(a, b), std::max(a, b));
    }
    if (rng() % 3 == 0)
        detection::addInterval(s.get(), 0, at());
    if (rng() % 3 == 0)
        detection::addInterval(s.get(), at(), static_cast<uint16_t>(N - 1));
    return s;
}

template <class Score>
void expectSameChains(const detection::ChainTables& t, const detection::ChainRegions& lists, int Tmin, int Tmax,
                      const std::vector<int32_t>& B32, int32_t top, const std::vector<int32_t>& chain)
{
    const std::vector<Score> E(t.E.begin(), t.E.end());
    std::vector<Score> D(E.size());
    std::vector<int32_t> B(E.size()), positions;
    detection::runChainProgramme<Score>(E, lists, Tmin, Tmax, D, B);
    ASSERT_EQ(B, B32);
    for (size_t p = 0; p < E.size(); ++p)
        ASSERT_EQ(D[p],
                  B[p] == detection::kNoStart ? std::numeric_limits<Score>::lowest() : static_cast<Score>(t.D[p]));
    EXPECT_EQ(detection::followBestChain<Score>(lists, D, B, positions), top);
    EXPECT_EQ(positions, chain);
}

}  // namespace

TEST(ChainCore, EqualsTheLiteralProgrammeOnThousandsOfTables)
{
    std::mt19937 rng(11);
    int chains = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const int N = 1 + static_cast<int>(rng() % (trial % 50 == 0 ? 3000 : 200));
        const uint16_t Tmin = static_cast<uint16_t>(rng() % 4 == 0 ? 0 : rng() % 40);
        const int shape = static_cast<int>(rng() % 8);  // one gap only, none (or 0 only), every earlier cell
        const uint16_t Tmax = static_cast<uint16_t>(shape == 0   ? Tmin
                                                    : shape == 1 ? Tmin / 2
                                                    : shape == 2 ? N + rng() % 10
                                                                 : Tmin + rng() % 60);
        detection::StartRegions regions;
        for (int g : {detection::omegaLast, detection::omegaFirstOnly, detection::omegaFirstAndLater,
                      detection::omegaLaterOnly})
            regions.sets[g] = randomSet(rng, N);
        SCOPED_TRACE("trial " + std::to_string(trial) + " Tmin " + std::to_string(Tmin) + " Tmax " +
                     std::to_string(Tmax));
        detection::ChainTables literal, adapted;
        ASSERT_TRUE(detection::allocateChainTables(literal, N));
        const int kind = static_cast<int>(rng() % 4);  // plateaus, wrapping sums, constant, empty cells mixed in
        int32_t plateau = 0;
        for (int32_t& e : literal.E) {
            if (rng() % 6 == 0)
                plateau = static_cast<int32_t>(rng() % 5) - 1;
            e = kind == 0   ? plateau
                : kind == 1 ? static_cast<int32_t>(rng())
                : kind == 2 ? 5
                            : (rng() % 4 ? static_cast<int32_t>(rng() % 2001) - 1000 : detection::noChainValue);
        }
        adapted = literal;
        literal::runChainProgramme(regions, literal, Tmin, Tmax);
        detection::runChainProgramme(regions, adapted, Tmin, Tmax);
        ASSERT_EQ(adapted.D, literal.D);
        ASSERT_EQ(adapted.B, literal.B);

        // The core itself marks the cells that are no start its own way.
        const StartIntervals firstOnly = listOf(regions.sets[detection::omegaFirstOnly].get()),
                             both = listOf(regions.sets[detection::omegaFirstAndLater].get()),
                             laterOnly = listOf(regions.sets[detection::omegaLaterOnly].get()),
                             last = listOf(regions.sets[detection::omegaLast].get());
        const detection::ChainRegions lists{firstOnly, both, laterOnly, last};
        std::vector<int32_t> D(N), B(N);
        detection::runChainProgramme<int32_t>(literal.E, lists, Tmin, Tmax, D, B);
        ASSERT_EQ(D, literal.D);
        for (int p = 0; p < N; ++p)
            ASSERT_EQ(B[p] == detection::kNoStart ? N + 1 : B[p], literal.B[p]) << p;

        // The chain: the lowest best end of Omega[+], then back along the
        // literal predecessors while they lie earlier.
        int32_t top = 0, end = -1;
        for (const auto& iv : last)
            for (int p = iv.lo; p <= iv.hi; ++p)
                if (literal.D[p] > top) {
                    top = literal.D[p];
                    end = p;
                }
        std::vector<int32_t> expected, positions{-7};
        for (int32_t p = end; p >= 0; p = literal.B[p]) {
            expected.insert(expected.begin(), p);
            if (literal.B[p] >= p)
                break;
        }
        // Where nothing wraps, the wide scores link the same chains.
        if (kind != 1) {
            expectSameChains<int64_t>(literal, lists, Tmin, Tmax, B, top, expected);
            expectSameChains<double>(literal, lists, Tmin, Tmax, B, top, expected);
        }
        const size_t maxCount = rng() % 4 == 0 ? rng() % 3 : 1000;
        EXPECT_EQ(detection::followBestChain(regions, adapted, maxCount, positions), top);
        expected.resize(std::min(expected.size(), maxCount));
        ASSERT_EQ(positions, expected);
        chains += positions.size() > 1;
    }
    EXPECT_GT(chains, 800);
}

namespace {

// The seven sets made as buildStartRegions makes them, range by range into
// interval sets, but with room for any number of intervals; `most` is the
// greatest count any set held along the way.
std::array<StartIntervals, 7> roomySets(uint32_t N, uint16_t L, uint16_t Tmin, uint16_t Tmax, int mFrom, int mTo,
                                        int& most)
{
    std::array<detection::IntervalSetPtr, 3> base;
    for (detection::IntervalSetPtr& s : base)
        s = detection::getIntervalSet(nullptr, 1024);  // more than the starts of any series here
    auto note = [&](const detection::IntervalSetPtr& s) { most = std::max<int>(most, s->wCount); };
    auto add = [&](int g, int k, int n) {
        const detection::AdmissibleRange a =
            detection::admissibleRange(static_cast<uint16_t>(k), static_cast<uint16_t>(n), N, L, Tmin, Tmax);
        if (std::max(a.lo, 0) <= std::min<int32_t>(a.hi, static_cast<int32_t>(N) - L))
            detection::addInterval(base[g].get(), static_cast<uint16_t>(std::max(a.lo, 0)),
                                   static_cast<uint16_t>(std::min<int32_t>(a.hi, static_cast<int32_t>(N) - L)));
        note(base[g]);
    };
    for (int n = std::max(mFrom, 1); n <= mTo; ++n)
        for (int k = 0; k < n; ++k) {
            add(k ? 1 : 0, k, n);
            if (k == n - 1)
                add(2, k, n);
        }
    auto derive = [&](const detection::IntervalSetPtr& from, const detection::IntervalSetPtr& other, auto op) {
        detection::IntervalSetPtr s = detection::copyIntervalSet(nullptr, from.get());
        for (int k = 0; k < other->wCount; ++k) {
            op(s.get(), other->lpStarts[k], other->lpEnds[k]);
            note(s);
        }
        return listOf(s.get());
    };
    detection::IntervalSetPtr both = detection::copyIntervalSet(nullptr, base[0].get());
    detection::intersectIntervalSets(both.get(), base[1].get());
    note(both);
    return {listOf(base[0].get()),
            listOf(base[1].get()),
            listOf(base[2].get()),
            derive(base[0], base[1], detection::addInterval),
            derive(base[0], base[1], detection::removeInterval),
            listOf(both.get()),
            derive(base[1], base[0], detection::removeInterval)};
}

}  // namespace

TEST(StartRegions, BuilderGivesTheIntervalSetsWheneverTheyHaveRoom)
{
    std::mt19937 rng(3);
    int withRoom = 0, overflowing = 0;
    for (int trial = 0; trial < 5000; ++trial) {
        const uint32_t N = 1 + rng() % 700;
        const uint16_t L = static_cast<uint16_t>(rng() % 31);
        const uint16_t Tmin = static_cast<uint16_t>(rng() % 8 == 0 ? 0 : 1 + rng() % 60);
        const int shape = static_cast<int>(rng() % 8);
        const uint16_t Tmax = static_cast<uint16_t>(shape < 2    ? Tmin
                                                    : shape == 2 ? Tmin / 2
                                                                 : Tmin + rng() % (shape % 2 ? 8 : 900));
        const int mTo = static_cast<int>(rng() % std::min<uint32_t>(N / std::max<int>(Tmin, 4) + 4, 120));
        const int mFrom = static_cast<int>(rng() % (mTo + 2));
        SCOPED_TRACE("trial " + std::to_string(trial));
        const detection::StartRegionLists b = detection::startRegionLists({N, L, Tmin, Tmax}, mFrom, mTo);
        const std::array<StartIntervals, 7> built{b.first,     b.later,         b.last,     b.any,
                                                  b.firstOnly, b.firstAndLater, b.laterOnly};
        int most = 0;
        ASSERT_EQ(built, roomySets(N, L, Tmin, Tmax, mFrom, mTo, most));
        if (most > mTo) {
            ++overflowing;  // the records, with room for mTo intervals, drop some
            continue;
        }
        ++withRoom;
        synthesis::SeriesHeader s;
        s.wImpulseSize = L;
        s.wMinPulses = static_cast<uint16_t>(mFrom);
        s.wMaxPulses = static_cast<uint16_t>(mTo);
        const detection::StartRegions records = detection::buildStartRegions(s, N, Tmin, Tmax);
        for (int g = 0; g < detection::omegaSetCount; ++g)
            ASSERT_EQ(listOf(records.sets[g].get()), built[g]) << "set " << g;
    }
    EXPECT_GT(withRoom, 4000);
    EXPECT_GT(overflowing, 40);
}

TEST(ChainCore, ATwoHundredThousandSampleSeriesAgreesWithAScan)
{
    // Ramp pulses 1,000 to 1,040 apart, laid from the end so that the last
    // may be a last pulse, in noise; 64-bit energies less a threshold.
    constexpr int N = 200000, L = 40;
    const PulseLayout layout{N, L, 950, 1150};
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<int32_t> x(N), planted, found;
    for (int32_t& v : x)
        v = static_cast<int32_t>(noise(rng));
    for (int32_t at = N - L - 100; at >= 0; at -= 1000 + static_cast<int32_t>(rng() % 41)) {
        planted.insert(planted.begin(), at);
        for (int i = 0; i < L; ++i)
            x[at + i] += 30000 + 900 * i;
    }
    std::vector<int64_t> E = detection::windowEnergies<int32_t, int64_t>(x, L);
    for (int64_t& e : E)
        e -= int64_t{L} * 300 * 300 * 3;
    const int mFrom = synthesis::seriesMinPulses(N, L, 1150),
              mTo = synthesis::seriesMaxPulses(N, L, 950);  // as synthesis bounds them
    const auto regions = detection::startRegionLists(layout, mFrom, mTo);
    const int cells = static_cast<int>(E.size());
    std::vector<int64_t> D(cells);
    std::vector<int32_t> B(cells);
    detection::runChainProgramme<int64_t>(E, regions.chainRegions(), layout.Tmin, layout.Tmax, D, B);
    const int64_t total = detection::followBestChain<int64_t>(regions.chainRegions(), D, B, found);
    EXPECT_EQ(found, planted);
    EXPECT_GT(found.back(), 65535);

    // The scan, list by list, every predecessor looked at.
    std::vector<int64_t> scanD(cells, detection::chainEmptyCell<int64_t>);
    std::vector<int32_t> scanB(cells, detection::kNoStart);
    for (const auto& iv : regions.firstOnly)
        for (int p = iv.lo; p <= iv.hi; ++p) {
            scanD[p] = E[p];
            scanB[p] = detection::kFirstPulseOnly;
        }
    int64_t best = 0;
    for (const StartIntervals* list : {&regions.firstAndLater, &regions.laterOnly})
        for (const auto& iv : *list)
            for (int p = iv.lo; p <= iv.hi; ++p) {
                best = 0;
                scanB[p] = detection::kChainBegins;
                for (int q = std::max(p - layout.Tmax, 0); q <= p - layout.Tmin; ++q)
                    if (scanD[q] > best) {
                        best = scanD[q];
                        scanB[p] = q;
                    }
                scanD[p] = best + E[p];
            }
    ASSERT_EQ(D, scanD);
    ASSERT_EQ(B, scanB);
    best = 0;
    for (const auto& iv : regions.last)
        for (int p = iv.lo; p <= iv.hi; ++p)
            best = std::max(best, scanD[p]);
    EXPECT_EQ(total, best);
}

namespace {

// One visit of the chain programme to a start: the first-only list, then the
// first-and-later list, then the later-only one, each in increasing order.
// Lists may share starts, so a start can be visited up to three times.
struct Visit {
    int32_t cell;
    bool firstOnly;
};

// D and B of every cell from every chain of visits, no programme involved. A
// chain is a run of visits in visiting order; each visit after the first
// follows the latest earlier visit of a cell Tmin..Tmax before its own (with
// Tmin = 0 its own cell's earlier visit too), every proper prefix totals above
// 0, and a first-only visit can only open a chain. A visit's D is the best
// total of the chains ending there; its B the lowest cell before it among the
// best chains of two or more visits, or kChainBegins when there is none.
struct ChainsByEnumeration {
    std::vector<int64_t> D;
    std::vector<int32_t> B;
    int selfTies = 0;  // visits whose own cell's earlier visit tied with the lowest best link

    ChainsByEnumeration(const std::vector<int64_t>& E, const std::vector<Visit>& visits, int Tmin, int Tmax)
        : D(E.size(), detection::chainEmptyCell<int64_t>), B(E.size(), detection::kNoStart)
    {
        const size_t n = visits.size();
        // The visit a later one reads on a cell: the latest before it.
        auto latestBefore = [&](size_t v, int32_t cell) -> int64_t {
            for (size_t u = v; u-- > 0;)
                if (visits[u].cell == cell)
                    return static_cast<int64_t>(u);
            return -1;
        };
        std::vector<int64_t> bestPrefix(n, std::numeric_limits<int64_t>::lowest());
        std::vector<int32_t> lowestLink(n, detection::kChainBegins);
        // Walks every chain from its first visit on.
        auto walk = [&](auto&& self, size_t at, int64_t total) -> void {
            for (size_t v = at + 1; v < n; ++v) {
                const int32_t gap = visits[v].cell - visits[at].cell;
                if (visits[v].firstOnly || total <= 0 || gap < Tmin || gap > Tmax ||
                    latestBefore(v, visits[at].cell) != static_cast<int64_t>(at))
                    continue;
                if (total > bestPrefix[v] || (total == bestPrefix[v] && visits[at].cell < lowestLink[v])) {
                    bestPrefix[v] = total;
                    lowestLink[v] = visits[at].cell;
                }
                self(self, v, total + E[static_cast<size_t>(visits[v].cell)]);
            }
        };
        for (size_t v = 0; v < n; ++v)
            walk(walk, v, E[static_cast<size_t>(visits[v].cell)]);
        for (size_t v = 0; v < n; ++v) {
            const size_t cell = static_cast<size_t>(visits[v].cell);
            if (Tmin == 0 && lowestLink[v] >= 0 && lowestLink[v] < visits[v].cell &&
                latestBefore(v, visits[v].cell) >= 0 && D[cell] == bestPrefix[v])
                ++selfTies;
            if (visits[v].firstOnly) {
                D[cell] = E[cell];
                B[cell] = detection::kFirstPulseOnly;
            } else {
                const bool linked = lowestLink[v] != detection::kChainBegins;
                D[cell] = E[cell] + (linked ? bestPrefix[v] : 0);
                B[cell] = lowestLink[v];
            }
        }
    }
};

StartIntervals intervalsOfCells(const std::vector<bool>& in)
{
    StartIntervals list;
    for (int32_t p = 0; p < static_cast<int32_t>(in.size()); ++p)
        if (in[static_cast<size_t>(p)]) {
            if (!list.empty() && list.back().hi == p - 1)
                list.back().hi = p;
            else
                list.push_back({p, p});
        }
    return list;
}

}  // namespace

TEST(ChainCore, NoGapChainsAreTheBestOfEveryChainWithTheLowestLinkOnTies)
{
    // Gaps from 0 on, lists sharing starts and scores of a few values, so that
    // a start re-visited with Tmin = 0 often ties with an earlier predecessor:
    // the earlier one is kept.
    std::mt19937 rng(2027);
    int selfTies = 0, chainsFollowed = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int N = 1 + static_cast<int>(rng() % 9);
        const int Tmin = trial % 4 == 3 ? 1 + static_cast<int>(rng() % 2) : 0;
        const int Tmax = Tmin + static_cast<int>(rng() % 4);
        std::vector<int64_t> E(static_cast<size_t>(N));
        for (int64_t& e : E)
            e = static_cast<int64_t>(rng() % 5) - 1;
        std::array<std::vector<bool>, 4> in;  // first only, first and later, later only, last
        for (auto& cells : in) {
            cells.assign(static_cast<size_t>(N), false);
            for (int p = 0; p < N; ++p)
                cells[static_cast<size_t>(p)] = rng() % 2 == 0;
        }
        const std::array<StartIntervals, 4> lists{intervalsOfCells(in[0]), intervalsOfCells(in[1]),
                                                  intervalsOfCells(in[2]), intervalsOfCells(in[3])};
        std::vector<Visit> visits;
        for (int g = 0; g < 3; ++g)
            for (int p = 0; p < N; ++p)
                if (in[static_cast<size_t>(g)][static_cast<size_t>(p)])
                    visits.push_back({p, g == 0});
        SCOPED_TRACE("trial " + std::to_string(trial) + ": N " + std::to_string(N) + " Tmin " + std::to_string(Tmin) +
                     " Tmax " + std::to_string(Tmax));
        const ChainsByEnumeration model(E, visits, Tmin, Tmax);

        const detection::ChainRegions regions{lists[0], lists[1], lists[2], lists[3]};
        std::vector<int64_t> D(E.size());
        std::vector<int32_t> B(E.size()), positions;
        detection::runChainProgramme<int64_t>(E, regions, Tmin, Tmax, D, B);
        ASSERT_EQ(D, model.D);
        ASSERT_EQ(B, model.B);

        // The best chain: the lowest end of the last list with the greatest D
        // above 0, walked back while the links lie earlier.
        int64_t top = 0;
        int32_t end = -1;
        for (const auto& iv : lists[3])
            for (int32_t p = iv.lo; p <= iv.hi; ++p)
                if (model.D[static_cast<size_t>(p)] > top) {
                    top = model.D[static_cast<size_t>(p)];
                    end = p;
                }
        std::vector<int32_t> chain;
        for (int32_t p = end; p >= 0; p = model.B[static_cast<size_t>(p)]) {
            chain.insert(chain.begin(), p);
            if (model.B[static_cast<size_t>(p)] >= p)
                break;
        }
        EXPECT_EQ(detection::followBestChain<int64_t>(regions, D, B, positions), top);
        ASSERT_EQ(positions, chain);
        chainsFollowed += chain.size() > 1;

        // The records' programme on the same sets, its totals in 32 bits.
        detection::StartRegions records;
        for (int g : {detection::omegaFirstOnly, detection::omegaFirstAndLater, detection::omegaLaterOnly,
                      detection::omegaLast}) {
            const StartIntervals& list = lists[g == detection::omegaFirstOnly       ? 0
                                               : g == detection::omegaFirstAndLater ? 1
                                               : g == detection::omegaLaterOnly     ? 2
                                                                                    : 3];
            records.sets[g] = detection::getIntervalSet(nullptr, 8);
            for (const auto& iv : list)
                detection::addInterval(records.sets[g].get(), static_cast<uint16_t>(iv.lo),
                                       static_cast<uint16_t>(iv.hi));
        }
        detection::ChainTables t;
        ASSERT_TRUE(detection::allocateChainTables(t, static_cast<uint32_t>(N)));
        t.E.assign(E.begin(), E.end());
        detection::runChainProgramme(records, t, static_cast<uint16_t>(Tmin), static_cast<uint16_t>(Tmax));
        for (size_t p = 0; p < E.size(); ++p) {
            const bool start = model.B[p] != detection::kNoStart;
            ASSERT_EQ(t.D[p], start ? model.D[p] : detection::noChainValue) << p;
            ASSERT_EQ(t.B[p], start ? model.B[p] : N + 1) << p;
        }

        selfTies += model.selfTies;
    }
    std::printf("[   info   ] %d chains followed, %d re-visited starts tied with an earlier link\n", chainsFollowed,
                selfTies);
    EXPECT_GT(chainsFollowed, 800);
    EXPECT_GT(selfTies, 300);
}
