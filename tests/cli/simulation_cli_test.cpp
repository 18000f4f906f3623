// The simulation from the command line split up: over threads, over shards
// put together by `merge`. Whatever the split, a script reads the same bytes
// and exit code as from one `simulate`; what cannot be put together is
// refused, and a part file on disk is either the old one or the whole new one.

#include <gtest/gtest.h>

#include "command_output.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "files/png_image.h"
#include "files/simulation_parts.h"
#include "platform/bitmap.h"
#include "tests/files/files_test_support.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code = -1;
    std::string out, err;
    bool operator==(const Outcome&) const = default;
};

// A scratch folder that runs the tool.
class Scratch : public files_test::ScratchDir {
  public:
    std::string path(const std::string& name) const { return file(name); }
    std::vector<std::string> names() const
    {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(file("")))
            all.push_back(e.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }

    // The tool run through the shell (so that `prefix` may set limits and
    // variables), standard output and standard error kept apart.
    Outcome run(const std::string& arguments, const std::string& prefix = "") const
    {
        const std::string err = path("stderr.txt");
        const std::string command = prefix + " " + QUILLMORE_CLI + " " + arguments + " 2>" + err;
        const CommandOutput ran = runCommandLine(command);
        Outcome r;
        r.out = ran.out;
        r.code = ran.exitCode;
        r.err = files_test::readText(err);
        fs::remove(err);
        return r;
    }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Small grids of tasks 8 (known count), 16 (unknown count) and 32 (blind
// detection over two etalons, so that the etalon odometer turns).
const std::array<const char*, 3> kCases = {
    "--series-type fixed --task joint --from 6 --to 8 --noise-steps 3 --noise-incr 20 --repeats 3",
    "--series-type unfixed --task joint --from 6 --to 7 --noise-from 5 --noise-steps 2 --noise-incr 15 --repeats 3",
    "--series-type unfixed --task detection --etalons 3,7 --from 6 --to 8 --incr 2 --noise-steps 2 --repeats 5",
};
const std::array<const char*, 3> kFormats = {"", "--json", "--csv"};

// Writes the parts of shards 1..n of `options` and returns their paths.
std::vector<std::string> writeShards(const Scratch& dir, const std::string& options, int n, const std::string& stem)
{
    std::vector<std::string> paths;
    for (int k = 1; k <= n; ++k) {
        const std::string path = dir.path(stem + "-" + std::to_string(k) + ".json");
        // Threads and output format are no part of a part.
        const std::string extra = std::string(k % 2 ? " --threads 3" : " --threads 1") + (k == 2 ? " --json" : "");
        const std::string kOfN = std::to_string(k) + "/" + std::to_string(n);
        const Outcome shard = dir.run("simulate " + options + " --shard " + kOfN + " --out " + path + extra);
        EXPECT_EQ(shard.code, 0) << shard.err;
        EXPECT_EQ(shard.out, "");
        paths.push_back(path);
    }
    return paths;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& w : words)
        text += " " + w;
    return text;
}

}  // namespace

TEST(CliSimulation, AnyThreadCountPrintsTheSameBytes)
{
    Scratch dir;
    for (const char* options : kCases)
        for (const char* format : kFormats) {
            const std::string base = std::string("simulate ") + options + " " + format;
            const Outcome one = dir.run(base + " --threads 1");
            ASSERT_EQ(one.code, 0) << base << "\n" << one.err;
            ASSERT_FALSE(one.out.empty());
            for (const char* threads : {"2", "3", "8"})
                EXPECT_EQ(dir.run(base + " --threads " + threads), one) << base << " --threads " << threads;
        }
}

TEST(CliSimulation, MergedShardsPrintWhatTheWholeRunPrints)
{
    Scratch dir;
    std::mt19937 shuffle(20240607);
    for (size_t c = 0; c < kCases.size(); ++c)
        for (const int n : {1, 2, 5}) {
            const std::string stem = std::string(1, static_cast<char>('a' + c)) + std::to_string(n);
            std::vector<std::string> parts = writeShards(dir, kCases[c], n, stem);
            for (const char* format : kFormats) {
                std::shuffle(parts.begin(), parts.end(), shuffle);
                const Outcome whole = dir.run(std::string("simulate ") + kCases[c] + " " + format + " --threads 1");
                ASSERT_EQ(whole.code, 0) << whole.err;
                EXPECT_EQ(dir.run("merge" + joined(parts) + " " + format), whole)
                    << kCases[c] << " in " << n << " shards, " << format;
            }
        }
}

