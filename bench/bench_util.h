// Timing for the benchmark programs: median of several runs on a warm cache,
// peers timed in the same run, one BENCH line per measure:
//   BENCH <name> <value> <unit> goal <op> <target> PASS|FAIL
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn::bench {

// Median wall time in seconds of runs calls of fn (after one warm-up call);
// prepare runs untimed before each call.
double MedianSeconds(int runs, const std::function<void()>& fn, const std::function<void()>& prepare = {});
// Median wall time of a peer program run to its end (its output discarded).
double MedianCommandSeconds(int runs, const std::string& program, const std::vector<std::string>& args,
                            const std::function<void()>& prepare = {});

// Prints the BENCH line; op is "<=" or ">=". Returns whether the goal is met.
bool Report(const std::string& name, double value, const std::string& unit, const std::string& op, double target);
// A line of detail under the measures (absolute times and the like).
void Note(const std::string& text);

// True when the measure's name contains the filter given as the first argument.
bool Selected(int argc, char** argv, const std::string& name);

// Where benchmark data lives: $TARN_BENCH_DIR, else build/bench-data beside the
// programs. A program path with a trailing backslash, created on demand.
AnsiString DataDir();
// The file system type of a directory (for the notes), "?" when unknown.
std::string FileSystemOf(const AnsiString& dir);

} // namespace tarn::bench
