#include "commands/detect_many.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>

#include "base/formatted_text.h"
#include "commands/detect_limits.h"
#include "commands/detect_series.h"
#include "commands/option_parser.h"
#include "commands/part_file_io.h"
#include "commands/simulation_share.h"
#include "detection/parallel_work.h"
#include "files/json.h"
#include "files/path_lists.h"
#include "files/series_readers.h"

#ifndef QUILLMORE_VERSION
#define QUILLMORE_VERSION "unknown"
#endif

namespace commands {

namespace {

using files::DetectionFileResult;

// The files of the run, in order: the arguments' patterns expanded, then
// the paths of --files.
bool runFiles(const DetectOptions& o, std::vector<std::string>& paths, std::string& error)
{
    for (const std::string& input : o.inputs)
        if (!files::expandPathPattern(input, paths, error))
            return false;
    if (o.filesList && !files::readPathList(*o.filesList, paths, error))
        return false;
    if (paths.empty()) {
        error = "the list of files is empty";
        return false;
    }
    return true;
}

// A CSV cell: as it is, or quoted with its quotes doubled when it holds a
// comma, a quote or a line break.
std::string csvCell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// The read options of each series --columns asks of `path`: every column
// (or channel) or the listed ones. Without --columns, the options as given.
bool seriesOfFile(const DetectOptions& o, const std::string& path, std::vector<files::SeriesReadOptions>& choices,
                  std::string& error)
{
    if (!o.columns) {
        choices.push_back(o.read);
        return true;
    }
    files::SeriesReadOptions first = o.read;
    first.column.clear();
    first.channel.reset();
    const files::SeriesReadResult read = files::readSeriesFile(path, first);
    if (!read.ok) {
        error = read.error;
        return false;
    }
    const files::SeriesData& data = read.data;
    const bool sound = data.format == files::SeriesFormat::Sound;
    if (*o.columns == "all") {
        if (sound)
            for (int32_t c = 1; c <= data.channels; ++c) {
                choices.push_back(first);
                choices.back().channel = c;
            }
        for (int32_t c : data.numberColumns) {
            choices.push_back(first);
            choices.back().column = std::to_string(c);
        }
        if (choices.empty())
            choices.push_back(first);
        return true;
    }
    for (size_t from = 0; from <= o.columns->size();) {
        const size_t comma = std::min(o.columns->find(',', from), o.columns->size());
        const std::string item = o.columns->substr(from, comma - from);
        from = comma + 1;
        choices.push_back(first);
        if (!sound) {
            choices.back().column = item;
            continue;
        }
        int64_t channel = 0;
        if (!wholeNumber(item, 1, 65535, channel)) {
            error = path + ": a sound file's channels are chosen by number, not by '" + item + "'";
            return false;
        }
        choices.back().channel = static_cast<int32_t>(channel);
    }
    return true;
}

// One file of the run: each of its series detected in turn on `threads`
// threads, the output as the run prints it. False when Ctrl-C stopped it.
bool detectFile(const DetectOptions& o, const std::string& path, unsigned threads, InterruptWatch& interrupt,
                DetectionFileResult& file)
{
    std::vector<files::SeriesReadOptions> choices;
    std::string error;
    auto failure = [&](const std::string& column, const std::string& reason) {
        ++file.failed;
        if (!o.json)
            return;
        files::JsonWriter j;
        j.beginObject();
        j.field("file", std::string_view(path)).field("column", std::string_view(column));
        j.field("error", std::string_view(reason));
        j.endObject();
        file.out += j.text() + "\n";
    };
    if (!seriesOfFile(o, path, choices, error)) {
        base::appendFormat(file.err, "quillmore-cli detect: %s\n", error.c_str());
        ++file.series;
        failure("", error);
        return true;
    }
    for (const files::SeriesReadOptions& read : choices) {
        DetectOptions one = o;
        one.file = path;
        one.read = read;
        const SeriesRun run = detectSeries(one, threads, interrupt, false);
        if (run.code == 130)
            return false;
        ++file.series;
        file.err += run.err;
        if (!run.reason.empty()) {
            failure(read.channel ? std::to_string(*read.channel) : read.column, run.reason);
            continue;
        }
        if (o.csv) {
            // The pulses' rows without their header, the file and column in front.
            const std::string front = csvCell(path) + "," + csvCell(run.columnName) + ",";
            const std::string& rows = run.csvRows;
            for (size_t line = rows.find('\n') + 1; line < rows.size();) {
                const size_t end = rows.find('\n', line);
                file.out += front;
                file.out.append(rows, line, end - line + 1);
                line = end + 1;
            }
        } else {
            if (!o.json && !file.out.empty())
                file.out += "\n";
            file.out += run.out;
        }
    }
    return true;
}

// Prints the files' results in order as the whole run prints them: the CSV
// header first, a blank line between the texts of two series.
class ManyPrinter {
  public:
    explicit ManyPrinter(const std::string& output) : text_(output == "text")
    {
        if (output == "csv")
            std::printf("file,column,pulse,start,end,centre,time,centre_time,amplitude,score,snr\n");
    }
    void print(const DetectionFileResult& r)
    {
        if (text_ && !r.out.empty()) {
            if (started_)
                std::fputs("\n", stdout);
            started_ = true;
        }
        std::fputs(r.out.c_str(), stdout);
        std::fflush(stdout);
        std::fputs(r.err.c_str(), stderr);
        series += r.series;
        failed += r.failed;
    }
    uint64_t series = 0, failed = 0;

