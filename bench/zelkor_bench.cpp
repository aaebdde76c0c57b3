// Throughput of the library's hot paths. Figures to compare are ratios
// within one run; see bench/README.md.
#include <sml/sml_close_response.h>
#include <sml/sml_crc16.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_response.h>
#include <sml/sml_stream.h>
#include <sml/sml_transport.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> read_file(const std::string &path) {
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string corpus = ZELKOR_CORPUS_DIR;

struct counted {
	size_t frames = 0;
	size_t file_bytes = 0;
};

// Runs the decoder over the input in chunks of the given size.
void decode(benchmark::State &state, const std::vector<unsigned char> &input, size_t chunk) {
	std::vector<unsigned char> area(16384);
	counted c;
	for (auto _ : state) {
		sml_stream s;
		sml_stream_init(
			&s, area.data(), area.size(),
			[](const sml_stream_frame *f, void *ctx) {
				auto *c = static_cast<counted *>(ctx);
				c->frames++;
				c->file_bytes += f->file_len;
			},
			nullptr, &c);
		for (size_t at = 0; at < input.size(); at += chunk)
			sml_stream_feed(&s, input.data() + at, std::min(chunk, input.size() - at));
		sml_stream_finish(&s);
	}
	benchmark::DoNotOptimize(c);
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
	state.counters["frames"] = benchmark::Counter(static_cast<double>(c.frames), benchmark::Counter::kIsRate);
}

void BM_StreamDecoderOnAMeterStream(benchmark::State &state) {
	static const auto input = read_file(corpus + "/streams/dnt-stream-1.dump");
	if (input.empty()) {
		state.SkipWithError("no corpus");
		return;
	}
	decode(state, input, static_cast<size_t>(state.range(0)));
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
	decode(state, input, 65536);
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

BENCHMARK_MAIN();
