// Throughput of the library's hot paths. Figures to compare are ratios
// within one run; see bench/README.md. Every corpus frame and three meter-sim
// files are measured by each of the measures of measures.hpp; a summary
// table of the ratios follows the benchmarks' report.
#include <sml/sml_crc16.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "inputs.hpp"
#include "measures.hpp"
#include "summary.hpp"

namespace {

std::vector<unsigned char> read_file(const std::string &path) {
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string corpus = ZELKOR_CORPUS_DIR;

void BM_StreamDecoderOnAMeterStream(benchmark::State &state) {
	static const auto input = read_file(corpus + "/streams/dnt-stream-1.dump");
	if (input.empty()) {
		state.SkipWithError("no corpus");
		return;
	}
	bench::stream_decode(state, input, static_cast<size_t>(state.range(0)));
}
BENCHMARK(BM_StreamDecoderOnAMeterStream)->Arg(64)->Arg(4096)->Arg(65536);

void BM_StreamDecoderOnNoise(benchmark::State &state) {
	static const auto input = [] {
		std::vector<unsigned char> v(1 << 22);
		std::mt19937 rng(1);
		for (auto &b : v)
			b = static_cast<unsigned char>(rng());
		return v;
	}();
	bench::stream_decode(state, input, 65536);
}
BENCHMARK(BM_StreamDecoderOnNoise);

void BM_Crc16(benchmark::State &state) {
	std::vector<unsigned char> bytes(static_cast<size_t>(state.range(0)), 0x5A);
	for (auto _ : state)
		benchmark::DoNotOptimize(sml_crc16_calculate(bytes.data(), static_cast<int>(bytes.size())));
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc16)->Arg(324)->Arg(4096);

} // namespace

int main(int argc, char **argv) {
	// 0.2 s a benchmark unless the command line says otherwise: the CPU
	// times settle well within it, and the whole run stays near a minute.
	std::vector<char *> args(argv, argv + argc);
	char min_time[] = "--benchmark_min_time=0.2";
	if (std::none_of(args.begin(), args.end(),
			 [](const char *a) { return std::string_view(a).starts_with("--benchmark_min_time"); }))
		args.push_back(min_time);
	int count = static_cast<int>(args.size());
	benchmark::Initialize(&count, args.data());
	if (benchmark::ReportUnrecognizedArguments(count, args.data()))
		return 1;

	const bench::inputs in = bench::load(corpus);
	std::vector<bench::subject> subjects;
	std::vector<const bench::input *> typical;
	for (const char *name : bench::typical)
		for (const auto &frame : in.corpus)
			if (frame.name == name)
				typical.push_back(&frame);
	if (typical.size() == std::size(bench::typical))
		subjects.emplace_back("typical", typical, true);
	for (const auto &file : in.meter)
		subjects.emplace_back(file.name, std::vector{&file});
	for (const auto &frame : in.corpus)
		subjects.emplace_back(frame.name, std::vector{&frame});
	// Registered once every subject stands where it stays.
	for (const auto &s : subjects)
		bench::register_measures(s);

	bench::collector times;
	benchmark::RunSpecifiedBenchmarks(&times);
	bench::print_summary(stdout, subjects, in, times);
	benchmark::Shutdown();
	return 0;
}