  private:
    bool text_;
    bool started_ = false;
};

// The processors to share: series at once times threads for each stays
// within them unless both are given.
void shareProcessors(const DetectOptions& o, size_t files, unsigned fallback, const char* program, bool quiet,
                     unsigned& jobs, unsigned& threads)
{
    const unsigned processors = simulationThreads(std::nullopt, fallback, program, quiet);
    jobs = o.jobs ? static_cast<unsigned>(*o.jobs) : static_cast<unsigned>(std::clamp<size_t>(files, 1, processors));
    threads = o.threads ? static_cast<unsigned>(*o.threads) : std::max(1u, processors / jobs);
}

// Detects files [first, end) of `paths`, `jobs` at once; `done` hears each
// file's result on the calling thread, in order. False when Ctrl-C stopped
// the run (the results from the first file it stopped are not heard).
bool detectFilesInOrder(const DetectOptions& o, const std::vector<std::string>& paths, uint64_t first, uint64_t end,
                        unsigned jobs, unsigned threads, bool showProgress,
                        const std::function<void(DetectionFileResult&)>& done)
{
    const size_t count = static_cast<size_t>(end - first);
    std::vector<DetectionFileResult> results(count);
    std::vector<char> ready(count, 0);
    std::mutex lock;
    std::atomic<bool> stopped{false};
    size_t heard = 0;
    auto hearReady = [&] {
        std::unique_lock<std::mutex> guard(lock);
        while (heard < count && ready[heard] == 1) {
            DetectionFileResult result = std::move(results[heard]);
            ++heard;
            guard.unlock();
            done(result);
            guard.lock();
        }
    };
    InterruptWatch interrupt;
    const detection::ProgressCallback shown =
        showProgress ? simulationProgress(o.progress, std::chrono::steady_clock::now(), "files")
                     : detection::ProgressCallback{};
    constexpr uint64_t kFile = detection::WorkMeter::kLookEvery;  // one file's units: every file is heard
    detection::WorkMeter meter(
        [&](uint64_t doneUnits, uint64_t total) {
            hearReady();
            if (shown)
                shown(doneUnits / kFile, total / kFile);
            return !interrupt.interrupted();
        },
        count * kFile);
    detection::runTasks(count, jobs, meter, [&](size_t i, detection::WorkMeter& m) {
        DetectionFileResult result;
        const bool whole = detectFile(o, paths[first + i], threads, interrupt, result);
        {
            std::lock_guard<std::mutex> guard(lock);
            results[i] = std::move(result);
            ready[i] = whole ? 1 : 2;
            if (!whole)
                stopped = true;
        }
        m.advance(kFile);
    });
    hearReady();
    return !stopped && !interrupt.interrupted();
}

}  // namespace

std::string detectOutputName(const DetectOptions& o) { return o.json ? "json" : o.csv ? "csv" : "text"; }

int detectShare(const DetectOptions& o, const std::vector<std::string>& args, uint32_t shard, uint32_t shards,
                unsigned processors, const char* program, bool quiet, files::DetectionPartFile& part)
{
    part = files::DetectionPartFile{};
    part.run.producer = "quillmore " QUILLMORE_VERSION;
    part.run.options = detectRunWords(args);
    part.run.output = detectOutputName(o);
    std::string error;
    if (!runFiles(o, part.run.files, error)) {
        if (!quiet)
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 2;
    }
    part.shard = shard;
    part.shards = shards;
    files::detectionShare(part.run.files.size(), shard, shards, part.firstFile, part.endFile);
    unsigned jobs = 1, threads = 1;
    shareProcessors(o, static_cast<size_t>(part.endFile - part.firstFile), processors, program, quiet, jobs, threads);
    const bool whole = detectFilesInOrder(o, part.run.files, part.firstFile, part.endFile, jobs, threads, !quiet,
                                          [&](DetectionFileResult& r) { part.results.push_back(std::move(r)); });
    if (!whole) {
        if (!quiet)
            std::fprintf(stderr, "%s: interrupted\n", program);
        return 130;
    }
    part.digest = files::detectionRunDigest(part.run);
    return 0;
}

int detectMany(const DetectOptions& o, const std::vector<std::string>& args)
{
    const auto started = std::chrono::steady_clock::now();
    const char* program = "quillmore-cli detect";
    if (o.shard) {
        files::DetectionPartFile part;
        if (const int code =
                detectShare(o, args, o.shard->index, o.shard->count, availableProcessors(), program, false, part);
            code != 0)
            return code;
        uint64_t series = 0, failed = 0;
        for (const DetectionFileResult& r : part.results) {
            series += r.series;
            failed += r.failed;
        }
        std::string error;
        if (!replaceFile(*o.out, files::writeDetectionPart(part), error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return 1;
        }
        std::fprintf(
            stderr, "detect: shard %u/%u: %llu of %zu files, %llu series, %llu failed, written to %s, %.2f s\n",
            part.shard, part.shards, static_cast<unsigned long long>(part.endFile - part.firstFile),
            part.run.files.size(), static_cast<unsigned long long>(series), static_cast<unsigned long long>(failed),
            o.out->c_str(), std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        return 0;
    }

    std::vector<std::string> paths;
    std::string error;
    if (!runFiles(o, paths, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 2;
    }
    unsigned jobs = 1, threads = 1;
    shareProcessors(o, paths.size(), availableProcessors(), program, false, jobs, threads);
    ManyPrinter printer(detectOutputName(o));
    const bool whole = detectFilesInOrder(o, paths, 0, paths.size(), jobs, threads, true,
                                          [&](DetectionFileResult& r) { printer.print(r); });
    if (!whole) {
        std::fprintf(stderr, "%s: interrupted\n", program);
        return 130;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "detect: %llu series of %zu files, %llu failed, %u at once on %u threads each, %.2f s\n",
                 static_cast<unsigned long long>(printer.series), paths.size(),
                 static_cast<unsigned long long>(printer.failed), jobs, threads, seconds);
    return printer.failed > 0 ? 1 : 0;
}

int printDetectionParts(const char* program, std::span<const files::DetectionPartFile> parts,
                        std::span<const std::string> names)
{
    std::string error;
    if (!files::checkDetectionPartSet(parts, names, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::vector<const files::DetectionPartFile*> order;
    for (const files::DetectionPartFile& p : parts)
        order.push_back(&p);
    std::sort(order.begin(), order.end(), [](const files::DetectionPartFile* a, const files::DetectionPartFile* b) {
        return a->firstFile < b->firstFile;
    });
    ManyPrinter printer(parts.front().run.output);
    for (const files::DetectionPartFile* p : order)
        for (const files::DetectionFileResult& r : p->results)
            printer.print(r);
    std::fprintf(stderr, "detect: %llu series of %zu files, %llu failed, from %zu parts\n",
                 static_cast<unsigned long long>(printer.series), parts.front().run.files.size(),
                 static_cast<unsigned long long>(printer.failed), parts.size());
    return printer.failed > 0 ? 1 : 0;
}

}  // namespace commands
