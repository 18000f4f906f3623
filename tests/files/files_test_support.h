#pragma once
// Scratch folders and byte helpers shared by the file tests.

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace files_test {

// A fresh folder under the system's temporary folder, removed at the end.
class ScratchDir {
  public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillmore-files-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data()))
            path_ = made;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// The names in a folder, sorted.
inline std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's bytes as text; empty when it cannot be read.
inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What `job` returns when run in a child process, with `resource` limited
// to `limit` (no limit for a negative resource) and SIGXFSZ at its default.
// A job that blocks is ended after 20 s and gives "(blocked)"; one that dies
// gives "(signal N)".
inline std::string inChild(const std::function<std::string()>& job, int resource = -1, rlim_t limit = 0)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return "(no pipe)";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        std::signal(SIGXFSZ, SIG_DFL);
        ::alarm(20);
        const rlimit limits{limit, limit};
        if (resource >= 0 && ::setrlimit(static_cast<decltype(RLIMIT_FSIZE)>(resource), &limits) != 0)
            ::_exit(3);
        const std::string said = job();
        (void)!::write(ends[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(n));
    ::close(ends[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGALRM ? "(blocked)" : "(signal " + std::to_string(WTERMSIG(status)) + ")";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : "(child failed)";
}

inline uint32_t u16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
inline uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return u16(b, at) | (u16(b, at + 2) << 16); }

// A data file as the recorder writes it: the packed fields, zeros up to HLen,
// then the samples. Fields not given are zero.
struct DataFileHeaderFields {
    char id[2] = {'V', 'J'};
    int8_t ver = 3;
    int8_t subVer = -2;
    int16_t hLen = 48;
    int32_t datime = 123456789;
    int32_t duration = 3600;
    double scale = 0.125;
    int8_t year = 99, month = 12, day = 31, hour = 23, minute = 59, second = -1;
    int32_t microSec = -250000;
    int16_t samplRate = 1000;
    static constexpr int32_t kCountOfSamples = INT32_MIN;
    int32_t samplNum = kCountOfSamples;  // the number of samples given, unless set
    int16_t samplType = 2;
    int8_t trNum = 7;
    int8_t reserved = -128;
};

inline std::vector<uint8_t> makeDataFile(const DataFileHeaderFields& f, const std::vector<int16_t>& samples)
{
    const size_t start = f.hLen > 42 ? static_cast<size_t>(f.hLen) : 42;
    std::vector<uint8_t> b(start + 2 * samples.size(), 0);
    auto put = [&](size_t at, uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = static_cast<uint8_t>(f.id[0]);
    b[1] = static_cast<uint8_t>(f.id[1]);
    put(2, static_cast<uint8_t>(f.ver), 1);
    put(3, static_cast<uint8_t>(f.subVer), 1);
    put(4, static_cast<uint16_t>(f.hLen), 2);
    put(6, static_cast<uint32_t>(f.datime), 4);
    put(10, static_cast<uint32_t>(f.duration), 4);
    uint64_t scaleBits = 0;
    static_assert(sizeof scaleBits == sizeof f.scale);
    std::memcpy(&scaleBits, &f.scale, sizeof scaleBits);
    put(14, scaleBits, 8);
    const int8_t date[6] = {f.year, f.month, f.day, f.hour, f.minute, f.second};
    for (size_t i = 0; i < 6; ++i)
        put(22 + i, static_cast<uint8_t>(date[i]), 1);
    put(28, static_cast<uint32_t>(f.microSec), 4);
    put(32, static_cast<uint16_t>(f.samplRate), 2);
    put(34,
        static_cast<uint32_t>(f.samplNum == DataFileHeaderFields::kCountOfSamples ? static_cast<int32_t>(samples.size())
                                                                                  : f.samplNum),
        4);
    put(38, static_cast<uint16_t>(f.samplType), 2);
    put(40, static_cast<uint8_t>(f.trNum), 1);
    put(41, static_cast<uint8_t>(f.reserved), 1);
    for (size_t i = 0; i < samples.size(); ++i)
        put(start + 2 * i, static_cast<uint16_t>(samples[i]), 2);
    return b;
}

// A .npy file as NumPy writes it: magic, version, header length, the
// header padded with blanks to a multiple of 64 and ending in a newline.
inline std::vector<uint8_t> npyFile(const std::string& dict, const std::vector<uint8_t>& data, int major = 1)
{
    const size_t preamble = major == 1 ? 10 : 12;
    std::string header = dict;
    while ((preamble + header.size() + 1) % 64 != 0)
        header += ' ';
    header += '\n';
    std::vector<uint8_t> b = {0x93, 'N', 'U', 'M', 'P', 'Y', static_cast<uint8_t>(major), 0};
    const size_t n = header.size();
    b.push_back(static_cast<uint8_t>(n));
    b.push_back(static_cast<uint8_t>(n >> 8));
    if (major != 1) {
        b.push_back(static_cast<uint8_t>(n >> 16));
        b.push_back(static_cast<uint8_t>(n >> 24));
    }
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline std::string npyDict(const std::string& descr, const std::string& shape, bool fortran = false)
{
    return "{'descr': '" + descr + "', 'fortran_order': " + (fortran ? "True" : "False") + ", 'shape': " + shape +
           ", }";
}

template <typename T>
void putValue(std::vector<uint8_t>& out, T v, bool bigEndian)
{
    uint8_t raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T));
    if (bigEndian)
        std::reverse(raw, raw + sizeof(T));
    out.insert(out.end(), raw, raw + sizeof(T));
}

template <typename T>
std::vector<uint8_t> packed(const std::vector<T>& values, bool bigEndian = false)
{
    std::vector<uint8_t> out;
    for (T v : values)
        putValue(out, v, bigEndian);
    return out;
}

// The series samples a data file's trace gives, worked out from the bytes: the high
// byte read as a signed byte, its magnitude, the truncated mean of 25.
inline std::vector<int16_t> dataFileSeries(const std::vector<int16_t>& samples)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i + 25 <= samples.size(); i += 25) {
        int sum = 0;
        for (size_t j = 0; j < 25; ++j) {
            const int high = static_cast<int8_t>(static_cast<uint8_t>(static_cast<uint16_t>(samples[i + j]) >> 8));
            sum += high < 0 ? -high : high;
        }
        out.push_back(static_cast<int16_t>(sum / 25));
    }
    return out;
}

// A WAV file of 16-bit mono PCM samples.
inline std::vector<uint8_t> wav16(const std::vector<int64_t>& x, uint32_t rate)
{
    std::vector<uint8_t> b;
    // Byte by byte: GCC 12 warns of an insert of the four here.
    auto tag = [&](const char* t) {
        for (int k = 0; k < 4; ++k)
            b.push_back(static_cast<uint8_t>(t[k]));
    };
    tag("RIFF");
    putValue<uint32_t>(b, static_cast<uint32_t>(36 + 2 * x.size()), false);
    tag("WAVE");
    tag("fmt ");
    putValue<uint32_t>(b, 16, false);
    putValue<uint16_t>(b, 1, false);  // PCM
    putValue<uint16_t>(b, 1, false);  // mono
    putValue<uint32_t>(b, rate, false);
    putValue<uint32_t>(b, rate * 2, false);
    putValue<uint16_t>(b, 2, false);
    putValue<uint16_t>(b, 16, false);
    tag("data");
    putValue<uint32_t>(b, static_cast<uint32_t>(2 * x.size()), false);
    for (int64_t v : x)
        putValue(b, static_cast<int16_t>(v), false);
    return b;
}

}  // namespace files_test
