#include "measures.hpp"

#include <sml/sml_crc16.h>
#include <sml/sml_file.h>
#include <sml/sml_reading.h>
#include <sml/sml_stream.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

sml_file *parse(const input &in) {
	return sml_file_parse(in.file.data(), in.file.size());
}

// The floor's pass over one recorded decode: a malloc of each size, in
// order, then a free of each block, in allocation order. As called, each
// allocation repeats the decode's own call instead (calloc(1, size) for a
// calloc, realloc(NULL, size) for a realloc). Kept out of line so the check
// below and the benchmark run the same code.
[[gnu::noinline]] void allocate_and_free(const heap_log::record &decode, void **slots, bool as_called) {
	size_t n = decode.calls.size();
	for (size_t i = 0; i < n; i++) {
		const heap_log::call &c = decode.calls[i];
		if (!as_called || c.how == heap_log::kind::malloc)
			slots[i] = std::malloc(c.size);
		else if (c.how == heap_log::kind::calloc)
			slots[i] = std::calloc(1, c.size);
		else {
			// Through a pointer the compiler cannot see is NULL, or it makes
			// the realloc a malloc.
			void *none = nullptr;
			benchmark::DoNotOptimize(none);
			slots[i] = std::realloc(none, c.size);
		}
	}
	benchmark::DoNotOptimize(slots);
	benchmark::ClobberMemory();
	for (size_t i = 0; i < n; i++)
		std::free(slots[i]);
}

// Everything a consumer of the reading would look at.
int touch(const sml_reading *r, void *ctx) {
	auto *sum = static_cast<uint64_t *>(ctx);
	*sum += r->reason + r->flags + r->obis[2] + r->obis[4] + static_cast<unsigned char>(r->scaler) + r->unit +
		r->status + r->name.len + r->kind + r->value.u64 + r->val_time.seconds;
	return 0;
}

void decode(benchmark::State &state, const subject &s) {
	for (auto _ : state)
		for (const input *in : s.frames)
			sml_file_free(parse(*in));
	state.counters["allocs"] = s.allocations();
}

void allocator_floor(benchmark::State &state, const subject &s, bool as_called) {
	size_t most = 0;
	for (const auto &r : s.decode_heap)
		most = std::max(most, r.calls.size());
	std::vector<void *> slots(most);
	for (auto _ : state)
		for (const auto &r : s.decode_heap)
			allocate_and_free(r, slots.data(), as_called);
	state.counters["allocs"] = s.allocations();
}

void floor(benchmark::State &state, const subject &s) { allocator_floor(state, s, false); }

void floor_as_called(benchmark::State &state, const subject &s) { allocator_floor(state, s, true); }

void walk(benchmark::State &state, const subject &s) {
	uint64_t sum = 0;
	for (auto _ : state)
		for (const input *in : s.frames)
			sml_readings(in->file.data(), in->file.size(), touch, &sum);
	benchmark::DoNotOptimize(sum);
}

void encode(benchmark::State &state, const subject &s) {
	std::vector<sml_file *> files;
	for (const input *in : s.frames)
		files.push_back(parse(*in));
	for (auto _ : state)
		for (sml_file *f : files) {
			f->buf->cursor = 0;
			sml_file_write(f);
			benchmark::DoNotOptimize(f->buf->buffer);
		}
	for (sml_file *f : files)
		sml_file_free(f);
}

void stream(benchmark::State &state, const subject &s) {
	std::vector<unsigned char> wire;
	for (int copy = 0; copy < stream_copies; copy++)
		for (const input *in : s.frames)
			wire.insert(wire.end(), in->frame.begin(), in->frame.end());
	stream_decode(state, wire, 4096);
}

void crc(benchmark::State &state, const subject &s) {
	size_t bytes = 0;
	for (const input *in : s.frames)
		bytes += in->frame.size() - 2;
	for (auto _ : state)
		for (const input *in : s.frames)
			benchmark::DoNotOptimize(
				sml_crc16_calculate(const_cast<unsigned char *>(in->frame.data()), static_cast<int>(in->frame.size() - 2)));
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The floor must make the decode's calls, no more and no fewer: a compiler
// that dropped a malloc and free pair would make it look cheaper.
void check_floor(const subject &s) {
	for (const auto &decode : s.decode_heap)
		for (bool as_called : {false, true}) {
			std::vector<void *> slots(decode.calls.size());
			heap_log::open();
			allocate_and_free(decode, slots.data(), as_called);
			heap_log::record floor = heap_log::close();
			bool same = floor.calls.size() == decode.calls.size() &&
				    floor.frees == static_cast<long>(decode.calls.size());
			for (size_t i = 0; same && i < floor.calls.size(); i++)
				same = floor.calls[i].size == decode.calls[i].size &&
				       (!as_called || floor.calls[i].how == decode.calls[i].how);
			if (!same) {
				std::fprintf(stderr, "floor of %s: %zu allocations and %ld frees for the decode's %zu\n",
					     s.name.c_str(), floor.calls.size(), floor.frees, decode.calls.size());
				for (size_t i = 0; i < std::min(floor.calls.size(), decode.calls.size()); i++)
					if (floor.calls[i].size != decode.calls[i].size || floor.calls[i].how != decode.calls[i].how)
						std::fprintf(stderr, "  call %zu: %d/%zu for the decode's %d/%zu\n", i,
							     static_cast<int>(floor.calls[i].how), floor.calls[i].size,
							     static_cast<int>(decode.calls[i].how), decode.calls[i].size);
				std::abort();
			}
		}
}

} // namespace

subject::subject(std::string name_, std::vector<const input *> frames_, bool reference_)
	: name(std::move(name_)), frames(std::move(frames_)), reference(reference_) {
	for (const input *in : frames) {
		heap_log::open();
		sml_file_free(parse(*in));
		decode_heap.push_back(heap_log::close());

		sml_file *f = parse(*in);
		sml_file_write(f);
		f->buf->cursor = 0;
		heap_log::open();
		sml_file_write(f);
		encode_heap.push_back(heap_log::close());
		sml_file_free(f);
	}
	check_floor(*this);
}

double subject::file_bytes() const {
	size_t sum = 0;
	for (const input *in : frames)
		sum += in->file.size();
	return static_cast<double>(sum) / static_cast<double>(frames.size());
}

double subject::allocations() const {
	size_t sum = 0;
	for (const auto &r : decode_heap)
		sum += r.calls.size();
	return static_cast<double>(sum) / static_cast<double>(frames.size());
}

void register_measures(const subject &s) {
	void (*const run[])(benchmark::State &, const subject &) = {decode, floor,  walk,
								     encode, stream, crc, floor_as_called};
	static_assert(std::size(run) == std::size(measures));
	// The floor as called only where the targets are judged.
	size_t count = s.reference ? std::size(run) : std::size(run) - 1;
	for (size_t m = 0; m < count; m++)
		benchmark::RegisterBenchmark((std::string(measures[m]) + "/" + s.name).c_str(),
					     [&s, measure = run[m]](benchmark::State &state) { measure(state, s); })
			->Unit(benchmark::kNanosecond);
}

void stream_decode(benchmark::State &state, const std::vector<unsigned char> &input, size_t chunk) {
	std::vector<unsigned char> area(16384);
	struct counted {
		size_t frames = 0;
		size_t file_bytes = 0;
	} c;
	for (auto _ : state) {
		sml_stream s;
		sml_stream_init(
			&s, area.data(), area.size(),
			[](const sml_stream_frame *f, void *ctx) {
				auto *c = static_cast<counted *>(ctx);
				c->frames++;
				c->file_bytes += f->file_len;
				return 0;
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

} // namespace bench
