#pragma once
// The two records that carry every signal of the system: one pulse and one
// series. Samples are signed 16-bit values in the unit of the amplitude and
// noise-level settings; positions are sample indexes counted from 0.

#include <cstdint>
#include <memory>
#include <vector>

namespace synthesis {

// One pulse: an etalon of the Alphabet or a work pulse.
struct PulseHeader {
    uint16_t wAllocSize = 0;      // samples lpData holds
    uint16_t wSize = 0;           // samples in use (the pulse length), <= wAllocSize
    int16_t wNumber = 0;          // number in the Alphabet, from 1; 0 for a work pulse
    std::vector<int16_t> lpData;  // wAllocSize samples; empty means "no buffer"
};

// The letter under which etalon n (from 1) is shown: 1 is 'a', 20 is 't'.
inline char etalonLetter(int number) { return static_cast<char>(96 + number); }

// One series with its pure and observed samples and the true and found
// placement of its pulses.
//
// Every per-pulse array holds wPulsesCapacity entries and both sample arrays
// dwSeriesCapacity samples. Capacities only grow: a series made with a
// smaller length or pulse count re-uses the arrays and keeps their contents
// until the next synthesis overwrites them.
struct SeriesHeader {
    uint32_t dwSeriesCapacity = 0;      // samples each of the two series arrays holds
    uint32_t dwSeriesSize = 0;          // samples of the series, <= dwSeriesCapacity
    uint16_t wTmin = 0;                 // least distance between neighbouring starts
    uint16_t wTmax = 0;                 // greatest distance between neighbouring starts
    std::vector<int16_t> lpPureData;    // the placed pulses on a zero background
    std::vector<int16_t> lpSeriesData;  // pure series plus noise: what detection reads
    uint16_t wReserved = 0;
    uint16_t wImpulseSize = 0;                   // pulse length L
    uint16_t wImpulseQuantity = 0;               // pulses in the series
    uint16_t wMaxPulses = 0;                     // (N - L + wTmin) / wTmin
    uint16_t wMinPulses = 0;                     // (N + L - 1) / wTmax, at least 1
    uint16_t wNoiseLevel = 0;                    // deviation of the added noise; 0 until noise is added
    uint16_t wAmplitude = 0;                     // amplitude setting the series was made with
    std::vector<int16_t> lpPositions;            // true start of each pulse (where etalon sample 0 stands)
    std::vector<int16_t> lpFoundPositions;       // starts found by the last detection; -1 after synthesis
    std::vector<int16_t> lpMinPositions;         // lowest admissible start of each pulse
    std::vector<int16_t> lpMaxPositions;         // highest admissible start of each pulse
    const PulseHeader* lpFirstEtalon = nullptr;  // etalon of the first pulse (not owned)
    std::vector<int16_t> lpEtalonSequence;       // etalon number (from 1) of each pulse
    std::vector<int16_t> lpReserved1;            // cleared at synthesis
    uint16_t wPulsesListCapacity = 0;
    uint16_t wPulsesListSize = 0;                  // entries of lpPulsesList in use: the alphabet size
    uint16_t wPulsesCapacity = 0;                  // entries of every per-pulse array
    std::vector<const PulseHeader*> lpPulsesList;  // entry i: Alphabet entry i (not owned)
    uint16_t wFoundPulses = 0;                     // valid entries of lpFoundPositions
    int16_t wCutFrom = 0;                          // first sample of a whole pulse: 0
    int16_t wCutTo = 0;                            // last sample of a whole pulse: L - 1
    std::vector<int16_t> lpCutFrom;                // first etalon sample placed for each pulse
    std::vector<int16_t> lpCutTo;                  // last etalon sample placed for each pulse
    std::vector<int16_t> lpReserved2;
    std::vector<int16_t> lpReserved3;
    std::vector<int16_t> lpFixedSequence;  // user-chosen etalon sub-sequence
    uint16_t wFixedCount = 0;              // entries of lpFixedSequence; 0: none
    uint16_t wFixedMode = 0;               // how the sub-sequence is imposed, 1 to 4
    uint16_t wFixedStart = 0;              // pulse (from 1) where imposing starts
};

// The series record, held whole by its one owner.
using SeriesHeaderPtr = std::unique_ptr<SeriesHeader>;

// Releases the series (an empty pointer is fine) and reports success.
int freeSeriesHeader(SeriesHeaderPtr& header);

}  // namespace synthesis
