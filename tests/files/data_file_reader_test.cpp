// The measurement data file reader on files made here: the texts it shows,
// the trace turned into series samples, and files it must refuse.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "files/data_file_reader.h"
#include "platform/scripted_host.h"
#include "synthesis/series_synthesis.h"
#include "tests/files/files_test_support.h"
#include "tests/support/sanitized_trials.h"

using files_test::DataFileHeaderFields;
using files_test::makeDataFile;
using files_test::ScratchDir;

namespace {

constexpr int16_t kUntouched = -4321;

// A series of N samples whose arrays all hold a marker value.
synthesis::SeriesHeaderPtr markedSeries(uint32_t N)
{
    base::MessageRecorder sink;
    synthesis::SeriesHeaderPtr s = synthesis::getCutOffSeriesHeader(sink, 1, 10, 20, 40, N, nullptr);
    std::fill(s->lpPureData.begin(), s->lpPureData.end(), kUntouched);
    std::fill(s->lpSeriesData.begin(), s->lpSeriesData.end(), kUntouched);
    return s;
}

std::vector<int16_t> randomTrace(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<int16_t> t(n);
    for (int16_t& v : t)
        v = static_cast<int16_t>(static_cast<uint16_t>(gen()));
    return t;
}

struct Reader {
    ScratchDir dir;
    platform::ScriptedHost host;

    int32_t read(const std::vector<uint8_t>& bytes, synthesis::SeriesHeaderPtr& series, int32_t previous = 77)
    {
        const std::string path = dir.file("trace.dat");
        files_test::writeAll(path, bytes);
        host.queueOpenFile(path);
        return files::ReadInfoDataFile(host, previous, series);
    }
    std::string lastText() const { return host.messages.empty() ? "" : host.messages.back().text; }
};

}  // namespace

TEST(DataFileDialog, AsksForAnExistingFileOfAnyType)
{
    platform::ScriptedHost host;
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    host.queueOpenFile(std::nullopt);
    EXPECT_EQ(files::ReadInfoDataFile(host, 5, series), 0);
    ASSERT_EQ(host.fileDialogs.size(), 1u);
    const auto& d = host.fileDialogs[0];
    EXPECT_FALSE(d.save);
    EXPECT_EQ(d.options.title, "Long File Name Search");
    ASSERT_EQ(d.options.filters.size(), 2u);
    EXPECT_EQ(d.options.filters[0].description, "All Files (*.*)");
    EXPECT_EQ(d.options.filters[0].pattern, "*.*");
    EXPECT_EQ(d.options.filters[1].description, "Text Files (*.txt)");
    EXPECT_EQ(d.options.filters[1].pattern, "*.txt");
    EXPECT_EQ(d.options.filterIndex, 0);
    EXPECT_TRUE(d.options.fileMustExist);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(series->lpPureData[0], kUntouched);
}