TEST(CliSimulation, MoreShardsThanSeriesStillMerge)
{
    Scratch dir;
    const std::string options = "--from 6 --to 7 --noise-steps 1 --repeats 1";  // two series
    std::vector<std::string> parts = writeShards(dir, options, 5, "p");
    std::reverse(parts.begin(), parts.end());
    EXPECT_EQ(dir.run("merge" + joined(parts) + " --json"), dir.run("simulate " + options + " --json"));
}

TEST(CliSimulation, BadShardsThreadsAndTargetsEndWithCode2)
{
    Scratch dir;
    fs::create_directory(dir.path("folder"));
    const std::string out = " --out " + dir.path("p.json");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"--shard 0/2" + out, "--shard"},
        {"--shard 3/2" + out, "--shard"},
        {"--shard 1/0" + out, "--shard"},
        {"--shard a/b" + out, "--shard"},
        {"--shard 1/2/3" + out, "--shard"},
        {"--shard -1/2" + out, "--shard"},
        {"--shard 1/2", "--shard needs --out"},
        {out, "--out needs --shard"},
        {"--shard 1/2 --out " + dir.path("folder"), "is a folder"},
        {"--shard 1/2 --out " + dir.path("no/such/p.json"), "does not exist"},
        {"--threads 0", "--threads"},
        {"--threads abc", "--threads"},
        {"--threads 5000", "--threads"},
        {"--threads", "--threads"},
        {"--plot " + dir.path("c.png") + " --shard 1/2" + out,
         "--plot and --shard exclude each other: a shard holds part of the run; give --plot to merge"},
        {"--size 800x600", "--size needs --plot FILE.png, the picture it sizes"},
        {"--plot " + dir.path("c.png") + " --size 800x100", "--size must be WxH"},
        {"--plot " + dir.path("c.jpg"), "the plot is written as PNG; give a name ending in .png"},
        {"--plot ''", "--plot needs a file name"},
    };
    for (const auto& [arguments, named] : refused) {
        const Outcome r = dir.run("simulate --from 6 --to 7 --noise-steps 1 --repeats 1 " + arguments);
        EXPECT_EQ(r.code, 2) << arguments;
        EXPECT_TRUE(has(r.err, named)) << arguments << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"folder"}) << "no part was written";

    // A simulation that refuses its grid ends as `simulate` does, and leaves no part.
    const std::string noisy =
        "simulate --from 6 --to 7 --noise-from 10900 --noise-incr 100 --noise-steps 2 --repeats 1";
    const Outcome whole = dir.run(noisy);
    const Outcome shard = dir.run(noisy + " --shard 2/2" + out);
    EXPECT_EQ(whole.code, 1);
    EXPECT_EQ(shard.code, 1);
    const auto messages = [](const std::string& err) { return err.substr(0, err.rfind("quillmore-cli")); };
    EXPECT_EQ(messages(shard.err), messages(whole.err));
    EXPECT_TRUE(has(whole.err, "noise level 11000"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"folder"});

    // A thread count from the environment that is no count is passed over, with a word.
    const Outcome bad = dir.run("simulate --from 6 --to 7 --noise-steps 1 --repeats 2 --csv", "OMP_NUM_THREADS=lots");
    EXPECT_EQ(bad.code, 0);
    EXPECT_TRUE(has(bad.err, "OMP_NUM_THREADS='lots'")) << bad.err;
    EXPECT_EQ(bad.out, dir.run("simulate --from 6 --to 7 --noise-steps 1 --repeats 2 --csv").out);
}

