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
#include "detection/task_codes.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"
#include "views/layout_rect.h"
#include "views/plot_geometry.h"

namespace shell {

// The shell names the task and series codes without their namespace.
using enum detection::TaskType;
using enum detection::SeriesType;

// What the working area shows: the alphabet, a result, or the subset grid.
enum ViewState : int32_t { viewAlphabet = 5, viewResult = 6, viewSubsetGrid = 9 };
// Which result a result view shows: the processing of one series or the
// statistical simulation.
enum ResultView : uint16_t { resultProcessing = 1, resultSimulation = 2 };

// Etalons the alphabet holds at most.
constexpr int kAlphabetCapacity = 20;

// A left-button press in a series plot of a result view, held until its
// release: a drag across the plot chooses the samples to show, a press that
// never moved is handed on as the click it would have been.
struct PlotDrag {
    bool pressed = false;          // a press in a plot waits for its release
    bool dragging = false;         // it moved far enough sideways to choose samples
    int32_t plot = 0;              // index into AppState::resultPlots
    int32_t fromX = 0, fromY = 0;  // the press
    int32_t toX = 0;               // where the mouse is now
    uint32_t keyFlags = 0;         // of the press, for the click it may become
};

// Field comments say what a field holds, who writes it and who reads it.
// Five pulse counts live side by side, each for a different moment:
//   requestedPulseCount  the count asked for the next fixed-count series (the
//                        panels, --pulses, "Create Series"), before clamping;
//   seriesPulseCount     the count of the series made last (the request
//                        clamped to the limits, or the drawn count of an
//                        unfixed series, or the count of a loaded series);
//   minPulseCount,       the limits the series length admits (E, Tmin, Tmax),
//   maxPulseCount        narrowed by the simulation dialog to its range;
//   dialogPulseCount     what was typed into the series structure dialog,
//                        staged until "Create Series" accepts it.
struct AppState {
    // --- 1. Alphabet and selection
    uint16_t etalonCount = 20;   // etalons in the alphabet (<= kAlphabetCapacity); fixed; read by every view and list
    uint16_t etalonLength = 20;  // E, samples of every etalon, in the pulse-count formulas; fixed; read by synthesis
    int16_t amplitude = 128;     // amplitude of the etalon samples; fixed; makeAlphabet, synthesis, the views
    int32_t alphabetReady = 1;   // makeAlphabet's result at onCreate (non-zero: made); onCreate shows the alphabet then
    std::array<synthesis::PulseHeader, kAlphabetCapacity>
        etalons{};                                             // the alphabet, made by onCreate, freed by onDestroy
    std::array<uint16_t, kAlphabetCapacity> etalonSelected{};  // 1 when etalon k+1 is selected; alphabet clicks, lists
    int32_t currentEtalon = 1;   // highlighted etalon; fills new sequences in tasks 8 and 16; clicks, the dialogs
    int32_t previousEtalon = 0;  // highlighted before the last alphabet click; its cell is repainted on the change
    std::vector<uint16_t> requiredList;  // etalon numbers of the multi-etalon tasks; first active_etalons entries valid
    uint16_t requiredCapacity = 20;  // entries the required-list dialog may use; rebuildRequiredList, the list command
    uint16_t active_etalons = 20;  // entries of requiredList in use (0: none selected); selection, required-list dialog

