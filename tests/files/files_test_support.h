#pragma once
// Scratch folders and byte helpers shared by the file tests.

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

inline std::vector<uint8_t> readAll(const std::string& path)
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

}  // namespace files_test
