// Where the printed sheet goes, and whether it can go there: checked before
// anything is printed, so a bad --output costs no ink.
#pragma once

#include <string>

namespace swathprint {

// DOCUMENT.printed.png beside the document (its extension replaced).
std::string DefaultOutput(const std::string &input);

// The sheet of one job when a run prints several: "-pN" for page N and
// "-cN" for copy N before the extension (`page`, `copy` 0: not added).
std::string JobOutput(const std::string &output, uint32_t page, uint32_t copy);

// Empty when `output` can be written; else one sentence: it is a folder,
// it is the input, or its folder does not exist or takes no new file
// (tried by making and removing the temporary file the sheet is written to).
std::string OutputProblem(const std::string &output, const std::string &input);

// The files a sheet at `output` is written through before it is whole, for
// the clean-up of an interrupted run.
std::string PartialSheet(const std::string &output);
std::string PartialSummary(const std::string &output);
// The summary beside the sheet: its .png replaced by .json.
std::string SummaryPath(const std::string &output);

}  // namespace swathprint
