#include "shell/own_series_loading.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "files/data_file_reader.h"
#include "resources/command_ids.h"
#include "resources/dialogs.h"
#include "shell/series_settings.h"
#include "base/formatted_text.h"
#include "synthesis/series_synthesis.h"

namespace shell {

namespace {

using namespace resources;
using platform::DialogFields;
using platform::Host;

constexpr std::array<std::string_view, 12> kSeriesExtensions{".csv", ".tsv", ".txt",  ".npy", ".wav", ".flac",
                                                             ".ogg", ".aif", ".aiff", ".au",  ".snd", ".caf"};
constexpr int64_t kWindowSampleLimit = 32767;     // the records' samples are 16-bit
constexpr double kWindowSumLimit = 2147483647.0;  // the programmes' sums of squares are 32-bit

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view text)
{
    size_t a = 0, b = text.size();
    while (a < b && std::isspace(static_cast<unsigned char>(text[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1])))
        --b;
    return std::string(text.substr(a, b - a));
}

std::string fieldText(const DialogFields& fields, int32_t id)
{
    const auto it = fields.find(id);
    return it == fields.end() ? std::string() : trimmed(it->second);
}

// The whole text as one number, in the C locale whatever the process's
// locale says (a Qt process takes the user's).
template <typename T>
std::optional<T> wholeNumber(const std::string& text)
{
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string numberText(double v) { return base::formatText("%.6g", v); }

void say(Host& host, const std::string& text) { host.messageBox(text, kOpenCaption, base::MessageIcon::None); }

// Hands the name already chosen to the data file reader, which asks for its
// file itself; everything else goes to the window's host.
class ChosenFileHost final : public Host {
  public:
    ChosenFileHost(Host& host, std::string path) : host_(host), path_(std::move(path)) {}

    void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override
    {
        host_.messageBox(text, caption, icon);
    }
    platform::DialogResult runDialog(const platform::DialogTemplate& dialog, DialogFields& fields,
                                     const platform::DialogValidator& validate) override
    {
        return host_.runDialog(dialog, fields, validate);
    }
    std::optional<std::string> saveFileDialog(const platform::FileDialogOptions& options) override
    {
        return host_.saveFileDialog(options);
    }
    std::optional<platform::FileChoice> saveFileChoice(const platform::FileDialogOptions& options) override
    {
        return host_.saveFileChoice(options);
    }
    std::optional<std::string> openFileDialog(const platform::FileDialogOptions&) override { return path_; }
    void checkMenuItem(int32_t id, bool checked) override { host_.checkMenuItem(id, checked); }
    void invalidate(std::optional<platform::Rect> rect, bool erase) override { host_.invalidate(rect, erase); }
    platform::Rect clientRect() const override { return host_.clientRect(); }
    void close() override { host_.close(); }
    platform::Bitmap& windowPicture() override { return host_.windowPicture(); }

  private:
    Host& host_;
    std::string path_;
};

// A copy of the record, so that a failed replacement leaves the original.
synthesis::SeriesHeaderPtr copyOf(const synthesis::SeriesHeaderPtr& record)
{
    return record ? std::make_unique<synthesis::SeriesHeader>(*record) : nullptr;
}

bool growTraceBuffer(AppState& s, Host& host, uint32_t n)
{
    if (s.traceUnfixedCaseCriteria.size() >= n)
        return true;
    try {
        s.traceUnfixedCaseCriteria.assign(n, 0);
    } catch (const std::bad_alloc&) {
        host.messageBox("Проблемы при построении traceUnfixedCaseCriteria", "CM_CHOSEN_ETALON",
                        base::MessageIcon::None);
        return false;
    }
    return true;
}

// The record holds the file's samples and nothing the synthesis left: no
// true pulse (the views draw none, and a task that records the true
// positions records -1 for each), no found pulse, whole pulses of the
// window's length, the alphabet listed.
void fillRecord(AppState& s, synthesis::SeriesHeader& h, std::span<const int16_t> samples, uint16_t noiseLevel,
                uint16_t amplitude, uint16_t pulsesForBounds)
{
    const uint32_t N = static_cast<uint32_t>(samples.size());
    const uint16_t L = s.etalonLength;
    std::copy(samples.begin(), samples.end(), h.lpPureData.begin());
    std::copy(samples.begin(), samples.end(), h.lpSeriesData.begin());
    h.dwSeriesSize = N;
    h.wImpulseSize = L;
    h.wImpulseQuantity = 0;
    h.wFoundPulses = 0;
    h.wMinPulses = std::max<uint16_t>(h.wMinPulses, 1);
    // The known-dispersion methods read the noise level: a series from a
    // file carries its own noise, of the level estimated from it.
    h.wNoiseLevel = noiseLevel;
    h.wAmplitude = amplitude;
    h.wCutFrom = 0;
    h.wCutTo = static_cast<int16_t>(L - 1);
    std::fill(h.lpPositions.begin(), h.lpPositions.end(), int16_t{-1});
    std::fill(h.lpFoundPositions.begin(), h.lpFoundPositions.end(), int16_t{-1});
    std::fill(h.lpEtalonSequence.begin(), h.lpEtalonSequence.end(), static_cast<int16_t>(s.currentEtalon));
    std::fill(h.lpCutFrom.begin(), h.lpCutFrom.end(), int16_t{0});
    std::fill(h.lpCutTo.begin(), h.lpCutTo.end(), static_cast<int16_t>(L - 1));
    for (auto* reserved : {&h.lpReserved1, &h.lpReserved2, &h.lpReserved3})
        std::fill(reserved->begin(), reserved->end(), int16_t{0});
    // The exhaustive search of the known-count task reads the a-priori
    // intervals of the count it is asked for.
    std::fill(h.lpMinPositions.begin(), h.lpMinPositions.end(), int16_t{0});
    std::fill(h.lpMaxPositions.begin(), h.lpMaxPositions.end(), int16_t{0});
    const int32_t K = std::min<int32_t>(pulsesForBounds, static_cast<int32_t>(h.lpMinPositions.size()));
    for (int32_t k = 0; k < K; ++k) {
        h.lpMinPositions[k] = static_cast<int16_t>(
            synthesis::pulseLowBound(k, K, static_cast<int32_t>(N), L, s.minInterval, s.maxInterval));
        h.lpMaxPositions[k] = static_cast<int16_t>(
            synthesis::pulseHighBound(k, K, static_cast<int32_t>(N), L, s.minInterval, s.maxInterval));
    }
    const size_t listed = std::min<size_t>({s.etalonCount, h.lpPulsesList.size(), s.etalons.size()});
    for (size_t i = 0; i < listed; ++i)
        h.lpPulsesList[i] = &s.etalons[i];
    h.wPulsesListSize = static_cast<uint16_t>(listed);
    h.lpFirstEtalon = listed > 0 ? h.lpPulsesList[0] : nullptr;
}

// The fields the dialog opens with: what was read, the column (or channel)
// it was read from, and the defaults.
DialogFields initialFields(const AppState& s, const std::string& path, const files::SeriesData& data, bool sound)
{
    DialogFields fields;
    fields[TextOpenSeriesSource] = path + ": " + data.source;
    fields[TextOpenSeriesColumn] = sound ? "Channel (from 1)" : "Column (number or header)";
    fields[EditOpenSeriesColumn] = sound ? std::string("1") : data.columnName;
    fields[EditOpenSeriesDetrend] = "median";
    fields[EditOpenSeriesWindow] = std::to_string(2 * int32_t{s.maxInterval} + 1);
    fields[EditOpenSeriesInvert] = "no";
    fields[EditOpenSeriesScale] = data.integral ? "none" : "auto";
    return fields;
}

}  // namespace

std::string seriesLengthProblem(const AppState& s, size_t n)
{
    if (n > synthesis::kMaxSeriesLength)
        return "The series holds " + std::to_string(n) + " samples; the workbench takes at most " +
               std::to_string(synthesis::kMaxSeriesLength) +
               ". Open it in the detection view (or with quillmore-cli detect), which takes any length.";
    if (n < s.etalonLength)
        return "The series holds " + std::to_string(n) + " samples; the window needs at least " +
               std::to_string(s.etalonLength) + ", the pulse length.";
    const std::string problem =
        synthesis::seriesParameterProblem(s.etalonLength, s.minInterval, s.maxInterval, static_cast<uint32_t>(n));
    return problem.empty() ? std::string() : "The window cannot take this series: " + problem;
}

double windowSumOfSquares(std::span<const int64_t> samples)
{
    double energy = 0;
    for (const int64_t v : samples)
        energy += static_cast<double>(v) * static_cast<double>(v);
    return energy;
}

namespace {

std::string loadedReport(const AppState& s, const std::string& path, const files::SeriesData& data,
                         const PreparationChoice& choice, const detection::PreparedSeries& prepared,
                         uint16_t noiseLevel)
{
    std::string text = "File: " + path + "\n";
    text += "Read: " + data.source + "\n";
    for (const std::string& line : prepared.report)
        text += line + "\n";
    if (choice.autoScale)
        text += "auto scale: the largest magnitude is " + std::to_string(windowAutoScalePeak(prepared.samples.size())) +
                ", so that the window's 32-bit sums of squares hold the whole series\n";
    text += "noise level: about " + std::to_string(noiseLevel) + ", estimated from neighbouring samples\n";
    text += "The window's series: " + std::to_string(s.seriesLength) + " samples, pulse length " +
            std::to_string(s.etalonLength) + ", Tmin=" + std::to_string(s.minInterval) +
            ", Tmax=" + std::to_string(s.maxInterval) + ", from " + std::to_string(s.minPulseCount) + " to " +
            std::to_string(s.maxPulseCount) + " pulses\n";
    return text;
}

// A trace of another length than the series it was read into leaves the
// window's length settings, pulse bounds and true pulses describing a series
// that is no longer there: the window then takes the trace as it takes a
// series of its own. A trace of the same length changes the samples only.
void followDataFileLength(AppState& s, Host& host, uint32_t before)
{
    if (!s.lpSeriesHeader || s.lpSeriesHeader->dwSeriesSize == before)
        return;
    const synthesis::SeriesHeader& h = *s.lpSeriesHeader;
    if (const std::string problem = seriesLengthProblem(s, h.dwSeriesSize); !problem.empty()) {
        say(host, problem);
        return;
    }
    const std::vector<int16_t> samples(h.lpSeriesData.begin(), h.lpSeriesData.begin() + h.dwSeriesSize);
    std::vector<int64_t> wide(samples.begin(), samples.end());
    int64_t largest = 1;
    for (const int64_t v : wide)
        largest = std::max(largest, v < 0 ? -v : v);
    const auto noiseLevel =
        static_cast<uint16_t>(std::clamp<int64_t>(detection::estimateNoiseLevel(wide), 0, kWindowSampleLimit));
    adoptSeries(s, host, samples, noiseLevel, static_cast<uint16_t>(std::min(largest, kWindowSampleLimit)));
}

}  // namespace

platform::FileDialogOptions openDialogOptions()
{
    platform::FileDialogOptions o = files::dataFileDialogOptions();
    o.filters.push_back({"Series Files (*.csv *.tsv *.txt *.npy *.wav)", "*.csv;*.tsv;*.txt;*.npy;*.wav"});
    o.filters.push_back({"Data Files (*.dat)", "*.dat"});
    return o;
}

bool isSeriesFileName(std::string_view path)
{
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string extension = lowered(name.substr(dot));
    return std::find(kSeriesExtensions.begin(), kSeriesExtensions.end(), extension) != kSeriesExtensions.end();
}

int64_t windowAutoScalePeak(size_t n)
{
    if (n == 0)
        return kWindowSampleLimit;
    const auto peak = static_cast<int64_t>(std::sqrt(2147483647.0 / static_cast<double>(n)));
    return std::clamp<int64_t>(peak, 1, kWindowSampleLimit);
}

std::optional<PreparationChoice> parsePreparationFields(const DialogFields& fields, bool sound, std::string& problem)
{
    PreparationChoice choice;
    const std::string column = fieldText(fields, EditOpenSeriesColumn);
    if (sound) {
        const std::optional<int32_t> channel = wholeNumber<int32_t>(column);
        if (!channel || *channel < 1) {
            problem = "The channel must be a number from 1, not '" + column + "'.";
            return std::nullopt;
        }
        choice.channel = *channel;
    } else {
        choice.column = column;
    }

    const std::string detrend = lowered(fieldText(fields, EditOpenSeriesDetrend));
    if (detrend == "none") {
        choice.options.detrend = detection::Detrend::None;
    } else if (detrend == "median") {
        choice.options.detrend = detection::Detrend::WholeMedian;
    } else if (detrend == "moving" || detrend == "moving median") {
        choice.options.detrend = detection::Detrend::MovingMedian;
        const std::string window = fieldText(fields, EditOpenSeriesWindow);
        const std::optional<int64_t> width = wholeNumber<int64_t>(window);
        if (!width || *width < 1) {
            problem = "The moving median window must be a number of samples from 1, not '" + window + "'.";
            return std::nullopt;
        }
        choice.options.window = *width;
    } else {
        problem = "Detrend takes none, median or moving, not '" + detrend + "'.";
        return std::nullopt;
    }

    const std::string invert = lowered(fieldText(fields, EditOpenSeriesInvert));
    if (invert == "yes") {
        choice.options.invert = true;
    } else if (invert != "no") {
        problem = "Invert takes no or yes, not '" + invert + "'.";
        return std::nullopt;
    }

    const std::string scale = lowered(fieldText(fields, EditOpenSeriesScale));
    if (scale == "auto") {
        choice.autoScale = true;
    } else if (scale == "none") {
        // Integers as they are; any other value rounded as it is.
        choice.options.scale = std::nullopt;
    } else {
        const std::optional<double> factor = wholeNumber<double>(scale);
        if (!factor || !std::isfinite(*factor) || *factor <= 0) {
            problem = "Scale takes auto, none or a positive factor, not '" + scale + "'.";
            return std::nullopt;
        }
        choice.options.scale = *factor;
    }
    return choice;
}

bool prepareForWindow(const files::SeriesData& data, const PreparationChoice& choice,
                      detection::PreparedSeries& prepared, std::string& problem)
{
    detection::PreparationOptions options = choice.options;
    std::string error;
    try {
        if (choice.autoScale) {
            // The preparation's own automatic factor brings the largest
            // magnitude to 32,767; the window's peak is that factor scaled down.
            options.scale = std::nullopt;
            options.scaleAuto = true;
            if (!detection::prepareSeries(data.values, data.integral, options, prepared, error)) {
                problem = "The series cannot be prepared: " + error + ".";
                return false;
            }
            options.scale = prepared.scale * static_cast<double>(windowAutoScalePeak(data.values.size())) /
                            detection::kAutoScaleTarget;
            options.scaleAuto = false;
        } else if (!options.scale && !data.integral) {
            options.scale = 1.0;  // "none": the values rounded as they are
        }
        if (!detection::prepareSeries(data.values, data.integral, options, prepared, error)) {
            problem = "The series cannot be prepared: " + error + ".";
            return false;
        }
    } catch (const std::bad_alloc&) {
        problem = "There is not enough memory to prepare the series.";
        return false;
    }
    if (prepared.largest > kWindowSampleLimit) {
        problem = "The prepared samples reach " + std::to_string(prepared.largest) +
                  "; the window's samples are 16-bit, at most 32767. Choose the auto scale" +
                  (options.scale ? " or a smaller factor." : " or a factor below 1.");
        return false;
    }
    // The window's programmes sum the squares of a whole series in 32 bits;
    // past 2^31 - 1 those sums wrap and every estimate goes wrong.
    if (const double energy = windowSumOfSquares(prepared.samples); energy > kWindowSumLimit) {
        problem = "The sum of squares of the prepared samples (" + numberText(energy) +
                  ") passes the window's 32-bit sums (2147483647): its estimates would be void. Choose the auto "
                  "scale (the largest magnitude then is " +
                  std::to_string(windowAutoScalePeak(prepared.samples.size())) +
                  "), a smaller factor, or the detection view, which sums in 64 bits.";
        return false;
    }
    return true;
}

bool adoptSeries(AppState& s, Host& host, std::span<const int16_t> samples, uint16_t noiseLevel, uint16_t amplitude)
{
    const uint32_t N = static_cast<uint32_t>(samples.size());
    if (const std::string problem = seriesLengthProblem(s, samples.size()); !problem.empty()) {
        say(host, problem);
        return false;
    }
    if (!growTraceBuffer(s, host, N))
        return false;
    synthesis::SeriesHeaderPtr record = synthesis::getCutOffSeriesHeader(
        host, s.etalonCount, s.etalonLength, s.minInterval, s.maxInterval, N, copyOf(s.lpSeriesHeader));
    if (!record || record->dwSeriesCapacity < N || record->dwSeriesSize != N)
        return false;  // getCutOffSeriesHeader has said why

    // The length settings as a click on a length option makes them, then the
    // series parameters' raised least count and clamped count.
    requestSeriesLength(s, N);
    chooseLengthOption(s, N);
    s.seriesLength = N;
    s.minPulseCount = std::max<uint16_t>(s.minPulseCount, 1);
    if (s.requestedPulseCount < s.minPulseCount || s.requestedPulseCount > s.maxPulseCount)
        s.seriesPulseCount = static_cast<uint16_t>((s.minPulseCount + s.maxPulseCount) / 2);
    else
        s.seriesPulseCount = s.requestedPulseCount;
    ensureSequenceCapacity(s, s.maxPulseCount);

    fillRecord(s, *record, samples, noiseLevel, amplitude, s.seriesPulseCount);
    s.lpSeriesHeader = std::move(record);
    s.seriesFromFile = true;
    s.refreshLengthPanel = 1;
    return true;
}

bool loadSeriesFile(AppState& s, Host& host, const std::string& path, const files::SeriesReadOptions& readOptions)
{
    files::SeriesReadResult read = files::readSeriesFile(path, readOptions);
    if (!read.ok) {
        say(host, read.error);
        return false;
    }
    if (const std::string problem = seriesLengthProblem(s, read.data.values.size()); !problem.empty()) {
        say(host, problem);
        return false;
    }
    // Only sound files know their sampling rate here: the data file never
    // reaches this reader.
    const bool sound = read.data.sampleRate > 0;
    DialogFields fields = initialFields(s, path, read.data, sound);
    std::string readColumn = fields[EditOpenSeriesColumn];

    PreparationChoice choice;
    detection::PreparedSeries prepared;
    // Every refusal keeps the dialog open, so that a wrong column or a scale
    // the window cannot take can be corrected at once.
    auto validate = [&](DialogFields& typed) {
        std::string problem;
        const std::optional<PreparationChoice> parsed = parsePreparationFields(typed, sound, problem);
        if (!parsed) {
            say(host, problem);
            return false;
        }
        if (trimmed(typed[EditOpenSeriesColumn]) != readColumn) {
            files::SeriesReadOptions again;
            again.column = parsed->column;
            again.channel = parsed->channel;
            files::SeriesReadResult other = files::readSeriesFile(path, again);
            if (!other.ok) {
                say(host, other.error);
                return false;
            }
            if (const std::string longer = seriesLengthProblem(s, other.data.values.size()); !longer.empty()) {
                say(host, longer);
                return false;
            }
            read = std::move(other);
            readColumn = trimmed(typed[EditOpenSeriesColumn]);
        }
        if (!prepareForWindow(read.data, *parsed, prepared, problem)) {
            say(host, problem);
            return false;
        }
        choice = *parsed;
        return true;
    };
    if (host.runDialog(openSeriesDialog(), fields, validate) != platform::DialogResult::Ok)
        return false;

    std::vector<int16_t> samples(prepared.samples.size());
    std::transform(prepared.samples.begin(), prepared.samples.end(), samples.begin(),
                   [](int64_t v) { return static_cast<int16_t>(v); });
    const auto noiseLevel = static_cast<uint16_t>(
        std::clamp<int64_t>(detection::estimateNoiseLevel(prepared.samples), 0, kWindowSampleLimit));
    const auto amplitude = static_cast<uint16_t>(std::clamp<int64_t>(prepared.largest, 1, kWindowSampleLimit));
    if (!adoptSeries(s, host, samples, noiseLevel, amplitude))
        return false;

    // A series opened to be looked at: the result of its processing is shown.
    if (s.viewState != viewResult)
        s.refreshButtons = 1;
    s.viewState = viewResult;
    s.resultView = resultProcessing;
    say(host, loadedReport(s, path, read.data, choice, prepared, noiseLevel));
    return true;
}

void openFile(AppState& s, Host& host) { openChosenFile(s, host, host.openFileDialog(openDialogOptions())); }

void openChosenFile(AppState& s, Host& host, const std::optional<std::string>& path,
                    const files::SeriesReadOptions& readOptions)
{
    if (!path) {
        s.dataFileResult = 0;  // as the data file reader answers a cancelled dialog
        return;
    }
    if (!isSeriesFileName(*path)) {
        const uint32_t before = s.lpSeriesHeader ? s.lpSeriesHeader->dwSeriesSize : 0;
        ChosenFileHost chosen(host, *path);
        s.dataFileResult = files::ReadInfoDataFile(chosen, s.dataFileResult, s.lpSeriesHeader);
        followDataFileLength(s, host, before);
        return;
    }
    if (!loadSeriesFile(s, host, *path, readOptions))
        s.dataFileResult = 0;
}

}  // namespace shell
