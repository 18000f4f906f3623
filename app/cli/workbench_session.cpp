#include "workbench_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/main_window.h"
#include "synthesis/series_synthesis.h"
#include "views/processing_result_text.h"

namespace {

bool parseNumber(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseList(const std::string& text, std::vector<int>& values)
{
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        long v = 0;
        if (!parseNumber(text.substr(start, comma - start), v) || v < 1 || v > 32767)
            return false;
        values.push_back(static_cast<int>(v));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !values.empty();
}

// K/N with 1 <= K <= N <= kMaxShards, digits only.
bool parseShard(const std::string& text, ShardChoice& shard)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    const std::string k = text.substr(0, slash), n = text.substr(slash + 1);
    auto digits = [](const std::string& t) {
        return !t.empty() && t.size() <= 9 && t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(k) || !digits(n))
        return false;
    const long index = std::stol(k), count = std::stol(n);
    if (index < 1 || index > count || count > static_cast<long>(kMaxShards))
        return false;
    shard = {static_cast<uint32_t>(index), static_cast<uint32_t>(count)};
    return true;
}

// A part file can be written at `path`: not a folder, in a folder that exists.
bool checkOutPath(const std::string& path, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = "--out '" + path + "' is a folder; give the part file's name";
        return false;
    }
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        error = "--out '" + path + "': the folder '" + folder.string() + "' does not exist";
        return false;
    }
    return true;
}

// WxH within the bounds of a picture the window could have.
bool parseRenderSize(const std::string& text, int32_t& width, int32_t& height)
{
    const size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    auto digits = [](const std::string& t) {
        return !t.empty() && t.size() <= 5 && t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(w) || !digits(h))
        return false;
    const long wide = std::stol(w), high = std::stol(h);
    if (wide < kMinRenderWidth || wide > kMaxRenderSide || high < kMinRenderHeight || high > kMaxRenderSide)
        return false;
    width = static_cast<int32_t>(wide);
    height = static_cast<int32_t>(high);
    return true;
}

