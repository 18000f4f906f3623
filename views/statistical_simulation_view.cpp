#include "views/statistical_simulation_view.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "views/drawing_primitives.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

namespace {

// A floating figure truncated into 32 bits; out-of-range and undefined values
// are held at the ends rather than converted out of range.
int32_t truncTo32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

const char* orEmpty(const char* text) { return text ? text : ""; }

// Cell (i, j) of an error matrix; cells the record does not hold are 0.
int32_t errorCell(const std::vector<std::vector<int32_t>>& m, size_t i, size_t j)
{
    if (i >= m.size() || j >= m[i].size())
        return 0;
    return m[i][j];
}

template <class T>
T entry(const std::vector<T>& v, size_t i)
{
    return i < v.size() ? v[i] : T{};
}

template <class T>
T entry(std::span<const T> v, size_t i)
{
    return i < v.size() ? v[i] : T{};
}

}  // namespace

std::string simulationMeasureCaption(int32_t kind)
{
    switch (kind) {
    case 0:
        return " restored error, componentwise case";
    case 1:
        return " restored error, agregate form";
    case 2:
        return " detection error, componentwise case";
    case 3:
        return " detection error, agregate form";
    case 4:
    case 5:
        return " recognition error, componentwise case";
    case 6:
        return " error of number of fragments, componentwise case";
    case 7:
        return " mean of number of fragments";
    case 8:
        return " bias of number of fragments";
    case 9:
        return " variance of number of fragments";
    case 10:
        return " mean square error of number of fragments";
    default:
        return "";
    }
}

std::vector<std::string> simulationHeaderLines(const detection::RestErrorHeader& header,
                                               const synthesis::SeriesHeader& series, int32_t amplitude, int32_t kind)
{
    std::vector<std::string> lines;
    lines.push_back(formatText(" statistical simulation for %s in series with %s ", orEmpty(header.lpTaskName),
                               orEmpty(header.lpSeriesName)));
    lines.push_back(formatText(" series length %d, ", static_cast<int>(series.dwSeriesSize)));

    const size_t P = header.wVariousPulses;
    std::string involves = " involves ";
    if (P < 4) {
        for (size_t j = 0; j < P; ++j)
            involves += formatText(" %d,", entry(header.wPulseValues, j));
    } else {
        involves += formatText(" %d,", entry(header.wPulseValues, 0));
        involves += formatText(" %d,", entry(header.wPulseValues, 1));
        involves += formatText("..., %d ", entry(header.wPulseValues, P - 1));
    }
    // The range is written over the list's last character, its comma or blank.
    involves.pop_back();
    involves += formatText(" pulses from [%d-%d],", series.wMinPulses, series.wMaxPulses);
    lines.push_back(involves);

    lines.push_back(formatText(" with length %d", series.wImpulseSize) + formatText(", amplitude %d", amplitude));
    lines.push_back(formatText(" Tmin=%d, Tmax=%d,", series.wTmin, series.wTmax));
    const size_t K = header.wNoiseLevels;
    lines.push_back(formatText(" number of %d noise levels", static_cast<int>(K)));
    // One level has no step, and no levels have neither ends nor step.
    const int16_t first = K > 0 ? entry(header.lpNoiseLevel, 0) : 0;
    const int16_t last = K > 0 ? entry(header.lpNoiseLevel, K - 1) : 0;
    const int16_t step = K > 1 ? static_cast<int16_t>(entry(header.lpNoiseLevel, 1) - first) : 0;
    lines.push_back(formatText(" from %d to %d with step %d", first, last, step));
    lines.push_back(simulationMeasureCaption(kind));
    lines.push_back(formatText(" for volume of % d repeats", static_cast<int>(header.repeats)));
    return lines;
}

int32_t simulationCellAmplitude(int32_t amplitude, uint16_t noiseLevel)
{
    if (amplitude != 0)
        return amplitude;
    int32_t a = 128;
    // Doubled as a 16-bit figure: past 16384 it would wrap to a negative
    // value and then to 0 for ever under a large noise level.
    while (a < noiseLevel && a < 16384)
        a *= 2;
    return a;
}

