#include "commands/detect_options.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "commands/option_parser.h"
#include "commands/series_options.h"

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

}  // namespace

bool parseDetectOptions(const std::vector<std::string>& args, DetectOptions& o, std::string& error)
{
    std::vector<std::string> files;
    if (!readOptions<DetectOptions>(args, o,
                                    tableLookup<DetectOptions>({optionRules(), seriesReadingRules<DetectOptions>(),
                                                                detectionRunRules<DetectOptions>()}),
                                    &files, error))
        return false;
    if (!takeOneSeriesFile(files, o.file, error))
        return false;
    if (error = detectChoiceProblem(o); !error.empty())
        return false;
    error = outputChoiceProblem(o);
    return error.empty();
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
