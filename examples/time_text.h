/* Times as obisdump and zelkor-mqtt write them: a count of seconds as a
 * number, a point in time as ISO 8601. */
#ifndef ZELKOR_EXAMPLES_TIME_TEXT_H
#define ZELKOR_EXAMPLES_TIME_TEXT_H

#include <stdbool.h>
#include <stdint.h>

#include <sml/sml_reading.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "2023-11-14T23:13:20.412+01:00" and the like: offsets stay within 23:59,
 * and a time no gmtime takes is written as its number. */
enum { TIME_TEXT_CHARS = 48 };

typedef enum {
	TIME_TEXT_NONE,
	TIME_TEXT_SECONDS, /* a number of seconds */
	TIME_TEXT_ISO,     /* ISO 8601 */
	TIME_TEXT_ISO_UTC  /* ISO 8601 in UTC, for a local timestamp whose
			      offsets no ISO 8601 offset can carry */
} time_text_form;

/* Seconds since 1970 as ISO 8601: in UTC with "Z", or shifted by a local
 * offset in minutes (within 23:59) and written with it; millis >= 0 adds
 * milliseconds. */
void time_text_iso(char text[TIME_TEXT_CHARS], int64_t seconds, int millis, bool local, int offset);

/* A reading's time: a sec index (or a number under no tag) is a count of
 * seconds and stays a number; timestamps are points in time. Writes "" for
 * no time. */
time_text_form time_text(char text[TIME_TEXT_CHARS], const sml_reading_time *t);

#ifdef __cplusplus
}
#endif

#endif
