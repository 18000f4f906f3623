#include "shell/parameter_dialogs.h"

#include <algorithm>
#include <string>

#include "detection/statistical_simulation.h"
#include "platform/host.h"
#include "resources/dialogs.h"
#include "shell/dialog_fields.h"
#include "shell/series_settings.h"
#include "base/formatted_text.h"
#include "synthesis/series_synthesis.h"

namespace shell {

namespace {

using namespace resources;
using platform::DialogFields;
using platform::DialogResult;
using platform::Host;

std::string number(long long v) { return std::to_string(v); }

using base::formatText;

int32_t field(const DialogFields& fields, int32_t id)
{
    const auto it = fields.find(id);
    return it == fields.end() ? 0 : atoiField(readField(it->second));
}

std::string text(const DialogFields& fields, int32_t id)
{
    const auto it = fields.find(id);
    return it == fields.end() ? std::string() : it->second;
}

bool run(AppState& s, Host& host, int id, DialogFields& fields, const platform::DialogValidator& validate = {})
{
    const bool ok = host.runDialog(*findDialogTemplate(id), fields, validate) == DialogResult::Ok;
    s.dialogAccepted = ok ? 1 : 0;
    return ok;
}

}  // namespace

void runSeriesCreationDialog(AppState& s, Host& host)
{
    DialogFields fields{
        {EditSamplesLength, number(s.seriesLength)},
        {EditMinInterval, number(s.minInterval)},
        {EditMaxInterval, number(s.maxInterval)},
        {EditEtalonNumber, number(s.currentEtalon)},
        {EditSavedEnergyCreate, number(s.savedEnergyCreate)},
        {EditSavedEnergyProcess, number(s.savedEnergyProcess)},
    };
    // Every pulse-count formula divides by the intervals, and the series has
    // to hold a pulse: values the synthesis would refuse are refused here,
    // while the user can still correct them.
    const uint16_t L = s.etalonLength;
    auto validate = [&host, L](DialogFields& typed) {
        const std::string problem =
            synthesis::seriesParameterProblem(L, static_cast<uint16_t>(field(typed, EditMinInterval)),
                                              static_cast<uint16_t>(field(typed, EditMaxInterval)),
                                              static_cast<uint32_t>(field(typed, EditSamplesLength)));
        const int32_t length = field(typed, EditSamplesLength);
        const int32_t tmin = field(typed, EditMinInterval), tmax = field(typed, EditMaxInterval);
        std::string reason = problem;
        if (length < 0 || tmin < 0 || tmax < 0 || tmin > 65535 || tmax > 65535)
            reason = "The length and the intervals must be positive numbers.\n";
        if (reason.empty())
            return true;
        host.messageBox(reason, "Create Series", base::MessageIcon::Warning);
        return false;
    };
    if (!run(s, host, DialogCreateSeries, fields, validate))
        return;
    s.staged.seriesLength = field(fields, EditSamplesLength);
    s.staged.minInterval = static_cast<uint16_t>(field(fields, EditMinInterval));
    s.staged.maxInterval = static_cast<uint16_t>(field(fields, EditMaxInterval));
    s.dialogEtalonNumber = field(fields, EditEtalonNumber);
    s.staged.savedEnergyCreate = static_cast<int16_t>(field(fields, EditSavedEnergyCreate));
    s.staged.savedEnergyProcess = static_cast<int16_t>(field(fields, EditSavedEnergyProcess));
}

void runSeriesStructureDialog(AppState& s, Host& host)
{
    ensureSequenceCapacity(s, s.requestedPulseCount);
    DialogFields fields{
        {TextPulseCountRange,
         formatText("Number of Pulses in Series (from %d to %d)", s.staged.pulseCountLow, s.staged.pulseCountHigh)},
        {EditPulseCount, formatText("%d", s.requestedPulseCount)},
        {TextSequenceRange, formatText("Sequence of Etalons in Series (values from 1 to %d)", s.etalonCount)},
        {EditEtalonSequence,
         formatListField(std::span<const uint16_t>(s.etalonSequence.data(), s.requestedPulseCount))},
        {EditNoiseLevel, formatText("%d", s.seriesNoiseLevel)},
    };
    if (!run(s, host, DialogSeriesStructure, fields))
        return;
    s.dialogPulseCount = static_cast<uint16_t>(field(fields, EditPulseCount));
    // The typed count may exceed the sequence: it grows rather than being
    // written past.
    ensureSequenceCapacity(s, s.dialogPulseCount);
    const std::vector<int32_t> entries = parseListField(text(fields, EditEtalonSequence), s.dialogPulseCount);
    for (size_t i = 0; i < entries.size(); ++i)
        s.etalonSequence[i] = static_cast<uint16_t>(entries[i]);
    s.staged.noiseLevel = static_cast<int16_t>(field(fields, EditNoiseLevel));
}

void runRequiredListDialog(AppState& s, Host& host)
{
    if (s.requiredList.size() < s.requiredCapacity)
        s.requiredList.resize(s.requiredCapacity);
    const size_t shown = std::min<size_t>(s.active_etalons, s.requiredList.size());
    DialogFields fields{
        {EditRequiredCount, number(s.active_etalons)},
        {TextRequiredRange, formatText("List of Required Etalons (from 1 to %d)", s.etalonCount)},
        {EditRequiredList, formatListField(std::span<const uint16_t>(s.requiredList.data(), shown))},
    };
    if (!run(s, host, DialogRequiredEtalons, fields))
        return;
    const int32_t n = field(fields, EditRequiredCount);
    if (n >= 1 && n <= s.requiredCapacity)
        s.active_etalons = static_cast<uint16_t>(n);
    const std::vector<int32_t> entries = parseListField(text(fields, EditRequiredList), s.active_etalons);
    for (size_t i = 0; i < entries.size() && i < s.requiredList.size(); ++i)
        s.requiredList[i] = static_cast<uint16_t>(entries[i]);
}

SimulationPulseOffer offeredSimulationPulses(const AppState& s)
{
    // The length admits minPulseCount to maxPulseCount pulses, the least not
    // raised to 1 (a short series reads 0); the simulation takes 1 to
    // kMaxSimulationPulses of them. Offering the part both allow keeps OK on
    // the untouched dialog a run, and the command accepts it because it lies
    // within the length's range. A length that admits none of the counts the
    // simulation takes keeps its own range: the simulation then says why.
    const int low = std::max<int>(s.minPulseCount, 1);
    const int high = std::min<int>(s.maxPulseCount, detection::kMaxSimulationPulses);
    SimulationPulseOffer offer{s.minPulseCount, s.maxPulseCount, std::max<uint16_t>(s.pulseCountIncrement, 1)};
    if (low <= high) {
        offer.from = static_cast<uint16_t>(low);
        offer.to = static_cast<uint16_t>(high);
    }
    return offer;
}

void runSimulationDialog(AppState& s, Host& host)
{
    const SimulationPulseOffer offer = offeredSimulationPulses(s);
    DialogFields fields{
        {EditPulsesFrom, number(offer.from)},           {EditPulsesTo, number(offer.to)},
        {EditPulsesIncrement, number(offer.increment)}, {EditInitialNoiseLevel, number(s.initialNoiseLevel)},
        {EditNoiseSteps, number(s.noiseStepCount)},     {EditNoiseIncrement, number(s.noiseIncrement)},
        {EditRepeatCount, number(s.repeatCount)},
    };
    if (!run(s, host, DialogLocationParameters, fields))
        return;
    s.staged.pulseCountLow = static_cast<uint16_t>(field(fields, EditPulsesFrom));
    s.staged.pulseCountHigh = static_cast<uint16_t>(field(fields, EditPulsesTo));
    s.pulseCountIncrement = static_cast<uint16_t>(field(fields, EditPulsesIncrement));
    s.initialNoiseLevel = static_cast<uint16_t>(field(fields, EditInitialNoiseLevel));
    s.noiseStepCount = static_cast<uint16_t>(field(fields, EditNoiseSteps));
    s.noiseIncrement = static_cast<uint16_t>(field(fields, EditNoiseIncrement));
    s.repeatCount = static_cast<uint16_t>(field(fields, EditRepeatCount));
}

}  // namespace shell
