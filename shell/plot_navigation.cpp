#include "shell/plot_navigation.h"

#include <algorithm>
#include <cstdlib>

#include "platform/host.h"
#include "shell/mouse_input.h"
#include "shell/processing_pipeline.h"
#include "views/drawing_conventions.h"

namespace shell {

namespace {

using platform::Host;

// The plots answer only while the result view that drew them is on screen.
bool plotsShown(const AppState& s) { return s.viewState == viewResult && s.resultPlots.count > 0; }

const char* plotName(views::PlotKind kind)
{
    switch (kind) {
    case views::PlotKind::Pure:
        return "pure series";
    case views::PlotKind::Observed:
        return "observed series";
    case views::PlotKind::FoundPulses:
        return "found pulses";
    case views::PlotKind::Reconstruction:
        return "reconstruction";
    }
    return "";
}

void setStatus(AppState& s, Host& host, std::string text)
{
    if (text == s.statusText)
        return;
    s.statusText = text;
    host.setStatusText(std::move(text));
}

std::string readoutAtPoint(const AppState& s, int32_t x, int32_t y)
{
    if (!plotsShown(s) || !s.lpSeriesHeader)
        return {};
    const std::optional<views::PlotReadout> r = views::readoutAt(s.resultPlots, *s.lpSeriesHeader, x, y);
    return r ? readoutText(*r, s.resultPlots) : std::string();
}

// The sample under x in the drag's plot, x held inside the plot.
int32_t dragSample(const AppState& s, int32_t x)
{
    return views::sampleAtColumn(s.resultPlots.plots[static_cast<size_t>(s.plotDrag.plot)], s.resultPlots.shown, x);
}

bool dragPlotValid(const AppState& s)
{
    return plotsShown(s) && s.plotDrag.plot >= 0 && s.plotDrag.plot < s.resultPlots.count;
}

}  // namespace

views::SampleRange zoomAround(views::SampleRange shown, int32_t N, int32_t sample, int32_t notches)
{
    shown = views::shownSamples(shown, N);
    const int64_t n = int64_t{shown.to} - shown.from;
    const int64_t least = std::min<int64_t>(kLeastShownSamples, std::max(N, 0));
    int64_t wanted = n;
    for (int32_t k = 0; k < std::abs(notches) && wanted > 0; ++k)
        wanted = notches > 0 ? std::max(wanted / 2, least) : std::min<int64_t>(wanted * 2, N);
    if (wanted >= N || wanted < 2)
        return {0, std::max(N, 0)};
    // The anchor keeps its share of the samples to its left.
    const int64_t anchor = std::clamp<int64_t>(sample, shown.from, shown.to - 1);
    int64_t from = anchor - (anchor - shown.from) * wanted / n;
    from = std::clamp<int64_t>(from, 0, N - wanted);
    return {static_cast<int32_t>(from), static_cast<int32_t>(from + wanted)};
}

views::SampleRange samplesBetween(int32_t a, int32_t b, int32_t N)
{
    const int64_t least = std::min<int64_t>(kLeastShownSamples, std::max(N, 0));
    int64_t from = std::min(a, b), to = int64_t{std::max(a, b)} + 1;
    if (to - from < least) {
        from = (from + to) / 2 - least / 2;
        to = from + least;
    }
    if (from < 0) {
        to -= from;
        from = 0;
    }
    if (to > N) {
        from = std::max<int64_t>(0, from - (to - N));
        to = N;
    }
    return {static_cast<int32_t>(from), static_cast<int32_t>(to)};
}

std::string readoutText(const views::PlotReadout& r, const views::ShownPlots& plots)
{
    std::string text = views::formatText("%s: sample %d, pure %d, observed %d", plotName(r.point.kind), r.point.sample,
                                         r.pure, r.observed);
    if (r.pulse >= 0)
        text += views::formatText("; found pulse %d: start %d, score %lld (window energy)", r.pulse + 1, r.pulseStart,
                                  static_cast<long long>(r.pulseScore));
    if (!views::showsWholeSeries(plots.shown, plots.N))
        text += views::formatText("   [samples %d to %d of %d shown; Home shows all]", plots.shown.from,
                                  plots.shown.to - 1, plots.N);
    return text;
}

void showSamples(AppState& s, Host& host, views::SampleRange range)
{
    const int32_t N = s.resultPlots.N;
    const views::SampleRange before = views::shownSamples(s.shownSamples, N);
    const views::SampleRange after = views::shownSamples(range, N);
    s.shownSamples = views::showsWholeSeries(after, N) ? views::SampleRange{} : after;
    if (after == before)
        return;
    // The plots keep their place; only what they show moves, so the readout
    // can follow before the repaint records it again.
    s.resultPlots.shown = after;
    invalidateViewArea(s, host);
}

void onLeftPress(AppState& s, Host& host, int16_t x, int16_t y, uint32_t keyFlags)
{
    s.plotDrag = {};
    if (plotsShown(s)) {
        if (const std::optional<views::PlotPoint> at = views::plotPointAt(s.resultPlots, x, y)) {
            s.plotDrag = {true, false, at->plot, x, y, x, keyFlags};
            return;
        }
    }
    onLeftButton(s, host, false, x, y, keyFlags);
}

void onLeftRelease(AppState& s, Host& host, int16_t x, int16_t y)
{
    if (!s.plotDrag.pressed)
        return;
    const PlotDrag drag = s.plotDrag;
    s.plotDrag.toX = x;
    if (!drag.dragging || !dragPlotValid(s)) {
        s.plotDrag = {};
        onLeftButton(s, host, false, static_cast<int16_t>(drag.fromX), static_cast<int16_t>(drag.fromY), drag.keyFlags);
        return;
    }
    const views::SampleRange chosen = samplesBetween(dragSample(s, drag.fromX), dragSample(s, x), s.resultPlots.N);
    s.plotDrag = {};
    showSamples(s, host, chosen);
    setStatus(s, host, readoutAtPoint(s, x, y));
}

void onMouseMove(AppState& s, Host& host, int16_t x, int16_t y)
{
    s.pointerX = x;
    s.pointerY = y;
    if (s.plotDrag.pressed) {
        s.plotDrag.toX = x;
        if (!s.plotDrag.dragging && std::abs(x - s.plotDrag.fromX) >= kDragThreshold)
            s.plotDrag.dragging = true;
        if (s.plotDrag.dragging && dragPlotValid(s)) {
            const views::SampleRange r =
                samplesBetween(dragSample(s, s.plotDrag.fromX), dragSample(s, x), s.resultPlots.N);
            setStatus(s, host, views::formatText("show samples %d to %d", r.from, r.to - 1));
        }
        return;
    }
    setStatus(s, host, readoutAtPoint(s, x, y));
}

void onMouseLeave(AppState& s, Host& host)
{
    s.pointerX = s.pointerY = -1;
    if (!s.plotDrag.pressed)
        setStatus(s, host, {});
}

void onMouseWheel(AppState& s, Host& host, int16_t x, int16_t y, int32_t notches)
{
    if (notches == 0 || s.plotDrag.pressed || !plotsShown(s))
        return;
    const std::optional<views::PlotPoint> at = views::plotPointAt(s.resultPlots, x, y);
    if (!at)
        return;
    showSamples(s, host, zoomAround(s.resultPlots.shown, s.resultPlots.N, at->sample, notches));
    setStatus(s, host, readoutAtPoint(s, x, y));
}

bool onPlotKey(AppState& s, Host& host, int32_t key)
{
    if (!plotsShown(s) || s.plotDrag.pressed)
        return false;
    const views::SampleRange shown = s.resultPlots.shown;
    const int32_t middle = shown.from + (shown.to - shown.from - 1) / 2;
    switch (key) {
    case kKeyHome:
        showSamples(s, host, {});
        break;
    case kKeyAdd:
    case kKeyOemPlus:
        showSamples(s, host, zoomAround(shown, s.resultPlots.N, middle, 1));
        break;
    case kKeySubtract:
    case kKeyOemMinus:
        showSamples(s, host, zoomAround(shown, s.resultPlots.N, middle, -1));
        break;
    default:
        return false;
    }
    if (s.pointerX >= 0)
        setStatus(s, host, readoutAtPoint(s, s.pointerX, s.pointerY));
    return true;
}

std::optional<platform::Rect> dragBand(const AppState& s)
{
    if (!s.plotDrag.pressed || !s.plotDrag.dragging || !dragPlotValid(s))
        return std::nullopt;
    const views::ShownPlot& p = s.resultPlots.plots[static_cast<size_t>(s.plotDrag.plot)];
    const int32_t a = std::clamp(s.plotDrag.fromX, p.x0, p.x0 + p.W);
    const int32_t b = std::clamp(s.plotDrag.toX, p.x0, p.x0 + p.W);
    return platform::Rect{std::min(a, b), p.y, std::max(a, b) + 1, p.y + p.H + 1};
}

}  // namespace shell
