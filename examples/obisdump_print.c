/* obisdump's printing of one SML file. The summary comes from the file's
 * tree; the readings come from sml_readings, which reads around an entry it
 * cannot read instead of giving up on the rest of the file. */
#define _DEFAULT_SOURCE

#include "obisdump_print.h"

#include <inttypes.h>
#include <math.h>
#include <stdbool.h>
#include <string.h>

#include <sml/sml_file.h>
#include <sml/sml_obis.h>
#include <sml/sml_reading.h>

#include "time_text.h"
#include "unit.h"

/* The longest exact decimal: a sign, 20 digits, "0." and 128 decimals (a
 * scaler of -128), or 20 digits and 127 zeros. */
enum { DECIMAL_CHARS = 1 + 20 + 2 + 128 + 1 };

typedef struct {
	obisdump_format format;
	FILE *out;
	FILE *err;
	char received[TIME_TEXT_CHARS];
} printer;

/* What sml_file_print writes, to out instead of stdout. The byte count is
 * where the file parser stopped, trailing padding included. */
static void print_summary(const unsigned char *file, size_t len, FILE *out, FILE *err) {
	sml_file *tree = sml_file_parse(file, len);
	if (tree) {
		fprintf(out, "SML file (%d SML messages, %zu bytes)\n", tree->messages_len, tree->buf->cursor);
		for (int i = 0; i < tree->messages_len; i++) {
			const sml_message_body *body = tree->messages[i]->message_body;
			fprintf(out, "SML message %4.X\n", body && body->tag ? *body->tag : 0u);
		}
		sml_file_free(tree);
	} else {
		/* The readings below need no memory: only the summary is lost. */
		fputs("obisdump: warning: out of memory, no summary of this file\n", err);
	}
	fputs("OBIS data\n", out);
}

/* magnitude times ten to the scaler, without floating point: exactly
 * max(0, -scaler) decimals; a positive scaler appends zeros. 987 at -3 is
 * "0.987", 1234500 at -1 "123450.0", 5 at 2 "500". */
static void exact_decimal(char text[DECIMAL_CHARS], uint64_t magnitude, bool negative, int scaler) {
	char digits[21];
	size_t n = (size_t)snprintf(digits, sizeof digits, "%" PRIu64, magnitude);
	size_t decimals = scaler < 0 ? (size_t)-scaler : 0;
	size_t zeros = scaler > 0 && magnitude != 0 ? (size_t)scaler : 0;
	char *out = text;
	if (negative && magnitude != 0)
		*out++ = '-';
	if (n > decimals) {
		memcpy(out, digits, n - decimals);
		out += n - decimals;
	} else {
		*out++ = '0';
	}
	memset(out, '0', zeros);
	out += zeros;
	if (decimals) {
		*out++ = '.';
		if (decimals > n) {
			memset(out, '0', decimals - n);
			out += decimals - n;
		}
		size_t tail = n < decimals ? n : decimals;
		memcpy(out, digits + n - tail, tail);
		out += tail;
	}
	*out = '\0';
}

/* An integer reading scaled by its scaler (none counts as 0): exact, or
 * as obisdump has always printed it, through a double to one decimal. */
static void number_text(char text[DECIMAL_CHARS], const sml_reading *r, bool exact) {
	int scaler = r->flags & SML_READING_HAS_SCALER ? r->scaler : 0;
	bool negative = r->kind == SML_READING_SIGNED && r->value.i64 < 0;
	if (exact) {
		/* The magnitude of the most negative number does not fit in int64_t. */
		uint64_t magnitude = r->kind == SML_READING_UNSIGNED ? r->value.u64
					: negative ? UINT64_C(0) - (uint64_t)r->value.i64
						   : (uint64_t)r->value.i64;
		exact_decimal(text, magnitude, negative, scaler);
		return;
	}
	double number = r->kind == SML_READING_UNSIGNED ? (double)r->value.u64 : (double)r->value.i64;
	snprintf(text, DECIMAL_CHARS, "%.1f", pow(10, scaler) * number);
}

/* Bytes as hexadecimal groups "0a 01 "; with mixed, the printable bytes
 * before the first that is not are written as text, as the library's
 * sml_value_to_strhex writes an octet string. */
static void print_hex_groups(FILE *out, sml_bytes b, bool mixed) {
	size_t i = 0;
	if (mixed)
		for (; i < b.len && b.data[i] >= 0x21 && b.data[i] <= 0x7A; i++)
			fputc(b.data[i], out);
	for (; i < b.len; i++)
		fprintf(out, "%02x ", b.data[i]);
}

/* A name of exactly six bytes is an OBIS code; any other length is not, and
 * reading its first six as one would name a register the meter never sent. */
