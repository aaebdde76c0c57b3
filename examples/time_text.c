/* Reading times as text, shared by obisdump and zelkor-mqtt. */
#define _DEFAULT_SOURCE

#include "time_text.h"

#include <inttypes.h>
#include <stdio.h>
#include <time.h>

/* ISO 8601 offsets go to 23:59 either way. */
enum { OFFSET_MINUTES_MAX = 24 * 60 - 1 };

void time_text_iso(char text[TIME_TEXT_CHARS], int64_t seconds, int millis, bool local, int offset) {
	time_t t = (time_t)(seconds + (local ? (int64_t)offset * 60 : 0));
	struct tm tm;
	if (!gmtime_r(&t, &tm)) {
		snprintf(text, TIME_TEXT_CHARS, "%" PRId64, seconds);
		return;
	}
	size_t n = strftime(text, TIME_TEXT_CHARS, "%Y-%m-%dT%H:%M:%S", &tm);
	if (millis >= 0)
		n += (size_t)snprintf(text + n, TIME_TEXT_CHARS - n, ".%03d", millis);
	if (!local) {
		snprintf(text + n, TIME_TEXT_CHARS - n, "Z");
		return;
	}
	int minutes = offset < 0 ? -offset : offset;
	snprintf(text + n, TIME_TEXT_CHARS - n, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

time_text_form time_text(char text[TIME_TEXT_CHARS], const sml_reading_time *t) {
	switch (t->kind) {
	case SML_READING_TIME_SEC_INDEX:
	case SML_READING_TIME_OTHER:
		snprintf(text, TIME_TEXT_CHARS, "%" PRIu32, t->seconds);
		return TIME_TEXT_SECONDS;
	case SML_READING_TIME_TIMESTAMP:
		time_text_iso(text, t->seconds, -1, false, 0);
		return TIME_TEXT_ISO;
	case SML_READING_TIME_LOCAL_TIMESTAMP: {
		int offset = t->local_offset + t->season_time_offset;
		bool fits = offset >= -OFFSET_MINUTES_MAX && offset <= OFFSET_MINUTES_MAX;
		time_text_iso(text, t->seconds, -1, fits, offset);
		return fits ? TIME_TEXT_ISO : TIME_TEXT_ISO_UTC;
	}
	case SML_READING_TIME_NONE:
		break;
	}
	text[0] = '\0';
	return TIME_TEXT_NONE;
}