int64_t simulationGridStep(int64_t T)
{
    T = std::max<int64_t>(T, 50);
    int64_t g = 1;
    for (int64_t t = T; t > 0; t /= 10)
        g *= 10;
    if (5 * T <= g)
        g /= 5;
    if (2 * T <= g)
        g /= 2;
    if (2 * T <= g)
        g /= 2;
    return g;
}

SimulationViewLayout simulationViewLayout(const ViewFrame& frame, int32_t n, int32_t K, uint32_t N, int32_t L)
{
    const LayoutRect& v = frame.viewArea;
    const int32_t LH = frame.lineHeight;
    SimulationViewLayout l;
    const ViewSize size = viewSize(frame);
    l.Wv = size.Wv;
    l.Hv = size.Hv;
    l.Hu = size.Hu;
    l.yAfterHeader = wrapAdd(wrapAdd(wrapSub(v.top, LH >> 1), wrapMul(8, LH + 1)), 2 * LH + 2);

    // A line height of 0 has no rows of text to count.
    l.h = LH > 0 ? truncTo32(4.0 * LH * (static_cast<double>(l.Hu) / (16.0 * LH))) : 0;
    if (l.h & 1)
        l.h = wrapAdd(l.h, 1);

    const int64_t e = std::max<int64_t>(N / 8, L);
    const int32_t room = wrapSub(l.Wv, 90);
    // A series of no samples and pulses of no length leave the graph all the width.
    const double ratio = (int64_t{N} + e) > 0 ? static_cast<double>(room) / static_cast<double>(int64_t{N} + e) : 0.0;
    l.A = wrapSub(room, truncTo32(static_cast<double>(e) * ratio));
    l.B = wrapSub(room, truncTo32(static_cast<double>(N) * ratio));

    l.nr = (2 * n + 2) / 4;
    l.pl = wrapAdd(wrapAdd(v.left, 40), l.A);
    l.pt = wrapAdd(v.top, LH >> 1);
    l.cwid = l.B / 2;
    l.chei = l.h / 2;
    // Without etalons there are no rows to share the height among.
    if (l.nr > 0 && l.Hv < wrapAdd(wrapMul(wrapAdd(wrapAdd(l.chei, 10), LH), l.nr), 15)) {
        const int64_t share = (int64_t{v.bottom} - v.top - 44) * 2 + l.nr;
        l.chei = wrapSub(static_cast<int32_t>(share / (2 * int64_t{l.nr})), LH + 10);
    }

    l.gh = wrapAdd(wrapMul(4, l.h), wrapMul(13, LH));
    l.gw = std::min(l.A / 2, wrapMul(2, l.gh) / 3);
    l.dh = (l.gh / 10 + 2) / 4;
    const int32_t byHeight = (((4 * l.dh + 2) / 5 + 1) / 2) * 2;
    // With one noise level there is no step across: the graph has no width.
    l.dw = byHeight;
    if (K > 1) {
        const int32_t byWidth = ((wrapMul(2, l.gw) / (2 * (K - 1)) + 1) / 2) * 2;
        l.dw = std::min(byWidth, byHeight);
    }
    l.GW = K > 1 ? wrapMul(K - 1, l.dw) : 0;
    l.GH = wrapMul(40, l.dh);
    l.x0 = wrapSub(l.pl, wrapAdd(wrapAdd(l.GW, 8), wrapMul(2, l.dw)));
    l.y0 = wrapAdd(wrapAdd(v.top, LH >> 1), 12);
    l.fh = (l.GH + 12) / 25;
    if (l.fh < LH + 1)
        l.fh = LH + 2;
    return l;
}

platform::Rect simulationPanelCell(const SimulationViewLayout& l, int32_t lineHeight, int32_t k)
{
    const int32_t rows = std::max(l.nr, 1);
    const int32_t r = k % rows, c = k / rows;
    const int32_t left = wrapAdd(l.pl, wrapMul(wrapAdd(l.cwid, 20), c));
    const int32_t top = wrapAdd(wrapAdd(wrapAdd(l.pt, lineHeight >> 1), lineHeight), wrapMul(wrapAdd(l.chei, 25), r));
    return {left, top, wrapAdd(left, l.cwid), wrapAdd(top, l.chei)};
}

