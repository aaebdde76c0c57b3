// Readings as one line of text each, from sml_readings and from the tree API
// alike, so that the two can be compared whole:
//   1-0:1.8.0*255 = u987 e-1 u30 status 260 at sec:3600 sig AB CD
//   BAD_VALUE @42
#pragma once

#include <cinttypes>
#include <string>
#include <vector>

#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_reading.h>

#include "sml_test.hpp"

namespace test {

inline const char *reason_name(sml_reading_reason r) {
	switch (r) {
	case SML_READING_OK: return "OK";
	case SML_READING_BAD_ENTRY: return "BAD_ENTRY";
	case SML_READING_BAD_OBJ_NAME: return "BAD_OBJ_NAME";
	case SML_READING_BAD_STATUS: return "BAD_STATUS";
	case SML_READING_BAD_VAL_TIME: return "BAD_VAL_TIME";
	case SML_READING_BAD_UNIT: return "BAD_UNIT";
	case SML_READING_BAD_SCALER: return "BAD_SCALER";
	case SML_READING_BAD_VALUE: return "BAD_VALUE";
	case SML_READING_BAD_SIGNATURE: return "BAD_SIGNATURE";
	case SML_READING_BAD_PERIOD: return "BAD_PERIOD";
	case SML_READING_BAD_RESPONSE: return "BAD_RESPONSE";
	case SML_READING_BROKEN: return "BROKEN";
	}
	return "?";
}

inline std::string hex_of(const sml_bytes &b) { return b.data ? hex(b.data, b.len) : "-"; }

inline std::string time_text(const sml_reading_time &t) {
	std::string s = std::to_string(t.seconds);
	switch (t.kind) {
	case SML_READING_TIME_NONE: return "";
	case SML_READING_TIME_SEC_INDEX: return "sec:" + s;
	case SML_READING_TIME_TIMESTAMP: return "ts:" + s;
	case SML_READING_TIME_LOCAL_TIMESTAMP:
		return "local:" + s + "/" + std::to_string(t.local_offset) + "/" + std::to_string(t.season_time_offset);
	case SML_READING_TIME_OTHER: return "other:" + s;
	}
	return "?";
}

// The name as OBIS A-B:C.D.E*F when it has six bytes, else its bytes.
inline std::string name_text(const sml_bytes &name) {
	if (!name.data || name.len != 6)
		return hex_of(name);
	const unsigned char *o = name.data;
	return std::to_string(o[0]) + "-" + std::to_string(o[1]) + ":" + std::to_string(o[2]) + "." +
	       std::to_string(o[3]) + "." + std::to_string(o[4]) + "*" + std::to_string(o[5]);
}

// A list-typed value of tag 2 or 3 by its tag and content, which the tree
// keeps: the walker's view of the whole element, read back with the tree.
inline std::string list_type_text(const sml_bytes &whole) {
	buffer buf{sml_buffer_init(whole.len)};
	std::memcpy(buf->buffer, whole.data, whole.len);
	auto v = owned(sml_value_parse(buf.get()), sml_value_free);
	if (!v || v->type != SML_VALUE_LIST)
		return "unreadable list";
	const sml_list_type *lt = v->data.list_type;
	return "list" + std::to_string(*lt->tag) + "(" + hex(lt->data.encoded->str, static_cast<size_t>(lt->data.encoded->len)) + ")";
}

inline std::string value_text(const sml_reading &r) {
	switch (r.kind) {
	case SML_READING_NONE: return "none";
	case SML_READING_SIGNED: return "i" + std::to_string(r.value.i64);
	case SML_READING_UNSIGNED: return "u" + std::to_string(r.value.u64);
	case SML_READING_BOOLEAN: return r.value.boolean ? "true" : "false";
	case SML_READING_BYTES: return "x(" + hex_of(r.value.bytes) + ")";
	case SML_READING_TIME: return "time(" + time_text(r.value.time) + ")";
	case SML_READING_UNSUPPORTED: return list_type_text(r.value.bytes);
	}
	return "?";
}

// A readable reading with its value as given.
inline std::string entry_line(const sml_reading &r, const std::string &value) {
	std::string s = name_text(r.name) + " = " + value;
	if (r.flags & SML_READING_HAS_SCALER)
		s += " e" + std::to_string(r.scaler);
	if (r.flags & SML_READING_HAS_UNIT)
		s += " u" + std::to_string(r.unit);
	if (r.flags & SML_READING_HAS_STATUS)
		s += " status " + std::to_string(r.status);
	if (r.val_time.kind != SML_READING_TIME_NONE)
		s += " at " + time_text(r.val_time);
	if (r.signature.data)
		s += " sig " + hex_of(r.signature);
	return s;
}

inline std::string text(const sml_reading &r) {
	if (r.reason != SML_READING_OK)
		return std::string(reason_name(r.reason)) + " @" + std::to_string(r.offset);
	return entry_line(r, value_text(r));
}

// Where a reading stands and what its response says, before its text.
inline std::string full_text(const sml_reading &r) {
	std::string s = "m" + std::to_string(r.message) + " " + std::to_string(r.body) + " p" + std::to_string(r.period) +
			" e" + std::to_string(r.entry) + " server " + hex_of(r.server_id);
	if (r.list_name.data)
		s += " list " + hex_of(r.list_name);
	if (r.sensor_time.kind != SML_READING_TIME_NONE)
		s += " sensor " + time_text(r.sensor_time);
	return s + " | " + text(r);
}

inline std::vector<sml_reading> walk(const std::vector<unsigned char> &file, int *result = nullptr) {
	std::vector<sml_reading> out;
	int n = sml_readings(
		file.data(), file.size(),
		[](const sml_reading *r, void *ctx) {
			static_cast<std::vector<sml_reading> *>(ctx)->push_back(*r);
			return 0;
		},
		&out);
	if (result)
		*result = n;
	return out;
}

inline std::vector<std::string> texts(const std::vector<sml_reading> &readings, bool full = false) {
	std::vector<std::string> out;
	for (const auto &r : readings)
		out.push_back(full ? full_text(r) : text(r));
	return out;
}

// The same lines from the tree.
namespace tree {

inline sml_bytes view(const octet_string *s) {
	if (!s)
		return {nullptr, 0};
	static const unsigned char empty = 0;
	return {s->str ? s->str : &empty, static_cast<size_t>(s->len)};
}

inline sml_reading_time time_of(const sml_time *t) {
	if (!t || !t->data.sec_index)
		return {};
	if (t->local_offset || t->season_time_offset)
		return {SML_READING_TIME_LOCAL_TIMESTAMP, *t->data.timestamp, t->local_offset ? *t->local_offset : int16_t{0},
			t->season_time_offset ? *t->season_time_offset : int16_t{0}};
	sml_reading_time_kind k = !t->tag ? SML_READING_TIME_OTHER
				  : *t->tag == SML_TIME_SEC_INDEX ? SML_READING_TIME_SEC_INDEX
				  : *t->tag == SML_TIME_TIMESTAMP ? SML_READING_TIME_TIMESTAMP
								  : SML_READING_TIME_OTHER;
	return {k, *t->data.sec_index, 0, 0};
}

inline void value_of(const sml_value *v, sml_reading &r) {
	if (!v)
		return;
	switch (v->type) {
	case 0x00: r.kind = SML_READING_BYTES; r.value.bytes = view(v->data.bytes); return;
	case 0x40: r.kind = SML_READING_BOOLEAN; r.value.boolean = *v->data.boolean != 0; return;
	case 0x51: r.kind = SML_READING_SIGNED; r.value.i64 = *v->data.int8; return;
	case 0x52: r.kind = SML_READING_SIGNED; r.value.i64 = *v->data.int16; return;
	case 0x54: r.kind = SML_READING_SIGNED; r.value.i64 = *v->data.int32; return;
	case 0x58: r.kind = SML_READING_SIGNED; r.value.i64 = *v->data.int64; return;
	case 0x61: r.kind = SML_READING_UNSIGNED; r.value.u64 = *v->data.uint8; return;
	case 0x62: r.kind = SML_READING_UNSIGNED; r.value.u64 = *v->data.uint16; return;
	case 0x64: r.kind = SML_READING_UNSIGNED; r.value.u64 = *v->data.uint32; return;
	case 0x68: r.kind = SML_READING_UNSIGNED; r.value.u64 = *v->data.uint64; return;
	case SML_VALUE_LIST:
		if (*v->data.list_type->tag == SML_LIST_TYPE_TIME) {
			r.kind = SML_READING_TIME;
			r.value.time = time_of(v->data.list_type->data.time);
		} else {
			r.kind = SML_READING_UNSUPPORTED;
		}
		return;
	}
}

// The entry's line; a list-typed value of tag 2 or 3 is shown from the
// tree's own record.
inline std::string entry_text(sml_reading r, const octet_string *name, const sml_unit *unit, const i8 *scaler,
			      const sml_value *value, const octet_string *signature) {
	r.name = view(name);
	if (unit) {
		r.unit = *unit;
		r.flags |= SML_READING_HAS_UNIT;
	}
	if (scaler) {
		r.scaler = *scaler;
		r.flags |= SML_READING_HAS_SCALER;
	}
	value_of(value, r);
	r.signature = view(signature);
	if (r.kind != SML_READING_UNSUPPORTED)
		return entry_line(r, value_text(r));
	const sml_list_type *lt = value->data.list_type;
	return entry_line(r, "list" + std::to_string(*lt->tag) + "(" +
				     hex(lt->data.encoded->str, static_cast<size_t>(lt->data.encoded->len)) + ")");
}

inline std::string context(unsigned message, uint32_t body, unsigned period, unsigned entry, const octet_string *server,
			   const octet_string *list_name, const sml_time *sensor) {
	sml_reading r{};
	r.message = message;
	r.body = body;
	r.period = period;
	r.entry = entry;
	r.server_id = view(server);
	r.list_name = view(list_name);
	r.sensor_time = time_of(sensor);
	std::string s = full_text(r);
	return s.substr(0, s.find(" | ") + 3);
}

// Every reading of a parsed file, in the form of full_text.
inline std::vector<std::string> readings(const sml_file *file) {
	std::vector<std::string> out;
	for (int m = 0; m < file->messages_len; m++) {
		const sml_message_body *body = file->messages[m]->message_body;
		if (!body || !body->tag || !body->data)
			continue;
		auto msg = static_cast<unsigned>(m);
		switch (*body->tag) {
		case SML_BODY_GET_LIST_RESPONSE: {
			auto *res = static_cast<const sml_get_list_response *>(body->data);
			unsigned i = 0;
			for (const sml_list_entry *e = res->val_list; e; e = e->next, i++) {
				sml_reading r{};
				if (e->status) {
					r.flags |= SML_READING_HAS_STATUS;
					switch (e->status->type) {
					case 0x61: r.status = *e->status->data.status8; break;
					case 0x62: r.status = *e->status->data.status16; break;
					case 0x64: r.status = *e->status->data.status32; break;
					default: r.status = *e->status->data.status64;
					}
				}
				r.val_time = time_of(e->val_time);
				out.push_back(context(msg, *body->tag, 0, i, res->server_id, res->list_name, res->act_sensor_time) +
					      entry_text(r, e->obj_name, e->unit, e->scaler, e->value, e->value_signature));
			}
			break;
		}
		case SML_BODY_GET_PROFILE_LIST_RESPONSE: {
			auto *res = static_cast<const sml_get_profile_list_response *>(body->data);
			sml_reading r{};
			if (res->status) {
				r.status = *res->status;
				r.flags |= SML_READING_HAS_STATUS;
			}
			r.val_time = time_of(res->val_time);
			for (int i = 0; i < res->period_list->elems_len; i++) {
				auto *e = static_cast<const sml_period_entry *>(res->period_list->elems[i]);
				if (e)
					out.push_back(context(msg, *body->tag, 0, static_cast<unsigned>(i), res->server_id, nullptr,
							      res->act_time) +
						      entry_text(r, e->obj_name, e->unit, e->scaler, e->value, e->value_signature));
			}
			break;
		}
		case SML_BODY_GET_PROFILE_PACK_RESPONSE: {
			auto *res = static_cast<const sml_get_profile_pack_response *>(body->data);
			for (int p = 0; p < res->period_list->elems_len; p++) {
				auto *period = static_cast<const sml_prof_obj_period_entry *>(res->period_list->elems[p]);
				sml_reading r{};
				if (period->status) {
					r.status = *period->status;
					r.flags |= SML_READING_HAS_STATUS;
				}
				r.val_time = time_of(period->val_time);
				for (int i = 0; i < period->value_list->elems_len; i++) {
					auto *v = static_cast<const sml_value_entry *>(period->value_list->elems[i]);
					auto *h = i < res->header_list->elems_len
							  ? static_cast<const sml_prof_obj_header_entry *>(res->header_list->elems[i])
							  : nullptr;
					out.push_back(context(msg, *body->tag, static_cast<unsigned>(p), static_cast<unsigned>(i),
							      res->server_id, nullptr, res->act_time) +
						      entry_text(r, h ? h->obj_name : nullptr, h ? h->unit : nullptr,
								 h ? h->scaler : nullptr, v->value, v->value_signature));
				}
			}
			break;
		}
		}
	}
	return out;
}

} // namespace tree
} // namespace test
