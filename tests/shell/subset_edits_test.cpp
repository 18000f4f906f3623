// The subset's edits (append, mark, delete the marked, delete all) against a
// plain model over many generated edit sequences.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "shell/subset_grid.h"

namespace {

struct Entry {
    int32_t number = 0;
    int32_t mark = 0;
};

// What the subset holds: its numbers and marks in use, and zeros behind them.
std::vector<Entry> entriesOf(const shell::AppState& s)
{
    std::vector<Entry> in;
    for (int32_t k = 0; k < s.subsetCapacity; ++k) {
        const Entry e{s.selectedSubset[static_cast<size_t>(k)],
                      s.selectedSubset[static_cast<size_t>(s.subsetCapacity + k)]};
        if (k < s.subsetCount)
            in.push_back(e);
        else
            EXPECT_TRUE(e.number == 0 && e.mark == 0) << "entry " << k << " behind the subset";
    }
    return in;
}

}  // namespace

TEST(SubsetEdits, FollowAModelOverGeneratedEditSequences)
{
    std::mt19937 random(17);
    for (int run = 0; run < 200; ++run) {
        shell::AppState s;
        base::MessageRecorder sink;
        const uint16_t capacity = static_cast<uint16_t>(1 + random() % 6);
        ASSERT_TRUE(shell::ensureSubsetArrays(s, sink, capacity));
        std::vector<Entry> model;
        for (int step = 0; step < 30; ++step) {
            const int kind = static_cast<int>(random() % 10);
            if (kind < 5) {
                const int32_t number = static_cast<int32_t>(1 + random() % 20);
                shell::appendToSubset(s, number);
                if (model.size() < capacity)
                    model.push_back({number, 0});
            } else if (kind < 8 && !model.empty()) {
                const int32_t j = static_cast<int32_t>(random() % model.size());
                shell::markSubsetEntry(s, j);
                for (size_t k = 0; k < model.size(); ++k)
                    model[k].mark = static_cast<int32_t>(k) == j ? 1 : 0;
            } else if (kind < 9) {
                shell::deleteMarkedSubsetEntry(s);
                for (auto it = model.begin(); it != model.end(); ++it)
                    if (it->mark) {
                        model.erase(it);
                        break;
                    }
            } else {
                shell::clearSubset(s);
                model.clear();
            }
            const std::vector<Entry> got = entriesOf(s);
            ASSERT_EQ(got.size(), model.size()) << "run " << run << " step " << step;
            for (size_t k = 0; k < model.size(); ++k) {
                EXPECT_EQ(got[k].number, model[k].number) << "run " << run << " step " << step << " entry " << k;
                EXPECT_EQ(got[k].mark, model[k].mark) << "run " << run << " step " << step << " entry " << k;
            }
        }
    }
}