int32_t simulationCurveY(double v, double s, int32_t GH)
{
    // An error far above the scale would otherwise leave the coordinate range.
    const double rise = std::clamp(s * v * GH, -double{platform::kCoordinateLimit}, double{platform::kCoordinateLimit});
    return wrapSub(GH, truncTo32(rise));
}

void DrawDetectionCurves(platform::Dc& dc, uint16_t R, uint16_t P, std::span<const int16_t> pulseValues,
                         std::span<const double> normaliser, uint16_t K,
                         const std::vector<std::vector<int32_t>>& errors, int32_t x0, int32_t y0, int32_t GW,
                         int32_t GH, int32_t rise, double s, int32_t dw)
{
    (void)GW;
    if (R == 0 || K == 0)
        return;
    std::vector<int32_t> y(K);
    for (size_t j = 0; j < P; ++j) {
        const double norm = std::max(entry(normaliser, j), 1.0);
        for (size_t i = 0; i < K; ++i) {
            const double cell = static_cast<uint32_t>(errorCell(errors, i, j));
            y[i] = simulationCurveY(std::sqrt((cell / R) / norm), s, GH);
        }
        for (int32_t pass = 0; pass < 3; ++pass) {
            const int32_t dx = pass == 2 ? 1 : 0, dy = pass == 1 ? 1 : 0;
            dc.moveTo(wrapAdd(x0, dx), wrapAdd(wrapAdd(y0, GH), dy));
            for (size_t i = 0; i < K; ++i)
                dc.lineTo(wrapAdd(wrapAdd(x0, dx), wrapMul(static_cast<int32_t>(i), dw)),
                          wrapAdd(wrapAdd(y0, y[i]), dy));
        }
        dc.textOut(wrapAdd(x0, wrapMul(K, dw)), wrapSub(wrapAdd(y0, y[K - 1]), rise),
                   formatText("%d", entry(pulseValues, j)));
    }
}

