#include "detect_options.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace cli {

bool wholeNumber(const std::string& text, int64_t low, int64_t high, int64_t& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    size_t used = 0;
    try {
        value = std::stoll(text, &used);
    } catch (...) {
        return false;
    }
    return used == text.size() && value >= low && value <= high;
}

namespace {

bool realNumber(const std::string& text, double& value)
{
    size_t used = 0;
    try {
        value = std::stod(text, &used);
    } catch (...) {
        return false;
    }
    return used == text.size() && std::isfinite(value);
}

// WxH with both sides within the plot's bounds.
bool plotSize(const std::string& text, int32_t& width, int32_t& height)
{
    const size_t x = text.find('x');
    int64_t w = 0, h = 0;
    if (x == std::string::npos || !wholeNumber(text.substr(0, x), 320, 8192, w) ||
        !wholeNumber(text.substr(x + 1), 240, 8192, h))
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

// One option of detect: its name, whether a value follows, and what it does
// with the value; false with a message when the value is refused.
struct OptionRule {
    const char* name;
    bool takesValue;
    std::function<bool(DetectOptions&, const std::string&, std::string&)> apply;
};

bool countOption(const std::string& name, const std::string& v, int64_t low, int64_t high, std::optional<int32_t>& slot,
                 std::string& error)
{
    int64_t n = 0;
    if (!wholeNumber(v, low, high, n)) {
        error = name + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                ", got '" + v + "'";
        return false;
    }
    slot = static_cast<int32_t>(n);
    return true;
}

const std::vector<OptionRule>& optionRules()
{
    using O = DetectOptions;
    using S = const std::string&;
    static const std::vector<OptionRule> rules = {
        {"--column", true,
         [](O& o, S v, std::string&) {
             o.read.column = v;
             return true;
         }},
        {"--channel", true,
         [](O& o, S v, std::string& e) {
             std::optional<int32_t> c;
             if (!countOption("--channel", v, 1, 65535, c, e))
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
         [](O& o, S v, std::string& e) { return countOption("--pulses", v, 1, INT32_MAX, o.pulses, e); }},
        {"--unknown", false,
         [](O& o, S, std::string&) {
             o.unknown = true;
             return true;
         }},
        {"--method", true, [](O& o, S v, std::string& e) { return countOption("--method", v, 0, 6, o.method, e); }},
        {"--tmin", true, [](O& o, S v, std::string& e) { return countOption("--tmin", v, 1, INT32_MAX, o.tmin, e); }},
        {"--tmax", true, [](O& o, S v, std::string& e) { return countOption("--tmax", v, 1, INT32_MAX, o.tmax, e); }},
        {"--pulse-length", true,
         [](O& o, S v, std::string& e) { return countOption("--pulse-length", v, 1, INT32_MAX, o.pulseLength, e); }},
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
        {"--box", true, [](O& o, S v, std::string& e) { return countOption("--box", v, 1, 1000000, o.box, e); }},
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
             if (!plotSize(v, o.plotWidth, o.plotHeight)) {
                 e = "--size must be WxH, 320x240 to 8192x8192, got '" + v + "'";
                 return false;
             }
             return true;
         }},
    };
    return rules;
}

}  // namespace

bool parseDetectOptions(const std::vector<std::string>& args, DetectOptions& o, std::string& error)
{
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const auto& rules = optionRules();
            const auto rule =
                std::find_if(rules.begin(), rules.end(), [&](const OptionRule& r) { return a == r.name; });
            if (rule == rules.end()) {
                error = "unknown option " + a;
                return false;
            }
            std::string value;
            if (rule->takesValue) {
                if (i + 1 >= args.size()) {
                    error = a + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!rule->apply(o, value, error))
                return false;
            continue;
        }
        if (haveFile) {
            error = "one file only: '" + o.file + "' and '" + a + "'";
            return false;
        }
        o.file = a;
        haveFile = true;
    }
    if (!haveFile) {
        error = "which file? (give its name, or - for text on standard input)";
        return false;
    }
    const int modes = (o.pulses ? 1 : 0) + (o.unknown ? 1 : 0) + (o.method ? 1 : 0);
    if (modes != 1) {
        error =
            "choose one of --pulses K (a known count), --unknown (the sequential method) or --method 0..6 "
            "(blind detection)";
        return false;
    }
    if (!o.tmin || !o.tmax) {
        error = "--tmin and --tmax are needed: the least and greatest distance between pulse starts, in samples";
        return false;
    }
    if (*o.tmin > *o.tmax) {
        error = "--tmin (" + std::to_string(*o.tmin) + ") is above --tmax (" + std::to_string(*o.tmax) + ")";
        return false;
    }
    const int templates = (o.etalon ? 1 : 0) + (o.box ? 1 : 0) + (o.templateFile ? 1 : 0);
    if (templates > 1) {
        error = "one template only: --etalon, --box or --template";
        return false;
    }
    if (o.score == "correlation" && templates == 0) {
        error = "--score correlation needs a template: --etalon LETTER, --box W or --template FILE";
        return false;
    }
    if (o.score == "energy" && templates == 0 && !o.pulseLength) {
        error = "--pulse-length L is needed with --score energy (or a template whose length it takes)";
        return false;
    }
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

}  // namespace cli
