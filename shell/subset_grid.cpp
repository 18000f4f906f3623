#include "shell/subset_grid.h"

#include <algorithm>
#include <new>
#include <string>

#include "synthesis/series_synthesis.h"
#include "views/drawing_conventions.h"
#include "views/drawing_primitives.h"

namespace shell {

using base::wrapAdd;
using base::wrapMul;
using base::wrapSub;

namespace {

// A rectangle nothing hits: rectangles of the grid not laid out yet must not
// catch a click at the client origin.
constexpr views::LayoutRect kNoRect{0, 0, -1, -1};

constexpr platform::Color kGridBackground = platform::rgb(235, 240, 225);
constexpr platform::Color kEmptySubsetCell = platform::rgb(160, 160, 160);
constexpr platform::Color kButtonShadow = platform::rgb(125, 125, 125);
constexpr platform::Color kButtonMidShadow = platform::rgb(165, 170, 165);

// Only the first ten subset positions have cells.
constexpr int32_t kSubsetCellsShown = 10;

int32_t captionCount()
{
    int32_t n = 0;
    while (n < 21 && kSubsetButtonCaptions[n][0] != '\0')
        ++n;
    return n;
}

int32_t* subsetNumbers(AppState& s) { return s.selectedSubset.data(); }
int32_t* subsetMarks(AppState& s) { return s.selectedSubset.data() + s.subsetCapacity; }

void releaseSubset(AppState& s)
{
    s.possibleSubsetRect = {};
    s.selectedSubset = {};
    s.subsetCount = 0;
    s.subsetCapacity = 0;
}

void frameRect(platform::Dc& dc, const views::LayoutRect& r)
{
    dc.rectangle(r.left, r.top, wrapAdd(r.right, 1), wrapAdd(r.bottom, 1));
}

// The curve of a cell stands inside its frame, clear of the label row below.
platform::Rect cellInside(const SubsetGridLayout& l, const views::LayoutRect& cell, int32_t lineHeight)
{
    return {wrapAdd(cell.left, l.h_span), cell.top, wrapSub(cell.right, 2 * l.h_span),
            wrapSub(wrapSub(cell.bottom, wrapMul(2, l.v_span)), lineHeight)};
}

const synthesis::PulseHeader* etalonOf(const synthesis::SeriesHeader& series, int32_t number)
{
    const size_t listed = std::min<size_t>(series.wPulsesListSize, series.lpPulsesList.size());
    if (number < 1 || static_cast<size_t>(number) > listed)
        return nullptr;
    return series.lpPulsesList[static_cast<size_t>(number) - 1];
}

}  // namespace

SubsetGridLayout subsetGridLayout(const views::LayoutRect& viewArea, int32_t lineHeight, uint16_t listSize)
{
    SubsetGridLayout l;
    const views::LayoutRect& v = viewArea;
    l.w = wrapAdd(wrapSub(v.right, v.left), 1);
    l.h = wrapAdd(wrapSub(v.bottom, v.top), 1);
    l.h_span = l.w / 170;
    l.v_span = l.h / 131;
    l.innerLeft = wrapAdd(v.left, l.h_span);
    l.innerRight = wrapSub(v.right, l.h_span);
    l.innerWidth = wrapAdd(wrapSub(l.innerRight, l.innerLeft), 1);
    l.innerTop = wrapAdd(v.top, l.v_span);
    l.e = wrapSub(l.h, wrapMul(3, l.v_span)) / 4;
    l.requiredBox = {l.innerLeft, l.innerTop, l.innerRight, wrapAdd(l.innerTop, l.e)};
    l.rows = (static_cast<int32_t>(listSize) - 1) / 10 + 1;
    l.single_w = wrapSub(l.innerWidth, wrapMul(11, l.h_span)) / 10;
    l.single_h = wrapSub(l.e, wrapMul(l.rows + 1, l.v_span)) / l.rows;
    l.subsetArea.top = wrapAdd(wrapAdd(wrapAdd(l.innerTop, l.e), l.v_span), lineHeight);
    l.subsetArea.left = l.innerLeft;
    l.subsetArea.right = l.innerRight;
    l.subsetArea.bottom = wrapAdd(wrapAdd(l.subsetArea.top, l.single_h), wrapMul(2, l.v_span));
    return l;
}

views::LayoutRect subsetRequiredCell(const SubsetGridLayout& l, int32_t i)
{
    const int32_t row = i / 10, column = i % 10;
    const int32_t left = wrapAdd(wrapAdd(l.innerLeft, l.h_span), wrapMul(column, wrapAdd(l.single_w, l.h_span)));
    const int32_t top = wrapAdd(wrapAdd(l.innerTop, l.v_span), wrapMul(row, wrapAdd(l.single_h, l.v_span)));
    return {left, top, wrapAdd(left, l.single_w), wrapAdd(top, l.single_h)};
}

views::LayoutRect subsetCell(const SubsetGridLayout& l, int32_t j)
{
    const int32_t left = wrapAdd(wrapAdd(l.subsetArea.left, l.h_span), wrapMul(j, wrapAdd(l.single_w, l.h_span)));
    const int32_t top = wrapAdd(l.subsetArea.top, l.v_span);
    return {left, top, wrapAdd(left, l.single_w), wrapAdd(top, l.single_h)};
}

bool ensureSubsetArrays(AppState& s, base::MessageSink& sink, uint16_t maxPulses)
{
    if (s.subsetCapacity < maxPulses) {
        releaseSubset(s);
        try {
            s.possibleSubsetRect.assign(maxPulses, kNoRect);
        } catch (const std::bad_alloc&) {
            releaseSubset(s);
            sink.messageBox("Нет памяти для possibleSubsetRect!", "", base::MessageIcon::None);
            return false;
        }
        try {
            s.selectedSubset.assign(2 * size_t{maxPulses}, 0);
        } catch (const std::bad_alloc&) {
            releaseSubset(s);
            sink.messageBox("Нет памяти для selectedSubset!", "", base::MessageIcon::None);
            return false;
        }
        s.subsetCapacity = maxPulses;
    }
    if (s.ButtonsWhileSelectedSubsetRect.empty()) {
        const int32_t buttons = captionCount();
        try {
            s.ButtonsWhileSelectedSubsetRect.assign(static_cast<size_t>(buttons), kNoRect);
        } catch (const std::bad_alloc&) {
            releaseSubset(s);
            sink.messageBox("Нет памяти для ButtonsWhileSelectedSubsetRect!", "", base::MessageIcon::None);
            return false;
        }
        s.subsetButtonCount = buttons;
    }
    return true;
}

void drawSubsetButton(platform::Dc& dc, const views::LayoutRect& r, const char* caption, int32_t lineHeight)
{
    const int32_t W = wrapSub(r.right, r.left), H = wrapSub(r.bottom, r.top);
    const int32_t left = r.left, top = r.top;
    frameRect(dc, r);
    // Outer edge and the inner right and bottom shadow one pixel in; a softer
    // shadow two pixels in; a white highlight just inside the top and left.
    {
        views::ScopedPen pen(dc, kButtonShadow);
        dc.moveTo(left, top);
        dc.lineTo(left + W + 1, top);
        dc.moveTo(left, top);
        dc.lineTo(left, top + H + 1);
        dc.moveTo(left + W - 1, top + 1);
        dc.lineTo(left + W - 1, top + H);
        dc.moveTo(left + 1, top + H - 1);
        dc.lineTo(left + W, top + H - 1);
    }
    {
        views::ScopedPen pen(dc, kButtonMidShadow);
        dc.moveTo(left + W - 2, top + 2);
        dc.lineTo(left + W - 2, top + H - 1);
        dc.moveTo(left + 2, top + H - 2);
        dc.lineTo(left + W - 1, top + H - 2);
    }
    {
        views::ScopedPen pen(dc, platform::kWhite);
        dc.moveTo(left + 1, top + 1);
        dc.lineTo(left + W - 1, top + 1);
        dc.moveTo(left + 1, top + 1);
        dc.lineTo(left + 1, top + H - 1);
    }
    const platform::Size extent = dc.textExtent(caption);
    dc.textOut(wrapAdd(left, (W - extent.cx) / 2), wrapAdd(top, (lineHeight - 2) / 2), caption);
}

namespace {

// Text lines one below the other, each a line height below the last.
class TextLines {
  public:
    TextLines(platform::Dc& dc, int32_t x, int32_t y, int32_t lineHeight)
        : dc_(dc), x_(x), y_(y), lineHeight_(lineHeight)
    {
    }
    void line(const std::string& text)
    {
        dc_.textOut(x_, y_, text);
        y_ = wrapAdd(y_, lineHeight_);
    }

