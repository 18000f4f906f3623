#pragma once
// The plan of a run: the chunks of series the workers take, and where the
// first series of each starts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "detection/simulation_series.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"

namespace detection {

// Where every series starts, without running the ones before it. A series
// of m pulses draws 1 + m values of the position stream, m of each cut
// stream and 12 N of the noise stream, whatever its samples; the odometer of
// its cell follows from the series before it in the cell. That holds while
// the record imposes no fixed sub-sequence (whose placing may draw a number
// of values that depends on the draws) and every active etalon is in the
// alphabet (else the etalon stream draws); then the synthesis alone is run
// through once, which is cheap beside the estimation.
class StartPlan {
  public:
    StartPlan(const Grid& g, const synthesis::RandomStreams& streams, int32_t noiseSeed,
              const synthesis::SeriesHeader& record, std::vector<uint64_t> wanted);

    SeriesState at(uint64_t s) const;

  private:
    SeriesState initial() const;

    const Grid& grid_;
    synthesis::RandomStreams streams_;
    int32_t noiseSeed_;
    bool direct_ = true;
    std::vector<uint64_t> positionBefore_, cutBefore_;
    std::vector<std::pair<uint64_t, SeriesState>> kept_;  // by series, increasing
};

// One piece of work: consecutive series of one cell.
struct Chunk {
    uint64_t from = 0, to = 0;
    int64_t sum = 0;
    base::MessageRecorder messages;
    bool failed = false;
    SeriesState after;                  // when failed: the state the failing series left
    synthesis::SeriesHeaderPtr record;  // when failed: the record it left
};

// The chunks of series [first, end) for the workers; the last series of the
// run, when the share holds it, is a chunk of its own at the end.
std::vector<Chunk> chunksOfShare(const Grid& g, uint64_t first, uint64_t end, bool holdsLast, unsigned threads);

// The first of the pooled chunks that failed, or the count of all chunks.
size_t firstFailure(const std::vector<Chunk>& chunks, size_t pooled);

// The error sums of every cell over the kept chunks that finished.
std::vector<int64_t> cellSums(const Grid& g, const std::vector<Chunk>& chunks, size_t kept);

// Where the first series of every chunk starts; empty, once `sink` was told,
// when memory is short.
std::unique_ptr<StartPlan> planOfChunks(base::MessageSink& sink, const Grid& g, const std::vector<Chunk>& chunks,
                                        const synthesis::RandomStreams& streams, int32_t noiseSeed,
                                        const synthesis::SeriesHeader& series);

}  // namespace detection
