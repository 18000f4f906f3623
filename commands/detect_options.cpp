#include "commands/detect_options.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "commands/option_parser.h"

namespace commands {

namespace {

// A count of work units from 1 below 2^64: digits, or a real number such as 1e13.
bool workCount(const std::string& text, uint64_t& units)
{
    double v = 0;
    if (!realNumber(text, v) || !(v >= 1) || v >= 18446744073709551615.0 || v != std::floor(v))
        return false;
    units = static_cast<uint64_t>(v);
    return true;
}

std::span<const OptionRule<DetectOptions>> optionRules()
{
    using O = DetectOptions;
    using S = const std::string&;
    static constexpr OptionRule<DetectOptions> rules[] = {
        {"--column", true,
         [](O& o, S v, std::string&) {
             o.read.column = v;
             return true;
         }},
        {"--channel", true,
         [](O& o, S v, std::string& e) {
             std::optional<int32_t> c;
             if (!numberOption("--channel", v, 1, 65535, c, e))
                 return false;
             o.read.channel = *c;
             return true;
         }},
        {"--format", true,
         [](O& o, S v, std::string& e) {
             if (const auto format = files::seriesFormatNamed(v)) {
                 o.read.format = *format;
                 return true;
             }
             e = "--format must be auto, text, npy, sound or datafile, got '" + v + "'";
             return false;
         }},
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
        {"--score", true,
         [](O& o, S v, std::string& e) {
             if (v != "energy" && v != "correlation") {
                 e = "--score must be energy or correlation, got '" + v + "'";
                 return false;
             }
             o.score = v;
             return true;
         }},
        {"--etalon", true,
         [](O& o, S v, std::string&) {
             o.etalon = v;
             return true;
         }},
        {"--box", true, [](O& o, S v, std::string& e) { return numberOption("--box", v, 1, 1000000, o.box, e); }},
        {"--template", true,
         [](O& o, S v, std::string&) {
             o.templateFile = v;
             return true;
         }},
        {"--detrend", true,
         [](O& o, S v, std::string& e) {
             if (v == "none") {
                 o.prepare.detrend = detection::Detrend::None;
             } else if (v == "median") {
                 o.prepare.detrend = detection::Detrend::WholeMedian;
             } else {
                 int64_t w = 0;
                 if (!wholeNumber(v, 1, INT32_MAX, w)) {
                     e = "--detrend must be none, median or a window of samples (a whole number from 1), got '" + v +
                         "'";
                     return false;
                 }
                 o.prepare.detrend = detection::Detrend::MovingMedian;
                 o.prepare.window = w;
             }
             return true;
         }},
        {"--invert", false,
         [](O& o, S, std::string&) {
             o.prepare.invert = true;
             return true;
         }},
        {"--scale", true,
         [](O& o, S v, std::string& e) {
             if (v == "auto") {
                 o.prepare.scaleAuto = true;
                 o.prepare.scale.reset();
                 return true;
             }
             double f = 0;
             if (!realNumber(v, f) || !(f > 0)) {
                 e = "--scale must be auto or a positive number, got '" + v + "'";
                 return false;
             }
             o.prepare.scale = f;
             o.prepare.scaleAuto = false;
             return true;
         }},
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
        {"--null-series", true,
         [](O& o, S v, std::string& e) { return numberOption("--null-series", v, 1, 100000, o.nullSeries, e); }},
        {"--significance", true,
         [](O& o, S v, std::string& e) { return numberOption("--significance", v, 1, 1000000, o.significance, e); }},
        {"--seed", true,
         [](O& o, S v, std::string& e) {
             int64_t n = 0;
             if (!wholeNumber(v, 0, INT64_MAX, n)) {
                 e = "--seed must be a whole number from 0, got '" + v + "'";
                 return false;
             }
             o.seed = static_cast<uint64_t>(n);
             return true;
         }},
        {"--threads", true,
         [](O& o, S v, std::string& e) { return numberOption("--threads", v, 1, kMaxThreads, o.threads, e); }},
        {"--counts-csv", true,
         [](O& o, S v, std::string& e) {
             if (v.empty()) {
                 e = "--counts-csv needs a file name";
                 return false;
             }
             o.countsCsv = v;
             return true;
         }},
        {"--json", false,
         [](O& o, S, std::string&) {
             o.json = true;
             return true;
         }},
        {"--csv", false,
         [](O& o, S, std::string&) {
             o.csv = true;
             return true;
         }},
        {"--plot", true,
         [](O& o, S v, std::string&) {
             o.plot = v;
             return true;
         }},
        {"--size", true,
         [](O& o, S v, std::string& e) {
             if (!pictureSize(v, o.plotWidth, o.plotHeight)) {
                 e = pictureSizeError("--size", v);
                 return false;
             }
             return true;
         }},
        {"--max-memory", true,
         [](O& o, S v, std::string& e) {
             uint64_t bytes = 0;
             if (!memorySize(v, bytes)) {
                 e = "--max-memory must be a size such as 512M, 4G, 2.5G or a number of bytes (K, M, G, T are "
                     "powers of 1024), got '" +
                     v + "'";
                 return false;
             }
             o.maxMemory = bytes;
             return true;
         }},
        {"--max-work", true,
         [](O& o, S v, std::string& e) {
             uint64_t units = 0;
             if (!workCount(v, units)) {
                 e = "--max-work must be a whole number of cell updates from 1, such as 1e14, got '" + v + "'";
                 return false;
             }
             o.maxWork = units;
             return true;
         }},
        {"--progress", false,
         [](O& o, S, std::string&) {
             o.progress = true;
             return true;
         }},
    };
    return rules;
}

}  // namespace

bool memorySize(std::string_view text, uint64_t& bytes)
{
    if (text.empty())
        return false;
    double scale = 1;
    switch (text.back()) {
    case 'K':
    case 'k':
        scale = 1024.0;
        break;
    case 'M':
    case 'm':
        scale = 1024.0 * 1024;
        break;
    case 'G':
    case 'g':
        scale = 1024.0 * 1024 * 1024;
        break;
    case 'T':
    case 't':
        scale = 1024.0 * 1024 * 1024 * 1024;
        break;
    default:
        break;
    }
    if (scale > 1)
        text.remove_suffix(1);
    // Digits with at most one point among them; nothing else.
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        text.find('.') != text.rfind('.') || text.find_first_of("0123456789") == std::string_view::npos)
        return false;
    double v = 0;
    if (!realNumber(text, v))
        return false;
    const double b = std::floor(v * scale);
    if (!(b >= 1) || b >= 18446744073709551615.0)
        return false;
    bytes = static_cast<uint64_t>(b);
    return true;
}

bool parseDetectOptions(const std::vector<std::string>& args, DetectOptions& o, std::string& error)
{
    std::vector<std::string> files;
    if (!readOptions<DetectOptions>(args, o, tableLookup<DetectOptions>(optionRules()), &files, error))
        return false;
    if (files.size() > 1) {
        error = "one file only: '" + files[0] + "' and '" + files[1] + "'";
        return false;
    }
    if (files.empty()) {
        error = "which file? (give its name, or - for text on standard input)";
        return false;
    }
    o.file = files[0];
    if (error = detectChoiceProblem(o); !error.empty())
        return false;
    if (o.csv && o.json) {
        error = "--json and --csv exclude each other";
        return false;
    }
    if (o.plot && o.plot->empty()) {
        error = "--plot needs a file name";
        return false;
    }
    return true;
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

std::string readChoiceProblem(const DetectOptions& o, const files::SeriesData& data)
{
    return files::seriesChoiceRefusal(o.file, data, o.read, {"--column", "--channel", " "});
}

}  // namespace commands