  private:
    platform::Dc& dc_;
    int32_t x_, y_, lineHeight_;
};

// Records the rectangles of the required cells and of the subset cells that
// are shown, and answers how many subset cells are shown.
int32_t layOutSubsetCells(AppState& s, const SubsetGridLayout& l, uint16_t listSize)
{
    s.subsetArea = l.subsetArea;
    s.requiredCellRects.assign(listSize, kNoRect);
    for (int32_t i = 0; i < listSize; ++i)
        s.requiredCellRects[static_cast<size_t>(i)] = subsetRequiredCell(l, i);
    std::fill(s.possibleSubsetRect.begin(), s.possibleSubsetRect.end(), kNoRect);
    const int32_t cells = std::min(s.subsetCapacity, kSubsetCellsShown);
    for (int32_t j = 0; j < cells; ++j)
        s.possibleSubsetRect[static_cast<size_t>(j)] = subsetCell(l, j);
    return cells;
}

// The frame of the working area and the grid's own layout figures.
void drawLayoutFigures(const AppState& s, platform::Dc& dc, const SubsetGridLayout& l, uint16_t listSize,
                       TextLines& text)
{
    views::ScopedBrush brush(dc, kGridBackground);
    dc.setBkMode(platform::BkMode::Transparent);
    frameRect(dc, s.viewArea);
    text.line(views::formatText(" w = %d, h = %d ", l.w, l.h));
    text.line(views::formatText(" w = %d, h = %d ", l.innerWidth, l.e));
    text.line(views::formatText(" h_span = %d, v_span = %d ", l.h_span, l.v_span));
    text.line(views::formatText(" single_w = %d, single_h = %d ", l.single_w, l.single_h));
    text.line(views::formatText(" max_etalons = %d, active_etalons = %d ", listSize, s.active_etalons));
    dc.setBkMode(platform::BkMode::Opaque);
}

// The required etalons in their box, each in its cell.
void drawRequiredCells(const AppState& s, platform::Dc& dc, const SubsetGridLayout& l)
{
    const synthesis::SeriesHeader& series = *s.lpSeriesHeader;
    frameRect(dc, l.requiredBox);
    // Only cells that were laid out and listed are drawn (and clickable).
    const size_t required = std::min<size_t>({s.active_etalons, s.requiredList.size(), s.requiredCellRects.size()});
    for (size_t i = 0; i < required; ++i) {
        const views::LayoutRect& cell = s.requiredCellRects[i];
        dc.rectangle(cell.left, cell.top, cell.right, cell.bottom);
        if (const synthesis::PulseHeader* etalon = etalonOf(series, s.requiredList[i]))
            views::DrawEtalonCell(dc, *etalon, s.amplitude, 0, cellInside(l, cell, s.lineHeight), s.lineHeight);
    }
}

// The subset area with its empty cells, then the subset's entries in them.
void drawSubsetCells(AppState& s, platform::Dc& dc, const SubsetGridLayout& l, int32_t cells)
{
    const synthesis::SeriesHeader& series = *s.lpSeriesHeader;
    frameRect(dc, l.subsetArea);
    {
        views::ScopedPen pen(dc, kEmptySubsetCell);
        for (int32_t j = 0; j < cells; ++j) {
            const views::LayoutRect& cell = s.possibleSubsetRect[static_cast<size_t>(j)];
            dc.rectangle(cell.left, cell.top, cell.right, cell.bottom);
        }
    }
    // Entries beyond the tenth have no cell and are kept without being drawn.
    for (int32_t j = 0; j < std::min(s.subsetCount, cells); ++j) {
        const views::LayoutRect& cell = s.possibleSubsetRect[static_cast<size_t>(j)];
        dc.rectangle(cell.left, cell.top, cell.right, cell.bottom);
        if (const synthesis::PulseHeader* etalon = etalonOf(series, subsetNumbers(s)[j]))
            views::DrawEtalonCell(dc, *etalon, s.amplitude, subsetMarks(s)[j], cellInside(l, cell, s.lineHeight),
                                  s.lineHeight);
    }
}

// The buttons' sizes as text lines, then the buttons side by side below the
// subset area, all as wide as the widest caption needs; their rectangles are
// recorded for the clicks.
void drawSubsetButtons(AppState& s, platform::Dc& dc, const SubsetGridLayout& l, TextLines& text)
{
    const int32_t LH = s.lineHeight;
    views::ScopedBrush brush(dc, kGridBackground);
    dc.setBkMode(platform::BkMode::Transparent);
    int32_t widest = 0;
    for (int32_t b = 0; b < s.subsetButtonCount; ++b) {
        const char* caption = kSubsetButtonCaptions[b];
        const platform::Size size = dc.textExtent(caption);
        widest = std::max(widest, size.cx);
        text.line(views::formatText(" %d. %d x %d ", b + 1, size.cx, size.cy) +
                  views::formatText(" %d: ", static_cast<int>(std::char_traits<char>::length(caption))) +
                  views::formatText(" [%s] ", caption));
    }
    const int32_t bw = wrapAdd(widest, wrapMul(4, s.aveCharWidth));
    const int32_t bh = 2 * LH - 1;
    text.line(views::formatText(" %d x %d ", bw, bh) + views::formatText(" aveCharWidth = %d, ", s.aveCharWidth) +
              views::formatText(" maxCharWidth = %d ", s.maxCharWidth) +
              views::formatText(" buttons = %d ", s.subsetButtonCount));

    int32_t bx = l.subsetArea.left;
    const int32_t by = wrapAdd(l.subsetArea.bottom, LH / 2);
    for (int32_t b = 0; b < s.subsetButtonCount; ++b) {
        const views::LayoutRect r{bx, by, wrapAdd(bx, bw), wrapAdd(by, bh)};
        s.ButtonsWhileSelectedSubsetRect[static_cast<size_t>(b)] = r;
        drawSubsetButton(dc, r, kSubsetButtonCaptions[b], LH);
        bx = wrapAdd(wrapAdd(bx, bw), wrapMul(2, s.aveCharWidth));
    }
    dc.setBkMode(platform::BkMode::Opaque);
}

}  // namespace

void drawSubsetGrid(AppState& s, base::MessageSink& sink, platform::Dc& dc)
{
    // Without a series the grid has nothing to take its sizes from.
    if (!s.lpSeriesHeader)
        return;
    const synthesis::SeriesHeader& series = *s.lpSeriesHeader;
    if (!ensureSubsetArrays(s, sink, series.wMaxPulses))
        return;

    const int32_t LH = s.lineHeight;
    const SubsetGridLayout l = subsetGridLayout(s.viewArea, LH, series.wPulsesListSize);
    const int32_t cells = layOutSubsetCells(s, l, series.wPulsesListSize);
    // The layout figures and the button sizes are printed below the subset area.
    TextLines text(dc, wrapAdd(l.innerLeft, 10), wrapAdd(wrapAdd(l.subsetArea.bottom, l.v_span), wrapMul(5, LH)), LH);
    drawLayoutFigures(s, dc, l, series.wPulsesListSize, text);
    drawRequiredCells(s, dc, l);
    drawSubsetCells(s, dc, l, cells);
    drawSubsetButtons(s, dc, l, text);
}

void clearSubset(AppState& s)
{
    std::fill(s.selectedSubset.begin(), s.selectedSubset.end(), 0);
    s.subsetCount = 0;
}

void appendToSubset(AppState& s, int32_t number)
{
    // Appending stops silently at the capacity.
    if (s.subsetCount < s.subsetCapacity) {
        subsetNumbers(s)[s.subsetCount] = number;
        subsetMarks(s)[s.subsetCount] = 0;
        ++s.subsetCount;
    }
}

void markSubsetEntry(AppState& s, int32_t j)
{
    std::fill_n(subsetMarks(s), s.subsetCapacity, 0);
    subsetMarks(s)[j] = 1;
}

void deleteMarkedSubsetEntry(AppState& s)
{
    int32_t* numbers = subsetNumbers(s);
    int32_t* marks = subsetMarks(s);
    for (int32_t k = 0; k < s.subsetCount; ++k) {
        if (!marks[k])
            continue;
        std::copy(numbers + k + 1, numbers + s.subsetCount, numbers + k);
        std::copy(marks + k + 1, marks + s.subsetCount, marks + k);
        --s.subsetCount;
        numbers[s.subsetCount] = 0;
        marks[s.subsetCount] = 0;
        return;
    }
}

void placeSubsetInSeries(AppState& s)
{
    // The grid's " OK " repeats the sub-sequence back to back (mode 4) from the first pulse.
    constexpr uint16_t kSubsetPlacementMode = 4;
    constexpr uint16_t kSubsetStartPulse = 1;
    synthesis::setFixedSequence(std::span<const int32_t>(s.selectedSubset).first(static_cast<size_t>(s.subsetCount)),
                                static_cast<uint16_t>(s.subsetCount), kSubsetPlacementMode, kSubsetStartPulse,
                                s.lpSeriesHeader.get());
}

void freeSubsetArrays(AppState& s)
{
    s.possibleSubsetRect = {};
    s.selectedSubset = {};
    s.subsetCount = 0;
    s.subsetCapacity = 0;
    s.ButtonsWhileSelectedSubsetRect = {};
    s.subsetButtonCount = 0;
    s.requiredCellRects = {};
    s.subsetArea = kNoRect;
}

}  // namespace shell
