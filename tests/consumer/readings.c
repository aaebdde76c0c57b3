/* A C program that takes the readings of an SML file with sml_readings and
 * the cursor, and of a capture with sml_capture_readings, as a data logger
 * would, against the installed library. */
#include <sml/sml_capture.h>
#include <sml/sml_reading.h>
#include <sml/sml_units.h>

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

/* One message holding a GetList response with three entries: energy 987 at
 * -1 in Wh with a status, power -5 in W with a local timestamp, and a value
 * whose list-typed time the logger does not read. */
static const unsigned char file[] = {
	0x76, 0x01, 0x62, 0x00, 0x62, 0x00, 0x72, 0x63, 0x07, 0x01,
	0x77, 0x01, 0x03, 0x01, 0x02, 0x01, 0x01, 0x73,
	0x77, 0x07, 0x01, 0x00, 0x01, 0x08, 0x00, 0xFF, 0x62, 0x08, 0x01, 0x62, 0x1E, 0x52, 0xFF, 0x63, 0x03, 0xDB, 0x01,
	0x77, 0x07, 0x01, 0x00, 0x10, 0x07, 0x00, 0xFF, 0x01,
	0x72, 0x62, 0x03, 0x73, 0x65, 0x00, 0x00, 0x0E, 0x10, 0x53, 0x00, 0x3C, 0x53, 0x00, 0x00,
	0x62, 0x1B, 0x52, 0x00, 0x52, 0xFB, 0x01,
	0x77, 0x07, 0x81, 0x00, 0x60, 0x08, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01,
	0x72, 0x62, 0x01, 0x72, 0x62, 0x01, 0x65, 0x00, 0x00, 0x00, 0x2A, 0x01,
	0x01, 0x01, 0x01, 0x00,
};

/* A transport frame around a GetList response of one entry, energy 987 at
 * -1 in Wh, behind two bytes of line noise. */
static const unsigned char capture[] = {
	0xAA, 0xBB,
	0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01,
	0x76, 0x01, 0x62, 0x00, 0x62, 0x00, 0x72, 0x63, 0x07, 0x01, 0x77, 0x01, 0x03, 0x01, 0x02, 0x01, 0x01, 0x71,
	0x77, 0x07, 0x01, 0x00, 0x01, 0x08, 0x00, 0xFF, 0x01, 0x01, 0x62, 0x1E, 0x52, 0xFF, 0x63, 0x03, 0xDB, 0x01,
	0x01, 0x01, 0x01, 0x00,
	0x1B, 0x1B, 0x1B, 0x1B, 0x1A, 0x00, 0x8F, 0x46,
};

static int energy_of_capture(const sml_reading *r, const sml_stream_frame *frame, void *ctx) {
	if (r->reason == SML_READING_OK && r->kind == SML_READING_UNSIGNED && frame->offset == 2)
		*(uint64_t *)ctx = r->value.u64;
	return 0;
}

static char lines[3][96];

static int log_reading(const sml_reading *r, void *ctx) {
	int *n = ctx;
	char *line = lines[*n % 3];
	int len = snprintf(line, sizeof lines[0], "%d-%d:%d.%d.%d*%d", r->obis[0], r->obis[1], r->obis[2], r->obis[3],
			   r->obis[4], r->obis[5]);
	const char *unit = r->flags & SML_READING_HAS_UNIT ? sml_unit_symbol(r->unit) : NULL;
	if (r->kind == SML_READING_UNSIGNED)
		len += snprintf(line + len, sizeof lines[0] - (size_t)len, " %" PRIu64 "e%d %s", r->value.u64, r->scaler, unit);
	else if (r->kind == SML_READING_SIGNED)
		len += snprintf(line + len, sizeof lines[0] - (size_t)len, " %" PRId64 "e%d %s", r->value.i64, r->scaler, unit);
	else if (r->kind == SML_READING_TIME)
		len += snprintf(line + len, sizeof lines[0] - (size_t)len, " time %" PRIu32, r->value.time.seconds);
	if (r->val_time.kind == SML_READING_TIME_LOCAL_TIMESTAMP)
		snprintf(line + len, sizeof lines[0] - (size_t)len, " at %" PRIu32 "%+d", r->val_time.seconds,
			 r->val_time.local_offset);
	(*n)++;
	return 0;
}

int main(void) {
	int n = 0;
	int result = sml_readings(file, sizeof file, log_reading, &n);
	int ok = result == 3 && n == 3 && strcmp(lines[0], "1-0:1.8.0*255 987e-1 Wh") == 0 &&
		 strcmp(lines[1], "1-0:16.7.0*255 -5e0 W at 3600+60") == 0 &&
		 strcmp(lines[2], "129-0:96.8.0*1 time 42") == 0;

	sml_reading_cursor cursor;
	sml_reading r;
	int pulled = 0;
	sml_reading_cursor_init(&cursor, file, sizeof file);
	while (sml_reading_next(&cursor, &r) == 1)
		pulled += r.reason == SML_READING_OK;
	ok = ok && pulled == 3;

	static const unsigned char frame[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	ok = ok && sml_readings(frame, sizeof frame, log_reading, &n) == SML_READINGS_TRANSPORT_FRAME;

	unsigned char area[64];
	uint64_t energy = 0;
	ok = ok && sml_capture_readings(capture, sizeof capture, area, sizeof area, energy_of_capture, NULL, &energy) == 1 &&
	     energy == 987;

	for (int i = 0; i < 3; i++)
		puts(lines[i]);
	puts(ok ? "readings consumer ok" : "readings consumer FAILED");
	return ok ? 0 : 1;
}
