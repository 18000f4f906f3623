#include "shell/lifecycle.h"

#include <algorithm>
#include <new>
#include <optional>

#include "platform/host.h"
#include "resources/button_bitmaps.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/processing_pipeline.h"
#include "shell/series_settings.h"
#include "shell/subset_grid.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"

namespace shell {

using platform::Host;

bool onCreate(AppState& s, Host& host)
{
    // A button picture that cannot be decoded has given its message and
    // ends the start.
    if (!resources::loadButtonBitmaps(s.buttonBitmaps, host))
        return false;
    if (!platform::checkDefaultFontFace(host))
        return false;
    s.windowFont = platform::stockVariableFont();

    for (synthesis::PulseHeader& e : s.etalons)
        e.lpData = {};
    s.alphabetReady = synthesis::makeAlphabet(host, s.amplitude, s.etalonCount, s.etalonLength,
                                              std::span<synthesis::PulseHeader>(s.etalons.data(), s.etalons.size()),
                                              s.random.etalonSeed);
    if (s.alphabetReady)
        s.viewState = viewAlphabet;

    s.active_etalons = s.etalonCount;
    s.requiredCapacity = s.etalonCount;
    s.requiredList = synthesis::getRequiredList(host, s.etalonCount);

    host.checkMenuItem(resources::IdSeriesFixedNumber, false);
    host.checkMenuItem(resources::IdSeriesUnfixedNumber, false);
    s.seriesType = seriesKnownWhole;
    host.checkMenuItem(resources::IdSeriesFixedNumber, true);
    host.checkMenuItem(resources::IdTaskDetection, false);
    host.checkMenuItem(resources::IdTaskJointDetectionEstimation, false);
    host.checkMenuItem(resources::IdTaskSeriesProcessing, false);
    s.taskType = taskFixedEstimation;
    host.checkMenuItem(resources::IdTaskJointDetectionEstimation, true);
    s.resultView = resultProcessing;

    if (isMultiEtalonTask(s.taskType)) {
        std::fill_n(s.etalonSelected.begin(), s.etalonCount, uint16_t{1});
    } else {
        s.currentEtalon = s.dialogEtalonNumber;
        s.etalonSelected.fill(0);
        if (s.currentEtalon >= 1 && s.currentEtalon <= s.etalonCount)
            s.etalonSelected[s.currentEtalon - 1] = 1;
    }
    rebuildRequiredList(s);

    s.seriesLengthOption = s.seriesLengthOptionCount;
    s.requestedSeriesLength = static_cast<uint32_t>(s.seriesLengthOptions[s.seriesLengthOption - 1]);
    s.seriesLength = s.requestedSeriesLength;
    s.requestedNoiseLevel = static_cast<int16_t>(s.noiseLevelOptions[s.noiseLevelOption - 1]);
    s.seriesNoiseLevel = s.requestedNoiseLevel;

    s.minPulseCount = minPulsesFor(s, s.requestedSeriesLength);
    s.maxPulseCount = maxPulsesFor(s, s.requestedSeriesLength);
    s.requestedPulseCount = static_cast<uint16_t>((s.minPulseCount + s.maxPulseCount) / 2);
    s.seriesPulseCount = s.requestedPulseCount;

    // No window without its sequence and trace buffer: they are written by
    // every series, and a failure here is reported and ends the start.
    try {
        s.etalonSequence.assign(s.maxPulseCount, static_cast<uint16_t>(s.dialogEtalonNumber));
        s.traceUnfixedCaseCriteria.assign(s.seriesLength, 0);
    } catch (const std::bad_alloc&) {
        host.messageBox(s.etalonSequence.empty() ? "Нет памяти для etalonSequence!"
                                                 : "Нет памяти для traceUnfixedCaseCriteria!",
                        "Fatal Error", base::MessageIcon::None);
        return false;
    }

    // The first series is made without noise and without processing, and a
    // failed synthesis does not stop the window from opening.
    synthesizeSeries(s, host);
    s.windowReady = true;
    return true;
}

void onDestroy(AppState& s)
{
    s.buttonBitmaps = {};
    s.windowFont.reset();
    for (synthesis::PulseHeader& e : s.etalons)
        e.lpData = {};
    s.etalonSequence = {};
    if (s.lpSeriesHeader)
        synthesis::freeSeriesHeader(s.lpSeriesHeader);
    if (s.lpStepwiseProtocol)
        detection::freeStepwiseProtocol(s.lpStepwiseProtocol);
    if (s.pulseCountTable)
        detection::freePulseCountTable(s.pulseCountTable);
    if (s.detectionStudy)
        detection::freeDetectionStudy(s.detectionStudy);
    s.traceUnfixedCaseCriteria = {};
    if (s.lpRestErrorHeader)
        detection::freeRestErrHeader(s.lpRestErrorHeader);
    freeSubsetArrays(s);
    s.windowReady = false;
}

}  // namespace shell