TEST(CliSimulation, MergeRefusesWhatIsNotOneWholeRun)
{
    Scratch dir;
    const std::string options = "--from 6 --to 8 --noise-steps 2 --repeats 2";
    const std::vector<std::string> thirds = writeShards(dir, options, 3, "third");
    const std::vector<std::string> halves = writeShards(dir, options, 2, "half");
    const std::vector<std::string> other = writeShards(dir, options + " --noise-incr 7", 3, "other");
    const std::string truncated = dir.path("truncated.json"), junk = dir.path("junk.json");
    {
        const std::string bytes = files_test::readText(thirds[2]);
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
        std::ofstream(junk, std::ios::binary) << "noise,6,7,8\n0,0,0,0\n";
    }
    const std::vector<std::pair<std::string, std::string>> refused = {
        {thirds[0] + " " + thirds[2], "no part holds series 5 to 8 of 12: the set is incomplete"},
        {thirds[0] + " " + thirds[1], "no part holds series 9 to 12 of 12"},
        {thirds[0] + " " + halves[0] + " " + halves[1], "both hold series 1 to 4 of 12"},
        {thirds[0] + " " + thirds[1] + " " + other[2], "is of another run than"},
        {thirds[0] + " " + thirds[1] + " " + thirds[1] + " " + thirds[2], "are both shard 2/3"},
        {thirds[0] + " " + thirds[1] + " " + truncated, "truncated.json: cut off"},
        {thirds[0] + " " + junk, "junk.json: not a simulation part"},
        {thirds[0] + " " + dir.path("missing.json"), "cannot read"},
    };
    for (const auto& [arguments, why] : refused) {
        const Outcome r = dir.run("merge " + arguments);
        EXPECT_EQ(r.code, 1) << arguments;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(has(r.err, why)) << arguments << ": " << r.err;
    }
    EXPECT_EQ(dir.run("merge").code, 2);
    EXPECT_EQ(dir.run("merge --tsv " + joined(thirds)).code, 2);
    EXPECT_EQ(dir.run("merge" + joined(thirds)).code, 0);
    EXPECT_EQ(dir.run("merge" + joined(other)).code, 0);
}

TEST(CliSimulation, AFailedWriteLeavesTheOldPartWhole)
{
    Scratch dir;
    const std::string options =
        "simulate --from 6 --to 8 --noise-steps 2 --repeats 2 --shard 2/2 --out " + dir.path("p.json");
    ASSERT_EQ(dir.run(options).code, 0);
    const std::string good = files_test::readText(dir.path("p.json"));
    ASSERT_GT(good.size(), 8192u) << "the part holds the last series";

    // Files may grow to 4 KiB only: the new part cannot be written whole.
    const Outcome r = dir.run(options + " --repeats 3", "trap '' XFSZ; ulimit -f 4;");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "--out: cannot write")) << r.err;
    EXPECT_EQ(files_test::readText(dir.path("p.json")), good);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"p.json"}) << "the unfinished file is gone";

    // Written again without the limit, the part is replaced.
    ASSERT_EQ(dir.run(options + " --repeats 3").code, 0);
    EXPECT_NE(files_test::readText(dir.path("p.json")), good);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"p.json"});
}

TEST(CliSimulation, MergeTellsEveryMessageInTheOrderOfTheRun)
{
    // Runs of this workbench show no messages once they start; parts that
    // carry some are made here from real ones.
    Scratch dir;
    const std::string options = "--from 6 --to 7 --noise-steps 2 --repeats 3";
    const std::vector<std::string> paths = writeShards(dir, options, 2, "m");
    for (size_t k = 0; k < paths.size(); ++k) {
        files::SimulationPartFile part;
        std::string error;
        ASSERT_TRUE(files::readSimulationPart(files_test::readText(paths[k]), part, error)) << error;
        part.run.setupMessages.push_back({"set up", " setup ", base::MessageIcon::Warning});
        for (uint64_t s = part.part.endSeries; s-- > part.part.firstSeries;)
            if (s % 2 == 0)
                part.part.messages.insert(
                    part.part.messages.begin(),
                    {s, base::RecordedMessage{"at " + std::to_string(s), "series", base::MessageIcon::None}});
        std::ofstream(paths[k], std::ios::binary | std::ios::trunc) << files::writeSimulationPart(part);
    }
    const Outcome text = dir.run("merge " + paths[1] + " " + paths[0]);
    EXPECT_EQ(text.code, 0);
    EXPECT_EQ(text.err,
              " setup : set up\nseries: at 0\nseries: at 2\nseries: at 4\nseries: at 6\nseries: at 8\n"
              "series: at 10\n");
    EXPECT_EQ(text.out, dir.run("simulate " + options).out);
    // As `simulate --json` does, JSON output keeps the messages to itself.
    const Outcome json = dir.run("merge " + paths[0] + " " + paths[1] + " --json");
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(json.out, dir.run("simulate " + options + " --json").out);
}