    // --- 2. Series parameters
    std::array<int32_t, 3> seriesLengthOptions{200, 600, 1200};  // samples offered by the length panel; fixed
    int32_t seriesLengthOptionCount = 3;  // entries of seriesLengthOptions shown in the panel; fixed
    int32_t seriesLengthOption = 3;  // 1-based choice in the length panel; panel clicks, --length; sets the request
    uint32_t requestedSeriesLength = 7200;  // samples asked for the next series; panel, --length, dialogs
    uint32_t seriesLength = 7200;  // samples of the series made or loaded last; the pipeline, file loader, simulation
    uint16_t minInterval = 40;     // Tmin, least distance between pulse starts; "Create Series", --tmin; synthesis
    uint16_t maxInterval = 181;    // Tmax, greatest distance between pulse starts; "Create Series", --tmax; synthesis
    uint16_t requestedPulseCount = 40;  // count asked for the next fixed-count series; dialogs, --pulses
    uint16_t seriesPulseCount = 40;     // count of the series made last; the pipeline, the file loader; processing
    uint16_t minPulseCount = 0;  // least count the length admits (raised to 1 by the pipeline); length changes, dialogs
    uint16_t maxPulseCount = 0;  // greatest count the length admits; simulation dialog narrows both; protocol width
    std::vector<uint16_t> etalonSequence;  // etalon number of each pulse of the next series; its size is the capacity
    int32_t sequenceUnset = 1;         // 1 until the first "Create Series" fills etalonSequence with the typed etalon
    int16_t savedEnergyCreate = 100;   // energy (%) a cut-off pulse keeps; "Create Series", --energy; synthesis
    int16_t savedEnergyProcess = 100;  // energy (%) processing assumes; "Create Series", --energy; simulation

    // --- 3. Noise
    std::array<int32_t, 3> noiseLevelOptions{0, 25, 50};  // noise deviations offered by the noise panel; fixed
    int32_t noiseLevelOptionCount = 3;                    // entries of noiseLevelOptions shown in the panel; fixed
    int32_t noiseLevelOption = 2;      // 1-based choice in the noise panel; panel clicks; sets requestedNoiseLevel
    int16_t requestedNoiseLevel = 20;  // noise deviation asked for the next series; panel, "Create Series", --noise
    int16_t seriesNoiseLevel = 20;  // noise deviation of the series made last; seriesParameters, synthesize; addNoise
    // Every stream of the generator; random.noiseSeed is the noise stream,
    // never reset, so two series made with the same settings differ. The
    // synthesis and the noise advance them; a finished simulation hands back
    // its own; the Python module may seed them.
    synthesis::RandomStreams random;
    // State of the C library's rand(), never seeded (first state 1), used for
    // the multi-etalon sequences; newSequence advances it (libraryRand).
    uint32_t libraryRandState = 1;

    // --- 4. Statistical simulation settings, from the simulation dialog
    uint16_t pulseCountIncrement = 1;  // step between simulated pulse counts (0 is taken as 1); prepareSimulation
    uint16_t initialNoiseLevel = 0;    // noise deviation of the first noise step; prepareSimulation
    uint16_t noiseStepCount = 29;      // noise steps (columns of the result); prepareSimulation
    uint16_t noiseIncrement = 5;       // noise deviation added per step; prepareSimulation
    uint16_t repeatCount = 100;        // series simulated per cell; prepareSimulation
    uint16_t pulseCountSteps = 0;  // pulse counts simulated (rows); simulationDialogs from the range; prepareSimulation
    // How the next simulation runs: threads, a shard of it, progress and
    // cancel; set by the host (the command line, the window).
    detection::SimulationOptions simulationOptions;
    int32_t simulationViewKind = 0;  // measure the simulation view shows; showSimulation; drawWorkingView

    // --- 5. Mode codes and one-shot flags
    uint16_t taskType = taskFixedEstimation;  // a TaskType; the Settings menu, --task; the pipeline, views, buttons
    uint16_t seriesType = seriesKnownWhole;   // a SeriesType; the Settings menu, "Create Series" (transient types)
    int32_t viewState = viewAlphabet;  // a ViewState: what the working area shows; commands and clicks; paint, mouse
    uint16_t resultView = resultProcessing;  // a ResultView: the result view's kind; Next, showSimulation; paint
    uint16_t repeatMethod = 0;  // detection method of a repeated blind detection; the Repeat commands; processing
    int32_t moreDetails = 0;    // 1: the next processing writes traces; "More Details", --more-details; refresh clears
    int32_t typeMoreDetails = 0;  // 1: the next processing picture draws its bands; "Type More Details"; paint clears
    int32_t refreshLengthPanel = 0;  // 1: the length panel is repainted at the next refresh; commands that change it
    int32_t refreshNoisePanel = 0;   // 1: the noise panel is repainted at the next refresh; commands that change it
    int32_t refreshButtons = 0;  // 1: the button column is repainted at the next refresh; task and selection changes

