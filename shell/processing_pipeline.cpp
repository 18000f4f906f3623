#include "shell/processing_pipeline.h"

#include <algorithm>
#include <new>

#include "detection/sequential_method.h"
#include "platform/host.h"
#include "resources/command_ids.h"
#include "shell/series_settings.h"
#include "synthesis/series_synthesis.h"

using namespace resources;

namespace shell {

using platform::Host;

namespace {

// A requested count outside the limits becomes their truncated mean.
uint16_t clampedCount(uint16_t requested, uint16_t low, uint16_t high)
{
    if (requested > high || requested < low)
        return static_cast<uint16_t>((low + high) / 2);
    return requested;
}

void recomputeRaisedLimits(AppState& s, uint32_t length)
{
    s.minPulseCount = std::max<uint16_t>(minPulsesFor(s, length), 1);
    s.maxPulseCount = maxPulsesFor(s, length);
}

// Blind detection on a series with an unknown number of pulses: rank the
// pulse counts, then detect with the chosen method.
void runUnfixedCase(AppState& s, Host& host, detection::StepwiseProtocol& protocol, synthesis::SeriesHeader& series)
{
    s.pulseCountTable = detection::getPulseCountTable(s.seriesPulseCount, s.minPulseCount, s.maxPulseCount,
                                                      std::move(s.pulseCountTable));
    s.detectionStudy = detection::getDetectionStudy(series, std::move(s.detectionStudy));
    if (s.detectionStudy) {
        s.detectionStudy->wTask = s.taskType;
        s.detectionStudy->wDetectionMethod = s.repeatMethod;
    }
    detection::runUnfixedDetection(host, s.minInterval, s.maxInterval, s.moreDetails != 0, s.traceUnfixedCaseCriteria,
                                   &protocol, s.pulseCountTable.get(), s.detectionStudy.get(), series);
}

platform::Rect widened(const views::LayoutRect& r, int left, int top, int right, int bottom)
{
    const platform::Rect d = views::toDeviceRect(r);
    return {d.left - left, d.top - top, d.right + right, d.bottom + bottom};
}

}  // namespace

void invalidate(Host& host, const views::LayoutRect& r, bool erase, int left, int top, int right, int bottom)
{
    const platform::Rect rect = widened(r, left, top, right, bottom);
    host.invalidate(rect, erase);
}

void invalidateViewArea(AppState& s, Host& host, bool erase) { invalidate(host, s.viewArea, erase, 0, 10); }

void invalidateViewChange(AppState& /*state*/, Host& host, bool erase)
{
    // The views do not keep to the view area raised by 10 pixels: the frame
    // runs one pixel right of and below it, the tail of a protocol row and
    // the simulation's axis labels beyond it. A new picture must cover every
    // pixel the old one drew, so the whole window is painted again; the
    // buttons and panels come out as the state draws them.
    host.invalidate(std::nullopt, erase);
}

int newSequence(AppState& s, Host& host)
{
    // The random draw divides by the number of required etalons: with none
    // the multi-etalon tasks have nothing to draw from, and the command is
    // refused the way the Next button refuses it.
    if (isMultiEtalonTask(s.taskType) && s.active_etalons == 0) {
        tellNoEtalonSelected(host);
        return kPipelineEnds;
    }
    s.seriesPulseCount = s.requestedPulseCount;
    s.maxPulseCount = maxPulsesFor(s, s.requestedSeriesLength);
    ensureSequenceCapacity(s, s.maxPulseCount);
    for (size_t i = 0; i < s.maxPulseCount; ++i) {
        if (isMultiEtalonTask(s.taskType)) {
            const int32_t r = libraryRand(s.libraryRandState);
            s.etalonSequence[i] = s.requiredList[(r >> 3) % s.active_etalons];
        } else {
            s.etalonSequence[i] = static_cast<uint16_t>(s.currentEtalon);
        }
    }
    return CmdSeriesParameters;
}

int seriesParameters(AppState& s, Host& /*host*/)
{
    s.seriesLength = s.requestedSeriesLength;
    recomputeRaisedLimits(s, s.seriesLength);
    s.seriesPulseCount = clampedCount(s.requestedPulseCount, s.minPulseCount, s.maxPulseCount);
    s.seriesNoiseLevel = s.requestedNoiseLevel;
    if (!isMultiEtalonTask(s.taskType)) {
        ensureSequenceCapacity(s, s.maxPulseCount);
        std::fill_n(s.etalonSequence.begin(), s.maxPulseCount, s.etalonSequence[0]);
    }
    return CmdSynthesize;
}

int synthesize(AppState& s, Host& host)
{
    s.seriesLength = s.requestedSeriesLength;
    if (s.traceUnfixedCaseCriteria.size() < s.seriesLength) {
        try {
            s.traceUnfixedCaseCriteria.clear();
            s.traceUnfixedCaseCriteria.shrink_to_fit();
            s.traceUnfixedCaseCriteria.assign(s.seriesLength, 0);
        } catch (const std::bad_alloc&) {
            host.messageBox("Проблемы при построении traceUnfixedCaseCriteria", "CM_CHOSEN_ETALON",
                            base::MessageIcon::None);
            return kPipelineEnds;
        }
    }
    s.seriesPulseCount = clampedCount(s.requestedPulseCount, s.minPulseCount, s.maxPulseCount);
    s.seriesNoiseLevel = s.requestedNoiseLevel;

    const bool made = synthesizeSeries(s, host);

    if (s.seriesType == seriesTransientKnown)
        s.seriesType = seriesKnownWhole;
    else if (s.seriesType == seriesTransientUnknown)
        s.seriesType = seriesUnknownWhole;

    if (!s.lpSeriesHeader) {
        host.messageBox("Не могу создать ряд!", "CM_INFO", base::MessageIcon::None);
        return kPipelineEnds;
    }
    // A refused synthesis leaves the previous samples under new bounds: noise
    // and processing would then read a series that was never made. The
    // synthesis has already said why.
    if (!made)
        return kPipelineEnds;
    recomputeRaisedLimits(s, s.seriesLength);
    return CmdAddNoise;
}

int addNoiseStage(AppState& s, Host& /*host*/)
{
    synthesis::addNoise(s.seriesNoiseLevel, s.amplitude, s.lpSeriesHeader.get(), s.random.noiseSeed);
    return CmdProcess;
}

int process(AppState& s, Host& host)
{
    // A new result starts with its whole series in view.
    s.shownSamples = {};
    s.protocolKind = 7;
    s.lpStepwiseProtocol =
        detection::getStepwiseProtocol(s.protocolKind, s.maxPulseCount, std::move(s.lpStepwiseProtocol));
    if (!s.lpStepwiseProtocol) {
        host.messageBox("Нет памяти для lpStepwiseProtocol!", "", base::MessageIcon::None);
        return kPipelineEnds;
    }
    detection::StepwiseProtocol* protocol = s.lpStepwiseProtocol.get();
    detection::addTolpStepwiseProtocol(host, s.seriesType, s.taskType, protocol);

    // Without a series (a failed synthesis at start) there is nothing to
    // process; the refresh still runs.
    if (s.lpSeriesHeader) {
        synthesis::SeriesHeader& series = *s.lpSeriesHeader;
        const bool knownCount = detection::isKnownCountSeries(s.seriesType);
        const bool unknownCount = detection::isUnknownCountSeries(s.seriesType);
        switch (s.taskType) {
        case taskFixedEstimation:
            detection::runFixedCaseEstimation(host, series, protocol, s.minInterval, s.maxInterval, s.etalonLength,
                                              s.seriesPulseCount, s.seriesLength);
            break;
        case taskUnfixedEstimation:
            detection::sequentialMethod(host, s.minInterval, s.maxInterval, s.moreDetails != 0, protocol, series);
            break;
        case taskBlindDetection:
            if (knownCount) {
                detection::runFixedCaseEstimation(host, series, protocol, s.minInterval, s.maxInterval, s.etalonLength,
                                                  s.seriesPulseCount, s.seriesLength,
                                                  detection::FixedCaseStages::TrueAndProgramme);
            } else if (unknownCount) {
                runUnfixedCase(s, host, *protocol, series);
            }
            break;
        case taskSeriesProcessing:
            if (knownCount || unknownCount)
                detection::processSeriesChains(host, s.minInterval, s.maxInterval, series);
            break;
        default:
            break;
        }
    }
    return CmdRefresh;
}

void refresh(AppState& s, Host& host)
{
    invalidateViewChange(s, host, s.typeMoreDetails == 0);
    if (s.refreshLengthPanel)
        invalidate(host, s.lengthPanel, true);
    if (s.refreshNoisePanel)
        invalidate(host, s.noisePanel, true);
    if (s.refreshButtons == 1) {
        invalidate(host, s.buttonRegion, true, 0, 0, 1, 1);
        s.refreshButtons = 0;
    }
    s.refreshLengthPanel = 0;
    s.refreshNoisePanel = 0;
    s.moreDetails = 0;
}

bool synthesizeSeries(AppState& s, Host& host)
{
    const std::span<const synthesis::PulseHeader> alphabet(s.etalons.data(), s.etalonCount);
    bool made = false;
    switch (s.seriesType) {
    case seriesKnownWhole:
    case seriesKnownCutOff:
    case seriesTransientKnown:
    case seriesTransientUnknown:
        ensureSequenceCapacity(s, s.seriesPulseCount);
        s.lpSeriesHeader = synthesis::getCutOffSeries(host, alphabet, s.etalonLength, s.minInterval, s.maxInterval,
                                                      s.seriesLength, s.seriesPulseCount, s.etalonSequence, s.amplitude,
                                                      static_cast<uint16_t>(s.savedEnergyCreate),
                                                      std::move(s.lpSeriesHeader), s.random, &made);
        break;
    case seriesUnknownWhole:
    case seriesUnknownCutOff:
        // The drawn count may use every entry the length admits.
        ensureSequenceCapacity(s, maxPulsesFor(s, s.seriesLength));
        s.lpSeriesHeader = synthesis::getRandomCountSeries(
            host, alphabet, s.etalonLength, s.minInterval, s.maxInterval, s.seriesLength, s.etalonSequence, s.amplitude,
            static_cast<uint16_t>(s.savedEnergyCreate), std::move(s.lpSeriesHeader), s.random, &made);
        if (s.lpSeriesHeader)
            s.seriesPulseCount = s.lpSeriesHeader->wImpulseQuantity;
        break;
    default:
        break;
    }
    s.seriesMade = made;
    if (made)
        s.seriesFromFile = false;
    return made;
}

}  // namespace shell