namespace {

// The alphabet panel: its frame, its title and a cell for each etalon listed
// (numbers the series does not hold are left out).
void drawSimulationAlphabet(platform::Dc& dc, const SimulationViewLayout& l, int32_t LH,
                            std::span<const uint16_t> required, const synthesis::SeriesHeader& se, int32_t a)
{
    const auto n = static_cast<int32_t>(required.size());
    dc.rectangle(l.pl, wrapAdd(l.pt, 10), wrapAdd(wrapAdd(l.pl, 1), wrapMul(2, wrapAdd(l.cwid, 20))),
                 wrapAdd(wrapAdd(l.pt, 26), wrapMul(wrapAdd(wrapAdd(l.chei, 10), LH), l.nr)));
    std::string title = formatText(" Alphabet, %d items ", n);
    if (n == 1)
        title.replace(title.size() - 2, 2, " ");
    dc.textOut(wrapAdd(l.pl, 7), l.pt, title);
    const size_t listed = std::min<size_t>(se.wPulsesListSize, se.lpPulsesList.size());
    for (int32_t k = 0; k < n; ++k) {
        const int32_t number = required[static_cast<size_t>(k)];
        if (number < 1 || static_cast<size_t>(number) > listed || !se.lpPulsesList[number - 1])
            continue;
        DrawEtalonCell(dc, *se.lpPulsesList[number - 1], a, 0, simulationPanelCell(l, LH, k), LH);
    }
}

// The two lines under the panel that give the graph's sizes and its font.
void drawGraphSizes(platform::Dc& dc, const SimulationViewLayout& l, int32_t LH, int32_t LHs, int32_t cws)
{
    int32_t yf = wrapAdd(wrapAdd(wrapAdd(wrapAdd(wrapAdd(l.yAfterHeader, l.h), LH >> 1), LH), 2), LH);
    dc.textOut(20, yf,
               formatText("(w,h): (%d,%d)", l.gw, l.gh) + formatText(", (dw,dh): (%d,%d)", l.dw, wrapMul(4, l.dh)) +
                   formatText(" -> (w,h): (%d,%d)", l.GW, l.GH));
    yf = wrapAdd(yf, 2 + 2 * LH);
    dc.textOut(20, yf, formatText("Bond.007: %d -> (%d, %d)", l.fh, LHs, cws));
}

// The graph's double frame and its grid dots.
void drawGraphFrameAndGrid(platform::Dc& dc, const SimulationViewLayout& l)
{
    const int32_t x0 = l.x0, y0 = l.y0, GW = l.GW, GH = l.GH;
    auto closed = [&dc](int32_t l0, int32_t t0, int32_t r0, int32_t b0) {
        dc.moveTo(l0, t0);
        dc.lineTo(r0, t0);
        dc.lineTo(r0, b0);
        dc.lineTo(l0, b0);
        dc.lineTo(l0, t0);
    };
    closed(x0, y0, wrapAdd(x0, GW), wrapAdd(y0, GH));
    closed(wrapSub(x0, 1), wrapSub(y0, 1), wrapAdd(wrapAdd(x0, GW), 1), wrapAdd(wrapAdd(y0, GH), 1));

    // Grid dots; a step of 0 would never leave its loop.
    const int32_t rowStep = wrapMul(4, l.dh), columnStep = wrapMul(2, l.dw);
    if (rowStep > 0)
        for (int32_t off = 0; off < GH; off += rowStep)
            for (int32_t i = 0; i < GW; i += 4)
                dc.setPixel(wrapAdd(x0, i), wrapSub(wrapAdd(y0, GH), off), platform::kBlack);
    if (columnStep > 0)
        for (int32_t off = 0; off < GW; off += columnStep)
            for (int32_t i = 0; i < GH; i += 4)
                dc.setPixel(wrapAdd(x0, off), wrapSub(wrapAdd(y0, GH), i), platform::kBlack);
}

// The largest over the P columns of the root of the column's greatest mean
// error (rounded half up over R repeats) over its normaliser; 0 without
// repeats.
double largestMeanError(const std::vector<std::vector<int32_t>>& errors, uint16_t R, uint16_t P, uint16_t K,
                        const std::vector<double>& normaliser)
{
    double largest = 0.0;
    if (R == 0)
        return largest;
    for (size_t j = 0; j < P; ++j) {
        uint32_t M = 0;
        for (size_t i = 0; i < K; ++i)
            M = std::max(M, static_cast<uint32_t>(errorCell(errors, i, j)));
        const uint32_t ej = (uint32_t{R} + 2u * M) / (2u * R);
        largest = std::max(largest, std::sqrt(ej / normaliser[j]));
    }
    return largest;
}

// The six values of the error scale left of the graph, a grid step of g
// thousandths apart.
void drawScaleLabels(platform::Dc& dc, const SimulationViewLayout& l, int64_t g, int32_t LHs, int32_t cws)
{
    for (int32_t i = 0; i <= 5; ++i) {
        const double value = static_cast<double>(i * (g / 5)) / 1000.0;
        int32_t lx = wrapSub(l.x0, 3 * cws + cws / 2);
        if (g < 50)
            lx = wrapAdd(lx, cws);
        const int32_t ly = wrapSub(wrapSub(wrapAdd(l.y0, l.GH), (LHs + 1) / 2 + 1), wrapMul(i, wrapMul(8, l.dh)));
        dc.textOut(lx, ly, formatText(g < 50 ? "%.3f" : "%.2f", value));
    }
}

// Every fourth noise level under the graph, and the axis name after them.
void drawNoiseLabels(platform::Dc& dc, const SimulationViewLayout& l, const detection::RestErrorHeader& hd, uint16_t K,
                     int32_t LH, int32_t LHs, int32_t cws)
{
    const int32_t noiseY = wrapSub(wrapAdd(wrapAdd(l.y0, l.GH), LH), (LH + 1) / 4);
    const int32_t noiseX = wrapSub(l.x0, cws - 1 + cws / 2);
    int32_t labels = 0;
    for (size_t i = 0; i < K; i += 4, ++labels)
        dc.textOut(wrapAdd(noiseX, wrapMul(labels, wrapMul(4, l.dw))), noiseY,
                   formatText("%3d", entry(hd.lpNoiseLevel, i)));
    dc.textOut(wrapAdd(noiseX, wrapMul(labels, wrapMul(4, l.dw))), wrapSub(noiseY, LHs), "s");
}

}  // namespace

