#include "resources/menu.h"

#include <array>

namespace resources {

namespace {

using platform::MenuEntry;
using platform::MenuEntryKind;

constexpr MenuEntry popup(int32_t depth, const char* text) { return {depth, MenuEntryKind::Popup, 0, text}; }
constexpr MenuEntry command(int32_t depth, int32_t id, const char* text)
{
    return {depth, MenuEntryKind::Command, id, text};
}
constexpr MenuEntry separator(int32_t depth) { return {depth, MenuEntryKind::Separator, 0, ""}; }

// The texts keep their leading and trailing blanks: that is how the menu reads.
constexpr std::array kMainMenu{
    popup(0, "File"),
    command(1, IdNewPulses, " New pulses... "),
    command(1, IdCreateSeries, " Create series... "),
    separator(1),
    command(1, IdSelectSetOfPulses, " Select set of pulses"),
    separator(1),
    command(1, IdSaveImageAs, " Save image as..."),
    separator(1),
    command(1, IdExit, " Exit"),
    command(1, IdOpen, " Open..."),

    popup(0, "Processing"),
    command(1, IdProcessingSameData, " Processing Same Data"),
    command(1, IdProcessingNextData, " Processing Next Data"),
    separator(1),
    command(1, IdMoreDetails, " More details"),
    command(1, IdTypeMoreDetails, " Type more detales"),
    separator(1),
    command(1, IdFixedCase, " Fixed case"),
    command(1, IdUnfixedCase, " Unfixed case"),
    separator(1),
    command(1, IdDetectionStatisticalSimulation, " Detection, Statistical Simulation"),
    command(1, IdShowStatisticalSimulation, " Show Statistical Simulation"),
    separator(1),
    command(1, IdRepeatPrimitiveMethod, " Repeat Detection, primitive method"),
    command(1, IdRepeatKnownNoiseLevel, " Repeat Detection, known noise level"),
    command(1, IdRepeatUnknownNoiseLevel, " Repeat Detection, unknown noise level"),
    command(1, IdRepeatThresholdMethod, " Repeat Detection, threshold method"),

    popup(0, "Settings"),
    command(1, IdSeriesCreationMethod, " Series creation method"),
    separator(1),
    popup(1, "Select Task Type"),
    command(2, IdTaskDetection, " Detection"),
    command(2, IdTaskJointDetectionEstimation, " Joint Detection and Estimation"),
    command(2, IdTaskSeriesProcessing, " Series Processing"),
    separator(1),
    popup(1, "Select Series Type"),
    command(2, IdSeriesFixedNumber, " Fixed Number of Pulses"),
    command(2, IdSeriesUnfixedNumber, " Unfixed Number of Pulses"),
};

// The detection view's window: its file, the detection, and the detail's
// zoom (the keys +, - and Home do the same over the plots).
constexpr std::array kDetectionViewMenu{
    popup(0, "File"),
    command(1, IdDetectionExportCsv, " Export pulses as CSV..."),
    command(1, IdDetectionSavePicture, " Save picture as PNG..."),
    separator(1),
    command(1, IdDetectionClose, " Close"),

    popup(0, "Detection"),
    command(1, IdDetectionDetect, " Detect..."),

    popup(0, "View"),
    command(1, IdDetectionZoomIn, " Zoom in"),
    command(1, IdDetectionZoomOut, " Zoom out"),
    command(1, IdDetectionWholeSeries, " Whole series"),
};

}  // namespace

std::span<const MenuEntry> mainMenu() { return kMainMenu; }

std::span<const MenuEntry> detectionViewMenu() { return kDetectionViewMenu; }

const char* menuText(int32_t commandId)
{
    for (const MenuEntry& e : kMainMenu)
        if (e.kind == MenuEntryKind::Command && e.id == commandId)
            return e.text;
    return nullptr;
}

}  // namespace resources
