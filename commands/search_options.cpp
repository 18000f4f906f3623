#include "commands/search_options.h"

#include <cmath>
#include <span>

#include "commands/option_parser.h"

namespace commands {

namespace {

// Whole numbers from 1 to 2147483647 separated by commas: "40,60,80".
bool wholeList(const std::string& text, std::vector<int32_t>& values)
{
    values.clear();
    size_t from = 0;
    while (true) {
        const size_t comma = text.find(',', from);
        int64_t n = 0;
        if (!wholeNumber(std::string_view(text).substr(from, comma - from), 1, INT32_MAX, n))
            return false;
        values.push_back(static_cast<int32_t>(n));
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

// The three parts of FROM:TO:STEP, or false when the text has not two colons.
bool threeParts(const std::string& text, std::string& from, std::string& to, std::string& step)
{
    const size_t a = text.find(':'), b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
        return false;
    from = text.substr(0, a);
    to = text.substr(a + 1, b - a - 1);
    step = text.substr(b + 1);
    return true;
}

bool periodRange(const std::string& text, PeriodRange& range)
{
    std::string from, to, step;
    if (!threeParts(text, from, to, step)) {
        double p = 0;
        if (!realNumber(text, p) || !(p > 0))
            return false;
        range = {p, p, 1};
        return true;
    }
    return realNumber(from, range.from) && realNumber(to, range.to) && realNumber(step, range.step) && range.from > 0 &&
           range.from <= range.to && range.step > 0;
}

// LIST or FROM:TO:STEP of pulse lengths, expanded; no more than a grid holds.
bool lengthList(const std::string& text, std::vector<int32_t>& values)
{
    std::string from, to, step;
    if (!threeParts(text, from, to, step))
        return wholeList(text, values);
    int64_t a = 0, b = 0, s = 0;
    if (!wholeNumber(from, 1, INT32_MAX, a) || !wholeNumber(to, a, INT32_MAX, b) || !wholeNumber(step, 1, INT32_MAX, s))
        return false;
    if ((b - a) / s + 1 > static_cast<int64_t>(detection::kMaxSearchPoints))
        return false;
    values.clear();
    for (int64_t v = a; v <= b; v += s)
        values.push_back(static_cast<int32_t>(v));
    return true;
}

std::span<const OptionRule<SearchOptions>> optionRules()
{
    using O = SearchOptions;
    using S = const std::string&;
    static constexpr OptionRule<SearchOptions> rules[] = {
        {"--period", true,
         [](O& o, S v, std::string& e) {
             PeriodRange range;
             if (!periodRange(v, range)) {
                 e = "--period must be FROM:TO:STEP with 0 < FROM <= TO and STEP > 0 (real numbers, such as "
                     "100:200:0.5) or one period, got '" +
                     v + "'";
                 return false;
             }
             o.period = range;
             return true;
         }},
        {"--window", true,
         [](O& o, S v, std::string& e) {
             double f = 0;
             if (!realNumber(v, f) || !(f > 0 && f < 1)) {
                 e = "--window must be a number between 0 and 1 (both left out), such as 0.1, got '" + v + "'";
                 return false;
             }
             o.window = f;
             return true;
         }},
        {"--tmin", true,
         [](O& o, S v, std::string& e) {
             if (!wholeList(v, o.tmin)) {
                 e = "--tmin must be whole numbers from 1 to 2147483647 separated by commas, such as 40,60,80, got '" +
                     v + "'";
                 return false;
             }
             return true;
         }},
        {"--tmax", true,
         [](O& o, S v, std::string& e) {
             if (!wholeList(v, o.tmax)) {
                 e = "--tmax must be whole numbers from 1 to 2147483647 separated by commas, such as 40,60,80, got '" +
                     v + "'";
                 return false;
             }
             return true;
         }},
        {"--pulse-length", true,
         [](O& o, S v, std::string& e) {
             if (!lengthList(v, o.pulseLengths)) {
                 e = "--pulse-length must be whole numbers from 1 separated by commas (20,30,40) or FROM:TO:STEP "
                     "(10:50:5, at most " +
                     std::to_string(detection::kMaxSearchPoints) + " lengths), got '" + v + "'";
                 return false;
             }
             return true;
         }},
        {"--box", true,
         [](O& o, S v, std::string& e) {
             o.box = true;
             return v.empty() || numberOption("--box", v, 1, 1000000, o.boxWidth, e);
         },
         true},
    };
    return rules;
}

// The choices that must be made together, and those that exclude each other.
bool checkChoices(const SearchOptions& o, std::string& error)
{
    if (o.period && (!o.tmin.empty() || !o.tmax.empty())) {
        error = "--period and --tmin/--tmax exclude each other: the layouts come from periods or are given";
        return false;
    }
    if (o.period && !o.window) {
        error = "--period needs --window F: Tmin = floor(P (1 - F)), Tmax = ceil(P (1 + F)) for each period P";
        return false;
    }
    if (o.window && !o.period) {
        error = "--window applies to --period only";
        return false;
    }
    if (!o.period && (o.tmin.empty() || o.tmax.empty())) {
        error = "the layouts are needed: --period FROM:TO:STEP --window F, or --tmin LIST --tmax LIST";
        return false;
    }
    if (!o.period && o.tmin.size() != o.tmax.size() && o.tmin.size() != 1 && o.tmax.size() != 1) {
        error = "--tmin gives " + std::to_string(o.tmin.size()) + " values and --tmax " +
                std::to_string(o.tmax.size()) + ": give lists of equal length, or one value for all";
        return false;
    }
    const int templates = (o.etalon ? 1 : 0) + (o.box ? 1 : 0) + (o.templateFile ? 1 : 0);
    if (templates > 1) {
        error = "one template only: --etalon, --box or --template";
        return false;
    }
    const bool fixedTemplate = o.etalon || o.templateFile || o.boxWidth;
    if (o.score == "correlation" && fixedTemplate && !o.pulseLengths.empty()) {
        error = std::string("--pulse-length: the pulse length is the template's with ") +
                (o.etalon         ? "--etalon"
                 : o.templateFile ? "--template"
                                  : "--box W") +
                "; leave it out (a box of each pulse length is --box without a width)";
        return false;
    }
    if (o.pulseLengths.empty() && (o.score == "energy" || !fixedTemplate)) {
        error = o.score == "energy"
                    ? "--pulse-length LIST is needed with --score energy"
                    : "--pulse-length LIST is needed with a box of each pulse length (or give --box W, --etalon or "
                      "--template)";
        return false;
    }
    error = outputChoiceProblem(o);
    return error.empty();
}

// Options that would be passed over without a word on this search.
bool refuseIdleOptions(const SearchOptions& o, std::string& error)
{
    if (o.score != "correlation") {
        const char* given = o.box ? "--box" : o.templateFile ? "--template" : o.etalon ? "--etalon" : nullptr;
        if (given) {
            error = std::string(given) +
                    " is a template: it applies with --score correlation only (with --score energy give "
                    "--pulse-length)";
            return false;
        }
        if (o.nullSeries) {
            error = "--null-series: the null series serve the matched filter only (--score correlation)";
            return false;
        }
        if (o.seed && !o.significance) {
            error =
                "--seed: applies to the matched filter's null series (--score correlation) and to "
                "--significance only";
            return false;
        }
    }
    error = plotNameProblem(o.plot);
    return error.empty();
}

}  // namespace

bool parseSearchOptions(const std::vector<std::string>& args, SearchOptions& o, std::string& error)
{
    std::vector<std::string> files;
    const auto lookup = tableLookup<SearchOptions>(
        {optionRules(), seriesReadingRules<SearchOptions>(), detectionRunRules<SearchOptions>()});
    if (!readOptions<SearchOptions>(args, o, lookup, &files, error))
        return false;
    return takeOneSeriesFile(files, o.file, error) && checkChoices(o, error) && refuseIdleOptions(o, error);
}

bool gridLayouts(const SearchOptions& o, std::vector<detection::SearchPoint>& layouts, std::string& error)
{
    layouts.clear();
    if (o.period) {
        std::vector<double> periods;
        if (!detection::steppedValues("--period", o.period->from, o.period->to, o.period->step,
                                      detection::kMaxSearchPoints, periods, error))
            return false;
        for (double P : periods) {
            detection::SearchPoint layout;
            if (!detection::periodLayout(P, *o.window, layout, error))
                return false;
            layouts.push_back(layout);
        }
        return true;
    }
    const size_t pairs = std::max(o.tmin.size(), o.tmax.size());
    for (size_t i = 0; i < pairs; ++i) {
        detection::SearchPoint layout;
        layout.Tmin = o.tmin[o.tmin.size() == 1 ? 0 : i];
        layout.Tmax = o.tmax[o.tmax.size() == 1 ? 0 : i];
        if (layout.Tmin > layout.Tmax) {
            error = "--tmin (" + std::to_string(layout.Tmin) + ") is above --tmax (" + std::to_string(layout.Tmax) +
                    ") in pair " + std::to_string(i + 1);
            return false;
        }
        layouts.push_back(layout);
    }
    return true;
}

}  // namespace commands
