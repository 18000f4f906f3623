#include "shell/window_painting.h"

#include <algorithm>
#include <span>

#include "platform/host.h"
#include "resources/button_bitmaps.h"
#include "views/alphabet_view.h"
#include "views/drawing_conventions.h"
#include "views/processing_result_view.h"
#include "views/series_view.h"
#include "views/statistical_simulation_view.h"
#include "shell/subset_grid.h"

namespace shell {

namespace {

using resources::kButtonHeight;
using resources::kButtonWidth;

// The button column stands 11 pixels in from the right and bottom, with
// 10 pixels between buttons: each step up is 42 pixels.
constexpr int32_t kButtonStep = 42;

bool seriesTypeDrawn(uint16_t seriesType)
{
    return seriesType == seriesKnownWhole || seriesType == seriesKnownCutOff || seriesType == seriesUnknownWhole ||
           seriesType == seriesUnknownCutOff;
}

// A cell size is kept in 16 bits; a window too small for the grid gets empty
// cells rather than sizes wrapped round to tens of thousands.
uint16_t cellSize(int32_t v) { return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, UINT16_MAX)); }

uint16_t etalonsShown(const AppState& s) { return std::min<uint16_t>(s.etalonCount, kAlphabetCapacity); }

int32_t selectedCount(const AppState& s)
{
    return static_cast<int32_t>(std::count(s.etalonSelected.begin(), s.etalonSelected.begin() + etalonsShown(s), 1));
}

// The etalons the series of a result view is made of, the first entries of
// the required list: none for a series read from a file.
size_t panelEtalons(const AppState& s)
{
    return s.seriesFromFile ? 0 : std::min<size_t>(s.active_etalons, s.requiredList.size());
}

void drawButton(platform::Dc& dc, const views::LayoutRect& at, const platform::Bitmap& picture)
{
    dc.bitBlt(at.left, at.top, kButtonWidth, kButtonHeight, picture, 0, 0);
}

template <size_t Capacity>
std::span<const int32_t> offered(const std::array<int32_t, Capacity>& options, int32_t count)
{
    return std::span<const int32_t>(options).first(static_cast<size_t>(std::clamp<int32_t>(count, 0, Capacity)));
}

void drawWorkingView(AppState& s, platform::Host& host, platform::Dc& dc, WorkingView view)
{
    const views::ViewFrame frame{s.viewArea, s.lineHeight};
    // Only a result view with a series leaves plots to read and zoom.
    s.resultPlots = {};
    switch (view) {
    case WorkingView::Alphabet: {
        views::AlphabetViewInput in;
        in.frame = frame;
        in.cellWidth = s.cellWidth;
        in.cellHeight = s.cellHeight;
        in.cells = std::span<const views::LayoutRect>(s.alphabetCells).first(etalonsShown(s));
        in.etalons = std::span<const synthesis::PulseHeader>(s.etalons).first(etalonsShown(s));
        in.selected = s.etalonSelected;
        in.amplitude = s.amplitude;
        views::drawAlphabetView(dc, in);
        break;
    }
    case WorkingView::SeriesView: {
        const size_t n = panelEtalons(s);
        views::drawSeriesView(dc, frame, static_cast<uint16_t>(n), std::span<const uint16_t>(s.requiredList).first(n),
                              s.lpSeriesHeader.get(), s.shownSamples, &s.resultPlots);
        break;
    }
    case WorkingView::ProcessingResult: {
        views::ProcessingResultInput in;
        in.frame = frame;
        in.protocol = s.lpStepwiseProtocol.get();
        in.pulseCountTable = s.pulseCountTable.get();
        in.detectionStudy = s.detectionStudy.get();
        in.typeMoreDetails = s.typeMoreDetails;
        in.chainTotals = s.traceUnfixedCaseCriteria;
        in.activeEtalons = static_cast<uint16_t>(panelEtalons(s));
        in.requiredList = std::span<const uint16_t>(s.requiredList).first(panelEtalons(s));
        in.series = s.lpSeriesHeader.get();
        in.range = s.shownSamples;
        in.shownPlots = &s.resultPlots;
        views::DrawProcessingResult(dc, host, in);
        break;
    }
    case WorkingView::SimulationView: {
        views::SimulationViewInput in;
        in.frame = frame;
        in.amplitude = s.amplitude;
        in.kind = s.simulationViewKind;
        in.n = static_cast<uint16_t>(std::min<size_t>(s.active_etalons, s.requiredList.size()));
        in.requiredList = std::span<const uint16_t>(s.requiredList).first(in.n);
        in.header = s.lpRestErrorHeader.get();
        in.series = s.lpSeriesHeader.get();
        views::DrawDetectionArrayZ(dc, host, in);
        break;
    }
    case WorkingView::SubsetGrid:
        drawSubsetGrid(s, host, dc);
        break;
    case WorkingView::None:
        break;
    }
}

}  // namespace

