#include "synthesis/etalon_generation.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "synthesis/random_streams.h"
#include "base/wrapping.h"

namespace synthesis {

namespace {

// The decimal values of pi and 2 pi the etalon shapes are defined with.
constexpr double kPi = 3.141592654;
constexpr double kTwoPi = 6.283185308;
constexpr int16_t kRectangleLevel = 60;

// Real values become samples by truncation toward zero; the int step keeps
// the narrowing to 16 bits a plain wrap.
int16_t toSample(double v) { return static_cast<int16_t>(static_cast<int32_t>(v)); }

double envelope(int j, int rise, int n)
{
    if (j < rise)
        return 1.0 - std::exp(-8.0 * j / rise);
    return std::exp(-4.0 * (j - rise) / (n - rise));
}

// The phase accumulates one step before each sample, so neither phase 0 nor
// the end phase is ever used.
void makeSinePart(PulseHeader& pulse, double step, int amplitude)
{
    double phase = 0.0;
    for (int j = 0; j < pulse.wSize; ++j) {
        phase += step;
        pulse.lpData[j] = toSample(std::sin(phase) * amplitude);
    }
}

}  // namespace

void makeEnvelopedSine(PulseHeader& pulse, int amplitude, int rise, int periods)
{
    const int n = pulse.wSize;
    const double step = periods * kTwoPi / n;
    double phase = 0.0;
    for (int j = 0; j < n; ++j) {
        pulse.lpData[j] = toSample(std::sin(phase) * (amplitude * envelope(j, rise, n)));
        phase += step;
    }
}

void makeEnvelopePulse(PulseHeader& pulse, int amplitude, int rise)
{
    const int n = pulse.wSize;
    for (int j = 0; j < n; ++j)
        pulse.lpData[j] = toSample(amplitude * envelope(j, rise, n));
}

void makeInvertedPulse(PulseHeader& target, const PulseHeader& source)
{
    for (int j = 0; j < target.wSize; ++j)
        target.lpData[j] = static_cast<int16_t>(-source.lpData[j]);
}

int makeAlphabet(base::MessageSink& sink, int16_t amplitude, uint16_t count, uint16_t length,
                 std::span<PulseHeader> alphabet, int32_t& etalonSeed)
{
    if (count > alphabet.size()) {
        sink.messageBox("The alphabet holds fewer etalons than were asked for.", " makeAlphabet ",
                        base::MessageIcon::Warning);
        return 0;
    }

    for (uint16_t i = 0; i < count; ++i) {
        PulseHeader& e = alphabet[i];
        if (!e.lpData.empty() && e.wAllocSize < length) {
            if (i == 0)
                sink.messageBox("Предварительное освобождение памяти!", "Отладка", base::MessageIcon::None);
            e.lpData = {};
        }
        if (e.lpData.empty()) {
            try {
                e.lpData.assign(length, 0);
            } catch (const std::bad_alloc&) {
                sink.messageBox("Не могу выделить память!", "", base::MessageIcon::Warning);
                for (uint16_t k = 0; k < i; ++k)
                    alphabet[k].lpData = {};
                return 0;
            }
            e.wAllocSize = length;
        }
        e.wSize = length;
        e.wNumber = static_cast<int16_t>(i + 1);
    }

    const int n = length;
    const int a = amplitude;
    for (uint16_t i = 0; i < count; ++i) {
        PulseHeader& e = alphabet[i];
        switch (i) {
        case 0:
            for (int j = 0; j < n; ++j)
                e.lpData[j] = kRectangleLevel;
            break;
        case 2:
            makeSinePart(e, kPi / (n + 1), 2 * a / 3 - 1);
            break;
        case 4:
            makeSinePart(e, kTwoPi / (n + 1), 60 * 1414 / 1000);
            break;
        case 6:
            makeEnvelopedSine(e, 6 * a / 5 + 2, (2 * n + 4) / 8, 4);
            break;
        case 8:
            makeEnvelopePulse(e, (7 * a + 4) / 8 + 6, (2 * n + 4) / 8 - 1);
            break;
        case 1:
        case 3:
        case 5:
        case 7:
        case 9:
            makeInvertedPulse(e, alphabet[i - 1]);
            break;
        default:
            for (int j = 0; j < n; ++j) {
                int32_t s = gaussRandom(etalonSeed, 0, static_cast<int16_t>(a / 2));
                if (s > a - 1)
                    s = a - 1;
                if (s < -a)
                    s = -a;
                e.lpData[j] = static_cast<int16_t>(s);
            }
            break;
        }
    }
    return 1;
}

int32_t etalonEnergy(const PulseHeader& etalon)
{
    int32_t energy = 0;
    const size_t n = std::min<size_t>(etalon.wSize, etalon.lpData.size());
    for (size_t j = 0; j < n; ++j)
        energy = base::wrapAdd(energy, base::wrapSquare(etalon.lpData[j]));
    return energy;
}

}  // namespace synthesis
