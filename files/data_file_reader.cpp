#include "files/data_file_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

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

template <typename... Args>
void appendf(std::string& text, const char* format, Args... args)
{
    // Sized to fit, so a long file name is shown whole.
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0)
        return;
    std::vector<char> line(static_cast<size_t>(n) + 1);
    std::snprintf(line.data(), line.size(), format, args...);
    text.append(line.data(), static_cast<size_t>(n));
}

// The sample k of the trace: only its high byte counts, as a signed value.
int32_t highByte(std::span<const uint8_t> file, const DataFileHeader& h, uint32_t k)
{
    return i16At(file, static_cast<size_t>(h.HLen) + 2 * static_cast<size_t>(k)) >> 8;
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

std::string dataFileTraceProblem(const DataFileHeader& h, size_t fileSize)
{
    if (h.HLen < 0)
        return "Data file header length HLen is negative!";
    if (h.SamplNum < 0)
        return "Data file sample count SamplNum is negative!";
    const uint64_t needed = static_cast<uint64_t>(h.HLen) + 2 * static_cast<uint64_t>(h.SamplNum);
    if (needed > fileSize) {
        std::string text;
        appendf(text, "Data file is shorter than its trace: %llu bytes needed, %llu present!",
                static_cast<unsigned long long>(needed), static_cast<unsigned long long>(fileSize));
        return text;
    }
    return "";
}

std::vector<int16_t> dataFileSeriesSamples(std::span<const uint8_t> file, const DataFileHeader& h)
{
    if (!dataFileTraceProblem(h, file.size()).empty())
        return {};
    const uint32_t M = static_cast<uint32_t>(h.SamplNum) / kSamplesPerSeriesSample;
    std::vector<int16_t> samples(M);
    for (uint32_t i = 0; i < M; ++i) {
        int16_t sum = 0;  // 25 magnitudes of at most 128 stay far inside 16 bits
        for (uint32_t j = 0; j < kSamplesPerSeriesSample; ++j) {
            const int32_t v = highByte(file, h, kSamplesPerSeriesSample * i + j);
            sum = static_cast<int16_t>(sum + (v < 0 ? -v : v));
        }
        samples[i] = static_cast<int16_t>(sum / static_cast<int16_t>(kSamplesPerSeriesSample));
    }
    return samples;
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

int32_t ReadInfoDataFile(platform::Host& host, int32_t previousResult, SeriesHeaderPtr& series)
{
    auto fail = [&](const std::string& text, const char* caption = kCaption) {
        host.messageBox(text, caption, MessageIcon::None);
        return 0;
    };

    const std::optional<std::string> name = host.openFileDialog(dataFileDialogOptions());
    if (!name)
        return 0;

    std::error_code error;
    const std::filesystem::path path(*name);
    if (!std::filesystem::is_regular_file(path, error))
        return fail("FindFirstFile ERROR!");
    const uintmax_t fullSize = std::filesystem::file_size(path, error);
    if (error)
        return fail("FindFirstFile ERROR!");
    // The directory entry's low 32 bits are all the size the reader goes by.
    const uint32_t fileSize = static_cast<uint32_t>(fullSize);

    std::string text;
    appendf(text, "File Name: %s \n", name->c_str());
    appendf(text, "File Size: %d bytes \n", static_cast<int>(fileSize));
    appendf(text, "VJ Data File Header Size: %d bytes \n", kHeaderSizeShown);
    appendf(text, "VJ Preambule Size: %d bytes \n", kPreambleSizeShown);
    host.messageBox(text, kCaption, MessageIcon::None);

    std::vector<uint8_t> buffer;
    try {
        buffer.assign(static_cast<size_t>(fileSize) + 1, 0);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера текста!");
    }

    FilePtr file(std::fopen(name->c_str(), "rb"));
    if (!file)
        return fail("CreateFile ERROR!");
    if (std::fread(buffer.data(), 1, fileSize, file.get()) != fileSize)
        return fail("ReadFile ERROR!");
    const std::span<const uint8_t> bytes(buffer.data(), fileSize);

    // The header's lengths come from the file: nothing is read that the file
    // does not hold.
    const std::optional<DataFileHeader> parsed = parseDataFileHeader(bytes);
    if (!parsed)
        return fail("Data file is shorter than its header!");
    const DataFileHeader& h = *parsed;
    const std::string problem = dataFileTraceProblem(h, bytes.size());
    if (!problem.empty())
        return fail(problem);

    const uint32_t sampleCount = static_cast<uint32_t>(h.SamplNum);
    int32_t minValue = 16000;
    int32_t maxValue = -16000;
    for (uint32_t i = 0; i < sampleCount; ++i) {
        const int32_t v = highByte(bytes, h, i);
        minValue = std::min(minValue, v);
        maxValue = std::max(maxValue, v);
    }

    // A C string of the two identifier characters, ending early at a zero.
    char id[3] = {h.ID[0], h.ID[1], 0};
    appendf(text, "ID: %s\n", id);
    appendf(text, "Ver: %d\n", h.Ver);
    appendf(text, "SubVer: %d\n", h.SubVer);
    appendf(text, "HLen: %d, длина заголовка в байтах\n", h.HLen);
    appendf(text, "Datime: %d\n", h.Datime);
    appendf(text, "Duration: %d, длительность сеанса в секундах\n", h.Duration);
    appendf(text, "Scale: %.4g, коэффициент пересчета в физическую величину\n", h.Scale);
    appendf(text, "Year: %d, год начала сеанса\n", h.Year);
    appendf(text, "Month: %d, месяц начала сеанса\n", h.Month);
    appendf(text, "Day: %d, день начала сеанса\n", h.Day);
    appendf(text, "Hour: %d, час начала сеанса\n", h.Hour);
    appendf(text, "Minute: %d, минута начала сеанса\n", h.Minute);
    appendf(text, "Second: %d, секунда начала сеанса\n", h.Second);
    appendf(text, "MicroSec: %d, поправка в микросекундах ко времени начала сеанса\n", h.MicroSec);
    appendf(text, "SamplRate: %d, частота дискретизации в Гц\n", h.SamplRate);
    appendf(text, "SamplNum: %d, число отсчетов в трассе\n", h.SamplNum);
    appendf(text, "SamplType: %d, длина и тип отсчета\n", h.SamplType);
    appendf(text, "TrNum: %d, номер трассы в исходном файле\n", h.TrNum);
    appendf(text, "Reserved: %d\n", h.Reserved);
    text += "\n";
    appendf(text, "minValue: %d\n", minValue);
    appendf(text, "maxValue: %d\n", maxValue);
    host.messageBox(text, kCaption, MessageIcon::None);

    const uint32_t M = sampleCount / kSamplesPerSeriesSample;
    if (!series) {
        const uint32_t L = M / 10;
        // getCutOffSeriesHeader refuses, with its own message, a trace too
        // short (L of 0) or too long for a series.
        SeriesHeaderPtr made = getCutOffSeriesHeader(host, 1, static_cast<uint16_t>(std::min<uint32_t>(L, 0xFFFF)),
                                                     static_cast<uint16_t>(std::min<uint32_t>(2 * L, 0xFFFF)),
                                                     static_cast<uint16_t>(std::min<uint32_t>(M - L, 0xFFFF)), M,
                                                     nullptr);
        if (!made)
            return 0;
        series = std::move(made);
    }

    SeriesHeader& s = *series;
    const std::vector<int16_t> samples = dataFileSeriesSamples(bytes, h);
    const size_t count = std::min<size_t>({samples.size(), static_cast<size_t>(s.dwSeriesCapacity),
                                           s.lpPureData.size(), s.lpSeriesData.size()});
    std::copy_n(samples.begin(), count, s.lpPureData.begin());
    // Processing reads the observed samples: the trace goes there too, or the
    // next run would analyse the previous series.
    std::copy_n(samples.begin(), count, s.lpSeriesData.begin());
    s.dwSeriesSize = static_cast<uint32_t>(count);

    if (std::fclose(file.release()) != 0)
        return fail("CloseHandle ERROR!", "About ReadDataAsciiFile");
    return previousResult;
}

}  // namespace files