WorkingView chooseWorkingView(const AppState& s)
{
    switch (s.viewState) {
    case viewAlphabet:
        return WorkingView::Alphabet;
    case viewSubsetGrid:
        return WorkingView::SubsetGrid;
    case viewResult:
        if (s.resultView == resultSimulation)
            return WorkingView::SimulationView;
        if (s.taskType == taskFixedEstimation || s.taskType == taskUnfixedEstimation)
            return WorkingView::ProcessingResult;
        if (s.taskType == taskBlindDetection && seriesTypeDrawn(s.seriesType))
            return WorkingView::ProcessingResult;
        if (s.taskType == taskSeriesProcessing && seriesTypeDrawn(s.seriesType))
            return WorkingView::SeriesView;
        return WorkingView::None;
    default:
        return WorkingView::None;
    }
}

int32_t buttonsShownBy(const AppState& s)
{
    if (s.viewState != viewAlphabet && s.viewState != viewResult && s.viewState != viewSubsetGrid)
        return 0;
    int32_t buttons = shownNext | shownExit;
    if (s.viewState == viewResult)
        buttons |= shownRestart;
    if (isMultiEtalonTask(s.taskType))
        buttons |= 2 * selectedCount(s) <= s.etalonCount ? shownSelectAll : shownUnselectAll;
    return buttons;
}

bool buttonShown(const AppState& s, int32_t buttons) { return s.shownButtons > 0 && (s.shownButtons & buttons) != 0; }

void invalidateStaleParts(AppState& s, platform::Host& host)
{
    if (s.shownView < 0)
        return;
    if (static_cast<int32_t>(chooseWorkingView(s)) != s.shownView) {
        host.invalidate(std::nullopt, true);
        return;
    }
    if (buttonsShownBy(s) == s.shownButtons)
        return;
    // Every place a button can take, whichever task laid the column out.
    const platform::Rect client = host.clientRect();
    host.invalidate(
        platform::Rect{client.right - 154, client.bottom - 4 * kButtonStep, client.right - 10, client.bottom - 10},
        true);
}