TEST(DataFileReader, ShowsTheFileFactsThenEveryHeaderField)
{
    Reader r;
    std::vector<int16_t> trace(50, 0x0100);
    trace[3] = static_cast<int16_t>(0x8000);  // high byte -128
    trace[9] = 0x7FFF;                        // high byte 127
    const std::vector<uint8_t> bytes = makeDataFile(DataFileHeaderFields{}, trace);
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    EXPECT_EQ(r.read(bytes, series), 77);

    const std::string facts = "File Name: " + r.dir.file("trace.dat") + " \nFile Size: 148 bytes \n" +
                              "VJ Data File Header Size: 48 bytes \nVJ Preambule Size: 136 bytes \n";
    ASSERT_EQ(r.host.messages.size(), 2u);
    EXPECT_EQ(r.host.messages[0].text, facts);
    EXPECT_EQ(r.host.messages[0].caption, "About ReadInfoDataFile");
    EXPECT_EQ(r.host.messages[1].caption, "About ReadInfoDataFile");
    EXPECT_EQ(r.host.messages[1].icon, base::MessageIcon::None);
    EXPECT_EQ(r.host.messages[1].text,
              facts +
                  "ID: VJ\nVer: 3\nSubVer: -2\nHLen: 48, длина заголовка в байтах\nDatime: 123456789\n"
                  "Duration: 3600, длительность сеанса в секундах\n"
                  "Scale: 0.125, коэффициент пересчета в физическую величину\n"
                  "Year: 99, год начала сеанса\nMonth: 12, месяц начала сеанса\nDay: 31, день начала сеанса\n"
                  "Hour: 23, час начала сеанса\nMinute: 59, минута начала сеанса\n"
                  "Second: -1, секунда начала сеанса\n"
                  "MicroSec: -250000, поправка в микросекундах ко времени начала сеанса\n"
                  "SamplRate: 1000, частота дискретизации в Гц\nSamplNum: 50, число отсчетов в трассе\n"
                  "SamplType: 2, длина и тип отсчета\nTrNum: 7, номер трассы в исходном файле\n"
                  "Reserved: -128\n\nminValue: -128\nmaxValue: 127\n");
}

TEST(DataFileReader, TheIdentifierShowsOnlyItsTwoCharacters)
{
    Reader r;
    DataFileHeaderFields header;
    header.id[1] = '\0';
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    r.read(makeDataFile(header, std::vector<int16_t>(25, 0)), series);
    EXPECT_NE(r.lastText().find("\nID: V\nVer: 3\n"), std::string::npos);
    Reader full;
    full.read(makeDataFile(DataFileHeaderFields{}, std::vector<int16_t>(25, 0)), series);
    EXPECT_NE(full.lastText().find("\nID: VJ\nVer: 3\n"), std::string::npos);
}

TEST(DataFileReader, EveryTwentyFiveSamplesBecomeOneSeriesSample)
{
    for (const size_t n : {7200u, 7210u, 7224u}) {
        Reader r;
        const std::vector<int16_t> trace = randomTrace(n, static_cast<uint32_t>(n));
        synthesis::SeriesHeaderPtr series = markedSeries(1200);
        ASSERT_EQ(r.read(makeDataFile(DataFileHeaderFields{}, trace), series), 77) << r.lastText();
        const std::vector<int16_t> expected = files_test::dataFileSeries(trace);
        ASSERT_EQ(expected.size(), 288u);
        for (size_t i = 0; i < 1200; ++i)
            ASSERT_EQ(series->lpPureData[i], i < 288 ? expected[i] : kUntouched) << "n " << n << " i " << i;
        // The observed samples too, so that processing reads the trace.
        EXPECT_EQ(series->dwSeriesSize, 288u);
        for (size_t i = 0; i < 1200; ++i)
            ASSERT_EQ(series->lpSeriesData[i], i < 288 ? expected[i] : kUntouched) << "n " << n << " i " << i;
    }
}

TEST(DataFileReader, TheHighByteCountsByItsMagnitude)
{
    Reader r;
    std::vector<int16_t> trace(50);
    for (size_t i = 0; i < 25; ++i)
        trace[i] = i % 2 ? 0x7F00 : static_cast<int16_t>(0x8100);
    for (size_t i = 25; i < 50; ++i)
        trace[i] = static_cast<int16_t>(0x00FF + 0x100 * static_cast<int>(i % 3));  // high bytes 0, 1, 2
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    r.read(makeDataFile(DataFileHeaderFields{}, trace), series);
    EXPECT_EQ(series->lpPureData[0], 127);
    EXPECT_EQ(series->lpPureData[1], (8 * 0 + 9 * 1 + 8 * 2) / 25);
    EXPECT_NE(r.lastText().find("minValue: -127\nmaxValue: 127\n"), std::string::npos);
}

