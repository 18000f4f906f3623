#include "commands/run_options.h"

#include <filesystem>
#include <optional>
#include <span>

#include "commands/option_parser.h"
#include "commands/series_options.h"
#include "detection/task_codes.h"

namespace commands {

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
std::string shardError(const std::string& value)
{
    return "--shard must be K/N, shard K (counted from 1) of N, 1 <= K <= N <= " + std::to_string(kMaxShards) +
           ", such as 3/8, got '" + value + "'";
}

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

namespace {

bool parseList(const std::string& text, std::vector<int>& values)
{
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        int64_t v = 0;
        if (!wholeNumber(std::string_view(text).substr(start, comma - start), 1, 32767, v))
            return false;
        values.push_back(static_cast<int>(v));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !values.empty();
}

// What the options of run and simulate are read into.
struct RunOptionTargets {
    RunOptions& run;            // the options of run
    SimulateOptions* simulate;  // those of simulate, when simulate is read
    bool sizeGiven = false;     // --size was read
};

// Which command takes an option.
enum class OptionScope { Both, RunOnly, SimulateOnly };

// One option of run or simulate: its name, which command takes it, why
// simulate refuses it when only run takes it, whether a value follows, and
// what it does with the value; false with a message when the value is
// refused.
struct RunOptionRule {
    OptionScope scope;
    const char* refusedBySimulate;  // the reason simulate gives, for run-only options
    OptionRule<RunOptionTargets> rule;
};

// Options of run that the simulation has no use for would be dropped
// without a word; each names where the grid takes it from.
constexpr const char* kNoPicture = "simulate draws no window picture";
constexpr const char* kGridSeries = "simulate makes and processes each series of its grid once";

std::span<const RunOptionRule> runOptionRules()
{
    using T = RunOptionTargets;
    using V = const std::string&;
    using E = std::string&;
    static constexpr RunOptionRule rules[] = {
        {OptionScope::Both,
         nullptr,
         {"--json", false,
          [](T& t, V, E) {
              t.run.json = true;
              return true;
          }}},
        {OptionScope::RunOnly,
         "simulate shows no result view",
         {"--more-details", false,
          [](T& t, V, E) {
              t.run.moreDetails = true;
              return true;
          }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--csv", false,
          [](T& t, V, E) {
              t.simulate->csv = true;
              return true;
          }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--progress", false,
          [](T& t, V, E) {
              t.simulate->progress = true;
              return true;
          }}},
        {OptionScope::Both,
         nullptr,
         {"--task", true,
          [](T& t, V v, E error) {
              if (v != "joint" && v != "detection" && v != "processing") {
                  error = "--task must be joint, detection or processing, got '" + v + "'";
                  return false;
              }
              t.run.task = v;
              return true;
          }}},
        {OptionScope::Both,
         nullptr,
         {"--series-type", true,
          [](T& t, V v, E error) {
              if (v != "fixed" && v != "unfixed") {
                  error = "--series-type must be fixed or unfixed, got '" + v + "'";
                  return false;
              }
              t.run.seriesType = v;
              return true;
          }}},
        {OptionScope::Both,
         nullptr,
         {"--etalons", true,
          [](T& t, V v, E error) {
              t.run.etalons.clear();
              if (!parseList(v, t.run.etalons)) {
                  error = "--etalons must be a list of etalon numbers such as 3,7,12, got '" + v + "'";
                  return false;
              }
              return true;
          }}},
        {OptionScope::Both,
         nullptr,
         {"--length", true,
          [](T& t, V v, E error) { return numberOption("--length", v, 1, 32767, t.run.length, error); }}},
        {OptionScope::RunOnly,
         "simulate takes its noise levels from --noise-from, --noise-steps and --noise-incr",
         {"--noise", true,
          [](T& t, V v, E error) { return numberOption("--noise", v, 0, 10900, t.run.noise, error); }}},
        {OptionScope::RunOnly,
         "simulate takes its pulse counts from --from, --to and --incr",
         {"--pulses", true,
          [](T& t, V v, E error) { return numberOption("--pulses", v, 1, 32767, t.run.pulses, error); }}},
        {OptionScope::Both,
         nullptr,
         {"--tmin", true, [](T& t, V v, E error) { return numberOption("--tmin", v, 1, 32767, t.run.tmin, error); }}},
        {OptionScope::Both,
         nullptr,
         {"--tmax", true, [](T& t, V v, E error) { return numberOption("--tmax", v, 1, 32767, t.run.tmax, error); }}},
        {OptionScope::Both,
         nullptr,
         {"--energy", true,
          [](T& t, V v, E error) { return numberOption("--energy", v, 0, 100, t.run.energy, error); }}},
        {OptionScope::RunOnly,
         "the simulation's estimators follow --task and --series-type",
         {"--method", true,
          [](T& t, V v, E error) {
              int64_t n = 0;
              if (!wholeNumber(v, INT32_MIN, INT32_MAX, n) ||
                  !detection::isMenuDetectionMethod(static_cast<int32_t>(n))) {
                  error = "--method must be 0, 1, 2 or 6, got '" + v + "'";
                  return false;
              }
              t.run.method = n;
              return true;
          }}},
        {OptionScope::RunOnly,
         kGridSeries,
         {"--series", true,
          [](T& t, V v, E error) {
              std::optional<long> count;
              if (!numberOption("--series", v, 1, 100000, count, error))
                  return false;
              t.run.series = *count;
              return true;
          }}},
        {OptionScope::RunOnly,
         kGridSeries,
         {"--same", true,
          [](T& t, V v, E error) {
              std::optional<long> count;
              if (!numberOption("--same", v, 0, 100000, count, error))
                  return false;
              t.run.same = *count;
              return true;
          }}},
        {OptionScope::RunOnly,
         kNoPicture,
         {"--render", true,
          [](T& t, V v, E error) {
              if (v.empty()) {
                  error = "--render needs the name of the PNG file to write";
                  return false;
              }
              t.run.render = v;
              return true;
          }}},
        {OptionScope::Both,
         nullptr,
         {"--size", true,
          [](T& t, V v, E error) {
              t.sizeGiven = true;
              // run's window picture, or simulate's chart.
              int32_t& width = t.simulate ? t.simulate->plotWidth : t.run.renderWidth;
              int32_t& height = t.simulate ? t.simulate->plotHeight : t.run.renderHeight;
              if (!pictureSize(v, width, height)) {
                  error = pictureSizeError("--size", v);
                  return false;
              }
              return true;
          }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--from", true,
          [](T& t, V v, E error) { return numberOption("--from", v, 1, 31, t.simulate->from, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--to", true, [](T& t, V v, E error) { return numberOption("--to", v, 1, 31, t.simulate->to, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--incr", true,
          [](T& t, V v, E error) { return numberOption("--incr", v, 0, 31, t.simulate->incr, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--noise-from", true,
          [](T& t, V v, E error) { return numberOption("--noise-from", v, 0, 10900, t.simulate->noiseFrom, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--noise-steps", true,
          [](T& t, V v, E error) { return numberOption("--noise-steps", v, 1, 1000, t.simulate->noiseSteps, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--noise-incr", true,
          [](T& t, V v, E error) { return numberOption("--noise-incr", v, 0, 10900, t.simulate->noiseIncr, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--repeats", true,
          [](T& t, V v, E error) { return numberOption("--repeats", v, 1, 32767, t.simulate->repeats, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--threads", true,
          [](T& t, V v, E error) { return numberOption("--threads", v, 1, kMaxThreads, t.simulate->threads, error); }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--shard", true,
          [](T& t, V v, E error) {
              ShardChoice shard;
              if (!parseShard(v, shard)) {
                  error = shardError(v);
                  return false;
              }
              t.simulate->shard = shard;
              return true;
          }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--plot", true,
          [](T& t, V v, E error) {
              if (v.empty()) {
                  error = "--plot needs a file name";
                  return false;
              }
              t.simulate->plot = v;
              return true;
          }}},
        {OptionScope::SimulateOnly,
         nullptr,
         {"--out", true,
          [](T& t, V v, E error) {
              if (v.empty()) {
                  error = "--out needs the name of the part file to write";
                  return false;
              }
              t.simulate->out = v;
              return true;
          }}},
    };
    return rules;
}

}  // namespace

bool parseRunOptions(const std::vector<std::string>& args, RunOptions& run, SimulateOptions* simulate,
                     std::string& error)
{
    RunOptionTargets targets{.run = run, .simulate = simulate};
    // Options of simulate are unknown to run; those of run alone are
    // refused by simulate with the reason.
    const auto find = [simulate](const std::string& name) {
        OptionLookup<RunOptionTargets> found;
        for (const RunOptionRule& r : runOptionRules()) {
            if (name != r.rule.name || (!simulate && r.scope == OptionScope::SimulateOnly))
                continue;
            if (simulate && r.scope == OptionScope::RunOnly)
                found.refusal = name + " is an option of run: " + r.refusedBySimulate;
            found.rule = &r.rule;
        }
        return found;
    };
    if (!readOptions<RunOptionTargets>(args, targets, find, nullptr, error))
        return false;
    const bool sizeGiven = targets.sizeGiven;
    if (sizeGiven && simulate && !simulate->plot) {
        error = "--size needs --plot FILE.png, the picture it sizes";
        return false;
    }
    if (sizeGiven && !simulate && !run.render) {
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
    if (simulate && simulate->plot && simulate->shard) {
        error = "--plot and --shard exclude each other: a shard holds part of the run; give --plot to merge";
        return false;
    }
    if (simulate && !(error = plotNameProblem(simulate->plot)).empty())
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

}  // namespace commands
