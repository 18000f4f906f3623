// quillmore-cli detect over many files against the same files one by one:
// each output format, any number of jobs and threads, patterns, lists,
// every column; the shards of a run put together by merge against the
// whole run, and the sets merge refuses.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "command_output.h"
#include "tests/files/files_test_support.h"

namespace {

namespace fs = std::filesystem;

CommandOutput cli(const std::string& arguments, bool errors = false) { return runCli(arguments, errors); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A folder of series files: tables of a time column and two leads with dips
// of random depth every 90..110 samples, one file that cannot be read, and
// a name with a comma and a quote.
struct Records {
    files_test::ScratchDir dir;
    std::string folder = fs::path(dir.file("x")).parent_path().string();
    std::vector<std::string> paths;

    explicit Records(int count, uint32_t seed)
    {
        std::mt19937 random(seed);
        for (int k = 0; k < count; ++k) {
            const std::string path = folder + "/rec" + std::to_string(k) + (k == 2 ? ",\"odd\"" : "") + ".csv";
            std::ofstream out(path);
            out << "time,mV,II\n";
            const int n = 600 + static_cast<int>(random() % 400);
            int next = 40;
            for (int i = 0; i < n; ++i) {
                const bool dip = i >= next && i < next + 12;
                if (i == next + 12)
                    next += 90 + static_cast<int>(random() % 21);
                out << i * 0.004 << "," << (dip ? -300 : 0) + static_cast<int>(random() % 41) - 20 << ","
                    << (dip ? 200 : 0) + static_cast<int>(random() % 61) - 30 << "\n";
            }
            paths.push_back(path);
        }
    }
    std::string quoted(size_t k) const { return "'" + paths[k] + "'"; }
    std::string all() const
    {
        std::string words;
        for (size_t k = 0; k < paths.size(); ++k)
            words += " " + quoted(k);
        return words;
    }
};

const std::string kLayout = " --unknown --tmin 80 --tmax 120 --pulse-length 12 --invert";

// What a run over many prints, made from one run a series: texts joined by
// blank lines, JSON lines as they are, CSV rows with the file and column in
// front.
std::string expectedMany(const std::vector<std::string>& paths, const std::vector<std::string>& columns,
                         const std::string& format)
{
    std::string whole =
        format == "--csv" ? "file,column,pulse,start,end,centre,time,centre_time,amplitude,score,snr\n" : "";
    bool first = true;
    for (const std::string& path : paths)
        for (const std::string& column : columns) {
            const CommandOutput one = cli("detect '" + path + "' --column " + column + kLayout + " " + format);
            EXPECT_EQ(one.exitCode, 0) << path;
            if (format == "--csv") {
                std::string cell = path.find_first_of(",\"") == std::string::npos ? path : "\"" + path + "\"";
                if (cell.front() == '"')
                    for (size_t q = cell.find("\"", 1); q + 1 < cell.size(); q = cell.find("\"", q + 2))
                        cell.insert(q, "\"");
                for (size_t line = one.out.find('\n') + 1; line < one.out.size();) {
                    const size_t end = one.out.find('\n', line);
                    whole += cell + "," + column + "," + one.out.substr(line, end - line + 1);
                    line = end + 1;
                }
            } else {
                whole += (format.empty() && !first ? "\n" : "") + one.out;
            }
            first = false;
        }
    return whole;
}

TEST(DetectMany, EqualsTheFilesOneByOneInEveryFormatForAnyJobsAndThreads)
{
    const Records records(5, 11);
    for (const std::string format : {"", "--json", "--csv"}) {
        const std::string want = expectedMany(records.paths, {"mV"}, format);
        for (const std::string spread : {"--jobs 1 --threads 1", "--jobs 3 --threads 1", "--jobs 2 --threads 2", ""}) {
            const CommandOutput many =
                cli("detect" + records.all() + " --column mV" + kLayout + " " + format + " " + spread);
            EXPECT_EQ(many.exitCode, 0) << format << spread;
            EXPECT_EQ(many.out, want) << format << " " << spread;
        }
    }
    // Every column but the time column, in the file's order.
    EXPECT_EQ(cli("detect" + records.all() + " --columns all" + kLayout + " --json").out,
              expectedMany(records.paths, {"mV", "II"}, "--json"));
    EXPECT_EQ(cli("detect" + records.all() + " --columns II,mV" + kLayout + " --csv").out,
              expectedMany(records.paths, {"II", "mV"}, "--csv"));
}

TEST(DetectMany, PatternsAndListsGiveTheFilesInOrder)
{
    const Records records(4, 12);
    const std::string want = cli("detect" + records.all() + " --column mV" + kLayout + " --json").out;
    ASSERT_FALSE(want.empty());
    // The program expands the pattern itself, sorted as the names are.
    EXPECT_EQ(cli("detect '" + records.folder + "/rec*.csv' --column mV" + kLayout + " --json").out, want);
    const std::string list = records.folder + "/list.txt";
    std::ofstream(list) << "# the records\n\n  " << records.paths[0] << "  \n"
                        << records.paths[1] << "\n"
                        << records.folder << "/rec[23]*.csv\n";
    EXPECT_EQ(cli("detect --files '" + list + "' --column mV" + kLayout + " --json").out, want);
    EXPECT_EQ(cli("detect " + records.quoted(0) + " --files - --column mV" + kLayout + " --json < '" + list + "'")
                  .out.substr(0, 1),
              "{");

    const CommandOutput none = cli("detect '" + records.folder + "/none*.csv' --column mV" + kLayout, true);
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(has(none.out, "no file matches")) << none.out;
}

TEST(DetectMany, AFailingSeriesLeavesTheOthersAndEndsWithOne)
{
    const Records records(3, 13);
    const std::string bad = records.folder + "/bad.csv";
    std::ofstream(bad) << "time,mV\n0,1\n0.004,x\n";
    const std::string args = " " + records.quoted(0) + " '" + bad + "' " + records.quoted(1) + " --column mV" + kLayout;
    const CommandOutput json = cli("detect" + args + " --json", true);
    EXPECT_EQ(json.exitCode, 1);
    // The good series print as alone, the bad one's reason on standard error
    // and in its own JSON line, in its place.
    const std::string first = cli("detect " + records.quoted(0) + " --column mV" + kLayout + " --json").out;
    const std::string third = cli("detect " + records.quoted(1) + " --column mV" + kLayout + " --json").out;
    const size_t errorLine = json.out.find("{\"file\": \"" + bad + "\", \"column\": \"mV\", \"error\": ");
    ASSERT_NE(errorLine, std::string::npos) << json.out;
    EXPECT_LT(json.out.find(first), errorLine);
    EXPECT_GT(json.out.find(third), errorLine);
    EXPECT_TRUE(has(json.out, "quillmore-cli detect: " + bad + ": line 3")) << json.out;
    EXPECT_TRUE(has(json.out, "3 series of 3 files, 1 failed")) << json.out;
    EXPECT_EQ(cli("detect" + args + " --csv").exitCode, 1);
}

TEST(DetectMany, RefusesWhatTakesOneSeries)
{
    const Records records(2, 14);
    const std::string many = "detect" + records.all() + " --column mV" + kLayout;
    const std::vector<std::pair<std::string, std::string>> refused = {
        {many + " --plot /tmp/x.png", "--plot draws one series"},
        {many + " --counts-csv /tmp/x.csv", "--counts-csv writes the counts of one series"},
        {"detect - " + records.quoted(0) + kLayout, "standard input holds one series"},
        {"detect " + records.quoted(0) + " --jobs 2" + kLayout, "--jobs runs several series at once"},
        {"detect " + records.quoted(0) + " --shard 1/2 --out /tmp/p" + kLayout, "--shard splits a run"},
        {many + " --shard 1/2", "--shard needs --out"},
        {many + " --columns a,,b", "--columns must be all or a list"},
    };
    for (const auto& [line, words] : refused) {
        const CommandOutput r = cli(line, true);
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_TRUE(has(r.out, words)) << line << "\n" << r.out;
    }
}

TEST(DetectShards, MergePrintsWhatTheWholeRunPrints)
{
    const Records records(7, 15);
    const std::string bad = records.folder + "/bad.csv";
    std::ofstream(bad) << "mV\n1\n";
    const std::string run = "detect" + records.all() + " '" + bad + "' --column mV" + kLayout;
    for (const std::string format : {"", "--json", "--csv"}) {
        const CommandOutput whole = cli(run + " " + format);
        EXPECT_EQ(whole.exitCode, 1);
        for (int shards : {1, 3, 8}) {
            std::string parts;
            for (int k = 1; k <= shards; ++k) {
                const std::string part = records.folder + "/part-" + std::to_string(k) + ".json";
                // Jobs and threads are not part of the run: any split of them merges.
                EXPECT_EQ(cli(run + " " + format + " --jobs " + std::to_string(k % 2 + 1) + " --shard " +
                              std::to_string(k) + "/" + std::to_string(shards) + " --out '" + part + "'")
                              .exitCode,
                          0);
                parts = " '" + part + "'" + parts;  // in reverse: merge orders them
            }
            const CommandOutput merged = cli("merge" + parts);
            EXPECT_EQ(merged.exitCode, 1) << format << shards;
            EXPECT_EQ(merged.out, whole.out) << format << " in " << shards << " shards";
            for (int k = 1; k <= shards; ++k)
                fs::remove(records.folder + "/part-" + std::to_string(k) + ".json");
        }
    }

    // Sets that are not one run's whole set.
    auto shard = [&](const std::string& extra, const std::string& which, const std::string& name) {
        const std::string part = records.folder + "/" + name;
        EXPECT_EQ(cli(run + extra + " --shard " + which + " --out '" + part + "'").exitCode, 0);
        return " '" + part + "'";
    };
    const std::string a = shard("", "1/3", "a"), b = shard("", "2/3", "b"), c = shard("", "3/3", "c");
    const std::string other = shard(" --json", "3/3", "other"), half = shard("", "1/2", "half");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {a + b, "no part holds files 6 to 8 of 8: the set is incomplete"},
        {a + b + other, "is of another run than"},
        {a + b + c + b, "are both shard 2/3"},
        {a + half + c, "both hold files 1 to 2 of 8"},
        {a + b + c + " --json", "--json, --csv and --plot are for a simulation's parts"},
    };
    for (const auto& [set, words] : refused) {
        const CommandOutput r = cli("merge" + set, true);
        EXPECT_NE(r.exitCode, 0) << set;
        EXPECT_TRUE(has(r.out, words)) << set << "\n" << r.out;
    }
}

}  // namespace
