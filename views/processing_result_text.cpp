#include "views/processing_result_text.h"

#include <algorithm>
#include <cstdlib>

#include "detection/task_codes.h"
#include "base/formatted_text.h"
#include "views/series_plot.h"

namespace views {

// The table's texts keep their bytes as they are (the method names among
// them), so they are made by base::formatText, not by the window texts'
// views::formatText.

namespace {

bool isBlindDetection(const detection::StepwiseProtocol& p) { return p.wTask == detection::taskBlindDetection; }

// The criterion of a row: the measure, or the squares in blind detection.
int32_t criterionOf(const detection::StepwiseProtocol& p, int row)
{
    return isBlindDetection(p) ? p.lpSquares[row] : p.lpMeasure[row];
}

int32_t bestCriterion(const detection::StepwiseProtocol& p)
{
    int32_t best = -9999999;
    for (int i = 0; i < protocolRowsInUse(p); ++i)
        best = std::max(best, criterionOf(p, i));
    return best;
}

}  // namespace

int protocolRowsInUse(const detection::StepwiseProtocol& p)
{
    return static_cast<int>(std::min<size_t>({p.wUsed, p.lpIterations.size(), p.lpMeasure.size(), p.lpSquares.size(),
                                              p.lpRowPositions.size(), p.lpPulses.size(), p.lpMethod.size()}));
}

int shownProtocolRow(const detection::StepwiseProtocol& p)
{
    const int used = protocolRowsInUse(p);
    if (used == 0)
        return -1;
    if (isBlindDetection(p) && detection::isUnknownCountSeries(p.wSeriesType))
        return used - 1;
    return std::min<int>(used, 3) - 1;
}

void storeShownRow(const detection::StepwiseProtocol& p, synthesis::SeriesHeader& series)
{
    const int r = shownProtocolRow(p);
    if (r < 0)
        return;
    const size_t n = std::min<size_t>({p.lpPulses[r], series.lpFoundPositions.size(), p.lpRowPositions[r].size()});
    series.wFoundPulses = static_cast<uint16_t>(n);
    std::copy_n(p.lpRowPositions[r].begin(), n, series.lpFoundPositions.begin());
}

std::array<std::string, 4> processingResultHeader(const detection::StepwiseProtocol& p,
                                                  const detection::DetectionStudy* study, uint16_t activeEtalons,
                                                  const synthesis::SeriesHeader& series)
{
    std::string title = headerTitleLine(p.lpTaskName, p.lpSeriesName);
    if (isBlindDetection(p) && study) {
        // The method's name is written over the closing blank.
        const uint16_t method = study->wDetectionMethod;
        title.pop_back();
        title += base::formatText(
            ". %s ", method < detection::detectionMethodNames.size() ? detection::detectionMethodNames[method] : "");
    }
    const int32_t a = displayAmplitude(series.wAmplitude, series.wNoiseLevel).a;
    return {title, headerParameterLine(series, a), headerCountLine(series),
            headerPulsesLine(series, isBlindDetection(p) && activeEtalons > 1)};
}

std::vector<TableCell> protocolTableHeader(const detection::StepwiseProtocol& p)
{
    if (isBlindDetection(p))
        return {{0, "method"}, {50, "    criteria"}, {120, " disp"}, {165, "dp"}, {195, " pulses position"}};
    return {{0, "method"},    {50, "    criteria"}, {120, "factor"}, {160, "squares"},
            {225, "   iter"}, {255, " disp"},       {300, "dp"},     {330, " pulses position"}};
}

std::vector<TableCell> protocolTableRow(const detection::StepwiseProtocol& p, const synthesis::SeriesHeader& series,
                                        int i)
{
    const bool blind = isBlindDetection(p);
    const int32_t v = criterionOf(p, i);
    const int32_t best = bestCriterion(p);
    const int used = protocolRowsInUse(p);
    const bool lastBelowBest = i == used - 1 && v < best;
    const bool rankedDiffers =
        i == 1 && blind && p.wSeriesType == detection::seriesUnknownWhole && p.lpPulses[1] != p.lpPulses[used - 1];

    // Only the positions both the row and the series hold are compared.
    int64_t displacement = 0;
    const int compared = static_cast<int>(std::min<size_t>(
        {series.wImpulseQuantity, p.lpPulses[i], p.lpRowPositions[i].size(), series.lpPositions.size()}));
    for (int k = 0; k < compared; ++k)
        displacement += std::abs(p.lpRowPositions[i][k] - series.lpPositions[k]);

    std::string positions;
    const int shown = std::min<int>(p.lpPulses[i], static_cast<int>(p.lpRowPositions[i].size()));
    for (int k = 0; k < shown; ++k) {
        positions += base::formatText(" %d ", p.lpRowPositions[i][k]);
        if (k == 16) {
            positions += " ....";
            break;
        }
    }

    std::vector<TableCell> cells;
    cells.push_back({0, base::formatText(" %s ", detection::protocolMethodLabel(p.lpMethod[i]))});
    cells.push_back({50, std::string(lastBelowBest || rankedDiffers ? " ! " : "   ") + base::formatText(" %d ", v)});
    if (blind) {
        cells.push_back({120, base::formatText("  %d   ", static_cast<int>(displacement))});
        cells.push_back({165, base::formatText("%3d:", p.lpPulses[i])});
        cells.push_back({195, positions});
    } else {
        // A best criterion of 0 leaves no ratio to print; the factor reads 0.
        const double factor = best != 0 ? static_cast<double>(v) / best : 0.0;
        cells.push_back({120, base::formatText(" %.3f ", factor)});
        cells.push_back({160, base::formatText(" %3d ", p.lpSquares[i])});
        cells.push_back({225, base::formatText(" %5d  ", p.lpIterations[i])});
        cells.push_back({255, base::formatText("  %d   ", static_cast<int>(displacement))});
        cells.push_back({300, base::formatText("%3d:", p.lpPulses[i])});
        cells.push_back({330, positions});
    }
    return cells;
}

}  // namespace views