std::string rangeError(const std::string& option, long low, long high)
{
    return option + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

bool parseRunOptions(const std::vector<std::string>& args, RunOptions& run, SimulateOptions* simulate,
                     std::string& error)
{
    bool sizeGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            run.json = true;
            continue;
        }
        if (simulate) {
            // Options of run that the simulation has no use for would be
            // dropped without a word; each names where the grid takes it from.
            static const std::pair<const char*, const char*> kRunOnly[] = {
                {"--noise", "simulate takes its noise levels from --noise-from, --noise-steps and --noise-incr"},
                {"--pulses", "simulate takes its pulse counts from --from, --to and --incr"},
                {"--method", "the simulation's estimators follow --task and --series-type"},
                {"--more-details", "simulate shows no result view"},
            };
            for (const auto& [name, where] : kRunOnly)
                if (a == name) {
                    error = a + " is an option of run: " + where;
                    return false;
                }
        }
        if (a == "--more-details") {
            run.moreDetails = true;
            continue;
        }
        if (simulate && a == "--csv") {
            simulate->csv = true;
            continue;
        }
        if (simulate && a == "--progress") {
            simulate->progress = true;
            continue;
        }
        if (simulate && (a == "--render" || a == "--size")) {
            error = a + " is an option of run: simulate draws no window picture";
            return false;
        }
        if (simulate && (a == "--series" || a == "--same")) {
            error = a + " is an option of run: simulate makes and processes each series of its grid once";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "unknown option or missing value: " + a;
            return false;
        }
        const std::string& v = args[++i];
        long n = 0;
        const bool numeric = parseNumber(v, n);
        auto number = [&](std::optional<long>& slot, long low, long high) {
            if (!numeric || n < low || n > high) {
                error = rangeError(a, low, high) + ", got '" + v + "'";
                return false;
            }
            slot = n;
            return true;
        };
        bool ok = true;
        if (a == "--task") {
            ok = v == "joint" || v == "detection" || v == "processing";
            if (ok)
                run.task = v;
            else
                error = "--task must be joint, detection or processing, got '" + v + "'";
        } else if (a == "--series-type") {
            ok = v == "fixed" || v == "unfixed";
            if (ok)
                run.seriesType = v;
            else
                error = "--series-type must be fixed or unfixed, got '" + v + "'";
        } else if (a == "--etalons") {
            run.etalons.clear();
            ok = parseList(v, run.etalons);
            if (!ok)
                error = "--etalons must be a list of etalon numbers such as 3,7,12, got '" + v + "'";
        } else if (a == "--length") {
            ok = number(run.length, 1, 32767);
        } else if (a == "--noise") {
            ok = number(run.noise, 0, 10900);
        } else if (a == "--pulses") {
            ok = number(run.pulses, 1, 32767);
        } else if (a == "--tmin") {
            ok = number(run.tmin, 1, 32767);
        } else if (a == "--tmax") {
            ok = number(run.tmax, 1, 32767);
        } else if (a == "--energy") {
            ok = number(run.energy, 0, 100);
        } else if (a == "--method") {
            ok = numeric && (n == 0 || n == 1 || n == 2 || n == 6);
            if (ok)
                run.method = n;
            else
                error = "--method must be 0, 1, 2 or 6, got '" + v + "'";
        } else if (a == "--series") {
            std::optional<long> count;
            ok = number(count, 1, 100000);
            if (ok)
                run.series = *count;
        } else if (a == "--same") {
            std::optional<long> count;
            ok = number(count, 0, 100000);
            if (ok)
                run.same = *count;
        } else if (a == "--render") {
            ok = !v.empty();
            if (ok)
                run.render = v;
            else
                error = "--render needs the name of the PNG file to write";
        } else if (a == "--size") {
            sizeGiven = true;
            ok = parseRenderSize(v, run.renderWidth, run.renderHeight);
            if (!ok)
                error = "--size must be WxH, from " + std::to_string(kMinRenderWidth) + "x" +
                        std::to_string(kMinRenderHeight) + " to " + std::to_string(kMaxRenderSide) + "x" +
                        std::to_string(kMaxRenderSide) + ", such as 1280x800, got '" + v + "'";
        } else if (simulate && a == "--from") {
            ok = number(simulate->from, 1, 31);
        } else if (simulate && a == "--to") {
            ok = number(simulate->to, 1, 31);
        } else if (simulate && a == "--incr") {
            ok = number(simulate->incr, 0, 31);
        } else if (simulate && a == "--noise-from") {
            ok = number(simulate->noiseFrom, 0, 10900);
        } else if (simulate && a == "--noise-steps") {
            ok = number(simulate->noiseSteps, 1, 1000);
        } else if (simulate && a == "--noise-incr") {
            ok = number(simulate->noiseIncr, 0, 10900);
        } else if (simulate && a == "--repeats") {
            ok = number(simulate->repeats, 1, 32767);
        } else if (simulate && a == "--threads") {
            ok = number(simulate->threads, 1, kMaxThreads);
        } else if (simulate && a == "--shard") {
            ShardChoice shard;
            ok = parseShard(v, shard);
            if (ok)
                simulate->shard = shard;
            else
                error = "--shard must be K/N, shard K (counted from 1) of N, 1 <= K <= N <= " +
                        std::to_string(kMaxShards) + ", such as 3/8, got '" + v + "'";
        } else if (simulate && a == "--out") {
            ok = !v.empty();
            if (ok)
                simulate->out = v;
            else
                error = "--out needs the name of the part file to write";
        } else {
            error = "unknown option: " + a;
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (sizeGiven && !run.render) {
        error = "--size needs --render FILE.png, the picture it sizes";
        return false;
    }
    if (simulate && simulate->csv && run.json) {
        error = "--csv and --json exclude each other: give one output format";
        return false;
    }
    if (simulate && simulate->shard && !simulate->out) {
        error = "--shard needs --out FILE, the part file the shard writes";
        return false;
    }
    if (simulate && simulate->out && !simulate->shard) {
        error = "--out needs --shard K/N: only a shard writes a part file";
        return false;
    }
    if (simulate && simulate->out && !checkOutPath(*simulate->out, error))
        return false;
    return true;
}

std::vector<std::string> simulationOptionWords(const RunOptions& o, const SimulateOptions& sim)
{
    std::vector<std::string> words;
    auto add = [&words](const char* option, const std::optional<long>& v) {
        if (v) {
            words.emplace_back(option);
            words.push_back(std::to_string(*v));
        }
    };
    if (o.seriesType) {
        words.emplace_back("--series-type");
        words.push_back(*o.seriesType);
    }
    if (o.task) {
        words.emplace_back("--task");
        words.push_back(*o.task);
    }
    if (!o.etalons.empty()) {
        std::string list;
        for (int e : o.etalons) {
            if (!list.empty())
                list += ',';
            list += std::to_string(e);
        }
        words.emplace_back("--etalons");
        words.push_back(list);
    }
    add("--length", o.length);
    add("--noise", o.noise);
    add("--pulses", o.pulses);
    add("--tmin", o.tmin);
    add("--tmax", o.tmax);
    add("--energy", o.energy);
    add("--method", o.method);
    add("--from", sim.from);
    add("--to", sim.to);
    add("--incr", sim.incr);
    add("--noise-from", sim.noiseFrom);
    add("--noise-steps", sim.noiseSteps);
    add("--noise-incr", sim.noiseIncr);
    add("--repeats", sim.repeats);
    if (o.moreDetails)
        words.emplace_back("--more-details");
    return words;
}

int startWorkbench(const char* program, const RunOptions& options, AppState& state, ConsoleHost& host, bool echo,
                   bool quiet)
{
    host.echoMessages = echo;
    if (!onCreate(state, host)) {
        if (!quiet)
            for (const RecordedMessage& m : host.messages)
                std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
        return 1;
    }
    std::string error;
    if (!applyRunOptions(state, host, options, error)) {
        if (!quiet)
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 2;
    }
    return -1;
}

bool applyRunOptions(AppState& s, ConsoleHost& host, const RunOptions& o, std::string& error)
{
    using namespace resources;
    if (o.seriesType)
        dispatchCommand(s, host, *o.seriesType == "fixed" ? IdSeriesFixedNumber : IdSeriesUnfixedNumber);
    if (o.task) {
        const int command = *o.task == "joint"       ? IdTaskJointDetectionEstimation
                            : *o.task == "detection" ? IdTaskDetection
                                                     : IdTaskSeriesProcessing;
        dispatchCommand(s, host, command);
    }
    if (!o.etalons.empty()) {
        for (int e : o.etalons)
            if (e > s.etalonCount) {
                error = "--etalons: etalon " + std::to_string(e) + " is not in the alphabet of " +
                        std::to_string(s.etalonCount);
                return false;
            }
        std::vector<int> distinct = o.etalons;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        if (!isMultiEtalonTask(s.taskType) && distinct.size() != 1) {
            error = "--etalons: joint detection and estimation works with exactly one etalon";
            return false;
        }
        s.etalonSelected.fill(0);
        for (int e : distinct)
            s.etalonSelected[e - 1] = 1;
        rebuildRequiredList(s);
        s.previousEtalon = s.currentEtalon;
        s.currentEtalon = o.etalons.front();
    }
    if (o.length) {
        const uint32_t N = static_cast<uint32_t>(*o.length);
        if (N < s.etalonLength) {
            error = "--length must be at least the pulse length " + std::to_string(s.etalonLength);
            return false;
        }
        requestSeriesLength(s, N);
        for (int i = 0; i < s.seriesLengthOptionCount; ++i)
            if (static_cast<uint32_t>(s.seriesLengthOptions[i]) == N)
                s.seriesLengthOption = i + 1;
    }
    if (o.noise)
        s.requestedNoiseLevel = static_cast<int16_t>(*o.noise);
    if (o.pulses)
        s.requestedPulseCount = static_cast<uint16_t>(*o.pulses);
    if (o.tmin)
        s.minInterval = static_cast<uint16_t>(*o.tmin);
    if (o.tmax)
        s.maxInterval = static_cast<uint16_t>(*o.tmax);
    if (o.tmin || o.tmax) {
        const std::string problem = seriesParameterProblem(s.etalonLength, s.minInterval, s.maxInterval, s.requestedSeriesLength);
        if (!problem.empty()) {
            error = "--tmin/--tmax: " + problem.substr(0, problem.size() - 1);
            return false;
        }
    }
    if (o.energy) {
        s.savedEnergyCreate = static_cast<int16_t>(*o.energy);
        s.savedEnergyProcess = static_cast<int16_t>(*o.energy);
    }
    if (o.method)
        s.repeatMethod = static_cast<uint16_t>(*o.method);
    return true;
}

void showProcessingResult(AppState& s)
{
    const bool resultView = s.taskType == taskFixedEstimation || s.taskType == taskUnfixedEstimation ||
                            s.taskType == taskBlindDetection;
    if (resultView && s.lpStepwiseProtocol && s.lpSeriesHeader)
        storeShownRow(*s.lpStepwiseProtocol, *s.lpSeriesHeader);
}
