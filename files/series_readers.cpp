#include "files/series_readers.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "files/series_reader_common.h"

namespace files {

SeriesReadResult refuse(std::string message)
{
    SeriesReadResult r;
    r.error = std::move(message);
    return r;
}

namespace {

bool readDescriptor(int fd, std::vector<uint8_t>& bytes)
{
    uint8_t buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool startsWith(std::span<const uint8_t> bytes, size_t at, std::string_view marker)
{
    return bytes.size() >= at + marker.size() && std::memcmp(bytes.data() + at, marker.data(), marker.size()) == 0;
}

// Headers of the common sound containers: such a file goes to the sound
// reader even when libsndfile then refuses it, so that its reason is shown.
bool soundHeader(std::span<const uint8_t> b)
{
    if ((startsWith(b, 0, "RIFF") || startsWith(b, 0, "RIFX")) && startsWith(b, 8, "WAVE"))
        return true;
    if (startsWith(b, 0, "RF64") || startsWith(b, 0, "fLaC") || startsWith(b, 0, "OggS") || startsWith(b, 0, ".snd") ||
        startsWith(b, 0, "caff"))
        return true;
    return startsWith(b, 0, "FORM") && (startsWith(b, 8, "AIFF") || startsWith(b, 8, "AIFC"));
}

bool hasExtension(const std::string& path, std::string_view extension)
{
    if (path.size() < extension.size())
        return false;
    return equalsIgnoringCase(std::string_view(path).substr(path.size() - extension.size()), extension);
}

SeriesReadResult readBytes(std::span<const uint8_t> bytes, const std::string& path, std::string_view name,
                           const SeriesReadOptions& options, bool fromStdin)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    switch (options.format) {
    case SeriesFormat::Text:
        return readSeriesText(text, name, options);
    case SeriesFormat::Npy:
        return readSeriesNpy(bytes, name, options);
    case SeriesFormat::Sound:
        return readSeriesSound(bytes, name, options);
    case SeriesFormat::DataFile:
        return readSeriesDataFile(bytes, name);
    case SeriesFormat::Auto:
        break;
    }
    if (fromStdin)
        return readSeriesText(text, name, options);
    if (startsWith(bytes, 0, kNpyMagic))
        return readSeriesNpy(bytes, name, options);
    if (soundHeader(bytes))
        return readSeriesSound(bytes, name, options);
    bool notSound = false;
    SeriesReadResult sound = readSound(bytes, name, options, &notSound);
    if (!notSound)
        return sound;
    if (hasExtension(path, ".dat"))
        return readSeriesDataFile(bytes, name);
    return readSeriesText(text, name, options);
}

// Memory running out while a reader works is a refusal like any other: a
// file too large for what is left must not take the program down.
template <class Read>
SeriesReadResult refusingShortage(std::string_view name, Read&& read)
{
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return refuse(prefixed(name, "not enough memory to read it"));
    }
}

}  // namespace

SeriesReadResult readSeriesText(std::string_view text, std::string_view name, const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readText(text, name, options); });
}

SeriesReadResult readSeriesNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readNpy(bytes, name, options); });
}

SeriesReadResult readSeriesSound(std::span<const uint8_t> bytes, std::string_view name,
                                 const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readSound(bytes, name, options, nullptr); });
}

SeriesReadResult readSeriesDataFile(std::span<const uint8_t> bytes, std::string_view name)
{
    return refusingShortage(name, [&] { return readDataFile(bytes, name); });
}

namespace {

SeriesReadResult readFile(const std::string& path, const SeriesReadOptions& options)
{
    std::vector<uint8_t> bytes;
    if (path == "-") {
        const std::string_view name = "standard input";
        if (!readDescriptor(STDIN_FILENO, bytes))
            return refuse(prefixed(name, std::strerror(errno)));
        return readBytes(bytes, path, name, options, true);
    }

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return refuse(prefixed(path, std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        return refuse(prefixed(path, std::strerror(saved)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(prefixed(path, S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file"));
    }
    try {
        bytes.reserve(static_cast<size_t>(st.st_size));
    } catch (const std::exception&) {
        ::close(fd);
        return refuse(
            prefixed(path, "too large to read into memory (" + number(static_cast<uint64_t>(st.st_size)) + " bytes)"));
    }
    const bool read = readDescriptor(fd, bytes);
    const int saved = errno;
    ::close(fd);
    if (!read)
        return refuse(prefixed(path, std::strerror(saved)));
    return readBytes(bytes, path, path, options, false);
}

}  // namespace

SeriesReadResult readSeriesFile(const std::string& path, const SeriesReadOptions& options)
{
    return refusingShortage(path == "-" ? std::string_view("standard input") : std::string_view(path),
                            [&] { return readFile(path, options); });
}

namespace {

constexpr std::pair<std::string_view, SeriesFormat> kFormatNames[] = {
    {"auto", SeriesFormat::Auto},   {"text", SeriesFormat::Text},         {"npy", SeriesFormat::Npy},
    {"sound", SeriesFormat::Sound}, {"datafile", SeriesFormat::DataFile},
};

// "a.wav is a sound file: it has channels, not columns": what the file is,
// and why the option does not suit it.
std::string misfit(std::string_view name, SeriesFormat format, std::string_view why)
{
    std::string s(name);
    switch (format) {
    case SeriesFormat::Text:
        s += " is a text table";
        break;
    case SeriesFormat::Npy:
        s += " is a .npy array";
        break;
    case SeriesFormat::Sound:
        s += " is a sound file";
        break;
    case SeriesFormat::DataFile:
    case SeriesFormat::Auto:
        s += " is a measurement data file";
        break;
    }
    s += ": ";
    s += why;
    return s;
}

// "--channel 1..2"
std::string channelRange(const SeriesOptionWords& words, int32_t channels)
{
    std::string s(words.channel);
    s += words.separator;
    s += "1.." + std::to_string(channels);
    return s;
}

}  // namespace

std::optional<SeriesFormat> seriesFormatNamed(std::string_view name)
{
    for (const auto& [word, format] : kFormatNames)
        if (name == word)
            return format;
    return std::nullopt;
}

std::string_view seriesFormatName(SeriesFormat format)
{
    for (const auto& [word, named] : kFormatNames)
        if (format == named)
            return word;
    return {};
}

std::string seriesChoiceRefusal(const std::string& path, const SeriesData& data, const SeriesReadOptions& options,
                                const SeriesOptionWords& words)
{
    const std::string_view name = path == "-" ? std::string_view("standard input") : std::string_view(path);
    const bool sound = data.format == SeriesFormat::Sound;
    if (!options.column.empty() && sound) {
        std::string s = misfit(name, data.format, "it has channels, not columns; leave out ");
        s += words.column;
        if (data.channels > 1 && !options.channel)
            s += " and choose a channel with " + channelRange(words, data.channels);
        return s;
    }
    if (!options.column.empty() && data.format == SeriesFormat::DataFile)
        return misfit(name, data.format, "it holds one trace, no columns; leave out ") + std::string(words.column);
    if (options.channel && !sound) {
        if (data.format == SeriesFormat::DataFile)
            return misfit(name, data.format, "it holds one trace, no channels; leave out ") +
                   std::string(words.channel);
        return misfit(name, data.format, "it has columns, not channels; leave out ") + std::string(words.channel) +
               " (" + std::string(words.column) + " chooses a column)";
    }
    if (!options.channel && sound && data.channels > 1)
        return std::string(name) + " has " + std::to_string(data.channels) + " channels: choose one with " +
               channelRange(words, data.channels);
    return {};
}

}  // namespace files
