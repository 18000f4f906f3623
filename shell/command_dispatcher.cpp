#include "shell/command_dispatcher.h"

#include <algorithm>
#include <array>
#include <vector>

#include "files/snapshot_export.h"
#include "platform/host.h"
#include "resources/command_ids.h"
#include "shell/own_series_loading.h"
#include "shell/parameter_dialogs.h"
#include "shell/processing_pipeline.h"
#include "shell/series_settings.h"
#include "shell/window_painting.h"
#include "synthesis/series_synthesis.h"
#include "views/statistical_simulation_view.h"

namespace shell {

namespace {

using namespace resources;
using platform::Host;

void sendCommand(AppState& s, Host& host, int command) { dispatchCommand(s, host, command); }

// A pipeline stage hands on to the stage it names, inside the command that
// ran it.
void continuePipeline(AppState& s, Host& host, int next)
{
    if (next != kPipelineEnds)
        sendCommand(s, host, next);
}

// --- commands of the menu ----------------------------------------------

void createSeries(AppState& s, Host& host)
{
    sendCommand(s, host, CmdSeriesDialog);
    if (!s.dialogAccepted)
        return;
    s.savedRequestedPulseCount = s.requestedPulseCount;
    const uint16_t E = s.etalonLength;
    const uint32_t length = static_cast<uint32_t>(s.staged.seriesLength);
    const uint16_t low = std::max<uint16_t>(static_cast<uint16_t>((length + E - 1) / s.staged.maxInterval), 1);
    const uint16_t high = static_cast<uint16_t>((length - E + s.staged.minInterval) / s.staged.minInterval);
    s.staged.pulseCountLow = low;
    s.staged.pulseCountHigh = high;
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
    chooseLengthOption(s, length);
    s.minInterval = s.staged.minInterval;
    s.maxInterval = s.staged.maxInterval;
    s.currentEtalon = s.dialogEtalonNumber;
    s.savedEnergyCreate = s.staged.savedEnergyCreate;
    s.savedEnergyProcess = s.staged.savedEnergyProcess;
    s.requestedPulseCount = s.dialogPulseCount;
    s.requestedNoiseLevel = s.staged.noiseLevel;
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

// The etalons in use as the views draw them: highlighted in the alphabet,
// as the grid's required cells and in the result's alphabet panel.
struct EtalonsInUse {
    std::array<uint16_t, kAlphabetCapacity> selected{};
    std::vector<uint16_t> required;
    bool operator==(const EtalonsInUse&) const = default;
};

EtalonsInUse etalonsInUse(const AppState& s)
{
    const size_t n = std::min<size_t>(s.active_etalons, s.requiredList.size());
    return {s.etalonSelected, std::vector<uint16_t>(s.requiredList.begin(), s.requiredList.begin() + n)};
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
        // Shown at once: the dialog may yet be cancelled, and then nothing
        // else repaints the selection.
        invalidateViewChange(s, host);
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
    const uint32_t length = static_cast<uint32_t>(s.staged.seriesLength);
    s.minPulseCount = minPulsesFor(s, length);
    s.maxPulseCount = maxPulsesFor(s, length);
    if (s.etalonSequence.size() < s.maxPulseCount)
        s.etalonSequence.assign(s.maxPulseCount, static_cast<uint16_t>(s.currentEtalon));
}

void requiredListCommand(AppState& s, Host& host)
{
    const EtalonsInUse before = etalonsInUse(s);
    if (s.requiredList.empty() || s.active_etalons > s.requiredCapacity) {
        s.active_etalons = s.etalonCount;
        s.requiredList = synthesis::getRequiredList(host, s.active_etalons);
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
    // No processing follows to repaint the new selection; the views show it now.
    if (etalonsInUse(s) != before)
        invalidateViewChange(s, host);
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
    s.requestedSeriesLength = static_cast<uint32_t>(s.staged.seriesLength);
    s.seriesLength = s.requestedSeriesLength;
    if (s.staged.pulseCountLow >= s.minPulseCount && s.staged.pulseCountHigh <= s.maxPulseCount &&
        s.staged.pulseCountLow <= s.staged.pulseCountHigh) {
        s.minPulseCount = s.staged.pulseCountLow;
        s.maxPulseCount = s.staged.pulseCountHigh;
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
    s.simulationViewKind = views::kDetectionErrorMeasure;
    invalidateViewChange(s, host);
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
    std::unique_ptr<SimulationRun> run = prepareSimulation(s, host);
    if (!run)
        return;
    computeSimulation(*run);
    finishSimulation(s, host, *run);
}

template <typename T>
std::unique_ptr<T> copyOf(const std::unique_ptr<T>& record)
{
    return record ? std::make_unique<T>(*record) : nullptr;
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

// The marks of the Settings menu as the state stands: the task (the joint
// task for both estimations) and the series type (a transient type reads as
// the type it returns to).
void setSettingsChecks(const AppState& s, Host& host)
{
    const bool unknown = s.seriesType == seriesUnknownWhole || s.seriesType == seriesUnknownCutOff ||
                         s.seriesType == seriesTransientUnknown;
    setSeriesTypeChecks(host, unknown ? IdSeriesUnfixedNumber : IdSeriesFixedNumber);
    if (s.taskType == taskBlindDetection)
        setTaskChecks(host, IdTaskDetection);
    else if (s.taskType == taskSeriesProcessing)
        setTaskChecks(host, IdTaskSeriesProcessing);
    else
        setTaskChecks(host, IdTaskJointDetectionEstimation);
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

std::unique_ptr<SimulationRun> prepareSimulation(AppState& s, Host& host)
{
    sendCommand(s, host, CmdSimulationDialog);
    if (!s.dialogAccepted)
        return nullptr;
    auto run = std::make_unique<SimulationRun>();
    // The run gets copies of the record and the header; the state keeps its
    // own until the run is finished. A copy that cannot be had or set up
    // ends the command here: the state gives up the record that failed,
    // takes the copies made before it, and a box says what failed.
    run->series = synthesis::getCutOffSeriesHeader(host, s.etalonCount, s.etalonLength, s.minInterval, s.maxInterval,
                                                   s.seriesLength, copyOf(s.lpSeriesHeader));
    if (!run->series) {
        s.lpSeriesHeader.reset();
        host.messageBox("Не могу выделить память для lpCutOffSeriesHeader!", " About getCutOffSeriesHeader ",
                        base::MessageIcon::Warning);
        return nullptr;
    }
    run->header = detection::getRestErrHeader(host, s.pulseCountSteps, s.noiseStepCount, s.repeatCount,
                                              copyOf(s.lpRestErrorHeader));
    if (!run->header) {
        s.lpSeriesHeader = std::move(run->series);
        s.lpRestErrorHeader.reset();
        host.messageBox("Нет RestoreErrorHeader!", " About RestoreErrorHeader ", base::MessageIcon::None);
        return nullptr;
    }
    if (!detection::initRestErrHeader(host, s.pulseCountSteps, s.minPulseCount, s.pulseCountIncrement, s.noiseStepCount,
                                      s.initialNoiseLevel, s.noiseIncrement, s.repeatCount, run->header.get())) {
        s.lpSeriesHeader = std::move(run->series);
        s.lpRestErrorHeader = std::move(run->header);
        host.messageBox("Ошибка initRestErrHeader!", " About RestoreErrorHeader ", base::MessageIcon::None);
        return nullptr;
    }
    run->etalons = std::span<const synthesis::PulseHeader>(s.etalons.data(), s.etalonCount);
    run->activeCount = s.active_etalons;
    run->requiredList = s.requiredList;
    run->seriesType = s.seriesType;
    run->task = s.taskType;
    run->createEnergy = static_cast<uint16_t>(s.savedEnergyCreate);
    run->processEnergy = s.savedEnergyProcess;
    run->amplitude = s.amplitude;
    run->streams = s.random;
    run->options = s.simulationOptions;
    return run;
}

void computeSimulation(SimulationRun& run)
{
    detection::SimulationOptions options = run.options;
    if (run.options.progress)
        options.progress = [&run](uint64_t done, uint64_t total) {
            const bool goOn = run.options.progress(done, total);
            if (!goOn)
                run.cancelled = true;
            return goOn;
        };
    // The noise is drawn from the run's own noise stream: it is passed on
    // its own and, with the others, as part of the streams, both naming the
    // same seed.
    run.result = detection::statCutoffSpotting(
        run.messages, run.header.get(), run.etalons, run.activeCount, run.requiredList, run.seriesType, run.task,
        run.createEnergy, run.processEnergy, run.series, run.amplitude, run.streams.noiseSeed, run.streams, options);
}

void finishSimulation(AppState& s, Host& host, SimulationRun& run)
{
    for (const base::RecordedMessage& m : run.messages.messages)
        host.messageBox(m.text, m.caption, m.icon);
    run.messages.messages.clear();
    if (run.cancelled)
        return;  // the state never saw the run: its header, record and streams stay, and so does the view
    s.lpRestErrorHeader = std::move(run.header);
    s.lpSeriesHeader = std::move(run.series);
    s.seriesFromFile = false;
    s.random = run.streams;
    showSimulation(s, host);
    if (s.commandDepth == 0)
        invalidateStaleParts(s, host);
}

namespace {

// --- The File menu
bool fileCommand(AppState& s, Host& host, int command)
{
    switch (command) {
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
        openFile(s, host);
        sendCommand(s, host, CmdProcess);
        break;
    case IdSelectSetOfPulses:
        s.viewState = viewSubsetGrid;
        invalidateViewChange(s, host);
        break;
    default:
        return false;
    }
    return true;
}

// --- The Processing menu
bool processingCommand(AppState& s, Host& host, int command)
{
    switch (command) {
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
        setSettingsChecks(s, host);
        sendCommand(s, host, CmdNewSequence);
        break;
    case IdUnfixedCase:
        s.seriesType = seriesUnknownWhole;
        s.taskType = taskUnfixedEstimation;
        setSettingsChecks(s, host);
        sendCommand(s, host, CmdNewSequence);
        break;
    case IdDetectionStatisticalSimulation:
        statisticalSimulation(s, host);
        break;
    case IdShowStatisticalSimulation:
        showSimulation(s, host);
        break;
    case IdRepeatPrimitiveMethod:
        repeatDetection(s, host, detection::kPrimitiveMethod);
        break;
    case IdRepeatKnownNoiseLevel:
        repeatDetection(s, host, detection::kChiSquareKnownDispersion);
        break;
    case IdRepeatUnknownNoiseLevel:
        repeatDetection(s, host, detection::kChiSquareUnknownDispersion);
        break;
    case IdRepeatThresholdMethod:
        repeatDetection(s, host, detection::kThresholdKnownDispersion);
        break;
    default:
        return false;
    }
    return true;
}

// --- The Settings menu: the task and the series type
bool settingsCommand(AppState& s, Host& host, int command)
{
    switch (command) {
    case IdSeriesCreationMethod:
        s.seriesType = seriesKnownWhole;
        s.taskType = taskBlindDetection;
        setSettingsChecks(s, host);
        break;
    case IdTaskDetection:
        s.taskType = taskBlindDetection;
        s.repeatMethod = detection::kPrimitiveMethod;
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
    default:
        return false;
    }
    return true;
}

// --- The pipeline: each stage hands on to the next inside the command that ran it
bool pipelineCommand(AppState& s, Host& host, int command)
{
    switch (command) {
    case CmdNewSequence:
        continuePipeline(s, host, newSequence(s, host));
        break;
    case CmdSeriesParameters:
        continuePipeline(s, host, seriesParameters(s, host));
        break;
    case CmdSynthesize:
        continuePipeline(s, host, synthesize(s, host));
        break;
    case CmdAddNoise:
        continuePipeline(s, host, addNoiseStage(s, host));
        break;
    case CmdProcess:
        continuePipeline(s, host, process(s, host));
        break;
    case CmdRefresh:
        refresh(s, host);
        break;
    case CmdNextData:
        if (isMultiEtalonTask(s.taskType) && s.active_etalons == 0) {
            tellNoEtalonSelected(host);  // refused like the Next button: nothing to draw a sequence from
            break;
        }
        s.resultView = resultProcessing;
        invalidate(host, s.optionsPanel, true);
        sendCommand(s, host, CmdNewSequence);
        break;
    default:
        return false;
    }
    return true;
}

// --- The window's own requests: option and selection changes, the dialogs, repaints
bool windowCommand(AppState& s, Host& host, int command)
{
    switch (command) {
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
        invalidateViewChange(s, host);
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
    case CmdRepaintSubset:
        // The subset cells with the buttons below them; nothing before the
        // grid was laid out.
        if (s.subsetArea.right >= s.subsetArea.left)
            invalidate(host, s.subsetArea, true, 10, 10, 10, 10);
        break;
    case CmdRepaintButtons:
        if (s.refreshButtons == 1)
            invalidate(host, s.buttonRegion, true, 0, 0, 1, 1);
        break;
    default:
        return false;
    }
    return true;
}

// Each group runs the commands it knows and answers whether it knew the
// command; no id belongs to two groups, so the first that knows it is the
// only one.
void handleCommand(AppState& s, Host& host, int command)
{
    using CommandGroup = bool (*)(AppState&, Host&, int);
    constexpr std::array<CommandGroup, 5> kGroups{fileCommand, processingCommand, settingsCommand, pipelineCommand,
                                                  windowCommand};
    for (CommandGroup group : kGroups)
        if (group(s, host, command))
            return;
    // 207, 210 and every unknown id do nothing.
}

}  // namespace

void dispatchCommand(AppState& s, Host& host, int command)
{
    ++s.commandDepth;
    try {
        handleCommand(s, host, command);
    } catch (...) {
        --s.commandDepth;
        throw;
    }
    // A command may change what the state draws without repainting it (a
    // task setting moves the buttons); the screen follows once the
    // outermost command has put everything in place.
    if (--s.commandDepth == 0)
        invalidateStaleParts(s, host);
}

}  // namespace shell
