#include "shell/command_dispatcher.h"

#include <algorithm>

#include "files/data_file_reader.h"
#include "files/snapshot_export.h"
#include "platform/host.h"
#include "resources/command_ids.h"
#include "shell/parameter_dialogs.h"
#include "detection/sequential_method.h"
#include "synthesis/series_synthesis.h"

namespace {

using namespace resources;
using platform::Host;

platform::Rect widened(const LayoutRect& r, int left, int top, int right, int bottom)
{
    // Layout rectangles include their right and bottom edge; the host's do not.
    return {r.left - left, r.top - top, r.right + 1 + right, r.bottom + 1 + bottom};
}

void invalidate(Host& host, const LayoutRect& r, bool erase, int left = 0, int top = 0, int right = 0,
                int bottom = 0)
{
    const platform::Rect rect = widened(r, left, top, right, bottom);
    host.invalidate(rect, erase);
}

void invalidateViewArea(AppState& s, Host& host, bool erase = true) { invalidate(host, s.viewArea, erase, 0, 10); }

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

void sendCommand(AppState& s, Host& host, int command) { dispatchCommand(s, host, command); }

// --- the pipeline -------------------------------------------------------

void newSequence(AppState& s, Host& host)
{
    // The random draw divides by the number of required etalons: with none
    // the multi-etalon tasks have nothing to draw from, and the command is
    // refused the way the Next button refuses it.
    if (isMultiEtalonTask(s.taskType) && s.active_etalons == 0)
        return;
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
    sendCommand(s, host, CmdSeriesParameters);
}

void seriesParameters(AppState& s, Host& host)
{
    s.seriesLength = s.requestedSeriesLength;
    recomputeRaisedLimits(s, s.seriesLength);
    s.seriesPulseCount = clampedCount(s.requestedPulseCount, s.minPulseCount, s.maxPulseCount);
    s.seriesNoiseLevel = s.requestedNoiseLevel;
    if (!isMultiEtalonTask(s.taskType)) {
        ensureSequenceCapacity(s, s.maxPulseCount);
        std::fill_n(s.etalonSequence.begin(), s.maxPulseCount, s.etalonSequence[0]);
    }
    sendCommand(s, host, CmdSynthesize);
}

void synthesize(AppState& s, Host& host)
{
    s.seriesLength = s.requestedSeriesLength;
    if (s.traceUnfixedCaseCriteria.size() < s.seriesLength) {
        try {
            s.traceUnfixedCaseCriteria.clear();
            s.traceUnfixedCaseCriteria.shrink_to_fit();
            s.traceUnfixedCaseCriteria.assign(s.seriesLength, 0);
        } catch (const std::bad_alloc&) {
            host.messageBox("Проблемы при построении traceUnfixedCaseCriteria", "CM_CHOSEN_ETALON", MessageIcon::None);
            return;
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
        host.messageBox("Не могу создать ряд!", "CM_INFO", MessageIcon::None);
        return;
    }
    // A refused synthesis leaves the previous samples under new bounds: noise
    // and processing would then read a series that was never made. The
    // synthesis has already said why.
    if (!made)
        return;
    recomputeRaisedLimits(s, s.seriesLength);
    sendCommand(s, host, CmdAddNoise);
}

void addNoiseStage(AppState& s, Host& host)
{
    addNoise(s.seriesNoiseLevel, s.amplitude, s.lpSeriesHeader.get(), s.random.noiseSeed);
    sendCommand(s, host, CmdProcess);
}

// Blind detection on a series with an unknown number of pulses: rank the
// pulse counts, then detect with the chosen method.
void runUnfixedCase(AppState& s, Host& host, StepwiseProtocol& protocol, SeriesHeader& series)
{
    s.pulseCountTable =
        getPulseCountTable(s.seriesPulseCount, s.minPulseCount, s.maxPulseCount, std::move(s.pulseCountTable));
    s.detectionStudy = getDetectionStudy(series, std::move(s.detectionStudy));
    if (s.detectionStudy) {
        s.detectionStudy->wTask = s.taskType;
        s.detectionStudy->wDetectionMethod = s.repeatMethod;
    }
    runUnfixedDetection(host, s.minInterval, s.maxInterval, s.moreDetails != 0, s.traceUnfixedCaseCriteria, &protocol,
                        s.pulseCountTable.get(), s.detectionStudy.get(), series);
}

void process(AppState& s, Host& host)
{
    s.protocolKind = 7;
    s.lpStepwiseProtocol = getStepwiseProtocol(s.protocolKind, s.maxPulseCount, std::move(s.lpStepwiseProtocol));
    if (!s.lpStepwiseProtocol) {
        host.messageBox("Нет памяти для lpStepwiseProtocol!", "", MessageIcon::None);
        return;
    }
    StepwiseProtocol* protocol = s.lpStepwiseProtocol.get();
    addTolpStepwiseProtocol(host, s.seriesType, s.taskType, protocol);

    // Without a series (a failed synthesis at start) there is nothing to
    // process; the refresh still runs.
    if (s.lpSeriesHeader) {
        SeriesHeader& series = *s.lpSeriesHeader;
        const bool knownCount = s.seriesType == seriesKnownWhole || s.seriesType == seriesKnownCutOff;
        const bool unknownCount = s.seriesType == seriesUnknownWhole || s.seriesType == seriesUnknownCutOff;
        switch (s.taskType) {
        case taskFixedEstimation:
            runFixedCaseEstimation(host, series, protocol, s.minInterval, s.maxInterval, s.etalonLength,
                                   s.seriesPulseCount, s.seriesLength);
            break;
        case taskUnfixedEstimation:
            sequentialMethod(host, s.minInterval, s.maxInterval, s.moreDetails != 0, protocol, series);
            break;
        case taskBlindDetection:
            if (knownCount) {
                runFixedCaseEstimation(host, series, protocol, s.minInterval, s.maxInterval, s.etalonLength,
                                       s.seriesPulseCount, s.seriesLength, FixedCaseStages::TrueAndProgramme);
            } else if (unknownCount) {
                runUnfixedCase(s, host, *protocol, series);
            }
            break;
        case taskSeriesProcessing:
            if (knownCount || unknownCount)
                processSeriesChains(host, s.minInterval, s.maxInterval, series);
            break;
        default:
            break;
        }
    }
    sendCommand(s, host, CmdRefresh);
}

void refresh(AppState& s, Host& host)
{
    invalidateViewArea(s, host, s.typeMoreDetails == 0);
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

// --- commands of the menu ----------------------------------------------

void createSeries(AppState& s, Host& host)
{
    sendCommand(s, host, CmdSeriesDialog);
    if (!s.dialogAccepted)
        return;
    s.savedRequestedPulseCount = s.requestedPulseCount;
    const uint16_t E = s.etalonLength;
    const uint32_t length = static_cast<uint32_t>(s.stagedSeriesLength);
    const uint16_t low = std::max<uint16_t>(static_cast<uint16_t>((length + E - 1) / s.stagedMaxInterval), 1);
    const uint16_t high = static_cast<uint16_t>((length - E + s.stagedMinInterval) / s.stagedMinInterval);
    s.stagedPulseCountLow = low;
    s.stagedPulseCountHigh = high;
    s.requestedPulseCount = static_cast<uint16_t>((low + high) / 2);
    if (s.sequenceUnset == 1) {
        ensureSequenceCapacity(s, high);
        std::fill_n(s.etalonSequence.begin(), high, static_cast<uint16_t>(s.dialogEtalonNumber));
        s.sequenceUnset = 0;
    }
    runSeriesStructureDialog(s, host);
    if (s.dialogPulseCount > high || s.dialogPulseCount < low)
        s.dialogPulseCount = static_cast<uint16_t>((low + high) / 2);
    if (!s.dialogAccepted) {
        s.requestedPulseCount = s.savedRequestedPulseCount;
        return;
    }
    s.requestedSeriesLength = length;
    s.minInterval = s.stagedMinInterval;
    s.maxInterval = s.stagedMaxInterval;
    s.currentEtalon = s.dialogEtalonNumber;
    s.savedEnergyCreate = s.stagedSavedEnergyCreate;
    s.savedEnergyProcess = s.stagedSavedEnergyProcess;
    s.requestedPulseCount = s.dialogPulseCount;
    s.requestedNoiseLevel = s.stagedNoiseLevel;
    s.minPulseCount = low;
    s.maxPulseCount = high;
    ensureSequenceCapacity(s, s.maxPulseCount);
    for (size_t i = 0; i < s.maxPulseCount; ++i)
        if (s.etalonSequence[i] == 0)
            s.etalonSequence[i] = static_cast<uint16_t>(s.currentEtalon);
    s.refreshLengthPanel = 1;
    s.refreshNoisePanel = 1;
    s.viewState = viewResult;
    if (s.seriesType == seriesKnownWhole)
        s.seriesType = seriesTransientKnown;
    else if (s.seriesType == seriesUnknownWhole)
        s.seriesType = seriesTransientUnknown;
    sendCommand(s, host, CmdSynthesize);
}

void seriesDialog(AppState& s, Host& host)
{
    if (s.active_etalons == 0) {
        s.active_etalons = 1;
        if (s.requiredList.empty())
            s.requiredList.resize(1);
        s.requiredList[0] = 1;
        ensureSequenceCapacity(s, 1);
        s.etalonSequence[0] = 1;
        s.currentEtalon = 1;
        s.etalonSelected[0] = 1;
    }
    if (s.currentEtalon < 1 || s.currentEtalon > s.etalonCount || !s.etalonSelected[s.currentEtalon - 1]) {
        for (int k = 0; k < s.etalonCount; ++k)
            if (s.etalonSelected[k]) {
                s.currentEtalon = k + 1;
                break;
            }
    }
    runSeriesCreationDialog(s, host);
    if (!s.dialogAccepted)
        return;
    const uint32_t length = static_cast<uint32_t>(s.stagedSeriesLength);
    s.minPulseCount = minPulsesFor(s, length);
    s.maxPulseCount = maxPulsesFor(s, length);
    if (s.etalonSequence.size() < s.maxPulseCount)
        s.etalonSequence.assign(s.maxPulseCount, static_cast<uint16_t>(s.currentEtalon));
}

void requiredListCommand(AppState& s, Host& host)
{
    if (s.requiredList.empty() || s.active_etalons > s.requiredCapacity) {
        s.active_etalons = s.etalonCount;
        s.requiredList = getRequiredList(host, s.active_etalons);
        s.requiredCapacity = s.active_etalons;
    }
    runRequiredListDialog(s, host);
    for (size_t i = 0; i < s.requiredList.size(); ++i)
        if (s.requiredList[i] > s.etalonCount)
            s.requiredList[i] = static_cast<uint16_t>(i + 1);
    for (int k = 1; k <= s.requiredCapacity && k <= kAlphabetCapacity; ++k) {
        const auto first = s.requiredList.begin();
        const auto last = first + std::min<size_t>(s.active_etalons, s.requiredList.size());
        s.etalonSelected[k - 1] = std::find(first, last, k) != last ? 1 : 0;
    }
}

void simulationDialogs(AppState& s, Host& host)
{
    sendCommand(s, host, CmdSeriesDialog);
    if (!s.dialogAccepted)
        return;
    if (s.sequenceUnset == 1) {
        ensureSequenceCapacity(s, s.maxPulseCount);
        std::fill_n(s.etalonSequence.begin(), s.maxPulseCount, static_cast<uint16_t>(s.dialogEtalonNumber));
        s.sequenceUnset = 0;
    }
    runSimulationDialog(s, host);
    if (!s.dialogAccepted)
        return;
    s.requestedSeriesLength = static_cast<uint32_t>(s.stagedSeriesLength);
    s.seriesLength = s.requestedSeriesLength;
    if (s.stagedPulseCountLow >= s.minPulseCount && s.stagedPulseCountHigh <= s.maxPulseCount &&
        s.stagedPulseCountLow <= s.stagedPulseCountHigh) {
        s.minPulseCount = s.stagedPulseCountLow;
        s.maxPulseCount = s.stagedPulseCountHigh;
    }
    if (s.pulseCountIncrement == 0)
        s.pulseCountIncrement = 1;
    s.pulseCountSteps = static_cast<uint16_t>((s.maxPulseCount - s.minPulseCount) / s.pulseCountIncrement + 1);
}

void showSimulation(AppState& s, Host& host)
{
    if (!s.lpRestErrorHeader || !s.lpRestErrorHeader->fReady)
        return;
    s.resultView = resultSimulation;
    s.simulationViewKind = 2;
    invalidateViewArea(s, host);
    invalidate(host, s.restartButton, true, 0, 0, 1, 1);
    if (s.refreshLengthPanel) {
        invalidate(host, s.lengthPanel, true);
        s.refreshLengthPanel = 0;
    }
    if (s.refreshNoisePanel) {
        invalidate(host, s.noisePanel, true);
        s.refreshNoisePanel = 0;
    }
    s.moreDetails = 0;
    s.viewState = viewResult;
}

void statisticalSimulation(AppState& s, Host& host)
{
    sendCommand(s, host, CmdSimulationDialog);
    if (!s.dialogAccepted)
        return;
    s.lpSeriesHeader = getCutOffSeriesHeader(host, s.etalonCount, s.etalonLength, s.minInterval, s.maxInterval,
                                             s.seriesLength, std::move(s.lpSeriesHeader));
    if (!s.lpSeriesHeader) {
        host.messageBox("Не могу выделить память для lpCutOffSeriesHeader!", " About getCutOffSeriesHeader ",
                        MessageIcon::Warning);
        return;
    }
    s.lpRestErrorHeader = getRestErrHeader(host, s.pulseCountSteps, s.noiseStepCount, s.repeatCount,
                                           std::move(s.lpRestErrorHeader));
    if (!s.lpRestErrorHeader) {
        host.messageBox("Нет RestoreErrorHeader!", " About RestoreErrorHeader ", MessageIcon::None);
        return;
    }
    if (!initRestErrHeader(host, s.pulseCountSteps, s.minPulseCount, s.pulseCountIncrement, s.noiseStepCount,
                           s.initialNoiseLevel, s.noiseIncrement, s.repeatCount, s.lpRestErrorHeader.get())) {
        host.messageBox("Ошибка initRestErrHeader!", " About RestoreErrorHeader ", MessageIcon::None);
        return;
    }
    statCutoffSpotting(host, s.lpRestErrorHeader.get(), std::span<const PulseHeader>(s.etalons.data(), s.etalonCount),
                       s.active_etalons, s.requiredList, s.seriesType, s.taskType,
                       static_cast<uint16_t>(s.savedEnergyCreate), s.savedEnergyProcess, s.lpSeriesHeader, s.amplitude,
                       s.random.noiseSeed, s.random, s.simulationProgress);
    showSimulation(s, host);
}

void setTaskChecks(Host& host, int checkedTask)
{
    for (int id : {IdTaskDetection, IdTaskJointDetectionEstimation, IdTaskSeriesProcessing})
        host.checkMenuItem(id, id == checkedTask);
}

void setSeriesTypeChecks(Host& host, int checkedType)
{
    for (int id : {IdSeriesFixedNumber, IdSeriesUnfixedNumber})
        host.checkMenuItem(id, id == checkedType);
}

void repeatDetection(AppState& s, Host& host, uint16_t method)
{
    if (s.seriesType == seriesUnknownWhole) {
        s.taskType = taskBlindDetection;
        s.repeatMethod = method;
        host.checkMenuItem(IdTaskDetection, true);
        host.checkMenuItem(IdTaskJointDetectionEstimation, false);
    }
    s.refreshButtons = 1;
    sendCommand(s, host, CmdProcess);
}

}  // namespace

bool synthesizeSeries(AppState& s, Host& host)
{
    const std::span<const PulseHeader> alphabet(s.etalons.data(), s.etalonCount);
    bool made = false;
    switch (s.seriesType) {
    case seriesKnownWhole:
    case seriesKnownCutOff:
    case seriesTransientKnown:
    case seriesTransientUnknown:
        ensureSequenceCapacity(s, s.seriesPulseCount);
        s.lpSeriesHeader = getCutOffSeries(host, alphabet, s.etalonLength, s.minInterval, s.maxInterval,
                                           s.seriesLength, s.seriesPulseCount, s.etalonSequence, s.amplitude,
                                           static_cast<uint16_t>(s.savedEnergyCreate), std::move(s.lpSeriesHeader),
                                           s.random, &made);
        break;
    case seriesUnknownWhole:
    case seriesUnknownCutOff:
        // The drawn count may use every entry the length admits.
        ensureSequenceCapacity(s, maxPulsesFor(s, s.seriesLength));
        s.lpSeriesHeader = getRandomCountSeries(host, alphabet, s.etalonLength, s.minInterval, s.maxInterval,
                                                s.seriesLength, s.etalonSequence, s.amplitude,
                                                static_cast<uint16_t>(s.savedEnergyCreate),
                                                std::move(s.lpSeriesHeader), s.random, &made);
        if (s.lpSeriesHeader)
            s.seriesPulseCount = s.lpSeriesHeader->wImpulseQuantity;
        break;
    default:
        break;
    }
    return made;
}

uint16_t minPulsesFor(const AppState& s, uint32_t length)
{
    if (s.maxInterval == 0)
        return 0;
    return static_cast<uint16_t>((length + s.etalonLength - 1) / s.maxInterval);
}

uint16_t maxPulsesFor(const AppState& s, uint32_t length)
{
    if (s.minInterval == 0)
        return 0;
    return static_cast<uint16_t>((length - s.etalonLength + s.minInterval) / s.minInterval);
}

void requestSeriesLength(AppState& s, uint32_t length)
{
    s.requestedSeriesLength = length;
    s.minPulseCount = minPulsesFor(s, length);
    s.maxPulseCount = maxPulsesFor(s, length);
    s.requestedPulseCount = static_cast<uint16_t>((s.minPulseCount + s.maxPulseCount) / 2);
}

int32_t libraryRand(uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

void rebuildRequiredList(AppState& s)
{
    if (s.requiredList.size() < s.etalonCount)
        s.requiredList.resize(s.etalonCount);
    uint16_t n = 0;
    for (int k = 0; k < s.etalonCount; ++k)
        if (s.etalonSelected[k])
            s.requiredList[n++] = static_cast<uint16_t>(k + 1);
    s.active_etalons = n;
    s.requiredCapacity = std::max<uint16_t>(s.requiredCapacity, static_cast<uint16_t>(s.requiredList.size()));
}

void ensureSequenceCapacity(AppState& s, size_t n)
{
    if (s.etalonSequence.size() < n)
        s.etalonSequence.resize(n, static_cast<uint16_t>(s.currentEtalon));
}

void dispatchCommand(AppState& s, Host& host, int command)
{
    switch (command) {
    // --- File
    case IdCreateSeries:
        createSeries(s, host);
        break;
    case IdNewPulses:
        requiredListCommand(s, host);
        break;
    case IdSaveImageAs:
        files::MakeSnapshot(host);
        break;
    case IdExit:
    case CmdCloseWindow:
        host.close();
        break;
    case IdOpen:
        s.dataFileResult = files::ReadInfoDataFile(host, s.dataFileResult, s.lpSeriesHeader);
        sendCommand(s, host, CmdProcess);
        break;
    case IdSelectSetOfPulses:
        s.viewState = viewSubsetGrid;
        invalidateViewArea(s, host);
        break;
    // --- Processing
    case IdProcessingSameData:
        sendCommand(s, host, CmdProcess);
        break;
    case IdMoreDetails:
        s.moreDetails = 1;
        sendCommand(s, host, CmdProcess);
        break;
    case IdProcessingNextData:
        sendCommand(s, host, CmdNextData);
        break;
    case IdTypeMoreDetails:
        s.typeMoreDetails = 1;
        sendCommand(s, host, CmdRefresh);
        break;
    case IdFixedCase:
        s.seriesType = seriesKnownWhole;
        s.taskType = taskFixedEstimation;
        sendCommand(s, host, CmdNewSequence);
        break;
    case IdUnfixedCase:
        s.seriesType = seriesUnknownWhole;
        s.taskType = taskUnfixedEstimation;
        sendCommand(s, host, CmdNewSequence);
        break;
    case IdDetectionStatisticalSimulation:
        statisticalSimulation(s, host);
        break;
    case IdShowStatisticalSimulation:
        showSimulation(s, host);
        break;
    case IdRepeatPrimitiveMethod:
        repeatDetection(s, host, 0);
        break;
    case IdRepeatKnownNoiseLevel:
        repeatDetection(s, host, 1);
        break;
    case IdRepeatUnknownNoiseLevel:
        repeatDetection(s, host, 2);
        break;
    case IdRepeatThresholdMethod:
        repeatDetection(s, host, 6);
        break;
    // --- Settings
    case IdSeriesCreationMethod:
        s.seriesType = seriesKnownWhole;
        s.taskType = taskBlindDetection;
        break;
    case IdTaskDetection:
        s.taskType = taskBlindDetection;
        s.repeatMethod = 0;
        setTaskChecks(host, IdTaskDetection);
        s.refreshButtons = 1;
        break;
    case IdTaskJointDetectionEstimation:
        s.taskType = s.seriesType == seriesKnownWhole ? taskFixedEstimation : taskUnfixedEstimation;
        setTaskChecks(host, IdTaskJointDetectionEstimation);
        s.refreshButtons = 1;
        break;
    case IdTaskSeriesProcessing:
        s.taskType = taskSeriesProcessing;
        setTaskChecks(host, IdTaskSeriesProcessing);
        s.refreshButtons = 1;
        break;
    case IdSeriesFixedNumber:
        s.seriesType = seriesKnownWhole;
        if (s.taskType == taskUnfixedEstimation)
            s.taskType = taskFixedEstimation;
        setSeriesTypeChecks(host, IdSeriesFixedNumber);
        s.refreshButtons = 1;
        break;
    case IdSeriesUnfixedNumber:
        s.seriesType = seriesUnknownWhole;
        if (s.taskType == taskFixedEstimation)
            s.taskType = taskUnfixedEstimation;
        setSeriesTypeChecks(host, IdSeriesUnfixedNumber);
        s.refreshButtons = 1;
        break;
    // --- the pipeline
    case CmdNewSequence:
        newSequence(s, host);
        break;
    case CmdSeriesParameters:
        seriesParameters(s, host);
        break;
    case CmdSynthesize:
        synthesize(s, host);
        break;
    case CmdAddNoise:
        addNoiseStage(s, host);
        break;
    case CmdProcess:
        process(s, host);
        break;
    case CmdRefresh:
        refresh(s, host);
        break;
    case CmdNextData:
        if (isMultiEtalonTask(s.taskType) && s.active_etalons == 0)
            break;  // refused like the Next button: nothing to draw a sequence from
        s.resultView = resultProcessing;
        invalidate(host, s.optionsPanel, true);
        sendCommand(s, host, CmdNewSequence);
        break;
    case CmdOptionsChanged:
        requestSeriesLength(s, static_cast<uint32_t>(s.seriesLengthOptions[s.seriesLengthOption - 1]));
        s.requestedNoiseLevel = static_cast<int16_t>(s.noiseLevelOptions[s.noiseLevelOption - 1]);
        invalidate(host, s.optionsPanel, true);
        break;
    case CmdHighlightChanged:
        if (s.currentEtalon >= 1 && s.currentEtalon <= kAlphabetCapacity)
            invalidate(host, s.alphabetCells[s.currentEtalon - 1], true, 1, 1, 3, 3);
        if (isMultiEtalonTask(s.taskType)) {
            invalidate(host, s.selectToggleButton, true);
            break;
        }
        if (s.previousEtalon >= 1 && s.previousEtalon <= kAlphabetCapacity)
            invalidate(host, s.alphabetCells[s.previousEtalon - 1], true, 1, 1, 3, 3);
        break;
    case CmdSelectionChanged:
        invalidateViewArea(s, host);
        if (isMultiEtalonTask(s.taskType))
            invalidate(host, s.selectToggleButton, true);
        if (s.refreshButtons == 1)
            invalidate(host, s.restartButton, true, 0, 0, 1, 1);
        break;
    case CmdSimulationDialog:
        simulationDialogs(s, host);
        break;
    case CmdSeriesDialog:
        seriesDialog(s, host);
        break;
    case CmdRepaintWindow:
        host.invalidate(std::nullopt, true);
        break;
    case CmdRepaintButtons:
        if (s.refreshButtons == 1)
            invalidate(host, s.buttonRegion, true, 0, 0, 1, 1);
        break;
    default:
        break;  // 207, 210 and every unknown id do nothing
    }
}
