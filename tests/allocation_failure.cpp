// Running out of memory is an error like any other. Every operation below is
// run once for each allocation it makes, with exactly that one failing, and
// once more with that one and every later one failing. Each run must report
// the failure through its usual result (NULL, the error flag, 0) or give the
// right result anyway, must leave no block allocated and must not throw.
//
// The heap functions are wrapped at link time (--wrap=malloc and the rest):
// the library's calls come here and go on to the real functions, which works
// under the sanitizers, whose runtimes own the real ones. The leak check is
// the count of blocks allocated and freed while an operation runs. operator
// new is wrapped too: a C++ allocation in the library would fail here by
// throwing, and be caught and reported as a fault.
//
// Fixtures: the file of every body (bodies.hpp) and the GetList files of
// every kind of reading that fuzz_obisdump starts from, as whole files and
// as every element of them that some record parser takes; a file built by
// hand with every _init and _add function; the corpus frames when present.
#include <sml/sml_transport.h>
#include <sml/sml_value.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "../fuzz/records.hpp"
#include "bodies.hpp"

namespace heap {

bool armed = false;
long attempts = 0; // allocations asked for while armed
long fail_at = 0;  // the attempt that fails, 0 for none
bool fail_on = false; // every attempt after fail_at fails too
long refused = 0;
long live = 0; // blocks allocated while armed, less those freed

bool refuse() {
	if (!armed)
		return false;
	attempts++;
	bool no = fail_at && (attempts == fail_at || (fail_on && attempts > fail_at));
	refused += no;
	return no;
}

void *counted(void *p) {
	live += armed && p;
	return p;
}

} // namespace heap

extern "C" {
void *__real_malloc(size_t n);
void *__real_calloc(size_t n, size_t size);
void *__real_realloc(void *p, size_t n);
void __real_free(void *p);
void *__real__Znwm(size_t n);
void *__real__Znam(size_t n);

void *__wrap_malloc(size_t n) { return heap::refuse() ? nullptr : heap::counted(__real_malloc(n)); }
void *__wrap_calloc(size_t n, size_t size) { return heap::refuse() ? nullptr : heap::counted(__real_calloc(n, size)); }
void *__wrap_realloc(void *p, size_t n) {
	if (heap::refuse())
		return nullptr;
	void *q = __real_realloc(p, n);
	return p ? q : heap::counted(q);
}
void __wrap_free(void *p) {
	heap::live -= heap::armed && p;
	__real_free(p);
}
void *__wrap__Znwm(size_t n) {
	if (heap::refuse())
		throw std::bad_alloc();
	return __real__Znwm(n);
}
void *__wrap__Znam(size_t n) {
	if (heap::refuse())
		throw std::bad_alloc();
	return __real__Znam(n);
}
}

