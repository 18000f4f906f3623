// quillmore-cli detect weighs a detection before it runs it and stops on
// Ctrl-C: a layout beyond the limits is refused at once with what to
// change, and SIGINT ends a long run with code 130, one line, and nothing
// on standard output or in the --plot file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "command_output.h"
#include "tests/files/files_test_support.h"

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A noisy one-column series with pulses every 100 to 300 samples.
void writeSeries(const std::string& path, int samples)
{
    std::ofstream out(path);
    uint64_t state = 12345;
    int next = 150;
    for (int i = 0; i < samples; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        int v = static_cast<int>((state >> 33) % 401) - 200;
        if (i >= next && i < next + 20)
            v += 1500;
        if (i == next + 20)
            next += 100 + static_cast<int>((state >> 40) % 201);
        out << v << '\n';
    }
}

CommandOutput run(const std::string& arguments) { return runCli(arguments, true); }

TEST(DetectLimitsCli, ALayoutBeyondTheLimitsIsRefusedBeforeItRuns)
{
    files_test::ScratchDir folder;
    const std::string file = folder.file("s.txt");
    writeSeries(file, 50000);
    // Every count of 1..49991 with its chain: gigabytes and days of work.
    const std::string runaway = "detect " + file + " --unknown --tmin 1 --tmax 2147483647 --pulse-length 10";
    CommandOutput r = run(runaway);
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(has(r.out, "quillmore-cli detect: " + file + ": the detection would take about ")) << r.out;
    EXPECT_TRUE(has(r.out, "raise --max-work")) << r.out;
    r = run(runaway + " --max-work 1e19 --max-memory 1G");
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(has(r.out, "GiB of memory, above the limit of 1.0 GiB (--max-memory); narrow --tmin..--tmax")) << r.out;
    EXPECT_TRUE(has(r.out, "raise --max-memory")) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

    // A small detection fits the smallest limits it needs.
    const std::string small = "detect " + file + " --pulses 3 --tmin 100 --tmax 20000 --pulse-length 20 --csv";
    r = run(small + " --max-memory 64M --max-work 1e9");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = run(small + " --max-memory 100K");
    EXPECT_EQ(r.exitCode, 2) << r.out;
    for (const char* bad : {"4X", "G", "-1", "0", "1.2.3", "2.5GG", ""}) {
        r = run(small + " --max-memory '" + bad + "'");
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_TRUE(has(r.out, "--max-memory must be a size such as 512M, 4G, 2.5G")) << r.out;
    }
    r = run(small + " --max-work 0.5");
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(has(r.out, "--max-work must be a whole number of cell updates from 1")) << r.out;
}

// The bound on the time to stop is generous: the machine may be busy; what
// counts is that the run ends by itself, as asked, long before its end.
TEST(DetectLimitsCli, CtrlCEndsALongRunWith130AndWritesNothing)
{
    files_test::ScratchDir folder;
    const std::string file = folder.file("long.txt"), out = folder.file("out.txt"), err = folder.file("err.txt"),
                      png = folder.file("plot.png");
    writeSeries(file, 300000);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
            _exit(99);
        execl(QUILLMORE_CLI, QUILLMORE_CLI, "detect", file.c_str(), "--unknown", "--tmin", "100", "--tmax", "300",
              "--pulse-length", "20", "--plot", png.c_str(), "--progress", static_cast<char*>(nullptr));
        _exit(98);
    }
    // Into the detection: its first progress line comes after a second of it
    // (the whole run takes many seconds more).
    int status = 0;
    const auto started = std::chrono::steady_clock::now();
    while (!has(files_test::readText(err), "progress ") &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(60)) {
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the run ended before it was interrupted";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(kill(child, SIGINT), 0);
    const auto sent = std::chrono::steady_clock::now();
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - sent < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "still running 30 s after Ctrl-C";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal, not by itself";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(files_test::readText(out), "");
    const std::string errors = files_test::readText(err);
    const std::string last = "quillmore-cli detect: interrupted\n";
    EXPECT_TRUE(errors.size() >= last.size() && errors.substr(errors.size() - last.size()) == last) << errors;
    EXPECT_FALSE(std::filesystem::exists(png));
}

}  // namespace
