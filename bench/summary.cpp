#include "summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace bench {

namespace {

double median(std::vector<double> v) {
	std::sort(v.begin(), v.end());
	size_t n = v.size();
	return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string fixed(double v, int decimals) {
	if (std::isnan(v))
		return "-";
	char text[32];
	std::snprintf(text, sizeof text, "%.*f", decimals, v);
	return text;
}

// Two significant decimals for small figures, none for large ones.
std::string figure(double v) { return fixed(v, v < 10 ? 2 : v < 100 ? 1 : 0); }

struct row {
	double decode, floor, walk, encode, stream, crc; // ns per frame
};

row row_of(const subject &s, const collector &times) {
	auto frames = static_cast<double>(s.frames.size());
	auto per_frame = [&](const char *measure, double copies = 1) {
		return times.ns(std::string(measure) + "/" + s.name) / (frames * copies);
	};
	return {per_frame("decode"), per_frame("floor"),  per_frame("walk"),
		per_frame("encode"), per_frame("stream", stream_copies), per_frame("crc")};
}

} // namespace

void collector::ReportRuns(const std::vector<Run> &runs) {
	for (const Run &run : runs) {
		if (run.error_occurred)
			continue;
		double ns = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
		if (run.run_type == Run::RT_Iteration)
			runs_[run.run_name.str()].push_back(ns);
		else if (run.aggregate_name == "median")
			medians_[run.run_name.str()] = ns;
	}
	ConsoleReporter::ReportRuns(runs);
}

double collector::ns(const std::string &name) const {
	if (auto m = medians_.find(name); m != medians_.end())
		return m->second;
	if (auto r = runs_.find(name); r != runs_.end())
		return median(r->second);
	return std::numeric_limits<double>::quiet_NaN();
}

void print_summary(std::FILE *out, const std::vector<subject> &subjects, const inputs &in, const collector &times) {
	std::fprintf(out, "\n%s\n\n", summary_title);
	std::fprintf(out, "| Input | File bytes | Allocations | Decode ns | Floor ns | Decode / floor | Walk ns | "
			  "Decode / walk | Encode ns | Stream MB/s | CRC MB/s |\n");
	std::fprintf(out, "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
	for (const subject &s : subjects) {
		row r = row_of(s, times);
		if (std::isnan(r.decode) && std::isnan(r.floor) && std::isnan(r.walk) && std::isnan(r.encode) &&
		    std::isnan(r.stream) && std::isnan(r.crc))
			continue;
		double wire = 0;
		for (const input *f : s.frames)
			wire += static_cast<double>(f->frame.size());
		wire /= static_cast<double>(s.frames.size());
		std::string name = s.frames.size() > 1 ? s.name + " (" + std::to_string(s.frames.size()) + " frames)"
						       : s.name;
		std::fprintf(out, "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", name.c_str(),
			     fixed(s.file_bytes(), 0).c_str(), fixed(s.allocations(), s.frames.size() > 1 ? 1 : 0).c_str(),
			     figure(r.decode).c_str(), figure(r.floor).c_str(), fixed(r.decode / r.floor, 2).c_str(),
			     figure(r.walk).c_str(), fixed(r.decode / r.walk, 1).c_str(), figure(r.encode).c_str(),
			     fixed(wire / r.stream * 1e3, 0).c_str(), fixed((wire - 2) / r.crc * 1e3, 0).c_str());
	}
	std::fprintf(out, "\n");

	for (const subject &s : subjects) {
		if (!s.reference)
			continue;
		row r = row_of(s, times);
		double as_called = times.ns("floor-as-called/" + s.name) / static_cast<double>(s.frames.size());
		std::fprintf(out, "- %s frame: sml_readings %s times as fast as tree decode plus free (wanted: 10 or more)\n",
			     s.name.c_str(), fixed(r.decode / r.walk, 1).c_str());
		std::fprintf(out, "- %s frame: tree decode plus free takes %s times its allocator floor (wanted: 1.5 or less)\n",
			     s.name.c_str(), fixed(r.decode / r.floor, 2).c_str());
		long calls[3] = {}, frees = 0;
		for (const auto &d : s.decode_heap) {
			for (auto how : {heap_log::kind::malloc, heap_log::kind::calloc, heap_log::kind::realloc})
				calls[static_cast<int>(how)] += d.count(how);
			frees += d.frees;
		}
		std::fprintf(out, "- %s frames: the decodes make %ld malloc, %ld calloc and %ld realloc calls (operator new "
				  "included) and %ld frees; the floor with these calls takes %s ns a frame, %s times the floor's\n",
			     s.name.c_str(), calls[0], calls[1], calls[2], frees, figure(as_called).c_str(),
			     fixed(as_called / r.floor, 2).c_str());
	}
	size_t fewest = SIZE_MAX, most = 0;
	for (const subject &s : subjects)
		for (const auto &e : s.encode_heap) {
			fewest = std::min(fewest, e.calls.size());
			most = std::max(most, e.calls.size());
		}
	if (most > 0 && fewest == most)
		std::fprintf(out, "- encode into its reused buffer: %zu allocations a frame\n", most);
	else if (most > 0)
		std::fprintf(out, "- encode into its reused buffer: %zu to %zu allocations a frame\n", fewest, most);
	if (in.corpus.empty())
		std::fprintf(out, "- no corpus: real frames not measured\n");
	for (const std::string &skipped : in.skipped)
		std::fprintf(out, "- left out: %s\n", skipped.c_str());
}

} // namespace bench