namespace {

using bytes = std::vector<unsigned char>;

// What an operation gave: a digest of the bytes it produced, or a failure it
// reported.
struct outcome {
	bool failed;
	uint64_t digest;
};

struct digest {
	uint64_t h = 14695981039346656037u;
	void add(const unsigned char *p, size_t n) {
		for (size_t i = 0; i < n; i++)
			h = (h ^ p[i]) * 1099511628211u;
	}
	void add(uint64_t v) { add(reinterpret_cast<const unsigned char *>(&v), sizeof v); }
};

int null_fd = -1;

// A file parsed, then framed and written: sml_file_parse, the record
// parsers under it, sml_transport_write and sml_transport_build, every
// record writer, sml_file_free.
outcome file_op(const bytes &file) {
	sml_file *f = sml_file_parse(file.data(), file.size());
	if (!f)
		return {true, 0};
	bool failed = f->buf->error;
	int len = sml_transport_write(null_fd, f);
	digest d;
	d.add(static_cast<uint64_t>(f->messages_len));
	d.add(f->buf->buffer, len > 0 ? static_cast<size_t>(len) : 0);
	failed |= len <= 0;
	sml_file_free(f);
	return {failed, d.h};
}

// One element read by one record parser and written again.
outcome record_op(const fuzz::codec &c, const bytes &element) {
	sml_buffer *in = sml_buffer_init(element.size());
	if (!in)
		return {true, 0};
	std::copy(element.begin(), element.end(), in->buffer);
	void *r = c.parse(in);
	bool failed = in->error;
	sml_buffer_free(in);
	sml_buffer *out = failed ? nullptr : sml_buffer_init(0);
	digest d;
	if (out) {
		c.write(r, out);
		failed = out->error;
		d.add(out->buffer, out->cursor);
	}
	failed |= !out;
	sml_buffer_free(out);
	// A few parsers hand back what they read before failing, for the caller
	// to release.
	if (r)
		c.release(r);
	return {failed, d.h};
}

template <class T, void (*Free)(T *)> void release(void *p) { Free(static_cast<T *>(p)); }

char *text(const char *s) { return const_cast<char *>(s); }

// A file built with the _init and _add functions, every result checked as a
// caller would, then framed. whole is false once any of them gave nothing or
// kept nothing: that is the failure the caller sees.
outcome built_op() {
	sml_file *file = sml_file_init();
	if (!file)
		return {true, 0};
	bool whole = true;
	auto got = [&whole](auto *p) {
		whole &= p != nullptr;
		return p;
	};

	auto *proc = got(sml_get_proc_parameter_response_init());
	if (proc) {
		proc->server_id = got(sml_octet_string_init_from_hex(text("0A01")));
		if ((proc->parameter_tree_path = got(sml_tree_path_init()))) {
			sml_tree_path_add_path_entry(proc->parameter_tree_path, got(sml_octet_string_init_from_hex(text("8181C78201FF"))));
			whole &= proc->parameter_tree_path->path_entries_len == 1;
		}
		if (sml_tree *tree = (proc->parameter_tree = got(sml_tree_init()))) {
			tree->parameter_name = got(sml_octet_string_init_from_hex(text("01")));
			if ((tree->parameter_value = got(sml_proc_par_value_init()))) {
				// Without its tag a payload is released as plain memory: none then.
				sml_proc_par_value *v = tree->parameter_value;
				if ((v->tag = got(test::num<u8>(SML_PPV_TIME))) && (v->data.time = got(sml_time_init()))) {
					v->data.time->tag = got(test::num<u8>(SML_TIME_SEC_INDEX));
					v->data.time->data.sec_index = got(test::num<u32>(3600));
				}
			}
			sml_tree_add_tree(tree, got(sml_tree_init()));
			whole &= tree->child_list_len == 1;
		}
	}

	auto *pack = got(sml_get_profile_pack_response_init());
	if (pack) {
		pack->header_list = got(sml_sequence_init(release<sml_prof_obj_header_entry, sml_prof_obj_header_entry_free>));
		if (pack->header_list) {
			sml_sequence_add(pack->header_list, got(sml_prof_obj_header_entry_init()));
			whole &= pack->header_list->elems_len == 1;
		}
		pack->period_list = got(sml_sequence_init(release<sml_prof_obj_period_entry, sml_prof_obj_period_entry_free>));
	}

	auto *list = got(sml_get_list_response_init());
	if (list && (list->val_list = got(sml_list_init()))) {
		sml_list *e = list->val_list;
		e->obj_name = got(sml_octet_string_init_from_hex(text("0100010800FF")));
		if ((e->status = got(sml_status_init()))) {
			e->status->type = SML_TL_UNSIGNED | 2;
			e->status->data.status16 = got(test::num<u16>(0x182));
		}
		if ((e->value = got(sml_value_init()))) {
			e->value->type = SML_TL_BOOLEAN;
			e->value->data.boolean = got(sml_boolean_init(1));
		}
		sml_list_add(e, got(sml_list_init()));
	}

	struct body {
		u32 tag;
		void *data;
		void (*release)(void *);
	} bodies[] = {
		{SML_BODY_GET_PROC_PARAMETER_RESPONSE, proc,
		 release<sml_get_proc_parameter_response, sml_get_proc_parameter_response_free>},
		{SML_BODY_GET_PROFILE_PACK_RESPONSE, pack,
		 release<sml_get_profile_pack_response, sml_get_profile_pack_response_free>},
		{SML_BODY_GET_LIST_RESPONSE, list, release<sml_get_list_response, sml_get_list_response_free>},
	};
	unsigned char transaction[] = {1, 2, 3, 4};
	for (const body &b : bodies) {
		sml_message *msg = got(sml_message_init());
		if (!msg) {
			b.release(b.data);
			continue;
		}
		// A fixed identifier in place of the random one, for the digest.
		sml_octet_string_free(msg->transaction_id);
		msg->transaction_id = got(sml_octet_string_init(transaction, sizeof transaction));
		msg->group_id = got(test::num<u8>(0));
		msg->abort_on_error = got(test::num<u8>(0));
		msg->message_body = got(sml_message_body_init(b.tag, b.data));
		short before = file->messages_len;
		sml_file_add_message(file, msg);
		whole &= file->messages_len == before + 1;
	}

	int len = sml_transport_write(null_fd, file);
	digest d;
	d.add(file->buf->buffer, len > 0 ? static_cast<size_t>(len) : 0);
	sml_file_free(file);
	return {!whole || len <= 0, d.h};
}

// The hexadecimal helpers.
outcome hex_op() {
	static unsigned char data[] = {0x01, 'S', 'M', 'L'};
	octet_string *s = sml_octet_string_init_from_hex(text("01534D4C"));
	sml_value *v = sml_value_init();
	digest d;
	bool failed = !s || !v;
	if (!failed) {
		d.add(static_cast<uint64_t>(sml_octet_string_cmp_with_hex(s, text("01534D4C"))));
		v->type = SML_TL_OCTET_STRING;
		v->data.bytes = sml_octet_string_init(data, sizeof data);
		char *hex = nullptr;
		failed = !v->data.bytes || !sml_value_to_strhex(v, &hex, true);
		if (hex)
			d.add(reinterpret_cast<const unsigned char *>(hex), std::strlen(hex));
		std::free(hex);
	}
	sml_octet_string_free(s);
	sml_value_free(v);
	return {failed, d.h};
}

bytes file_bytes(sml_file *file) {
	sml_file_write(file);
	return {file->buf->buffer, file->buf->buffer + file->buf->cursor};
}

struct operation {
	std::string name;
	outcome (*run)(const void *);
	const void *arg;
};

struct tally {
	long points = 0;    // allocations failed, one run each way
	long reported = 0;  // runs that reported the failure
	long recovered = 0; // runs that gave the right result anyway
};

long faults = 0;

// A crash says in which run it came, then takes its usual course (the
// sanitizer's report, or the default action): the handler before this one
// is put back and the faulting instruction runs again.
const operation *running = nullptr;
long running_fail_at = 0;
bool running_fail_on = false;
struct sigaction before_segv, before_abrt;

void on_crash(int sig, siginfo_t *, void *) {
	char line[512];
	int n = std::snprintf(line, sizeof line, "allocation failure: crashed in %s, allocation %ld%s failing\n",
			      running ? running->name.c_str() : "setup", running_fail_at, running_fail_on ? " and on" : "");
	[[maybe_unused]] ssize_t w = write(STDERR_FILENO, line, std::min(static_cast<size_t>(n), sizeof line - 1));
	sigaction(sig, sig == SIGSEGV ? &before_segv : &before_abrt, nullptr);
}

outcome run(const operation &op, long fail_at, bool fail_on, bool &threw) {
	running = &op;
	running_fail_at = fail_at;
	running_fail_on = fail_on;
	heap::attempts = heap::refused = heap::live = 0;
	heap::fail_at = fail_at;
	heap::fail_on = fail_on;
	heap::armed = true;
	outcome got{true, 0};
	threw = false;
	try {
		got = op.run(op.arg);
	} catch (...) {
		threw = true;
	}
	heap::armed = false;
	return got;
}

void fault(const operation &op, long n, bool on, const char *what) {
	if (faults++ < 20)
		std::printf("FAULT %s, allocation %ld%s failing: %s\n", op.name.c_str(), n, on ? " and on" : "", what);
}

void check(const operation &op, tally &t) {
	bool threw;
	outcome right = run(op, 0, false, threw);
	if (threw || heap::live)
		fault(op, 0, false, threw ? "threw" : "leaked");
	for (bool on : {false, true})
		for (long n = 1;; n++) {
			outcome got = run(op, n, on, threw);
			if (!heap::refused)
				break;
			t.points += !on;
			if (threw)
				fault(op, n, on, "threw");
			else if (heap::live)
				fault(op, n, on, "leaked");
			else if (!got.failed && (right.failed || got.digest != right.digest))
				fault(op, n, on, "a wrong result, not reported");
			else
				(got.failed ? t.reported : t.recovered)++;
		}
}

} // namespace

