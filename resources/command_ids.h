#pragma once
// Resource numbers and command ids: the menu commands the user chooses, the
// internal commands the program sends to its own window, the dialogs and
// their controls, the button bitmaps.

#include <cstdint>

namespace resources {

inline constexpr const char* kWindowClassName = "Quillmore";  // also the window title
// The resource number of the main menu.
inline constexpr int32_t kMainMenuId = 104;

// The commands of the main menu, grouped by popup.
enum MenuCommand : int32_t {
    // File
    IdNewPulses = 40002,
    IdCreateSeries = 40001,
    IdSelectSetOfPulses = 40031,
    IdSaveImageAs = 40003,
    IdExit = 40004,
    IdOpen = 40019,
    // Processing
    IdProcessingSameData = 40005,
    IdProcessingNextData = 40016,
    IdMoreDetails = 40006,
    IdTypeMoreDetails = 40017,
    IdFixedCase = 40007,
    IdUnfixedCase = 40008,
    IdDetectionStatisticalSimulation = 40010,
    IdShowStatisticalSimulation = 40015,
    IdRepeatPrimitiveMethod = 40027,
    IdRepeatKnownNoiseLevel = 40028,
    IdRepeatUnknownNoiseLevel = 40029,
    IdRepeatThresholdMethod = 40030,
    // Settings
    IdSeriesCreationMethod = 40009,
    IdTaskDetection = 40011,
    IdTaskJointDetectionEstimation = 40012,
    IdTaskSeriesProcessing = 40032,
    IdSeriesFixedNumber = 40013,
    IdSeriesUnfixedNumber = 40014,
};

// The commands of the detection view's window, a window of its own for a
// researcher's series of any length.
enum DetectionViewCommand : int32_t {
    // File
    IdDetectionExportCsv = 41001,
    IdDetectionSavePicture = 41002,
    IdDetectionClose = 41003,
    // Detection
    IdDetectionDetect = 41004,
    // View
    IdDetectionZoomIn = 41005,
    IdDetectionZoomOut = 41006,
    IdDetectionWholeSeries = 41007,
};

// Stages of the processing pipeline and repaint requests, sent by the
// program to its own window and handled before the send returns.
enum InternalCommand : int32_t {
    CmdCloseWindow = 204,
    CmdNewSequence = 205,
    CmdRepaintWindow = 206,
    CmdSettingsChanged = 207,  // nothing handles it
    CmdSeriesParameters = 208,
    CmdAddNoise = 209,
    CmdNothing = 210,
    CmdOptionsChanged = 211,
    CmdHighlightChanged = 212,
    CmdSelectionChanged = 213,
    CmdSimulationDialog = 214,
    CmdSeriesDialog = 215,
    CmdSynthesize = 216,
    CmdRepaintButtons = 217,
    CmdRefresh = 218,
    CmdProcess = 219,
    CmdNextData = 220,
    CmdRepaintSubset = 221,
};

// The dialog templates by resource number.
enum DialogId : int32_t {
    DialogCreateSeries = 105,
    DialogSeriesStructure = 106,
    DialogRequiredEtalons = 109,
    DialogLocationParameters = 110,
    DialogOpenSeries = 111,
};

// The controls of the dialogs, grouped by dialog.
enum ControlId : int32_t {
    // dialog 105
    EditSamplesLength = 1000,
    EditMinInterval = 1001,
    EditMaxInterval = 1003,
    EditEtalonNumber = 1004,
    EditSavedEnergyCreate = 1005,
    EditSavedEnergyProcess = 1006,
    // dialog 106
    EditPulseCount = 1007,
    TextPulseCountRange = 1008,
    TextSequenceRange = 1009,
    EditEtalonSequence = 1010,
    EditNoiseLevel = 1011,
    // dialog 109
    EditRequiredCount = 1012,
    TextRequiredRange = 1013,
    EditRequiredList = 1014,
    // dialog 110
    EditPulsesFrom = 1015,
    EditPulsesTo = 1016,
    EditPulsesIncrement = 1017,
    EditNoiseSteps = 1018,
    EditInitialNoiseLevel = 1019,
    EditNoiseIncrement = 1020,
    EditRepeatCount = 1021,
    // dialog 111
    TextOpenSeriesSource = 1022,
    TextOpenSeriesColumn = 1023,
    EditOpenSeriesColumn = 1024,
    EditOpenSeriesDetrend = 1025,
    EditOpenSeriesWindow = 1026,
    EditOpenSeriesInvert = 1027,
    EditOpenSeriesScale = 1028,
};

// The button bitmaps by resource number.
enum ButtonBitmapId : int32_t {
    BitmapNext = 101,
    BitmapExit = 102,
    BitmapRestart = 103,
    BitmapUnselectAll = 107,
    BitmapSelectAll = 108,
};

}  // namespace resources