TEST(DataFileReader, LowBytesAloneGiveAZeroSeries)
{
    Reader r;
    std::vector<int16_t> trace(250);
    for (size_t i = 0; i < trace.size(); ++i)
        trace[i] = static_cast<int16_t>(i % 256);
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    r.read(makeDataFile(DataFileHeaderFields{}, trace), series);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(series->lpPureData[i], 0);
    EXPECT_EQ(series->lpPureData[10], kUntouched);
    EXPECT_NE(r.lastText().find("minValue: 0\nmaxValue: 0\n"), std::string::npos);
}

TEST(DataFileReader, WritesNoMoreThanTheSeriesHolds)
{
    Reader r;
    const std::vector<int16_t> trace = randomTrace(25 * 500, 3);
    synthesis::SeriesHeaderPtr series = markedSeries(120);
    ASSERT_EQ(r.read(makeDataFile(DataFileHeaderFields{}, trace), series), 77);
    const std::vector<int16_t> expected = files_test::dataFileSeries(trace);
    EXPECT_EQ(std::vector<int16_t>(series->lpPureData.begin(), series->lpPureData.end()),
              std::vector<int16_t>(expected.begin(), expected.begin() + 120));
}

TEST(DataFileReader, SamplesStartWhereTheHeaderLengthSays)
{
    Reader r;
    DataFileHeaderFields header;
    header.hLen = 300;
    std::vector<int16_t> trace(25, static_cast<int16_t>(0x0500));
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    ASSERT_EQ(r.read(makeDataFile(header, trace), series), 77);
    EXPECT_EQ(series->lpPureData[0], 5);
}

TEST(DataFileReader, WithoutASeriesMakesOneForTheTrace)
{
    Reader r;
    const std::vector<int16_t> trace = randomTrace(7200, 11);
    synthesis::SeriesHeaderPtr series;
    ASSERT_EQ(r.read(makeDataFile(DataFileHeaderFields{}, trace), series), 77);
    ASSERT_TRUE(series);
    EXPECT_EQ(series->dwSeriesSize, 288u);
    EXPECT_EQ(series->wTmin, 56);
    EXPECT_EQ(series->wTmax, 260);
    const std::vector<int16_t> expected = files_test::dataFileSeries(trace);
    EXPECT_EQ(std::vector<int16_t>(series->lpPureData.begin(), series->lpPureData.begin() + 288), expected);

    // Fewer than 250 samples leave no pulse length: the series maker refuses.
    Reader shortTrace;
    synthesis::SeriesHeaderPtr none;
    EXPECT_EQ(shortTrace.read(makeDataFile(DataFileHeaderFields{}, randomTrace(249, 1)), none), 0);
    EXPECT_FALSE(none);
    EXPECT_EQ(shortTrace.host.messages.back().caption, " getCutOffSeriesHeader ");
}

TEST(DataFileReader, MissingFilesAreReported)
{
    ScratchDir dir;
    platform::ScriptedHost host;
    synthesis::SeriesHeaderPtr series = markedSeries(300);
    host.queueOpenFile(dir.file("nothing-here.dat"));
    host.queueOpenFile(dir.file(""));
    EXPECT_EQ(files::ReadInfoDataFile(host, 5, series), 0);
    EXPECT_EQ(files::ReadInfoDataFile(host, 5, series), 0);
    ASSERT_EQ(host.messages.size(), 2u);
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.text, "FindFirstFile ERROR!");
        EXPECT_EQ(m.caption, "About ReadInfoDataFile");
    }
    EXPECT_EQ(series->lpPureData[0], kUntouched);
}