void DrawDetectionArrayZ(platform::Dc& dc, base::MessageSink& sink, const SimulationViewInput& in)
{
    const LayoutRect& v = in.frame.viewArea;
    const int32_t LH = in.frame.lineHeight;
    if (!in.header || !in.series) {
        drawAreaFrame(dc, v);
        return;
    }
    const detection::RestErrorHeader& hd = *in.header;
    const synthesis::SeriesHeader& se = *in.series;
    const uint16_t P = hd.wVariousPulses;
    const uint16_t K = hd.wNoiseLevels;
    const auto R = static_cast<uint16_t>(hd.repeats & 0xFFFF);

    std::vector<double> normaliser;
    try {
        normaliser.assign(P, 1.0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("No memory to RestoredErrorNormalizer", " ERROR in DrawDetectionArrayZ ",
                        base::MessageIcon::None);
        return;
    }
    // The free gap Tmax - L is squared in 64 bits; a gap of 0 keeps the
    // normaliser at 1 rather than dividing by it.
    const int64_t gap = int64_t{se.wTmax} - se.wImpulseSize;
    if (gap != 0)
        std::fill(normaliser.begin(), normaliser.end(), static_cast<double>(gap * gap));

    drawAreaFrame(dc, v);

    const int32_t x = wrapAdd(v.left, 10);
    int32_t y = wrapSub(v.top, LH >> 1);
    for (const std::string& line : simulationHeaderLines(hd, se, in.amplitude, in.kind)) {
        dc.textOut(x, y, line);
        y = wrapAdd(y, 1 + LH);
    }

    const int32_t a = simulationCellAmplitude(in.amplitude, se.wNoiseLevel);
    const size_t inUse = std::min<size_t>(in.n, in.requiredList.size());
    const auto n = static_cast<int32_t>(inUse);
    const SimulationViewLayout l = simulationViewLayout(in.frame, n, K, se.dwSeriesSize, se.wImpulseSize);

    drawSimulationAlphabet(dc, l, LH, in.requiredList.first(inUse), se, a);

    // Graph.
    const platform::Font graphFont = platform::createFont(l.fh);
    const platform::Font previousFont = dc.selectFont(graphFont);
    const platform::TextMetrics tms = dc.textMetrics();
    const int32_t LHs = tms.tmHeight - 1 + tms.tmExternalLeading;
    const int32_t cws = tms.tmAveCharWidth;

    drawGraphSizes(dc, l, LH, LHs, cws);
    drawGraphFrameAndGrid(dc, l);

    // Scale: the largest rounded mean error of every column.
    const double largest = largestMeanError(hd.lpErrors[detection::kDetectionErrors], R, P, K, normaliser);
    const int64_t T = std::max<int64_t>(truncTo32(1000.0 * largest), 50);
    const int64_t g = simulationGridStep(T);
    // 1000/g exactly for a step up to 1000; above it a whole-number scale
    // would be 0 and lay every curve on the bottom edge.
    const double s = 1000.0 / static_cast<double>(g);

    drawScaleLabels(dc, l, g, LHs, cws);
    drawNoiseLabels(dc, l, hd, K, LH, LHs, cws);

    if (in.kind == kDetectionErrorMeasure)
        DrawDetectionCurves(dc, R, P, hd.wPulseValues, normaliser, K, hd.lpErrors[detection::kDetectionErrors], l.x0,
                            l.y0, l.GW, l.GH, (LHs + 1) / 2 + 1, s, l.dw);

    dc.selectFont(previousFont);
}

}  // namespace views