static bool is_obis(const sml_reading *r) { return (r->flags & SML_READING_HAS_OBIS) != 0; }

static void print_text(const printer *p, const sml_reading *r) {
	FILE *out = p->out;
	if (is_obis(r)) {
		const unsigned char *o = r->obis;
		fprintf(out, "%d-%d:%d.%d.%d*%d#", o[0], o[1], o[2], o[3], o[4], o[5]);
	} else {
		for (size_t i = 0; i < r->name.len; i++)
			fprintf(out, "%02x", r->name.data[i]);
		fputc('#', out);
	}
	char text[DECIMAL_CHARS];
	switch (r->kind) {
	case SML_READING_SIGNED:
	case SML_READING_UNSIGNED: {
		number_text(text, r, p->format == OBISDUMP_EXACT);
		const char *unit = r->flags & SML_READING_HAS_UNIT ? dlms_get_unit(r->unit) : NULL;
		fprintf(out, "%s#%s\n", text, unit ? unit : "");
		return;
	}
	case SML_READING_BOOLEAN:
		fputs(r->value.boolean ? "true" : "false", out);
		break;
	case SML_READING_BYTES:
		print_hex_groups(out, r->value.bytes, true);
		break;
	case SML_READING_TIME:
		time_text(text, &r->value.time);
		fputs(text, out);
		break;
	case SML_READING_UNSUPPORTED:
		print_hex_groups(out, r->value.bytes, false);
		break;
	case SML_READING_NONE:
		break;
	}
	fputs("#\n", out);
}

/* A JSON string of UTF-8 text. */
static void json_string(FILE *out, const char *s) {
	fputc('"', out);
	for (; *s; s++) {
		unsigned char c = (unsigned char)*s;
		if (c == '"' || c == '\\')
			fprintf(out, "\\%c", c);
		else if (c < 0x20)
			fprintf(out, "\\u%04x", c);
		else
			fputc(c, out);
	}
	fputc('"', out);
}

static void json_hex(FILE *out, sml_bytes b) {
	fputc('"', out);
	for (size_t i = 0; i < b.len; i++)
		fprintf(out, "%02x", b.data[i]);
	fputc('"', out);
}

static void json_key(FILE *out, const char *key, bool *first) {
	fprintf(out, "%s\"%s\":", *first ? "{" : ",", key);
	*first = false;
}

/* The keys of one time: seconds go under their own key where a count of
 * seconds could be taken for a Unix time. */
typedef struct {
	const char *seconds, *iso, *local_offset, *season_offset;
} time_keys;

static const time_keys value_keys = {"value", "value", "value_local_offset", "value_season_offset"};
static const time_keys meter_keys = {"meter_seconds", "meter_time", "meter_local_offset", "meter_season_offset"};

/* A time as JSON: a number of seconds, or an ISO 8601 string; a local time
 * given in UTC keeps the meter's offsets, in minutes, beside it. */
static void json_time(FILE *out, const time_keys *keys, const sml_reading_time *t, bool *first) {
	char text[TIME_TEXT_CHARS];
	time_text_form form = time_text(text, t);
	switch (form) {
	case TIME_TEXT_NONE:
		return;
	case TIME_TEXT_SECONDS:
		json_key(out, keys->seconds, first);
		fputs(text, out);
		return;
	case TIME_TEXT_ISO:
	case TIME_TEXT_ISO_UTC:
		json_key(out, keys->iso, first);
		json_string(out, text);
		break;
	}
	if (form == TIME_TEXT_ISO_UTC) {
		json_key(out, keys->local_offset, first);
		fprintf(out, "%d", t->local_offset);
		json_key(out, keys->season_offset, first);
		fprintf(out, "%d", t->season_time_offset);
	}
}