TEST(DataFileReader, RefusesFilesThatDoNotHoldTheirTrace)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, "Data file is shorter than its header!"});
    cases.push_back({"header cut", std::vector<uint8_t>(41, 0), "Data file is shorter than its header!"});
    {
        std::vector<uint8_t> b = makeDataFile(DataFileHeaderFields{}, randomTrace(250, 5));
        b.resize(b.size() - 1);
        cases.push_back({"last sample cut", b, "Data file is shorter than its trace: 548 bytes needed, 547 present!"});
    }
    {
        DataFileHeaderFields header;
        header.samplNum = 0x7FFFFFFF;
        cases.push_back({"huge count", makeDataFile(header, randomTrace(30, 5)),
                         "Data file is shorter than its trace: 4294967342 bytes needed, 108 present!"});
    }
    {
        DataFileHeaderFields header;
        header.samplNum = -25;
        cases.push_back({"negative count", makeDataFile(header, randomTrace(30, 5)),
                         "Data file sample count SamplNum is negative!"});
    }
    {
        DataFileHeaderFields header;
        header.hLen = 48;
        std::vector<uint8_t> b = makeDataFile(header, randomTrace(30, 5));
        b[4] = 0x00;
        b[5] = 0x80;  // HLen -32768
        cases.push_back({"negative header length", b, "Data file header length HLen is negative!"});
    }
    {
        std::vector<uint8_t> b = makeDataFile(DataFileHeaderFields{}, randomTrace(30, 5));
        b[4] = 0xFF;
        b[5] = 0x7F;  // HLen 32767, far past the end
        cases.push_back(
            {"header length past the end", b, "Data file is shorter than its trace: 32827 bytes needed, 108 present!"});
    }

    for (const Case& c : cases) {
        Reader r;
        synthesis::SeriesHeaderPtr series = markedSeries(300);
        EXPECT_EQ(r.read(c.bytes, series), 0) << c.what;
        // The facts box, then the refusal; the series as it was.
        ASSERT_EQ(r.host.messages.size(), 2u) << c.what;
        EXPECT_EQ(r.host.messages[1].text, c.message) << c.what;
        EXPECT_EQ(r.host.messages[1].caption, "About ReadInfoDataFile") << c.what;
        EXPECT_TRUE(std::all_of(series->lpPureData.begin(), series->lpPureData.end(), [](int16_t v) {
            return v == kUntouched;
        })) << c.what;
    }
}