void layoutWindow(AppState& s, const platform::Rect& client, const platform::TextMetrics& tm)
{
    const int32_t L = client.left, T = client.top, R = client.right, B = client.bottom;
    s.lineHeight = views::lineHeightOf(tm);
    s.aveCharWidth = tm.tmAveCharWidth;
    s.maxCharWidth = tm.tmMaxCharWidth;

    const int32_t left = R - 154, right = R - 11;
    auto button = [&](int32_t top) { return views::LayoutRect{left, top, right, top + kButtonHeight - 1}; };
    s.exitButton = button(B - kButtonStep);
    s.nextButton = button(B - 2 * kButtonStep);
    if (isMultiEtalonTask(s.taskType)) {
        s.selectToggleButton = button(B - 3 * kButtonStep);
        s.restartButton = button(B - 4 * kButtonStep);
    } else {
        s.selectToggleButton = {0, 0, -1, -1};  // not shown: nothing hits it
        s.restartButton = button(B - 3 * kButtonStep);
    }
    s.buttonRegion = {left, s.restartButton.top - kButtonStep, right, B - 95};

    s.viewArea.left = L + 10;
    s.viewArea.top = T + 10;
    const int32_t W = (R - 154) - 10 - (L + 10) + 1;
    const int32_t H = B - 10 - (T + 10) + 1;
    int32_t rows = 1;
    while (rows * (rows + 1) < s.etalonCount)
        ++rows;
    const int32_t columns = rows + 1;
    s.cellWidth = cellSize((W - (columns + 1) * 10) / columns);
    s.cellHeight = cellSize((H - (rows + 1) * 10) / rows);
    s.viewArea.right = s.viewArea.left + columns * s.cellWidth + (columns + 1) * 10 - 1;
    s.viewArea.bottom = s.viewArea.top + rows * s.cellHeight + (rows + 1) * 10 - 1;

    s.alphabetCells.fill({});
    int32_t x = s.viewArea.left + 10, y = s.viewArea.top + 10;
    for (int32_t i = 0; i < etalonsShown(s); ++i) {
        s.alphabetCells[i] = {x, y, x + s.cellWidth - 1, y + s.cellHeight - 1};
        x += s.cellWidth + 10;
        if ((i + 1) % columns == 0) {
            x = s.viewArea.left + 10;
            y += s.cellHeight + 10;
        }
    }

    const int32_t LH = s.lineHeight;
    s.lengthPanel = {s.viewArea.right + 10, s.viewArea.top, R - 10, s.viewArea.top + 6 * LH};
    const int32_t noiseTop = s.lengthPanel.bottom + LH;
    s.noisePanel = {s.lengthPanel.left, noiseTop, s.lengthPanel.right, noiseTop + 6 * LH};
    s.optionsPanel = {s.lengthPanel.left, s.lengthPanel.top, s.noisePanel.right, s.noisePanel.bottom};
}

void paintWindow(AppState& s, platform::Host& host, platform::Dc& dc)
{
    const platform::Font previousFont = dc.selectFont(s.windowFont ? s.windowFont : platform::stockVariableFont());
    layoutWindow(s, host.clientRect(), dc.textMetrics());

    const WorkingView view = chooseWorkingView(s);
    drawWorkingView(s, host, dc, view);
    // The detail flag applies to one picture of the processing result.
    if (s.viewState == viewResult && view != WorkingView::SimulationView)
        s.typeMoreDetails = 0;

    const int32_t buttons = buttonsShownBy(s);
    if (buttons & shownRestart)
        drawButton(dc, s.restartButton, s.buttonBitmaps.restart);
    if (buttons & shownNext)
        drawButton(dc, s.nextButton, s.buttonBitmaps.next);
    if (buttons & shownExit)
        drawButton(dc, s.exitButton, s.buttonBitmaps.exit);
    if (buttons & (shownSelectAll | shownUnselectAll)) {
        s.selectAllShown = (buttons & shownSelectAll) ? 1 : 0;
        drawButton(dc, s.selectToggleButton,
                   s.selectAllShown ? s.buttonBitmaps.selectAll : s.buttonBitmaps.unselectAll);
    }
    s.shownView = static_cast<int32_t>(view);
    s.shownButtons = buttons;

    views::drawChoicePanel(dc, s.lengthPanel, s.lengthOptionRects,
                           " series length: ", offered(s.seriesLengthOptions, s.seriesLengthOptionCount),
                           s.seriesLengthOption, static_cast<int32_t>(s.seriesLength), s.lineHeight);
    views::drawChoicePanel(dc, s.noisePanel, s.noiseOptionRects,
                           " noise level: ", offered(s.noiseLevelOptions, s.noiseLevelOptionCount), s.noiseLevelOption,
                           s.seriesNoiseLevel, s.lineHeight);

    dc.selectFont(previousFont);
}

}  // namespace shell
