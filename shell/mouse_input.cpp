#include "shell/mouse_input.h"

#include <algorithm>
#include <optional>

#include "platform/host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/series_settings.h"
#include "shell/subset_grid.h"
#include "shell/window_painting.h"

namespace shell {

namespace {

using namespace resources;
using platform::Host;

uint16_t etalonsShown(const AppState& s) { return std::min<uint16_t>(s.etalonCount, kAlphabetCapacity); }

void clearPanelFlags(AppState& s)
{
    s.refreshLengthPanel = 0;
    s.refreshNoisePanel = 0;
}

bool clickAlphabetCell(AppState& s, Host& host, int32_t x, int32_t y)
{
    for (int32_t i = 0; i < etalonsShown(s); ++i) {
        if (!views::hits(s.alphabetCells[i], x, y))
            continue;
        if (isMultiEtalonTask(s.taskType)) {
            s.etalonSelected[i] = s.etalonSelected[i] ? 0 : 1;
        } else {
            // One etalon at a time: a click on the selected one keeps it.
            if (!s.etalonSelected[i]) {
                s.etalonSelected.fill(0);
                s.etalonSelected[i] = 1;
            }
            s.refreshButtons = 1;
            clearPanelFlags(s);
        }
        rebuildRequiredList(s);
        s.previousEtalon = s.currentEtalon;
        s.currentEtalon = i + 1;
        dispatchCommand(s, host, CmdHighlightChanged);
        return true;
    }
    return false;
}

// Select All or Unselect All, whichever the last paint showed; only the
// multi-etalon tasks show the toggle, and a click acts only where it is drawn
// (a task setting changed since the last paint moves it only at the next).
bool clickSelectToggle(AppState& s, int32_t x, int32_t y)
{
    if (!buttonShown(s, shownSelectAll | shownUnselectAll) || !views::hits(s.selectToggleButton, x, y))
        return false;
    std::fill(s.etalonSelected.begin(), s.etalonSelected.end(), uint16_t{0});
    if (s.selectAllShown == 1)
        std::fill_n(s.etalonSelected.begin(), etalonsShown(s), uint16_t{1});
    rebuildRequiredList(s);
    return true;
}

// A click on an option with etalons in use makes and processes a new series
// in the result view; the panel whose option changed is repainted after it.
void runOptionClick(AppState& s, Host& host, int32_t& refreshPanel)
{
    if (s.viewState != viewResult)
        s.refreshButtons = 1;
    s.viewState = viewResult;
    refreshPanel = 1;
    dispatchCommand(s, host, CmdNewSequence);
}

bool clickOptionPanels(AppState& s, Host& host, int32_t x, int32_t y)
{
    const int32_t lengths = std::clamp<int32_t>(s.seriesLengthOptionCount, 0, 3);
    for (int32_t i = 0; i < lengths; ++i) {
        if (!views::hits(s.lengthOptionRects[i], x, y))
            continue;
        s.seriesLengthOption = i + 1;
        if (s.active_etalons == 0) {
            dispatchCommand(s, host, CmdOptionsChanged);
            return true;
        }
        requestSeriesLength(s, static_cast<uint32_t>(s.seriesLengthOptions[i]));
        runOptionClick(s, host, s.refreshLengthPanel);
        return true;
    }
    const int32_t levels = std::clamp<int32_t>(s.noiseLevelOptionCount, 0, 3);
    for (int32_t j = 0; j < levels; ++j) {
        if (!views::hits(s.noiseOptionRects[j], x, y))
            continue;
        s.noiseLevelOption = j + 1;
        if (s.active_etalons == 0) {
            dispatchCommand(s, host, CmdOptionsChanged);
            return true;
        }
        s.requestedNoiseLevel = static_cast<int16_t>(s.noiseLevelOptions[j]);
        runOptionClick(s, host, s.refreshNoisePanel);
        return true;
    }
    return false;
}

bool clickAlphabetView(AppState& s, Host& host, int32_t x, int32_t y)
{
    if (clickAlphabetCell(s, host, x, y))
        return true;
    if (views::hits(s.nextButton, x, y)) {
        rebuildRequiredList(s);
        if (s.active_etalons == 0) {
            tellNoEtalonSelected(host);
            dispatchCommand(s, host, CmdSettingsChanged);
            return true;
        }
        s.refreshButtons = 1;
        clearPanelFlags(s);
        s.viewState = viewResult;
        dispatchCommand(s, host, CmdNewSequence);
        return true;
    }
    if (views::hits(s.exitButton, x, y)) {
        dispatchCommand(s, host, CmdCloseWindow);
        return true;
    }
    if (clickSelectToggle(s, x, y)) {
        dispatchCommand(s, host, CmdSelectionChanged);
        return true;
    }
    return false;
}

bool clickResultView(AppState& s, Host& host, int32_t x, int32_t y)
{
    // Restart stands only in the result view; where the subset grid, or a
    // paint still to come, shows nothing, a click there does nothing.
    if (buttonShown(s, shownRestart) && views::hits(s.restartButton, x, y)) {
        s.viewState = viewAlphabet;
        s.refreshButtons = 1;
        dispatchCommand(s, host, CmdSelectionChanged);
        return true;
    }
    if (views::hits(s.nextButton, x, y)) {
        nextSeriesInResultView(s, host);
        return true;
    }
    if (views::hits(s.exitButton, x, y)) {
        dispatchCommand(s, host, CmdCloseWindow);
        return true;
    }
    if (clickSelectToggle(s, x, y)) {
        // The new selection is shown in the alphabet.
        s.viewState = viewAlphabet;
        s.refreshButtons = 1;
        dispatchCommand(s, host, CmdSelectionChanged);
        return true;
    }
    return false;
}

// The subset cells and the buttons below them are repainted after a change.
void repaintSubsetArea(AppState& s, Host& host) { dispatchCommand(s, host, CmdRepaintSubset); }

// The grid's own clicks in state 9: required cells, subset cells, then the
// four buttons. True when one was hit (and handled).
bool clickSubsetGrid(AppState& s, Host& host, int32_t x, int32_t y)
{
    const size_t required = std::min<size_t>({s.active_etalons, s.requiredList.size(), s.requiredCellRects.size()});
    for (size_t i = 0; i < required; ++i) {
        if (!views::hits(s.requiredCellRects[i], x, y))
            continue;
        appendToSubset(s, s.requiredList[i]);
        repaintSubsetArea(s, host);
        return true;
    }
    const int32_t cells = std::min<int32_t>(s.subsetCount, static_cast<int32_t>(s.possibleSubsetRect.size()));
    for (int32_t j = 0; j < cells; ++j) {
        if (!views::hits(s.possibleSubsetRect[static_cast<size_t>(j)], x, y))
            continue;
        markSubsetEntry(s, j);
        repaintSubsetArea(s, host);
        return true;
    }
    const int32_t buttons =
        std::min<int32_t>(s.subsetButtonCount, static_cast<int32_t>(s.ButtonsWhileSelectedSubsetRect.size()));
    for (int32_t b = 0; b < buttons; ++b) {
        if (!views::hits(s.ButtonsWhileSelectedSubsetRect[static_cast<size_t>(b)], x, y))
            continue;
        switch (b) {
        case 0:  // " Delete All "
            clearSubset(s);
            repaintSubsetArea(s, host);
            break;
        case 1:  // " Delete ": the first marked entry
            deleteMarkedSubsetEntry(s);
            repaintSubsetArea(s, host);
            break;
        case 2:  // " Cancel "
            clearSubset(s);
            nextSeriesInResultView(s, host);
            break;
        default:  // " OK "
            placeSubsetInSeries(s);
            nextSeriesInResultView(s, host);
            break;
        }
        return true;
    }
    return false;
}

}  // namespace

void onLeftButton(AppState& s, Host& host, bool /*doubleClick*/, int16_t x, int16_t y, uint32_t /*keyFlags*/)
{
    bool handled = false;
    switch (s.viewState) {
    case viewAlphabet:
        handled = clickAlphabetView(s, host, x, y);
        break;
    case viewResult:
        handled = clickResultView(s, host, x, y);
        break;
    case viewSubsetGrid:
        // The grid's own cells and buttons first, then the result view's.
        handled = clickSubsetGrid(s, host, x, y) || clickResultView(s, host, x, y);
        break;
    default:
        break;
    }
    if (!handled)
        handled = clickOptionPanels(s, host, x, y);
    if (!handled)
        dispatchCommand(s, host, CmdSettingsChanged);
}

void onKeyDown(AppState& /*state*/, Host& host, int32_t key)
{
    if (key == 0 || key == 1)
        host.invalidate(std::nullopt, true);
}

void nextSeriesInResultView(AppState& s, Host& host)
{
    s.viewState = viewResult;
    clearPanelFlags(s);
    dispatchCommand(s, host, CmdNewSequence);
}

}  // namespace shell
