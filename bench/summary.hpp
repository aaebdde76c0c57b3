// The figures that matter, gathered from one run: per frame and subject, the
// decode against its allocator floor and against the readings walk, printed
// as a markdown table after the benchmarks' own report.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "inputs.hpp"
#include "measures.hpp"

namespace bench {

// Shows every run as the console reporter does and keeps its CPU time, which
// other work on the machine disturbs less than the wall clock's.
class collector : public benchmark::ConsoleReporter {
public:
	void ReportRuns(const std::vector<Run> &runs) override;
	// Nanoseconds per iteration of the named benchmark: the median of its
	// repetitions; NaN when it did not run.
	double ns(const std::string &name) const;

private:
	std::map<std::string, std::vector<double>> runs_;
	std::map<std::string, double> medians_;
};

// Header line of the table, which bench/table looks for.
inline constexpr const char *summary_title = "Per frame, ratios within this run:";

void print_summary(std::FILE *out, const std::vector<subject> &subjects, const inputs &in, const collector &times);

} // namespace bench
