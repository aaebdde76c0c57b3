// Writes the committed seed inputs of the fuzz targets, all made by the
// library's own writer from the tests' fixtures:
//   make_seeds <folder>     (fills <folder>/<target>/)
// fuzz_file gets whole files, fuzz_stream frames with noise and damage
// around them, fuzz_records every element of those files that some record
// parser takes, prefixed with that parser's number, fuzz_obisdump GetList
// responses holding readings of every kind obisdump prints.
#include <sml/sml_list_type.h>
#include <sml/sml_transport.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../tests/bodies.hpp"
#include "records.hpp"

namespace fs = std::filesystem;
using bytes = std::vector<unsigned char>;

namespace {

struct seeds {
	fs::path dir;
	std::set<bytes> seen;
	int n = 0;
	void add(const bytes &b) {
		if (!seen.insert(b).second)
			return;
		std::ofstream(dir / ("seed-" + std::to_string(n++)), std::ios::binary)
			.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
	}
};

bytes file_bytes(sml_file *file) {
	sml_buffer *own = file->buf;
	file->buf = sml_buffer_init(0);
	sml_file_write(file);
	bytes out(file->buf->buffer, file->buf->buffer + file->buf->cursor);
	sml_buffer_free(file->buf);
	file->buf = own;
	return out;
}

bytes frame_bytes(sml_file *file) {
	size_t len = sml_transport_build(file);
	return {file->buf->buffer, file->buf->buffer + len};
}

using test::num;

sml_value *number(u64 v, unsigned char type, int width) {
	sml_value *value = sml_value_init();
	value->type = static_cast<u8>(type | width);
	value->data.uint8 = static_cast<u8 *>(sml_number_init(v, type, width));
	return value;
}

sml_value *octets(std::string_view hex) {
	sml_value *value = sml_value_init();
	value->type = SML_TL_OCTET_STRING;
	value->data.bytes = test::octets(hex);
	return value;
}

sml_value *boolean(bool b) {
	sml_value *value = sml_value_init();
	value->type = SML_TL_BOOLEAN;
	value->data.boolean = sml_boolean_init(b);
	return value;
}

sml_time *timestamp(u32 seconds) {
	sml_time *t = sml_time_init();
	t->tag = num<u8>(SML_TIME_TIMESTAMP);
	t->data.timestamp = num<u32>(seconds);
	return t;
}

sml_time *local_timestamp(u32 seconds, i16 local, i16 season) {
	sml_time *t = timestamp(seconds);
	*t->tag = SML_TIME_LOCAL_TIMESTAMP;
	t->local_offset = num<i16>(static_cast<u64>(local));
	t->season_time_offset = num<i16>(static_cast<u64>(season));
	return t;
}

// A list-typed value (SML 1.05): a time, or another tag's content as encoded.
sml_value *listed(sml_time *time, u8 tag = SML_LIST_TYPE_TIME, std::string_view encoded = {}) {
	sml_list_type *lt = sml_list_type_init();
	lt->tag = num<u8>(tag);
	if (time)
		lt->data.time = time;
	else
		lt->data.encoded = test::octets(encoded);
	sml_value *value = sml_value_init();
	value->type = SML_VALUE_LIST;
	value->data.list_type = lt;
	return value;
}

sml_status *status(u64 word, int width) {
	sml_status *s = sml_status_init();
	s->type = static_cast<u8>(SML_TL_UNSIGNED | width);
	s->data.status8 = static_cast<u8 *>(sml_number_init(word, SML_TL_UNSIGNED, width));
	return s;
}

struct entry_fields {
	const char *name;
	sml_value *value;
	int unit = -1;   // absent below 0
	int scaler = 0;  // absent when has_scaler is false
	bool has_scaler = false;
	sml_status *status = nullptr;
	sml_time *val_time = nullptr;
};

sml_list *entry(const entry_fields &f) {
	sml_list *e = sml_list_init();
	e->obj_name = f.name ? test::octets(f.name) : nullptr;
	e->value = f.value;
	if (f.unit >= 0)
		e->unit = num<u8>(static_cast<u64>(f.unit));
	if (f.has_scaler)
		e->scaler = num<i8>(static_cast<u64>(f.scaler));
	e->status = f.status;
	e->val_time = f.val_time;
	return e;
}

// The readings obisdump prints in its own way: numbers of every width and
// sign with scalers from -128 to 127, booleans, octet strings printable or
// not, list-typed times in every form and other list-typed values, units with
// and without symbols, names of other lengths, an absent value.
std::vector<sml_list *> reading_entries() {
	const char *energy = "01 00 01 08 00 FF";
	return {
		entry({energy, number(987, SML_TL_UNSIGNED, 2), 30, -3, true, status(0x0182, 2), test::sec_index(3600)}),
		entry({"01 00 1F 07 00 FF", number(11, SML_TL_UNSIGNED, 1), 33, -2, true}),
		entry({"01 00 10 07 00 FF", number(static_cast<u64>(-9837), SML_TL_INTEGER, 2), 27, -2, true}),
		entry({energy, number(UINT64_MAX, SML_TL_UNSIGNED, 8), 30, -128, true}),
		entry({energy, number(static_cast<u64>(INT64_MIN), SML_TL_INTEGER, 8), 30, 127, true}),
		entry({energy, number(21264, SML_TL_INTEGER, 4), 58, 3, true, status(UINT64_MAX, 8), timestamp(1700000000)}),
		entry({"00 00 60 03 0A FF", boolean(true), -1, 0, false, nullptr, local_timestamp(1700000000, 60, 60)}),
		entry({"81 81 C7 82 03 FF", octets("58 59 5A"), 255}),
		entry({"01 00 00 00 09 FF", octets("0A 01 5A 4C 4B 00 22 5C 7F")}),
		entry({"01 00 60 01 00 FF", octets("")}),
		entry({"81 00 60 08 00 01", listed(test::sec_index(1982288)), 7}),
		entry({"00 00 01 00 00 FF", listed(timestamp(1700000000))}),
		entry({"00 00 01 00 00 01", listed(local_timestamp(1700000000, -120, -60))}),
		entry({"01 00 63 01 00 FF", listed(nullptr, SML_LIST_TYPE_TIMESTAMPED_VALUE, "72 65 00 00 00 01 52 05")}),
		entry({"01 00 63 02 00 FF", listed(nullptr, SML_LIST_TYPE_COSEM_VALUE, "01")}),
		entry({"01 00 02 08 00 FF", nullptr, 30, -1, true}),
		entry({"01 00 02 08 00", number(5, SML_TL_UNSIGNED, 1)}),
		entry({"01 00 02 08 00 FF 01", number(5, SML_TL_UNSIGNED, 1)}),
		entry({nullptr, number(5, SML_TL_UNSIGNED, 1)}),
	};
}

// A file of one GetList response holding the entries.
bytes get_list_file(const std::vector<sml_list *> &entries) {
	auto *resp = sml_get_list_response_init();
	resp->server_id = test::octets("0A 01 5A 4C 4B 00 00 BC 61 4E");
	resp->list_name = test::octets("01 00 62 0A FF FF");
	resp->act_sensor_time = test::sec_index(86400);
	resp->val_list = entries.front();
	for (size_t i = 1; i < entries.size(); i++)
		sml_list_add(entries[i - 1], entries[i]);
	sml_message *msg = sml_message_init();
	msg->group_id = num<u8>(0);
	msg->abort_on_error = num<u8>(0);
	msg->message_body = sml_message_body_init(SML_BODY_GET_LIST_RESPONSE, resp);
	sml_file *file = sml_file_init();
	sml_file_add_message(file, msg);
	bytes out = file_bytes(file);
	sml_file_free(file);
	return out;
}

} // namespace

