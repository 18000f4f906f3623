#include "commands/detect_options.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>

#include "commands/option_parser.h"
#include "commands/series_options.h"
#include "files/path_lists.h"

namespace commands {

namespace {

std::span<const OptionRule<DetectOptions>> optionRules()
{
    using O = DetectOptions;
    using S = const std::string&;
    static constexpr OptionRule<DetectOptions> rules[] = {
        {"--pulses", true,
         [](O& o, S v, std::string& e) { return numberOption("--pulses", v, 1, INT32_MAX, o.pulses, e); }},
        {"--unknown", false,
         [](O& o, S, std::string&) {
             o.unknown = true;
             return true;
         }},
        {"--method", true, [](O& o, S v, std::string& e) { return numberOption("--method", v, 0, 6, o.method, e); }},
        {"--tmin", true, [](O& o, S v, std::string& e) { return numberOption("--tmin", v, 1, INT32_MAX, o.tmin, e); }},
        {"--tmax", true, [](O& o, S v, std::string& e) { return numberOption("--tmax", v, 1, INT32_MAX, o.tmax, e); }},
        {"--pulse-length", true,
         [](O& o, S v, std::string& e) { return numberOption("--pulse-length", v, 1, INT32_MAX, o.pulseLength, e); }},
        {"--box", true, [](O& o, S v, std::string& e) { return numberOption("--box", v, 1, 1000000, o.box, e); }},
        {"--noise", true,
         [](O& o, S v, std::string& e) {
             int64_t n = 0;
             if (!wholeNumber(v, 0, 3037000499LL, n)) {
                 e = "--noise must be a whole number from 0, got '" + v + "'";
                 return false;
             }
             o.noise = n;
             return true;
         }},
        {"--snr-min", true,
         [](O& o, S v, std::string& e) {
             double ratio = 0;
             if (!realNumber(v, ratio) || !(ratio > 0)) {
                 e = "--snr-min must be a positive number, got '" + v + "'";
                 return false;
             }
             o.snrMin = ratio;
             return true;
         }},
        {"--files", true,
         [](O& o, S v, std::string& e) {
             if (v.empty()) {
                 e = "--files needs the name of a list of files (one a line)";
                 return false;
             }
             o.filesList = v;
             return true;
         }},
        {"--columns", true,
         [](O& o, S v, std::string& e) {
             if (v.empty() || v.front() == ',' || v.back() == ',' || v.find(",,") != std::string::npos) {
                 e = "--columns must be all or a list of column names or numbers separated by commas, got '" + v + "'";
                 return false;
             }
             o.columns = v;
             return true;
         }},
        {"--jobs", true,
         [](O& o, S v, std::string& e) { return numberOption("--jobs", v, 1, kMaxThreads, o.jobs, e); }},
        {"--shard", true,
         [](O& o, S v, std::string& e) {
             ShardChoice shard;
             if (!parseShard(v, shard)) {
                 e = shardError(v);
                 return false;
             }
             o.shard = shard;
             return true;
         }},
        {"--out", true,
         [](O& o, S v, std::string& e) {
             if (v.empty()) {
                 e = "--out needs the name of the part file to write";
                 return false;
             }
             o.out = v;
             return true;
         }},
        {"--counts-csv", true,
         [](O& o, S v, std::string& e) {
             if (v.empty()) {
                 e = "--counts-csv needs a file name";
                 return false;
             }
             o.countsCsv = v;
             return true;
         }},
    };
    return rules;
}

// The options that take one series, given for many, and --jobs for one:
// the refusal, or empty.
std::string manySeriesProblem(const DetectOptions& o)
{
    if (!manySeries(o)) {
        if (o.shard || o.out)
            return "--shard splits a run over many files: give several files, --files or --columns";
        return o.jobs ? "--jobs runs several series at once: give several files, --files or --columns" : "";
    }
    if (std::find(o.inputs.begin(), o.inputs.end(), "-") != o.inputs.end())
        return "standard input holds one series: give it alone, without --files or --columns";
    if (o.shard && !o.out)
        return "--shard needs --out FILE, the part file the shard writes";
    if (o.out && !o.shard)
        return "--out needs --shard K/N: only a shard writes a part file";
    if (o.plot)
        return "--plot draws one series: give one file, or leave --plot out (--csv and --json give every "
               "series' pulses)";
    if (o.countsCsv)
        return "--counts-csv writes the counts of one series: give one file, or use --json, whose lines hold "
               "every series' counts";
    return {};
}

}  // namespace

std::function<OptionLookup<DetectOptions>(const std::string&)> detectLookup()
{
    return tableLookup<DetectOptions>(
        {optionRules(), seriesReadingRules<DetectOptions>(), detectionRunRules<DetectOptions>()});
}

bool parseDetectOptions(const std::vector<std::string>& args, DetectOptions& o, std::string& error)
{
    std::vector<std::string> files;
    if (!readOptions<DetectOptions>(args, o, detectLookup(), &files, error))
        return false;
    if (o.out && !checkOutPath(*o.out, error))
        return false;
    o.inputs = files;
    if (o.inputs.empty() && !o.filesList) {
        error = "which file? (give its name, or - for text on standard input)";
        return false;
    }
    if (!manySeries(o))
        o.file = o.inputs.front();
    if (error = detectChoiceProblem(o); !error.empty())
        return false;
    if (error = outputChoiceProblem(o); !error.empty())
        return false;
    error = manySeriesProblem(o);
    return error.empty();
}

std::vector<std::string> detectRunWords(const std::vector<std::string>& args)
{
    static const std::vector<std::string> left{"--files", "--shard", "--out", "--jobs", "--threads", "--progress"};
    std::vector<std::string> words, files;
    std::string error;
    // The reader itself walks the words, so that a value is told from a
    // file as it tells them; each option comes back as --name=value.
    const auto find = detectLookup();
    detail::readOptionWords(
        args, &files,
        [&](const std::string& name, std::string& refusal) {
            const OptionLookup<DetectOptions> found = find(name);
            refusal = found.refusal;
            return found.rule ? (found.rule->takesValue ? (found.rule->valueOptional ? 2 : 1) : 0) : -1;
        },
        [&](const std::string& name, const std::string& value, std::string&) {
            if (std::find(left.begin(), left.end(), name) == left.end())
                words.push_back(find(name).rule->takesValue ? name + "=" + value : name);
            return true;
        },
        error);
    return words;
}

bool manySeries(const DetectOptions& o)
{
    return o.inputs.size() != 1 || o.filesList || o.columns || files::isPathPattern(o.inputs.front());
}

std::string detectChoiceProblem(const DetectOptions& o)
{
    const int modes = (o.pulses ? 1 : 0) + (o.unknown ? 1 : 0) + (o.method ? 1 : 0);
    if (modes != 1)
        return "choose one of --pulses K (a known count), --unknown (the sequential method) or --method 0..6 "
               "(blind detection)";
    if (!o.tmin || !o.tmax)
        return "--tmin and --tmax are needed: the least and greatest distance between pulse starts, in samples";
    if (*o.tmin > *o.tmax)
        return "--tmin (" + std::to_string(*o.tmin) + ") is above --tmax (" + std::to_string(*o.tmax) + ")";
    const int templates = (o.etalon ? 1 : 0) + (o.box ? 1 : 0) + (o.templateFile ? 1 : 0);
    if (templates > 1)
        return "one template only: --etalon, --box or --template";
    if (o.score == "correlation" && templates == 0)
        return "--score correlation needs a template: --etalon LETTER, --box W or --template FILE";
    if (o.score == "energy" && templates == 0 && !o.pulseLength)
        return "--pulse-length L is needed with --score energy";
    return {};
}

}  // namespace commands