TEST(CliSimulation, ProgressRecordsGoToStandardErrorAndEndAtTheTotal)
{
    Scratch dir;
    const std::string options =
        "simulate --series-type unfixed --task joint --from 6 --to 8 --noise-steps 2 --repeats 5";
    const Outcome plain = dir.run(options);
    const Outcome shown = dir.run(options + " --progress");
    EXPECT_EQ(shown.out, plain.out);
    ASSERT_FALSE(shown.err.empty());
    std::vector<std::string> records;
    for (size_t at = 0; at < shown.err.size();) {
        const size_t end = shown.err.find('\n', at);
        records.push_back(shown.err.substr(at, end - at));
        at = end == std::string::npos ? shown.err.size() : end + 1;
    }
    for (const std::string& line : records)
        EXPECT_EQ(line.rfind("progress ", 0), 0u) << line;
    EXPECT_EQ(records.back().rfind("progress 30/30 series 100.0% elapsed ", 0), 0u) << records.back();
    EXPECT_TRUE(records.back().ends_with(" left 0 s")) << records.back();
}

// The chart is written beside the output, which stays the same bytes with
// and without it in every format; the messages and the exit code too. merge
// draws the same chart from the parts, and refuses a --size without --plot.
TEST(CliSimulation, PlotLeavesTheOutputAsItIsAndMergeDrawsTheSameChart)
{
    Scratch dir;
    for (size_t c = 0; c < 2; ++c) {
        const std::string options = kCases[c];
        for (const char* format : kFormats) {
            const std::string base = "simulate " + options + " " + format;
            const Outcome plain = dir.run(base);
            ASSERT_EQ(plain.code, 0) << plain.err;
            const std::string png = dir.path("chart.png");
            EXPECT_EQ(dir.run(base + " --plot " + png), plain) << base;
            platform::Bitmap picture;
            std::string error;
            ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
            EXPECT_EQ(picture.width, 1600);
            EXPECT_EQ(picture.height, 900);
            EXPECT_EQ(dir.run(base + " --size=640x400 --plot=" + png), plain) << base;
            ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
            EXPECT_EQ(picture.width, 640);
            EXPECT_EQ(picture.height, 400);
        }

        const std::string whole = dir.path("whole.png"), merged = dir.path("merged.png");
        ASSERT_EQ(dir.run("simulate " + options + " --plot " + whole + " --size 900x500").code, 0);
        const std::vector<std::string> parts = writeShards(dir, options, 3, "p" + std::to_string(c));
        const Outcome m = dir.run("merge" + joined(parts) + " --csv --plot " + merged + " --size 900x500");
        EXPECT_EQ(m.code, 0) << m.err;
        EXPECT_EQ(m.out, dir.run("simulate " + options + " --csv").out);
        platform::Bitmap a, b;
        std::string error;
        ASSERT_TRUE(files::readPngFile(whole, a, error)) << error;
        ASSERT_TRUE(files::readPngFile(merged, b, error)) << error;
        EXPECT_EQ(b.width, a.width);
        EXPECT_TRUE(b.pixels == a.pixels) << "merge drew another chart";

        const Outcome idle = dir.run("merge" + joined(parts) + " --size 900x500");
        EXPECT_EQ(idle.code, 2);
        EXPECT_EQ(idle.err, "quillmore-cli merge: --size needs --plot FILE.png, the picture it sizes\n");
    }

    // A chart that cannot be written ends with code 1 after the output.
    const std::string base = std::string("simulate ") + kCases[0] + " --csv";
    const Outcome failed = dir.run(base + " --plot " + dir.path("no/such/folder/c.png"));
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(failed.out, dir.run(base).out);
    EXPECT_TRUE(has(failed.err, "quillmore-cli simulate: cannot write")) << failed.err;
}
