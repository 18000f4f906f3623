#include "shell/series_settings.h"

#include <algorithm>

#include "platform/host.h"

namespace shell {

using platform::Host;

uint16_t minPulsesFor(const AppState& s, uint32_t length)
{
    if (s.maxInterval == 0)
        return 0;
    return static_cast<uint16_t>((length + s.etalonLength - 1) / s.maxInterval);
}

uint16_t maxPulsesFor(const AppState& s, uint32_t length)
{
    if (s.minInterval == 0)
        return 0;
    return static_cast<uint16_t>((length - s.etalonLength + s.minInterval) / s.minInterval);
}

void requestSeriesLength(AppState& s, uint32_t length)
{
    s.requestedSeriesLength = length;
    s.minPulseCount = minPulsesFor(s, length);
    s.maxPulseCount = maxPulsesFor(s, length);
    s.requestedPulseCount = static_cast<uint16_t>((s.minPulseCount + s.maxPulseCount) / 2);
}

void chooseLengthOption(AppState& s, uint32_t length)
{
    const int32_t offered =
        std::clamp<int32_t>(s.seriesLengthOptionCount, 0, static_cast<int32_t>(s.seriesLengthOptions.size()));
    for (int32_t i = 0; i < offered; ++i)
        if (static_cast<uint32_t>(s.seriesLengthOptions[static_cast<size_t>(i)]) == length)
            s.seriesLengthOption = i + 1;
}

int32_t libraryRand(uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

void tellNoEtalonSelected(Host& host)
{
    host.messageBox("No etalon is selected: click an etalon of the alphabet (or Select All) first.",
                    "No Etalon Selected", base::MessageIcon::Information);
}

void rebuildRequiredList(AppState& s)
{
    if (s.requiredList.size() < s.etalonCount)
        s.requiredList.resize(s.etalonCount);
    uint16_t n = 0;
    for (int k = 0; k < s.etalonCount; ++k)
        if (s.etalonSelected[k])
            s.requiredList[n++] = static_cast<uint16_t>(k + 1);
    s.active_etalons = n;
    s.requiredCapacity = std::max<uint16_t>(s.requiredCapacity, static_cast<uint16_t>(s.requiredList.size()));
}

void ensureSequenceCapacity(AppState& s, size_t n)
{
    if (s.etalonSequence.size() < n)
        s.etalonSequence.resize(n, static_cast<uint16_t>(s.currentEtalon));
}

}  // namespace shell
