#pragma once
// The one application state record: the user's settings with their start
// values, the derived pulse-count limits, the values typed into the dialogs
// until their command accepts them, the current data objects and the layout
// of the last paint. The shell's functions receive it as a context; the
// algorithms below the shell get plain values from it, never the record.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/font.h"
#include "resources/button_bitmaps.h"
#include "detection/pulse_count_ranking.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"
#include "views/layout_rect.h"
#include "views/plot_geometry.h"

// TaskType: what processing a series gets.
enum TaskType : uint16_t {
    taskDetection = 1,             // named, never set
    taskRecognition = 2,           // named, never set
    taskJointIdentification = 4,   // named, never set
    taskFixedEstimation = 8,       // joint detection and estimation, known count
    taskUnfixedEstimation = 16,    // joint detection and estimation, unknown count
    taskBlindDetection = 32,
    taskSeriesProcessing = 64,
};

// SeriesType: how the next series is synthesized. 16 and 32 live for exactly
// one synthesis after "Create series..." and then return to 1 and 4.
enum SeriesType : uint16_t {
    seriesKnownWhole = 1,
    seriesKnownCutOff = 2,
    seriesUnknownWhole = 4,
    seriesUnknownCutOff = 8,
    seriesTransientKnown = 16,
    seriesTransientUnknown = 32,
};

enum ViewState : int32_t { viewAlphabet = 5, viewResult = 6, viewSubsetGrid = 9 };
enum ResultView : uint16_t { resultProcessing = 1, resultSimulation = 2 };

constexpr int kAlphabetCapacity = 20;

// A left-button press in a series plot of a result view, held until its
// release: a drag across the plot chooses the samples to show, a press that
// never moved is handed on as the click it would have been.
struct PlotDrag {
    bool pressed = false;    // a press in a plot waits for its release
    bool dragging = false;   // it moved far enough sideways to choose samples
    int32_t plot = 0;        // index into AppState::resultPlots
    int32_t fromX = 0, fromY = 0;  // the press
    int32_t toX = 0;         // where the mouse is now
    uint32_t keyFlags = 0;   // of the press, for the click it may become
};

struct AppState {
    // --- 1. Alphabet and selection
    uint16_t etalonCount = 20;
    uint16_t etalonLength = 20;      // E in the pulse-count formulas
    int16_t amplitude = 128;
    int32_t alphabetReady = 1;       // the result of the generation
    std::array<PulseHeader, kAlphabetCapacity> etalons{};
    std::array<uint16_t, kAlphabetCapacity> etalonSelected{};  // 1 when etalon k+1 is selected
    int32_t currentEtalon = 1;       // highlighted etalon; fills new sequences in tasks 8 and 16
    int32_t previousEtalon = 0;
    std::vector<uint16_t> requiredList;  // first active_etalons entries valid
    uint16_t requiredCapacity = 20;
    uint16_t active_etalons = 20;

    // --- 2. Series parameters
    std::array<int32_t, 3> seriesLengthOptions{200, 600, 1200};
    int32_t seriesLengthOptionCount = 3;
    int32_t seriesLengthOption = 3;  // 1-based
    uint32_t requestedSeriesLength = 7200;
    uint32_t seriesLength = 7200;
    uint16_t minInterval = 40;       // Tmin
    uint16_t maxInterval = 181;      // Tmax
    uint16_t requestedPulseCount = 40;
    uint16_t seriesPulseCount = 40;
    uint16_t dialogPulseCount = 40;
    uint16_t minPulseCount = 0;
    uint16_t maxPulseCount = 0;
    std::vector<uint16_t> etalonSequence;  // its size is the capacity
    int32_t sequenceUnset = 1;
    int32_t dialogEtalonNumber = 1;
    int16_t savedEnergyCreate = 100;
    int16_t savedEnergyProcess = 100;
    int16_t subsetPlacementMode = 4;
    int16_t subsetStartPulse = 1;

    // --- 3. Noise
    std::array<int32_t, 3> noiseLevelOptions{0, 25, 50};
    int32_t noiseLevelOptionCount = 3;
    int32_t noiseLevelOption = 2;    // 1-based
    int16_t requestedNoiseLevel = 20;
    int16_t seriesNoiseLevel = 20;
    // Every stream of the generator; random.noiseSeed is the noise stream,
    // never reset, so two series made with the same settings differ.
    RandomStreams random;
    // State of the C library's rand(), never seeded (first state 1), used for
    // the multi-etalon sequences.
    uint32_t libraryRandState = 1;

    // --- 4. Statistical simulation settings
    uint16_t pulseCountIncrement = 1;
    uint16_t initialNoiseLevel = 0;
    uint16_t noiseStepCount = 29;
    uint16_t noiseIncrement = 5;
    uint16_t repeatCount = 100;
    uint16_t pulseCountSteps = 0;
    // How the next simulation runs: threads, a shard of it, progress and
    // cancel; set by the host (the command line, the window).
    SimulationOptions simulationOptions;
    int32_t simulationViewKind = 0;

