/* obisdump's handling of one received SML file: the summary and one line per
 * GetList reading as text, or every reading as one JSON object per line.
 * obisdump's main and its fuzz target both print through it. */
#ifndef ZELKOR_EXAMPLES_OBISDUMP_PRINT_H
#define ZELKOR_EXAMPLES_OBISDUMP_PRINT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
	/* Summary, "OBIS data", then A-B:C.D.E*F#value#unit for every GetList
	 * reading, numbers rounded to one decimal: what scripts have always
	 * parsed. */
	OBISDUMP_TEXT = 0,
	/* The same, numbers as the exact decimal of integer and scaler. */
	OBISDUMP_EXACT,
	/* One JSON object per reading (GetList and profiles), one per line. */
	OBISDUMP_JSON
} obisdump_format;

/* Prints the SML file of len bytes at file: a frame's bytes between its
 * start sequence and its end block, padding included. Readings go to out,
 * obisdump's diagnostics to err (the library's own go to its diagnostic
 * handler); out is flushed once, at the end. received_ms is when the frame
 * arrived, in milliseconds since 1970 UTC, for JSON's "received".
 *
 * Reads the bytes only. The text formats allocate the file's tree for the
 * summary and release it before returning; JSON allocates nothing. One
 * thread at a time per pair of streams. */
void obisdump_print_file(const unsigned char *file, size_t len, obisdump_format format, int64_t received_ms,
			 FILE *out, FILE *err);

#ifdef __cplusplus
}
#endif

#endif