int main() {
	struct sigaction crash {};
	crash.sa_sigaction = on_crash;
	crash.sa_flags = SA_SIGINFO;
	sigaction(SIGSEGV, &crash, &before_segv);
	sigaction(SIGABRT, &crash, &before_abrt);
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	null_fd = open("/dev/null", O_WRONLY);

	// Named files: the own ones first, then the corpus frames' files.
	std::vector<std::pair<std::string, bytes>> files;
	sml_file *every = test::every_body_file();
	files.emplace_back("every body", file_bytes(every));
	sml_file_free(every);
	for (const auto &e : std::filesystem::directory_iterator(ZELKOR_READINGS_SEEDS))
		files.emplace_back("readings " + e.path().filename().string(), test::read_file(e.path().string()));
	std::set<bytes> parts;
	for (const auto &[name, f] : files) {
		std::vector<std::pair<size_t, size_t>> spans;
		for (size_t at = 0; at < f.size();)
			fuzz::elements(f, at, 0, spans);
		for (auto [begin, end] : spans)
			parts.emplace(f.data() + begin, f.data() + end);
	}
	size_t own_files = files.size();
	if (test::have_corpus())
		for (const auto &e : std::filesystem::directory_iterator(test::corpus_dir()))
			if (e.path().extension() == ".bin") {
				bytes frame = test::read_file(e.path().string());
				if (frame.size() >= 16)
					files.emplace_back(e.path().filename().string(), bytes(frame.begin() + 8, frame.end() - 8));
			}

	// The element and parser pairs that parse.
	struct element {
		const fuzz::codec *codec;
		const bytes *part;
	};
	std::vector<element> elements_parsed;
	for (const bytes &p : parts)
		for (const fuzz::codec &c : fuzz::codecs)
			if (!record_op(c, p).failed)
				elements_parsed.push_back({&c, &p});

	std::map<std::string, std::vector<operation>> groups;
	for (size_t i = 0; i < files.size(); i++)
		groups[i < own_files ? "files" : "corpus files"].push_back(
			{"file " + files[i].first, [](const void *f) { return file_op(*static_cast<const bytes *>(f)); },
			 &files[i].second});
	for (const element &e : elements_parsed)
		groups["records"].push_back({"record " + std::to_string(e.codec - fuzz::codecs) + " of " +
						     test::hex(e.part->data(), e.part->size()),
					     [](const void *p) {
						     auto *e = static_cast<const element *>(p);
						     return record_op(*e->codec, *e->part);
					     },
					     &e});
	groups["built by hand"].push_back({"built", [](const void *) { return built_op(); }, nullptr});
	groups["hex helpers"].push_back({"hex", [](const void *) { return hex_op(); }, nullptr});

	for (const auto &[name, ops] : groups) {
		tally t;
		for (const operation &op : ops)
			check(op, t);
		std::printf("%-14s %5zu operations, %6ld allocations failed: %6ld runs reported it, %5ld got it right "
			    "anyway\n",
			    name.c_str(), ops.size(), t.points, t.reported, t.recovered);
	}
	close(null_fd);
	std::puts(faults ? "allocation failure: FAULTS" : "allocation failure: every failure handled");
	return faults ? 1 : 0;
}