TEST(DataFileReader, GarbageIsReadOrRefusedNeverOverrun)
{
    std::mt19937 gen(99);
    int refused = 0, read = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> bytes(gen() % 400);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(gen());
        if (bytes.size() >= 42 && trial % 2) {
            // Lengths that nearly fit, to reach the edges of the file.
            const uint32_t hlen = gen() % 64;
            const uint32_t room = bytes.size() > hlen ? static_cast<uint32_t>(bytes.size()) - hlen : 0;
            const uint32_t num = room / 2 + gen() % 3;
            bytes[4] = static_cast<uint8_t>(hlen);
            bytes[5] = 0;
            for (int i = 0; i < 4; ++i)
                bytes[34 + static_cast<size_t>(i)] = static_cast<uint8_t>(num >> (8 * i));
        }
        Reader r;
        synthesis::SeriesHeaderPtr series = markedSeries(300);
        const int32_t result = r.read(bytes, series);
        if (result == 0) {
            ++refused;
            EXPECT_TRUE(std::all_of(series->lpPureData.begin(), series->lpPureData.end(),
                                    [](int16_t v) { return v == kUntouched; }))
                << "trial " << trial;
        } else {
            ++read;
            EXPECT_EQ(result, 77);
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(read, 0);
}

namespace {

// A data file of `trace` made `size` bytes long: zeros past the trace,
// sparse, so that gigabytes take no room on the disk.
std::string sparseDataFile(const ScratchDir& dir, const std::vector<int16_t>& trace, uint64_t size)
{
    const std::string path = dir.file("big.dat");
    files_test::writeAll(path, makeDataFile(DataFileHeaderFields{}, trace));
    return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0 ? path : "";
}

std::string sizeLine(uint64_t size) { return "File Size: " + std::to_string(size) + " bytes \n"; }

}  // namespace

TEST(DataFileReader, SizesPastTwoAndFourGibibytesCountWhole)
{
    // Read through the low 32 bits, the first file was 1000 bytes and the
    // second shorter than its header; the third showed a negative size.
    const std::vector<int16_t> trace = randomTrace(250, 8);
    for (const uint64_t size : {(uint64_t{1} << 32) + 1000, (uint64_t{1} << 32) + 10, (uint64_t{1} << 31) + 1000}) {
        ScratchDir dir;
        const std::string path = sparseDataFile(dir, trace, size);
        ASSERT_FALSE(path.empty()) << "no sparse file of " << size << " bytes here";
        platform::ScriptedHost host;
        synthesis::SeriesHeaderPtr series = markedSeries(300);
        host.queueOpenFile(path);
        EXPECT_EQ(files::ReadInfoDataFile(host, 77, series), 77) << size;
        ASSERT_EQ(host.messages.size(), 2u) << size;
        const std::string facts = host.messages[0].text;
        EXPECT_NE(facts.find(" \n" + sizeLine(size)), std::string::npos) << facts;
        EXPECT_EQ(std::vector<int16_t>(series->lpPureData.begin(), series->lpPureData.begin() + 10),
                  files_test::dataFileSeries(trace));
    }
}

// The sanitizers reserve terabytes of address space: no limit can hold.
#if !QUILLMORE_SANITIZED
TEST(DataFileReader, AFileOfGibibytesIsReadInLittleMemory)
{
    // Only the header and the trace are read: under 512 MiB of address space
    // a file of 2 GiB reads as a small one does.
    ScratchDir dir;
    const std::vector<int16_t> trace = randomTrace(2500, 9);
    const std::string path = sparseDataFile(dir, trace, (uint64_t{1} << 31) + 1000);
    ASSERT_FALSE(path.empty());
    const std::string said = files_test::inChild(
        [&] {
            platform::ScriptedHost host;
            synthesis::SeriesHeaderPtr series = markedSeries(300);
            host.queueOpenFile(path);
            std::string s = std::to_string(files::ReadInfoDataFile(host, 77, series));
            s += ' ';
            s += std::to_string(series->lpPureData[99]);
            return s;
        },
        RLIMIT_AS, rlim_t{512} << 20);
    EXPECT_EQ(said, "77 " + std::to_string(files_test::dataFileSeries(trace)[99]));
}
#endif

TEST(DataFileReader, TracesLongerThanOneReadComeOutWhole)
{
    // Over a mebibyte of samples from an odd offset: the pieces the reader
    // takes them in join without a seam, and the range covers every sample,
    // past the series' capacity and past the last whole group too.
    Reader r;
    DataFileHeaderFields header;
    header.hLen = 1001;
    std::vector<int16_t> trace = randomTrace(25 * 24000 + 13, 12);
    for (int16_t& v : trace)
        v = static_cast<int16_t>(v & 0x3FFF);     // high bytes 0 .. 63
    trace[25 * 23000] = 0x7F00;                   // 127
    trace.back() = static_cast<int16_t>(0x8000);  // -128
    synthesis::SeriesHeaderPtr series = markedSeries(20000);
    const std::vector<uint8_t> bytes = makeDataFile(header, trace);
    ASSERT_EQ(r.read(bytes, series), 77) << r.lastText();
    const std::vector<int16_t> expected = files_test::dataFileSeries(trace);
    EXPECT_EQ(std::vector<int16_t>(series->lpPureData.begin(), series->lpPureData.end()),
              std::vector<int16_t>(expected.begin(), expected.begin() + 20000));
    EXPECT_NE(r.lastText().find("minValue: -128\nmaxValue: 127\n"), std::string::npos);
    const files::DataFileTraceSummary inMemory =
        files::summarizeDataFileTrace(bytes, *files::parseDataFileHeader(bytes), 7);
    EXPECT_EQ(inMemory.series, std::vector<int16_t>(expected.begin(), expected.begin() + 7));
    EXPECT_EQ(std::make_pair(inMemory.minValue, inMemory.maxValue), std::make_pair(-128, 127));
}
