#include "files/data_file_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "base/formatted_text.h"
#include "synthesis/series_synthesis.h"

namespace files {

namespace {

constexpr const char* kCaption = "About ReadInfoDataFile";
// Sizes the facts box names; they describe the recorder's format, not this file.
constexpr int kHeaderSizeShown = 48;
constexpr int kPreambleSizeShown = 136;

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

int16_t i16At(std::span<const uint8_t> b, size_t at)
{
    return static_cast<int16_t>(static_cast<uint16_t>(b[at] | (b[at + 1] << 8)));
}

int32_t i32At(std::span<const uint8_t> b, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

int8_t i8At(std::span<const uint8_t> b, size_t at) { return static_cast<int8_t>(b[at]); }

// The texts grow to fit, so a long file name is shown whole.
using base::appendFormat;

// Pieces of the trace read at a time: the reader never holds more of a file
// than this and its header, however long the trace.
constexpr size_t kTracePieceSize = size_t{1} << 20;

// Takes the samples of a trace in pieces of any length, in order: the range
// of the high bytes of all of them, and the series samples of the first
// `seriesLimit` groups of 25.
class TraceScanner {
  public:
    TraceScanner(uint32_t sampleCount, size_t seriesLimit)
        : seriesCount_(std::min<size_t>(sampleCount / kSamplesPerSeriesSample, seriesLimit))
    {
        summary_.series.reserve(seriesCount_);
    }

    void add(std::span<const uint8_t> bytes)
    {
        // Samples are little-endian: only the second byte of each counts, as
        // a signed value.
        for (const uint8_t b : bytes) {
            if (highByteNext_)
                takeHighByte(static_cast<int8_t>(b));
            highByteNext_ = !highByteNext_;
        }
    }

    DataFileTraceSummary result() { return std::move(summary_); }

  private:
    void takeHighByte(int32_t v)
    {
        summary_.minValue = std::min(summary_.minValue, v);
        summary_.maxValue = std::max(summary_.maxValue, v);
        if (summary_.series.size() >= seriesCount_)
            return;
        // 25 magnitudes of at most 128 stay far inside 16 bits.
        groupSum_ = static_cast<int16_t>(groupSum_ + (v < 0 ? -v : v));
        if (++inGroup_ == kSamplesPerSeriesSample) {
            summary_.series.push_back(static_cast<int16_t>(groupSum_ / static_cast<int16_t>(kSamplesPerSeriesSample)));
            groupSum_ = 0;
            inGroup_ = 0;
        }
    }

    size_t seriesCount_;
    DataFileTraceSummary summary_;
    int16_t groupSum_ = 0;
    uint32_t inGroup_ = 0;
    bool highByteNext_ = false;
};

// The trace of an open file read piece by piece through `buffer`; false when
// a seek or a read fails or the file ends early.
bool scanTrace(std::FILE* file, const DataFileHeader& h, std::span<uint8_t> buffer, size_t seriesLimit,
               DataFileTraceSummary& out)
{
    if (::fseeko(file, static_cast<off_t>(h.HLen), SEEK_SET) != 0)
        return false;
    TraceScanner scanner(static_cast<uint32_t>(h.SamplNum), seriesLimit);
    for (uint64_t left = 2 * static_cast<uint64_t>(h.SamplNum); left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (std::fread(buffer.data(), 1, n, file) != n)
            return false;
        scanner.add(buffer.first(n));
        left -= n;
    }
    out = scanner.result();
    return true;
}

}  // namespace

std::optional<DataFileHeader> parseDataFileHeader(std::span<const uint8_t> file)
{
    if (file.size() < kDataFileFieldsSize)
        return std::nullopt;
    DataFileHeader h;
    h.ID[0] = static_cast<char>(file[0]);
    h.ID[1] = static_cast<char>(file[1]);
    h.Ver = i8At(file, 2);
    h.SubVer = i8At(file, 3);
    h.HLen = i16At(file, 4);
    h.Datime = i32At(file, 6);
    h.Duration = i32At(file, 10);
    uint64_t scaleBits = 0;
    for (size_t i = 0; i < 8; ++i)
        scaleBits |= static_cast<uint64_t>(file[14 + i]) << (8 * i);
    std::memcpy(&h.Scale, &scaleBits, sizeof h.Scale);
    h.Year = i8At(file, 22);
    h.Month = i8At(file, 23);
    h.Day = i8At(file, 24);
    h.Hour = i8At(file, 25);
    h.Minute = i8At(file, 26);
    h.Second = i8At(file, 27);
    h.MicroSec = i32At(file, 28);
    h.SamplRate = i16At(file, 32);
    h.SamplNum = i32At(file, 34);
    h.SamplType = i16At(file, 38);
    h.TrNum = i8At(file, 40);
    h.Reserved = i8At(file, 41);
    return h;
}

std::string dataFileTraceProblem(const DataFileHeader& h, uint64_t fileSize)
{
    if (h.HLen < 0)
        return "Data file header length HLen is negative!";
    if (h.SamplNum < 0)
        return "Data file sample count SamplNum is negative!";
    const uint64_t needed = static_cast<uint64_t>(h.HLen) + 2 * static_cast<uint64_t>(h.SamplNum);
    if (needed > fileSize) {
        std::string text;
        appendFormat(text, "Data file is shorter than its trace: %llu bytes needed, %llu present!",
                     static_cast<unsigned long long>(needed), static_cast<unsigned long long>(fileSize));
        return text;
    }
    return "";
}

DataFileTraceSummary summarizeDataFileTrace(std::span<const uint8_t> file, const DataFileHeader& h, size_t seriesLimit)
{
    if (!dataFileTraceProblem(h, file.size()).empty())
        return {};
    TraceScanner scanner(static_cast<uint32_t>(h.SamplNum), seriesLimit);
    scanner.add(file.subspan(static_cast<size_t>(h.HLen), 2 * static_cast<size_t>(h.SamplNum)));
    return scanner.result();
}

std::vector<int16_t> dataFileSeriesSamples(std::span<const uint8_t> file, const DataFileHeader& h)
{
    return summarizeDataFileTrace(file, h, SIZE_MAX).series;
}

platform::FileDialogOptions dataFileDialogOptions()
{
    platform::FileDialogOptions o;
    o.title = "Long File Name Search";
    o.filters = {{"All Files (*.*)", "*.*"}, {"Text Files (*.txt)", "*.txt"}};
    o.filterIndex = 0;
    o.fileMustExist = true;
    return o;
}

namespace {

// The facts of the file before its header is read: its name and size, and
// the sizes of the recorder's header and preamble.
void appendFileFacts(std::string& text, const std::string& name, uintmax_t fileSize)
{
    appendFormat(text, "File Name: %s \n", name.c_str());
    appendFormat(text, "File Size: %lld bytes \n", static_cast<long long>(fileSize));
    appendFormat(text, "VJ Data File Header Size: %d bytes \n", kHeaderSizeShown);
    appendFormat(text, "VJ Preambule Size: %d bytes \n", kPreambleSizeShown);
}

// The header's fields, one a line, then the range of the trace.
void appendHeaderFacts(std::string& text, const DataFileHeader& h, const DataFileTraceSummary& trace)
{
    // A C string of the two identifier characters, ending early at a zero.
    char id[3] = {h.ID[0], h.ID[1], 0};
    appendFormat(text, "ID: %s\n", id);
    appendFormat(text, "Ver: %d\n", h.Ver);
    appendFormat(text, "SubVer: %d\n", h.SubVer);
    appendFormat(text, "HLen: %d, длина заголовка в байтах\n", h.HLen);
    appendFormat(text, "Datime: %d\n", h.Datime);
    appendFormat(text, "Duration: %d, длительность сеанса в секундах\n", h.Duration);
    appendFormat(text, "Scale: %.4g, коэффициент пересчета в физическую величину\n", h.Scale);
    appendFormat(text, "Year: %d, год начала сеанса\n", h.Year);
    appendFormat(text, "Month: %d, месяц начала сеанса\n", h.Month);
    appendFormat(text, "Day: %d, день начала сеанса\n", h.Day);
    appendFormat(text, "Hour: %d, час начала сеанса\n", h.Hour);
    appendFormat(text, "Minute: %d, минута начала сеанса\n", h.Minute);
    appendFormat(text, "Second: %d, секунда начала сеанса\n", h.Second);
    appendFormat(text, "MicroSec: %d, поправка в микросекундах ко времени начала сеанса\n", h.MicroSec);
    appendFormat(text, "SamplRate: %d, частота дискретизации в Гц\n", h.SamplRate);
    appendFormat(text, "SamplNum: %d, число отсчетов в трассе\n", h.SamplNum);
    appendFormat(text, "SamplType: %d, длина и тип отсчета\n", h.SamplType);
    appendFormat(text, "TrNum: %d, номер трассы в исходном файле\n", h.TrNum);
    appendFormat(text, "Reserved: %d\n", h.Reserved);
    text += "\n";
    appendFormat(text, "minValue: %d\n", trace.minValue);
    appendFormat(text, "maxValue: %d\n", trace.maxValue);
}

// Reads and checks the header of an open file through `buffer`; the message
// of what is wrong, or nothing.
std::string readHeader(std::FILE* file, uintmax_t fileSize, std::span<uint8_t> buffer, DataFileHeader& h)
{
    // The header's lengths come from the file: nothing is read that the file
    // does not hold.
    if (fileSize < kDataFileFieldsSize)
        return "Data file is shorter than its header!";
    if (std::fread(buffer.data(), 1, kDataFileFieldsSize, file) != kDataFileFieldsSize)
        return "ReadFile ERROR!";
    h = *parseDataFileHeader(std::span<const uint8_t>(buffer.data(), kDataFileFieldsSize));
    return dataFileTraceProblem(h, fileSize);
}

// The samples a series can hold.
size_t seriesRoom(const synthesis::SeriesHeader& s)
{
    return std::min<size_t>({static_cast<size_t>(s.dwSeriesCapacity), s.lpPureData.size(), s.lpSeriesData.size()});
}

// A cut-off series sized for the trace: one sample for each group of 25,
// pulses a tenth of that long. getCutOffSeriesHeader refuses, with its own
// message, a trace too short (a length of 0) or too long for a series.
synthesis::SeriesHeaderPtr seriesForTrace(platform::Host& host, const DataFileHeader& h)
{
    const uint32_t M = static_cast<uint32_t>(h.SamplNum) / kSamplesPerSeriesSample;
    const uint32_t L = M / 10;
    return synthesis::getCutOffSeriesHeader(host, 1, static_cast<uint16_t>(std::min<uint32_t>(L, 0xFFFF)),
                                            static_cast<uint16_t>(std::min<uint32_t>(2 * L, 0xFFFF)),
                                            static_cast<uint16_t>(std::min<uint32_t>(M - L, 0xFFFF)), M, nullptr);
}

// The trace's series samples become the series, pure and observed alike.
void storeTraceSeries(synthesis::SeriesHeader& s, const std::vector<int16_t>& samples)
{
    const size_t count = std::min(samples.size(), seriesRoom(s));
    std::copy_n(samples.begin(), count, s.lpPureData.begin());
    // Processing reads the observed samples: the trace goes there too, or the
    // next run would analyse the previous series.
    std::copy_n(samples.begin(), count, s.lpSeriesData.begin());
    s.dwSeriesSize = static_cast<uint32_t>(count);
}

}  // namespace

int32_t ReadInfoDataFile(platform::Host& host, int32_t previousResult, synthesis::SeriesHeaderPtr& series)
{
    auto fail = [&](const std::string& text, const char* caption = kCaption) {
        host.messageBox(text, caption, base::MessageIcon::None);
        return 0;
    };

    std::optional<std::string> name;
    std::filesystem::path path;
    try {
        name = host.openFileDialog(dataFileDialogOptions());
        if (!name)
            return 0;
        path = *name;
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }

    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return fail("FindFirstFile ERROR!");
    const uintmax_t fileSize = std::filesystem::file_size(path, error);
    if (error)
        return fail("FindFirstFile ERROR!");

    std::string text;
    try {
        appendFileFacts(text, *name, fileSize);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }
    host.messageBox(text, kCaption, base::MessageIcon::None);

    // Only the header and the trace are read, a piece at a time: a file of
    // gigabytes needs no more memory than a small one.
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(std::clamp<uintmax_t>(fileSize, kDataFileFieldsSize, kTracePieceSize), 0);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }

    FilePtr file(std::fopen(name->c_str(), "rb"));
    if (!file)
        return fail("CreateFile ERROR!");
    DataFileHeader h;
    const std::string problem = readHeader(file.get(), fileSize, buffer, h);
    if (!problem.empty())
        return fail(problem);

    // With a series, the samples it can hold; one made here gets them in a
    // second reading, once its size is known.
    const size_t seriesLimit = series ? seriesRoom(*series) : 0;
    DataFileTraceSummary trace;
    try {
        if (!scanTrace(file.get(), h, buffer, seriesLimit, trace))
            return fail("ReadFile ERROR!");
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }

    try {
        appendHeaderFacts(text, h, trace);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }
    host.messageBox(text, kCaption, base::MessageIcon::None);

    if (!series) {
        synthesis::SeriesHeaderPtr made = seriesForTrace(host, h);
        if (!made)
            return 0;
        try {
            if (!scanTrace(file.get(), h, buffer, seriesRoom(*made), trace))
                return fail("ReadFile ERROR!");
        } catch (const std::bad_alloc&) {
            return fail("Нет памяти для буфера текста!");
        }
        series = std::move(made);
    }

    storeTraceSeries(*series, trace.series);

    if (std::fclose(file.release()) != 0)
        return fail("CloseHandle ERROR!", "About ReadDataAsciiFile");
    return previousResult;
}

}  // namespace files
