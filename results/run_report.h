#pragma once
// The report of a run as one self-contained HTML file: the verdict (or the score) at the
// top, a summary table (settings, duration, per GPU the maxima and means of each reading,
// the events), and one chart per quantity over time drawn as inline SVG from the
// once-a-second readings, with axes, units, a legend per GPU and the events shaded. No
// script, style sheet or font is fetched: it opens from a file in any browser.
//
// Written whole or not at all, with the results document's writer (results_json.h).

#include <string>

#include "results/run_record.h"

namespace plashwerk {

/// One summary figure of a reading over the seconds it was available.
struct ReadingSummary {
    float maximum = 0;
    float mean = 0;
    uint32_t seconds = 0;  ///< seconds it was available; 0: never (no figures)
};

/// The maximum and mean of one GPU's reading (a GpuReadingBit) over the series.
ReadingSummary summarizeReading(const SecondSamples& samples, int gpu, uint32_t reading_bit);

/// The whole HTML document.
std::string formatRunReport(const RunRecord& record);

/// Formats and writes the report; a failure is reported on standard error and in the trace
/// log. Returns false then.
bool writeRunReport(const char* path, const RunRecord& record);

}  // namespace plashwerk