static void print_json(const printer *p, const sml_reading *r) {
	FILE *out = p->out;
	bool first = true;
	char text[DECIMAL_CHARS];
	if (is_obis(r)) {
		const unsigned char *o = r->obis;
		snprintf(text, sizeof text, "%d-%d:%d.%d.%d*%d", o[0], o[1], o[2], o[3], o[4], o[5]);
		json_key(out, "obis", &first);
		json_string(out, text);
		const char *name = sml_obis_name(r->obis, sizeof r->obis);
		if (name) {
			json_key(out, "name", &first);
			json_string(out, name);
		}
	} else {
		json_key(out, "name_hex", &first);
		json_hex(out, r->name);
	}

	switch (r->kind) {
	case SML_READING_SIGNED:
	case SML_READING_UNSIGNED:
		number_text(text, r, true);
		json_key(out, "value", &first);
		fputs(text, out);
		break;
	case SML_READING_BOOLEAN:
		json_key(out, "value", &first);
		fputs(r->value.boolean ? "true" : "false", out);
		break;
	case SML_READING_BYTES:
	case SML_READING_UNSUPPORTED:
		json_key(out, "value", &first);
		json_hex(out, r->value.bytes);
		break;
	case SML_READING_TIME:
		json_time(out, &value_keys, &r->value.time, &first);
		break;
	case SML_READING_NONE:
		break;
	}

	if (r->flags & SML_READING_HAS_UNIT) {
		/* "(reserved)", "(other)" and "(unitless)" name no unit. */
		const char *unit = r->unit < 253 ? dlms_get_unit(r->unit) : NULL;
		if (unit) {
			json_key(out, "unit", &first);
			json_string(out, unit);
		}
		json_key(out, "unit_code", &first);
		fprintf(out, "%u", r->unit);
	}
	if (r->flags & SML_READING_HAS_STATUS) {
		json_key(out, "status", &first);
		fprintf(out, "%" PRIu64, r->status);
	}
	/* The entry's own time, else the time of the meter's sensor when it
	 * answered. */
	json_time(out, &meter_keys, r->val_time.kind != SML_READING_TIME_NONE ? &r->val_time : &r->sensor_time,
		  &first);
	if (r->server_id.data) {
		json_key(out, "server_id", &first);
		json_hex(out, r->server_id);
	}
	json_key(out, "received", &first);
	json_string(out, p->received);
	fputs("}\n", out);
}

static void warn_unreadable(FILE *err, const sml_reading *r) {
	const char *what = "entry", *why = NULL;
	switch (r->reason) {
	case SML_READING_OK: return;
	case SML_READING_BAD_ENTRY: why = "is not a list of an entry's fields"; break;
	case SML_READING_BAD_OBJ_NAME: why = "has an unreadable name"; break;
	case SML_READING_BAD_STATUS: why = "has an unreadable status"; break;
	case SML_READING_BAD_VAL_TIME: why = "has an unreadable time"; break;
	case SML_READING_BAD_UNIT: why = "has an unreadable unit"; break;
	case SML_READING_BAD_SCALER: why = "has an unreadable scaler"; break;
	case SML_READING_BAD_VALUE: why = "has an unreadable value"; break;
	case SML_READING_BAD_SIGNATURE: why = "has an unreadable value signature"; break;
	case SML_READING_BAD_PERIOD: what = "profile period", why = "is unreadable"; break;
	case SML_READING_BAD_RESPONSE: what = "response", why = "has unreadable fields before its entries"; break;
	case SML_READING_BROKEN:
		fprintf(err, "obisdump: warning: the file is unreadable from byte %zu on, skipped\n", r->offset);
		return;
	}
	fprintf(err, "obisdump: warning: %s at byte %zu of the file %s, skipped\n", what, r->offset, why);
}

/* The text formats show GetList readings only, as they always have. */
static bool shown(const printer *p, const sml_reading *r) {
	return p->format == OBISDUMP_JSON || r->body == SML_BODY_GET_LIST_RESPONSE;
}

static int on_reading(const sml_reading *r, void *ctx) {
	const printer *p = ctx;
	if (r->reason != SML_READING_OK) {
		if (r->reason == SML_READING_BROKEN || shown(p, r))
			warn_unreadable(p->err, r);
		return 0;
	}
	if (!shown(p, r))
		return 0;
	if (r->kind == SML_READING_NONE) {
		fputs("Error in data stream. entry->value should not be NULL. Skipping this.\n", p->err);
		return 0;
	}
	if (!r->name.data) {
		fputs("Error in data stream. entry->obj_name should hold six bytes. Skipping this.\n", p->err);
		return 0;
	}
	if (p->format == OBISDUMP_JSON)
		print_json(p, r);
	else
		print_text(p, r);
	return 0;
}

void obisdump_print_file(const unsigned char *file, size_t len, obisdump_format format, int64_t received_ms,
			 FILE *out, FILE *err) {
	static const unsigned char nothing[1] = {0};
	if (!file) {
		file = nothing;
		len = 0;
	}
	printer p = {format, out, err, ""};
	if (format == OBISDUMP_JSON) {
		int64_t millis = received_ms % 1000;
		millis += millis < 0 ? 1000 : 0;
		time_text_iso(p.received, (received_ms - millis) / 1000, (int)millis, false, 0);
	} else {
		print_summary(file, len, out, err);
	}
	/* No SML file here, or one that begins with a transport frame of its own. */
	if (sml_readings(file, len, on_reading, &p) < 0) {
		sml_reading where = {0};
		while (where.offset < len && file[where.offset] == 0)
			where.offset++;
		where.reason = SML_READING_BROKEN;
		warn_unreadable(err, &where);
	}
	/* Once per file: replays run fast, live readings still appear at once. */
	fflush(out);
}