    // --- 5. Mode codes and one-shot flags
    uint16_t taskType = taskFixedEstimation;
    uint16_t seriesType = seriesKnownWhole;
    int32_t viewState = viewAlphabet;
    uint16_t resultView = resultProcessing;
    uint16_t repeatMethod = 0;
    int32_t moreDetails = 0;
    int32_t typeMoreDetails = 0;
    int32_t refreshLengthPanel = 0;
    int32_t refreshNoisePanel = 0;
    int32_t refreshButtons = 0;

    // --- 7. Values typed into the dialogs, accepted by their command
    int32_t stagedSeriesLength = 0;
    uint16_t stagedMinInterval = 0;
    uint16_t stagedMaxInterval = 0;
    int16_t stagedSavedEnergyCreate = 0;
    int16_t stagedSavedEnergyProcess = 0;
    int16_t stagedNoiseLevel = 0;
    uint16_t stagedPulseCountLow = 0;
    uint16_t stagedPulseCountHigh = 0;
    uint16_t savedRequestedPulseCount = 0;
    uint16_t protocolKind = 7;
    int32_t dialogAccepted = 0;

    // --- 8. Current data objects
    SeriesHeaderPtr lpSeriesHeader;
    StepwiseProtocolPtr lpStepwiseProtocol;
    PulseCountTablePtr pulseCountTable;
    DetectionStudyPtr detectionStudy;
    std::vector<int32_t> traceUnfixedCaseCriteria;  // its size is the capacity
    RestErrorHeaderPtr lpRestErrorHeader;
    int32_t dataFileResult = 0;
    // Whether the last synthesis made its series (synthesizeSeries writes
    // it); after a refusal lpSeriesHeader is missing or holds an older series.
    bool seriesMade = false;

    // --- 9. Display resources and the layout of the last paint
    resources::ButtonBitmaps buttonBitmaps;
    platform::Font windowFont;
    int32_t lineHeight = 0;          // tmHeight + tmExternalLeading - 1
    int32_t aveCharWidth = 0;
    int32_t maxCharWidth = 0;
    LayoutRect viewArea;
    uint16_t cellWidth = 0;
    uint16_t cellHeight = 0;
    uint16_t curveWidth = 0;
    uint16_t curveHeight = 0;
    std::array<LayoutRect, kAlphabetCapacity> alphabetCells{};
    LayoutRect exitButton, nextButton, restartButton, selectToggleButton, buttonRegion;
    LayoutRect lengthPanel, noisePanel, optionsPanel;
    std::array<LayoutRect, 3> lengthOptionRects{};
    std::array<LayoutRect, 3> noiseOptionRects{};
    int32_t selectAllShown = 1;      // the toggle shows "Select All"
    int32_t lastClickX = 0, lastClickY = 0;
    // What the last paint put on the screen: the working view (a WorkingView
    // of shell/window_painting.h) and the pictures of the button column (its
    // ShownButton bits). -1 until the first paint.
    int32_t shownView = -1;
    int32_t shownButtons = -1;
    // Commands running, one inside the other; when the outermost ends, the
    // parts of the picture it left behind the state are invalidated.
    int32_t commandDepth = 0;

    // --- 10. Etalon subset grid (view state 9): made at its first paint, freed at teardown
    std::vector<LayoutRect> possibleSubsetRect;  // one cell per subset position (the first 10 laid out)
    std::vector<int32_t> selectedSubset;  // one block: numbers [0, capacity), marks [capacity, 2*capacity)
    int32_t subsetCapacity = 0;
    int32_t subsetCount = 0;              // entries in use, from the front
    std::vector<LayoutRect> ButtonsWhileSelectedSubsetRect;
    int32_t subsetButtonCount = 0;
    LayoutRect subsetArea{0, 0, -1, -1};
    std::vector<LayoutRect> requiredCellRects;  // one per alphabet entry of the series

    // --- 11. Zoom and readout of the result views' series plots
    views::SampleRange shownSamples;  // what the plots show (empty: the whole series); the zoom sets it, processing empties it
    views::ShownPlots resultPlots;    // the plots of the last paint; none unless a result view with a series was drawn
    PlotDrag plotDrag;                // set by a press in a plot, cleared by its release
    int32_t pointerX = -1, pointerY = -1;  // the mouse's last point over the window, for a readout after a key
    std::string statusText;           // the readout last handed to the host's status bar

    bool windowReady = false;        // start-up finished and teardown not yet run
};

constexpr bool isMultiEtalonTask(uint16_t taskType)
{
    return taskType == taskBlindDetection || taskType == taskSeriesProcessing;
}