    // --- 7. Values typed into the dialogs, staged until their command accepts them
    // Written by the dialogs of shell/parameter_dialogs.cpp, taken over by
    // the commands of shell/command_dispatcher.cpp once the dialogs end with OK.
    struct StagedValues {
        int32_t seriesLength = 0;  // samples typed into "Create Series"; seriesDialog, createSeries, the simulation
        uint16_t minInterval = 0;  // Tmin typed into "Create Series"; createSeries sets minInterval from it
        uint16_t maxInterval = 0;  // Tmax typed into "Create Series"; createSeries sets maxInterval from it
        int16_t savedEnergyCreate = 0;   // energy typed into "Create Series"; createSeries sets savedEnergyCreate
        int16_t savedEnergyProcess = 0;  // energy typed into "Create Series"; createSeries sets savedEnergyProcess
        int16_t noiseLevel = 0;          // noise typed into the structure dialog; createSeries sets requestedNoiseLevel
        uint16_t pulseCountLow = 0;      // least count: offered by createSeries, typed into the simulation dialog
        uint16_t pulseCountHigh = 0;  // greatest count, likewise; simulationDialogs narrows min/maxPulseCount to them
    } staged;
    uint16_t dialogPulseCount = 40;  // count typed into the structure dialog; createSeries sets requestedPulseCount
    int32_t dialogEtalonNumber = 1;  // etalon typed into "Create Series" (start: 1); currentEtalon, first sequences
    uint16_t savedRequestedPulseCount = 0;  // requestedPulseCount before createSeries changed it; put back on Cancel
    uint16_t protocolKind = 7;   // last stage row of the stepwise protocol; process sets 7 before getStepwiseProtocol
    int32_t dialogAccepted = 0;  // 1 when the last dialog ended with OK; every dialog; the commands that ran it

    // --- 8. Current data objects
    synthesis::SeriesHeaderPtr
        lpSeriesHeader;  // the current series; synthesis, the file loader, a simulation; views, processing
    detection::StepwiseProtocolPtr
        lpStepwiseProtocol;  // stage rows of the last processing; process; the processing result view
    detection::PulseCountTablePtr
        pulseCountTable;  // per count, the last unfixed-case run's energies; runUnfixedCase; the view
    detection::DetectionStudyPtr
        detectionStudy;  // what the last unfixed-case run found; runUnfixedCase; the result view
    std::vector<int32_t> traceUnfixedCaseCriteria;  // per-sample criteria of the unfixed case; its size is the capacity
    detection::RestErrorHeaderPtr
        lpRestErrorHeader;       // the last statistical simulation's result; finishSimulation; its view
    int32_t dataFileResult = 0;  // ReadInfoDataFile's answer for the last file opened (0: none); openFile
    // Whether the last synthesis made its series (synthesizeSeries writes
    // it); after a refusal lpSeriesHeader is missing or holds an older series.
    bool seriesMade = false;
    // The series record holds a file's samples (adoptSeries sets it, a
    // synthesis or a simulation that replaces the record clears it); such a
    // series is made of no etalon, so the views' alphabet panels list none.
    bool seriesFromFile = false;

