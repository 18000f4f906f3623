#include "resources/dialogs.h"

#include <array>

namespace resources {

namespace {

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogTemplate;
using platform::kIdCancel;
using platform::kIdOk;
using platform::kNoControlId;
using platform::TextAlign;

constexpr DialogControl group(const char* text, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return {kNoControlId, ControlKind::GroupBox, text, x, y, w, h, false, TextAlign::Left};
}
constexpr DialogControl label(const char* text, int32_t x, int32_t y, int32_t w, int32_t h,
                              TextAlign align = TextAlign::Left)
{
    return {kNoControlId, ControlKind::Static, text, x, y, w, h, false, align};
}
constexpr DialogControl text(int32_t id, const char* placeholder, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return {id, ControlKind::Static, placeholder, x, y, w, h, false, TextAlign::Left};
}
constexpr DialogControl edit(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, bool disabled = false)
{
    return {id, ControlKind::Edit, "", x, y, w, h, disabled, TextAlign::Left};
}
constexpr DialogControl button(int32_t id, const char* caption, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return {id, ControlKind::Button, caption, x, y, w, h, false, TextAlign::Left};
}

// The labels of the edit fields of 105 stand left of their fields; the two
// saved-energy labels take two lines.
constexpr std::array kCreateSeriesControls{
    group("Parameters for creating series", 13, 7, 128, 101),
    label("Samples Length", 20, 20, 76, 8),
    edit(EditSamplesLength, 100, 18, 25, 12),
    label("Min Length of Interval", 20, 35, 76, 8),
    edit(EditMinInterval, 100, 33, 25, 12),
    label("Max Length of Interval", 20, 50, 76, 8),
    edit(EditMaxInterval, 100, 48, 25, 12),
    label("Etalon Number", 20, 65, 76, 8),
    edit(EditEtalonNumber, 100, 63, 25, 12),
    label("Saved Energy Level (from 0 to 100)", 20, 84, 76, 18),
    edit(EditSavedEnergyCreate, 100, 89, 25, 12, true),
    group("Parameters for processing series", 13, 112, 128, 44),
    label("Saved Energy Level (from 0 to 100)", 20, 131, 76, 18),
    edit(EditSavedEnergyProcess, 99, 136, 26, 13, true),
    button(kIdOk, "OK", 148, 122, 50, 14),
    button(kIdCancel, "Cancel", 148, 141, 50, 14),
};

constexpr std::array kSeriesStructureControls{
    group(" Series structure ", 7, 5, 178, 72),
    text(TextPulseCountRange, "Number of Pulses in Series (from XX to XX)", 15, 16, 141, 8),
    edit(EditPulseCount, 105, 27, 34, 12),
    text(TextSequenceRange, "Sequence of Etalons in Series (values from XX to XX)", 15, 45, 157, 8),
    edit(EditEtalonSequence, 60, 58, 109, 12),
    label("Noise Level", 16, 91, 37, 8),
    edit(EditNoiseLevel, 60, 90, 34, 12),
    button(kIdOk, "OK", 41, 113, 50, 14),
    button(kIdCancel, "Cancel", 105, 113, 50, 14),
};

constexpr std::array kRequiredEtalonsControls{
    label("Number of Required Etalons", 13, 16, 86, 8),
    edit(EditRequiredCount, 100, 15, 20, 12),
    text(TextRequiredRange, "List of Required Etalons (from 1 to     )", 13, 32, 110, 8),
    edit(EditRequiredList, 33, 44, 87, 12),
    button(kIdOk, "OK", 15, 68, 49, 14),
    button(kIdCancel, "Cancel", 71, 68, 49, 14),
};

constexpr std::array kLocationParametersControls{
    group(" Number of Pulses in Series ", 7, 7, 102, 32),
    label("from", 12, 22, 15, 8),
    edit(EditPulsesFrom, 28, 20, 16, 12),
    label("to", 46, 22, 7, 8),
    edit(EditPulsesTo, 54, 20, 16, 12),
    label("incr.", 72, 22, 13, 8),
    edit(EditPulsesIncrement, 86, 20, 16, 12),
    group(" Noise parameters ", 114, 7, 119, 62),
    label("Initial Level", 118, 22, 90, 8, TextAlign::Right),
    edit(EditInitialNoiseLevel, 210, 20, 18, 12),
    label("Number of Steps in Simulation", 118, 38, 90, 8, TextAlign::Right),
    edit(EditNoiseSteps, 210, 36, 18, 12),
    label("Noise Increment per Step", 118, 54, 90, 8, TextAlign::Right),
    edit(EditNoiseIncrement, 210, 52, 18, 12),
    label("Number of Repeats", 14, 53, 66, 8),
    edit(EditRepeatCount, 84, 52, 18, 12),
    button(kIdOk, "OK", 30, 85, 50, 14),
    button(kIdCancel, "Cancel", 150, 85, 50, 14),
};

// What was read, three lines high so that a long file name wraps instead of
// widening the dialog; then the preparation, every field free text.
constexpr std::array kOpenSeriesControls{
    group(" Series read ", 7, 5, 216, 40),
    text(TextOpenSeriesSource, "File", 14, 16, 202, 24),
    group(" Preparation ", 7, 48, 216, 90),
    text(TextOpenSeriesColumn, "Column (number or header)", 14, 61, 122, 8),
    edit(EditOpenSeriesColumn, 140, 59, 74, 12),
    label("Detrend (none, median, moving)", 14, 77, 122, 8),
    edit(EditOpenSeriesDetrend, 140, 75, 74, 12),
    label("Moving median window (samples)", 14, 93, 122, 8),
    edit(EditOpenSeriesWindow, 140, 91, 74, 12),
    label("Invert (no, yes)", 14, 109, 122, 8),
    edit(EditOpenSeriesInvert, 140, 107, 74, 12),
    label("Scale (auto, none or a factor)", 14, 125, 122, 8),
    edit(EditOpenSeriesScale, 140, 123, 74, 12),
    button(kIdOk, "OK", 52, 146, 50, 14),
    button(kIdCancel, "Cancel", 128, 146, 50, 14),
};

const DialogTemplate kCreateSeries{DialogCreateSeries, "Create Series", 209, 168, false, 0, 0, kCreateSeriesControls};
const DialogTemplate kSeriesStructure{DialogSeriesStructure,   "Create Series", 192, 138, false, 0, 0,
                                      kSeriesStructureControls};
const DialogTemplate kRequiredEtalons{DialogRequiredEtalons,   "List of Required Etalons", 137, 95, false, 0, 0,
                                      kRequiredEtalonsControls};
const DialogTemplate kLocationParameters{DialogLocationParameters,   " Location Parameters", 240, 109, true, 60, 50,
                                         kLocationParametersControls};
const DialogTemplate kOpenSeries{DialogOpenSeries, "Open Series", 230, 168, false, 0, 0, kOpenSeriesControls};

}  // namespace

const DialogTemplate& createSeriesDialog() { return kCreateSeries; }
const DialogTemplate& seriesStructureDialog() { return kSeriesStructure; }
const DialogTemplate& requiredEtalonsDialog() { return kRequiredEtalons; }
const DialogTemplate& locationParametersDialog() { return kLocationParameters; }
const DialogTemplate& openSeriesDialog() { return kOpenSeries; }

const DialogTemplate* findDialogTemplate(int32_t id)
{
    for (const DialogTemplate* t :
         {&kCreateSeries, &kSeriesStructure, &kRequiredEtalons, &kLocationParameters, &kOpenSeries})
        if (t->id == id)
            return t;
    return nullptr;
}

}  // namespace resources
