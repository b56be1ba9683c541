// Pipeline proof harness: sets a job up as StartPrint does (without a board),
// drives raster lines and the job end through the production swath cycle, and
// maps every inked bit of every swath's data window back to the image pixel it
// prints: channel, nozzle, slice, the paper fed so far and the channel offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/job_state.h"
#include "pipeline/swath_cycle.h"
#include "shared/records.h"

namespace sl::test {

struct ProofJob {
    uint32_t xdpi = 360;
    uint32_t ydpi = 720;
    uint32_t width = 720;    // host pixels
    uint32_t height = 1500;  // image lines; lines ring/2 + 300 on, for a ring and 720 more, are blank
    uint16_t colors = 4;
    bool oneBit = false;
    uint8_t dotSize = 3;  // the level of a set pixel of a 1-bit job
    uint8_t softenByte = 0;
    bool bidirectional = false;
    uint8_t stripeMode = 0;  // bit 0 end stripe, bit 1 start stripe
    uint8_t stripeSize = 0;  // low nibble width, high nibble gap (mm)
    uint32_t seed = 1;
};

// What the proof found. Every inked input pixel (stripes included) must be
// printed once at its level; nothing else may be printed.
struct ProofResult {
    uint64_t inked = 0;    // inked pixels of the input and the stripes
    uint64_t printed = 0;  // pixels printed exactly once at their level
    uint64_t missing = 0;
    uint64_t doubled = 0;
    uint64_t wrongLevel = 0;
    uint64_t stray = 0;  // ink where the input has none
    uint32_t swaths = 0;
    uint32_t blankSwaths = 0;  // handed on with no extent
    uint32_t rightToLeft = 0;
    std::vector<uint32_t> feeds;  // feeddots of every swath, in order
    // The pass geometry the job ran with.
    uint32_t passNum = 0, softLines = 0, softenDots = 0, idleRows = 0, linesPerPass = 0;
    std::string firstProblem;
    bool Exact() const { return missing == 0 && doubled == 0 && wrongLevel == 0 && stray == 0; }
};

// A swath receiver with the hand-off's arguments and no record of its own.
using SwathSink = Status (*)(const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                             uint32_t widthPx, uint32_t step, int countFlag);
SwathHandOff HandOffTo(SwathSink sink);

// The job record the harness set up (nullptr before SetUpPipelineJob).
Job *HarnessJob();

// The board settings of a proof job: realistic channel gaps and alignment.
UISetupPara ProofBoardSettings(const ProofJob &job);
// StartPrint's mode, memory and pipeline set-up; false when refused.
bool SetUpPipelineJob(const ProofJob &job, const UISetupPara &ui);
void TearDownPipelineJob();
// One raster line of the job as PrintALine takes it (planes back to back).
void MakeHostLine(const ProofJob &job, uint32_t line, std::vector<uint8_t> &out);
// Feeds one host line as PrintALine does; returns the hand-off's result.
Status FeedHostLine(const ProofJob &job, const uint8_t *line, SwathSink sink);
// The empty lines EndPrint feeds; false when the sink stopped taking swaths.
bool FinishJob(const ProofJob &job, SwathSink sink);

ProofResult RunProof(const ProofJob &job);

}  // namespace sl::test
