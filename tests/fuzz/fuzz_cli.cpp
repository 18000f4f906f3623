// The option readers of quillmore-cli on argument lists made from the input
// (split at NUL and newline bytes): run's and simulate's, and detect's. An
// accepted list must leave every value inside its documented range, and a
// simulation's options written out again must read back the same; a refused
// one must say why in one line. Around an accepted list, every whole number
// in it is tried one below and one above.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "commands/detect_options.h"
#include "commands/option_parser.h"
#include "tests/fuzz/fuzz_checks.h"
#include "detection/task_codes.h"
#include "commands/option_parser.h"
#include "commands/run_options.h"

namespace {

constexpr size_t kMaxArguments = 64;

std::vector<std::string> splitArguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> args;
    std::string current;
    for (size_t i = 0; i < size && args.size() < kMaxArguments; ++i) {
        if (data[i] == 0 || data[i] == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (args.size() < kMaxArguments && !current.empty())
        args.push_back(current);
    return args;
}

void checkRefusal(const std::string& error)
{
    // The arguments hold no newline, so neither may the one-line message.
    if (error.empty() || error.find('\n') != std::string::npos)
        fuzz::broken();
}

template <typename T>
void inRange(const std::optional<T>& v, long long low, long long high)
{
    if (v && (*v < low || *v > high))
        fuzz::broken();
}

void checkRun(const commands::RunOptions& o, bool simulating)
{
    if (o.task && *o.task != "joint" && *o.task != "detection" && *o.task != "processing")
        fuzz::broken();
    if (o.seriesType && *o.seriesType != "fixed" && *o.seriesType != "unfixed")
        fuzz::broken();
    for (int e : o.etalons)
        if (e < 1 || e > 32767)
            fuzz::broken();
    inRange(o.length, 1, 32767);
    inRange(o.noise, 0, 10900);
    inRange(o.pulses, 1, 32767);
    inRange(o.tmin, 1, 32767);
    inRange(o.tmax, 1, 32767);
    inRange(o.energy, 0, 100);
    if (o.method && !detection::isMenuDetectionMethod(static_cast<int32_t>(*o.method)))
        fuzz::broken();
    if (o.series < 1 || o.series > 100000 || o.same < 0 || o.same > 100000)
        fuzz::broken();
    if (o.render && o.render->empty())
        fuzz::broken();
    if (o.renderWidth < commands::kMinPictureWidth || o.renderWidth > commands::kMaxPictureSide ||
        o.renderHeight < commands::kMinPictureHeight || o.renderHeight > commands::kMaxPictureSide)
        fuzz::broken();
    // simulate draws no window picture; --size means nothing without --render.
    if (simulating && (o.render || o.renderWidth != 1280 || o.renderHeight != 800))
        fuzz::broken();
    if (!o.render && (o.renderWidth != 1280 || o.renderHeight != 800))
        fuzz::broken();
}

void checkSimulate(const commands::SimulateOptions& s)
{
    inRange(s.from, 1, 31);
    inRange(s.to, 1, 31);
    inRange(s.incr, 0, 31);
    inRange(s.noiseFrom, 0, 10900);
    inRange(s.noiseSteps, 1, 1000);
    inRange(s.noiseIncr, 0, 10900);
    inRange(s.repeats, 1, 32767);
    inRange(s.threads, 1, commands::kMaxThreads);
    if (s.shard && (s.shard->index < 1 || s.shard->index > s.shard->count || s.shard->count > commands::kMaxShards))
        fuzz::broken();
    // A shard writes a part file, and only a shard does.
    if (s.shard.has_value() != s.out.has_value() || (s.out && s.out->empty()))
        fuzz::broken();
    // The chart is of the whole run, named .png; --size sizes nothing else.
    if (s.plot && (s.shard || s.plot->size() < 4))
        fuzz::broken();
    if (s.plotWidth < commands::kMinPictureWidth || s.plotWidth > commands::kMaxPictureSide ||
        s.plotHeight < commands::kMinPictureHeight || s.plotHeight > commands::kMaxPictureSide)
        fuzz::broken();
    if (!s.plot && (s.plotWidth != 1600 || s.plotHeight != 900))
        fuzz::broken();
}

// What a part file records of a simulation must read back to the same
// simulation.
void checkWordsReadBack(const commands::RunOptions& run, const commands::SimulateOptions& sim)
{
    const std::vector<std::string> words = commands::simulationOptionWords(run, sim);
    commands::RunOptions run2;
    commands::SimulateOptions sim2;
    std::string error;
    if (!commands::parseRunOptions(words, run2, &sim2, error))
        fuzz::broken();
    if (run2.task != run.task || run2.seriesType != run.seriesType || run2.etalons != run.etalons ||
        run2.length != run.length || run2.noise != run.noise || run2.pulses != run.pulses || run2.tmin != run.tmin ||
        run2.tmax != run.tmax || run2.energy != run.energy || run2.method != run.method ||
        run2.moreDetails != run.moreDetails)
        fuzz::broken();
    if (sim2.from != sim.from || sim2.to != sim.to || sim2.incr != sim.incr || sim2.noiseFrom != sim.noiseFrom ||
        sim2.noiseSteps != sim.noiseSteps || sim2.noiseIncr != sim.noiseIncr || sim2.repeats != sim.repeats)
        fuzz::broken();
    // Output format, threads, progress, the shard and the plot are left out.
    if (run2.json || sim2.csv || sim2.threads || sim2.progress || sim2.shard || sim2.out || sim2.plot)
        fuzz::broken();
}

void checkDetect(const commands::DetectOptions& o)
{
    const int modes = (o.pulses ? 1 : 0) + (o.unknown ? 1 : 0) + (o.method ? 1 : 0);
    if (modes != 1)
        fuzz::broken();
    inRange(o.pulses, 1, INT32_MAX);
    inRange(o.method, 0, 6);
    if (!o.tmin || !o.tmax || *o.tmin < 1 || *o.tmin > *o.tmax)
        fuzz::broken();
    inRange(o.pulseLength, 1, INT32_MAX);
    inRange(o.box, 1, 1000000);
    inRange(o.noise, 0, 3037000499LL);
    inRange(o.read.channel, 1, 65535);
    const int templates = (o.etalon ? 1 : 0) + (o.box ? 1 : 0) + (o.templateFile ? 1 : 0);
    if (templates > 1 || (o.score != "energy" && o.score != "correlation"))
        fuzz::broken();
    if (o.score == "correlation" && templates == 0)
        fuzz::broken();
    if (o.score == "energy" && templates == 0 && !o.pulseLength)
        fuzz::broken();
    if (o.json && o.csv)
        fuzz::broken();
    if (o.plot && o.plot->empty())
        fuzz::broken();
    if (o.plotWidth < 320 || o.plotWidth > 8192 || o.plotHeight < 240 || o.plotHeight > 8192)
        fuzz::broken();
    if (o.prepare.detrend == detection::Detrend::MovingMedian && o.prepare.window < 1)
        fuzz::broken();
    if (o.prepare.scale && (!std::isfinite(*o.prepare.scale) || !(*o.prepare.scale > 0) || o.prepare.scaleAuto))
        fuzz::broken();
    // The file is the one argument that is no option: never an option name.
    if (o.file.size() > 2 && o.file.compare(0, 2, "--") == 0)
        fuzz::broken();
}

// Reads the list as `simulating` says and checks the outcome; true when
// the list was accepted.
bool checkRunList(const std::vector<std::string>& args, bool simulating)
{
    commands::RunOptions run;
    commands::SimulateOptions sim;
    std::string error;
    if (commands::parseRunOptions(args, run, simulating ? &sim : nullptr, error)) {
        checkRun(run, simulating);
        if (simulating) {
            checkSimulate(sim);
            checkWordsReadBack(run, sim);
        }
        return true;
    }
    checkRefusal(error);
    return false;
}

bool checkDetectList(const std::vector<std::string>& args)
{
    commands::DetectOptions detect;
    std::string error;
    if (commands::parseDetectOptions(args, detect, error)) {
        checkDetect(detect);
        return true;
    }
    checkRefusal(error);
    return false;
}

// Every whole number in the list one below and one above: a list accepted
// at a range's end then tries the value just past it.
template <typename Check>
void checkNeighbours(const std::vector<std::string>& args, Check check)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty() || a.size() > 12 || a.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long long n = std::stoll(a);
        for (const long long m : {n - 1, n + 1}) {
            std::vector<std::string> near = args;
            near[i] = std::to_string(m);
            check(near);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> args = splitArguments(data, size);
    for (const bool simulating : {false, true})
        if (checkRunList(args, simulating))
            checkNeighbours(args,
                            [simulating](const std::vector<std::string>& near) { checkRunList(near, simulating); });
    if (checkDetectList(args))
        checkNeighbours(args, checkDetectList);
    return 0;
}
