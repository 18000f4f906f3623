#pragma once
// The options detect and search read alike, as rules of the one option
// reader: how the file is read and prepared, the template and score, the
// matched filter's null and the surrogates, the output, and the limits and
// progress of the run. A command's options record names these fields the
// same way:
//     read, prepare                       the reading and the preparation
//     score, etalon, templateFile         --score, --etalon, --template
//     nullSeries, significance, seed, threads
//     json, csv, plot, plotWidth, plotHeight
//     maxMemory, maxWork, progress
// so that each rule is written once and refuses in one wording.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "commands/option_parser.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

// A memory size as --max-memory takes it: a number of bytes, whole or with a
// fraction, followed by nothing or by K, M, G or T (powers of 1024, either
// case): "512M", "4G", "2.5G", "1000000". At least 1 byte, below 2^64.
bool memorySize(std::string_view text, uint64_t& bytes);

// A count of work units from 1 below 2^64: digits, or a real number such as 1e13.
bool workCount(const std::string& text, uint64_t& units);

// --column, --channel, --format, --detrend, --invert, --scale.
template <typename Options>
std::span<const OptionRule<Options>> seriesReadingRules()
{
    using O = Options;
    using S = const std::string&;
    static constexpr OptionRule<Options> rules[] = {
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
    };
    return rules;
}

// --score, --etalon, --template, --null-series, --significance, --seed,
// --threads, --json, --csv, --plot, --size, --max-memory, --max-work,
// --progress.
template <typename Options>
std::span<const OptionRule<Options>> detectionRunRules()
{
    using O = Options;
    using S = const std::string&;
    static constexpr OptionRule<Options> rules[] = {
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
        {"--template", true,
         [](O& o, S v, std::string&) {
             o.templateFile = v;
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

// A --plot name that does not end in .png (any case): the refusal, or empty.
std::string plotNameProblem(const std::optional<std::string>& plot);

// The one series a command reads: false with the refusal when the words
// name none or more than one, else `file` set.
bool takeOneSeriesFile(const std::vector<std::string>& files, std::string& file, std::string& error);

// --json with --csv, or an empty --plot name: the refusal, or empty.
template <typename Options>
std::string outputChoiceProblem(const Options& o)
{
    if (o.csv && o.json)
        return "--json and --csv exclude each other";
    if (o.plot && o.plot->empty())
        return "--plot needs a file name";
    return {};
}

}  // namespace commands
