/* From a capture to readings in one call. A capture is bytes holding one or
 * more SML transport frames as they came over the line: a file saved from a
 * serial port, an MQTT payload, a gateway's buffer, with noise or damaged
 * frames around them. sml_capture_readings finds every good frame with the
 * stream decoder (sml_stream.h, CRC policy SML_STREAM_CRC_ANY) and walks the
 * file of each as sml_readings does (sml_reading.h), handing every reading
 * to a callback together with the frame it came from.
 *
 *   static int on_reading(const sml_reading *r, const sml_stream_frame *f, void *ctx) { ...; return 0; }
 *
 *   unsigned char area[4096];   (the longest frame taken)
 *   int n = sml_capture_readings(bytes, len, area, sizeof area, on_reading, NULL, my_context);
 *
 * Ownership: the caller owns the bytes and the area, and keeps both for the
 * call. The frame and the reading handed to on_reading, and every view in
 * them, point into the area or the call's own state and are valid only
 * during that call of on_reading; what the area holds afterwards is
 * unspecified.
 * Allocation: none. A frame must fit the area whole as it stands on the
 * wire, start sequence through CRC; longer ones are dropped (on_drop gets
 * SML_STREAM_TOO_LONG). An area as long as the capture always suffices. The
 * call's own state, a decoder and a walk, takes under 1 KiB of stack.
 * Threads: no global state. Any thread may call it, several at once with
 * areas of their own; the callbacks run on the calling thread. */
#ifndef SML_CAPTURE_H
#define SML_CAPTURE_H

#include <stddef.h>

#include <sml/sml_reading.h>
#include <sml/sml_stream.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One reading of a good frame, in capture order. reading->offset and every
 * offset in it count from the frame's file (frame->file), as sml_readings
 * counts them; frame->offset is where the frame began in the capture.
 * Returns 0 to go on, non-zero to stop the whole call. */
typedef int (*sml_capture_reading_fn)(const sml_reading *reading, const sml_stream_frame *frame, void *ctx);

/* Results of a call that found nothing to read. */
#define SML_CAPTURE_NO_INPUT (-1) /* on_reading NULL, bytes NULL with len > 0, or
				     area NULL with area_len > 0 */
#define SML_CAPTURE_NO_FRAME (-2) /* no good frame in the bytes (before a stop) */

/* Reads the capture: calls on_reading for every reading of every good frame
 * (readable and unreadable alike, as sml_readings hands them), and on_drop,
 * when not NULL, for every run of bytes in no good frame, with the stream
 * decoder's reason and the bytes' place in the capture. A good frame whose
 * file opens no SML message gives one reading with reason
 * SML_READING_BROKEN at the offset of the file's first byte that is not
 * zero, as a file whose structure breaks there would. ctx is passed to both
 * callbacks; either returning non-zero ends the call at once.
 * Returns the number of calls of on_reading (0 for good frames without
 * readings) once at least one good frame was found, else
 * SML_CAPTURE_NO_FRAME; SML_CAPTURE_NO_INPUT, calling nothing, for the
 * arguments it names. */
int sml_capture_readings(const unsigned char *bytes, size_t len, unsigned char *area, size_t area_len,
			 sml_capture_reading_fn on_reading, sml_stream_drop_fn on_drop, void *ctx);

#ifdef __cplusplus
}
#endif

#endif