int main(int argc, char **argv) {
	if (argc != 2) {
		std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
		return 1;
	}
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	fs::path root = argv[1];
	std::map<std::string, seeds> targets;
	for (const char *t : {"fuzz_file", "fuzz_stream", "fuzz_records", "fuzz_obisdump", "fuzz_decimal"}) {
		fs::create_directories(root / t);
		targets[t].dir = root / t;
	}

	// The file of every body, and each of its messages alone.
	sml_file *all = test::every_body_file();
	std::vector<bytes> files{file_bytes(all)};
	std::vector<bytes> frames{frame_bytes(all)};
	for (int i = 0; i < all->messages_len; i++) {
		sml_file *one = sml_file_init();
		sml_file_add_message(one, all->messages[i]);
		files.push_back(file_bytes(one));
		frames.push_back(frame_bytes(one));
		one->messages_len = 0; // the message stays with the first file
		sml_file_free(one);
	}
	sml_file_free(all);

	for (const auto &f : files)
		targets["fuzz_file"].add(f);

	targets["fuzz_obisdump"].add(get_list_file(reading_entries()));
	auto each = reading_entries();
	for (sml_list *e : each)
		targets["fuzz_obisdump"].add(get_list_file({e}));

	// The stream target reads an area size and a chunking byte first.
	for (size_t i = 0; i < frames.size(); i++) {
		bytes s{static_cast<unsigned char>(i * 37), static_cast<unsigned char>(i)};
		s.insert(s.end(), {0x00, 0x1B, 0x1B, 0x01});
		s.insert(s.end(), frames[i].begin(), frames[i].end());
		s.insert(s.end(), frames[(i + 1) % frames.size()].begin(), frames[(i + 1) % frames.size()].end());
		targets["fuzz_stream"].add(s);
		bytes cut = s;
		cut.resize(s.size() - frames[(i + 1) % frames.size()].size() / 2);
		targets["fuzz_stream"].add(cut);
	}

	// fuzz_decimal: a number and its room for to_chars, then a rescaling of
	// it or a second number, in the layout fuzz_decimal.cpp reads.
	const struct {
		uint64_t magnitude;
		unsigned flags;
		int32_t scaler;
		unsigned room;
		std::vector<unsigned char> second;
	} numbers[] = {
		{1234500, 2, -1, 151, {0x02}},
		{1, 0, -128, 151, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0x81, 0xFF, 0xFF, 0xFF}},
		{1, 0, 200, 255, {0x81}},
		{7, 1, -300, 40, {0x13}},
		{0x8000000000000000, 1, -19, 22, {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0xFF, 0xFF, 0xFF}},
		{UINT64_MAX, 0, 127, 151, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0x7F, 0, 0, 0}},
		{10, 2, INT32_MAX, 151, {0x14}},
		{1, 1, INT32_MIN, 3, {0x00}},
		{0, 0, INT32_MAX, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
		{5, 0, -324, 151, {0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0xBC, 0xFE, 0xFF, 0xFF}},
		{17976931348623157, 0, 292, 151, {0x14}},
	};
	for (const auto &n : numbers) {
		bytes seed;
		for (int i = 0; i < 8; i++)
			seed.push_back(static_cast<unsigned char>(n.magnitude >> (8 * i)));
		seed.push_back(static_cast<unsigned char>(n.flags));
		for (int i = 0; i < 4; i++)
			seed.push_back(static_cast<unsigned char>(static_cast<uint32_t>(n.scaler) >> (8 * i)));
		seed.push_back(static_cast<unsigned char>(n.room));
		seed.insert(seed.end(), n.second.begin(), n.second.end());
		targets["fuzz_decimal"].add(seed);
	}

	std::map<size_t, int> per_codec;
	for (const auto &f : files) {
		std::vector<std::pair<size_t, size_t>> parts;
		for (size_t at = 0; at < f.size();)
			fuzz::elements(f, at, 0, parts);
		for (auto [begin, end] : parts)
			for (size_t c = 0; c < std::size(fuzz::codecs); c++) {
				if (per_codec[c] >= 12)
					continue;
				fuzz::parsed p = fuzz::parse(fuzz::codecs[c], f.data() + begin, end - begin);
				if (!p.ok || !p.record)
					continue;
				fuzz::codecs[c].release(p.record);
				bytes seed{static_cast<unsigned char>(c)};
				seed.insert(seed.end(), f.begin() + static_cast<std::ptrdiff_t>(begin),
					    f.begin() + static_cast<std::ptrdiff_t>(end));
				targets["fuzz_records"].add(seed);
				per_codec[c]++;
			}
	}
	for (auto &[name, s] : targets)
		std::printf("%s: %d seeds\n", name.c_str(), s.n);
	return 0;
}