    // --- 9. Display resources and the layout of the last paint
    resources::ButtonBitmaps buttonBitmaps;  // the five button pictures; loaded by onCreate, freed by onDestroy
    platform::Font windowFont;               // the window font; onCreate; the paint handler
    int32_t lineHeight = 0;                  // tmHeight + tmExternalLeading - 1; layoutWindow; text rows of the paint
    int32_t aveCharWidth = 0;                // tmAveCharWidth of the window font; layoutWindow; the subset grid
    int32_t maxCharWidth = 0;                // tmMaxCharWidth of the window font; layoutWindow; the subset grid
    views::LayoutRect viewArea;              // the working area right of the buttons; layoutWindow; views, invalidation
    uint16_t cellWidth = 0;                  // pixels of an alphabet cell; layoutWindow
    uint16_t cellHeight = 0;                 // pixels of an alphabet cell; layoutWindow
    std::array<views::LayoutRect, kAlphabetCapacity>
        alphabetCells{};  // cell of each etalon; layoutWindow; clicks, highlights
    views::LayoutRect exitButton, nextButton, restartButton, selectToggleButton,
        buttonRegion;  // the buttons; layoutWindow
    views::LayoutRect lengthPanel, noisePanel,
        optionsPanel;                                      // the option panels; layoutWindow; clicks and invalidation
    std::array<views::LayoutRect, 3> lengthOptionRects{};  // one per length option; the paint; panel clicks
    std::array<views::LayoutRect, 3> noiseOptionRects{};   // one per noise option; the paint; panel clicks
    int32_t selectAllShown = 1;  // the toggle shows "Select All"; the paint; the toggle's click
    // What the last paint put on the screen: the working view (a WorkingView
    // of shell/window_painting.h) and the pictures of the button column (its
    // ShownButton bits). -1 until the first paint; paintWindow writes them,
    // invalidateStaleParts compares the state with them.
    int32_t shownView = -1;
    int32_t shownButtons = -1;
    // Commands running, one inside the other; when the outermost ends, the
    // parts of the picture it left behind the state are invalidated.
    int32_t commandDepth = 0;

    // --- 10. Etalon subset grid (view state 9): made at its first paint, freed at teardown
    std::vector<views::LayoutRect>
        possibleSubsetRect;               // one cell per subset position (the first 10 laid out); drawSubsetGrid
    std::vector<int32_t> selectedSubset;  // one block: numbers [0, capacity), marks [capacity, 2*capacity)
    int32_t subsetCapacity = 0;           // positions selectedSubset holds; ensureSubsetArrays
    int32_t subsetCount = 0;              // entries in use, from the front; the grid's clicks
    std::vector<views::LayoutRect> ButtonsWhileSelectedSubsetRect;  // the grid's buttons; drawSubsetGrid; its clicks
    int32_t subsetButtonCount = 0;  // entries of ButtonsWhileSelectedSubsetRect; ensureSubsetArrays
    views::LayoutRect subsetArea{0, 0, -1,
                                 -1};  // cells and buttons of the last grid paint (empty before); repaint command
    std::vector<views::LayoutRect>
        requiredCellRects;  // one per alphabet entry of the series; drawSubsetGrid; grid clicks

    // --- 11. Zoom and readout of the result views' series plots
    // What the plots show (empty: the whole series); the zoom sets it, processing empties it.
    views::SampleRange shownSamples;
    views::ShownPlots resultPlots;  // the plots of the last paint; none unless a result view with a series was drawn
    PlotDrag plotDrag;              // set by a press in a plot, cleared by its release
    int32_t pointerX = -1, pointerY = -1;  // the mouse's last point over the window, for a readout after a key
    std::string statusText;                // the readout last handed to the host's status bar

    bool windowReady = false;  // start-up finished and teardown not yet run; onCreate sets it, onDestroy clears it
};

// The tasks whose series mix the required etalons (blind detection and
// series processing); the others use the current etalon alone.
constexpr bool isMultiEtalonTask(uint16_t taskType)
{
    return taskType == taskBlindDetection || taskType == taskSeriesProcessing;
}

}  // namespace shell
