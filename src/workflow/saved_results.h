// Results kept in a file: the catalogue of an analysis (the scanned volumes with their identity
// and folders, every found file with all that the list, the trees and the undelete use) written
// out, and read back in place of a new analysis, without reading the volumes. An undelete from
// reopened results reads the volume again and refuses one that is not the same (volume_binding).
//
// The file is a fixed header (magic, format version, payload length, payload checksum) and one
// payload of little-endian records: no library is needed on any platform, a million files take
// a few tens of megabytes, and reading them back is one pass with no parsing of text. A reader
// meets the header first, so a file that is not ours, or one of a newer format, is told apart
// from one that is damaged or cut short; in every such case nothing is loaded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dravelo {

// Version of the layout below; a reader refuses a higher one.
inline constexpr std::uint32_t kResultsFormatVersion = 1;

enum class ResultsProblem {
  none,
  cannot_open,   // the file cannot be opened or read, or cannot be written
  not_results,   // no results file of this program
  newer_format,  // written by a later version of the program, in a layout this one does not know
  damaged,       // the header is ours but the rest is cut short or altered
};

struct ResultsLoad {
  ResultsProblem problem = ResultsProblem::none;
  std::string detail;  // what the reader found wrong, in English, for diagnostics
  std::string program_version;  // of the program that wrote the file
  std::int32_t files = 0;
  std::int32_t volumes = 0;
};

// The current catalogue as a results file's bytes: the volumes that were scanned (or that a
// found file names), in drive-list order, and every found file. Files keep their ticks.
std::vector<std::uint8_t> encode_results();

// Replaces the catalogue and the drive list with the results in bytes: the drive list becomes
// the saved volumes, under the letters they were scanned under. Loads nothing, and leaves the
// catalogue as it was, when the bytes are not a whole results file of a known format.
ResultsLoad decode_results(std::span<const std::uint8_t> bytes);

// encode_results into the file at path (replaced whole: written beside it, then renamed).
// False with *why (the system's error text) when it cannot be written.
bool save_results(const std::string& path, std::string* why);

// Reads the file at path and decode_results.
ResultsLoad open_results(const std::string& path);

// The message for a results file that could not be loaded or written, in the current language.
std::string results_problem_text(const std::string& path, const ResultsLoad& load);

}  // namespace dravelo
