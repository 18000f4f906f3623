// The sound reader: one channel of any file libsndfile reads, from the bytes
// in memory.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <sndfile.h>
#include <string>
#include <vector>

#include "files/series_reader_common.h"
#include "files/series_readers.h"

namespace files {

namespace {

// libsndfile reads through these from bytes in memory.
struct MemoryStream {
    const uint8_t* data;
    sf_count_t size;
    sf_count_t at;
};

sf_count_t memoryLength(void* user) { return static_cast<MemoryStream*>(user)->size; }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = m->at;
    else if (whence == SEEK_END)
        base = m->size;
    else if (whence != SEEK_SET)
        return -1;
    if ((offset > 0 && base > std::numeric_limits<sf_count_t>::max() - offset) || base + offset < 0)
        return -1;
    m->at = base + offset;
    return m->at;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (count <= 0 || m->at >= m->size)
        return 0;
    const sf_count_t n = std::min(count, m->size - m->at);
    std::memcpy(out, m->data + m->at, static_cast<size_t>(n));
    m->at += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* user) { return static_cast<MemoryStream*>(user)->at; }

struct SoundCloser {
    void operator()(SNDFILE* f) const
    {
        if (f)
            sf_close(f);
    }
};

// The bits of an integer encoding, which libsndfile hands out shifted to
// the top of an int; 0 for encodings whose samples are not integers.
int integerBits(int subformat)
{
    switch (subformat) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_DPCM_8:
        return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    default:
        return 0;
    }
}

std::string encodingName(int subformat)
{
    switch (subformat) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "8-bit PCM";
    case SF_FORMAT_PCM_16:
        return "16-bit PCM";
    case SF_FORMAT_PCM_24:
        return "24-bit PCM";
    case SF_FORMAT_PCM_32:
        return "32-bit PCM";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_ULAW:
        return "u-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    default:
        return "compressed";
    }
}

}  // namespace

SeriesReadResult readSound(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options,
                           bool* notSound)
{
    MemoryStream stream{bytes.data(), static_cast<sf_count_t>(bytes.size()), 0};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SoundCloser> file(sf_open_virtual(&io, SFM_READ, &info, &stream));
    if (!file) {
        if (notSound)
            *notSound = true;
        return refuse(prefixed(name, std::string("not a sound file libsndfile reads: ") + sf_strerror(nullptr)));
    }
    if (info.channels < 1)
        return refuse(prefixed(name, "the sound file has no channels"));
    // Without a channel asked for, the first; seriesChoiceRefusal tells
    // whether the file has others.
    const int32_t chosen = options.channel.value_or(1);
    if (chosen < 1 || chosen > info.channels)
        return refuse(prefixed(name, "no channel " + std::to_string(chosen) + "; the sound file has " +
                                         std::to_string(info.channels) +
                                         (info.channels == 1 ? " channel" : " channels")));
    const size_t channels = static_cast<size_t>(info.channels);
    const size_t channel = static_cast<size_t>(chosen - 1);
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    const int bits = integerBits(subformat);
    // Floats as stored, and the other codecs in their own sample range.
    sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);

    SeriesData data;
    const size_t chunkFrames = std::max<size_t>(1, 65536 / channels);
    std::vector<int> ints;
    std::vector<double> doubles;
    if (bits > 0)
        ints.resize(chunkFrames * channels);
    else
        doubles.resize(chunkFrames * channels);
    const unsigned shift = static_cast<unsigned>(32 - bits);
    // Read until libsndfile has no more, whatever frame count the header claims.
    while (true) {
        const sf_count_t got = bits > 0
                                   ? sf_readf_int(file.get(), ints.data(), static_cast<sf_count_t>(chunkFrames))
                                   : sf_readf_double(file.get(), doubles.data(), static_cast<sf_count_t>(chunkFrames));
        if (got <= 0)
            break;
        for (size_t f = 0; f < static_cast<size_t>(got); ++f) {
            double v;
            if (bits > 0) {
                v = static_cast<double>(ints[f * channels + channel] >> shift);
            } else {
                v = doubles[f * channels + channel];
                if (std::isinf(v))
                    return refuse(prefixed(name, "frame " + number(data.values.size()) + ", channel " +
                                                     std::to_string(chosen) + " is infinite"));
            }
            data.values.push_back(v);
        }
        if (static_cast<size_t>(got) < chunkFrames)
            break;
    }
    if (data.values.empty())
        return refuse(std::string(name) + " holds no samples");
    if (allGaps(data.values))
        return refuse(prefixed(name, "channel " + std::to_string(chosen) + " holds only gaps"));

    data.integral = bits > 0;
    data.format = SeriesFormat::Sound;
    data.channels = info.channels;
    if (info.samplerate > 0) {
        data.sampleRate = info.samplerate;
        data.times.resize(data.values.size());
        for (size_t i = 0; i < data.times.size(); ++i)
            data.times[i] = static_cast<double>(i) / info.samplerate;
        data.timeName = "s";
    }
    if (channels > 1)
        data.columnName = std::to_string(chosen);
    data.source = "channel " + std::to_string(chosen) + " of " + std::to_string(channels) + ", " +
                  number(data.values.size()) + " frames at " + std::to_string(info.samplerate) + " Hz, " +
                  encodingName(subformat);
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace files
