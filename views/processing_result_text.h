#pragma once
// The words of the processing result: its four header lines and the cells
// of its protocol table, formatted exactly as the result view writes them.
// The window draws them; quillmore-cli prints them.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/pulse_records.h"

namespace views {

// The rows of the protocol that can be read: wUsed, or fewer when a per-row
// array of the record holds fewer.
int protocolRowsInUse(const detection::StepwiseProtocol& protocol);

// The row the view shows: the third (or the last of fewer), and for blind
// detection on a series of unknown count the last. -1 for an empty protocol.
int shownProtocolRow(const detection::StepwiseProtocol& protocol);

// What the view leaves in the series: the shown row's count and positions as
// wFoundPulses and lpFoundPositions (as many as the series holds).
void storeShownRow(const detection::StepwiseProtocol& protocol, synthesis::SeriesHeader& series);

// Header lines 1 to 4. `activeEtalons` is the number of etalons in use;
// letters follow the positions in blind detection with more than one.
std::array<std::string, 4> processingResultHeader(const detection::StepwiseProtocol& protocol,
                                                  const detection::DetectionStudy* study, uint16_t activeEtalons,
                                                  const synthesis::SeriesHeader& series);

// One cell of the protocol table: its x offset from the table's left edge
// and its text.
struct TableCell {
    int32_t x = 0;
    std::string text;
};

// The cells of the table's header line: the blind-detection columns (method,
// criteria, disp, dp, pulses position) or those of the other tasks, which
// add factor, squares and iter.
std::vector<TableCell> protocolTableHeader(const detection::StepwiseProtocol& protocol);
// The cells of row i, method label to positions.
std::vector<TableCell> protocolTableRow(const detection::StepwiseProtocol& protocol,
                                        const synthesis::SeriesHeader& series, int row);

}  // namespace views
