/* Stream decoder: finds SML transport frames in bytes that arrive in chunks
 * of any size (a serial line, a TCP gateway, MQTT payloads, a UART
 * interrupt, a test buffer) and hands out each file, unescaped.
 *
 *   1B1B1B1B 01010101 | escaped file | 00 x p | 1B1B1B1B 1A p | crc crc
 *
 * Escaping (transport version 1): the sender counts consecutive 1B bytes of
 * the file and after every fourth inserts 1B1B1B1B, at any byte offset. The
 * padding makes the end escape start on a 4-byte boundary counted from the
 * frame's first byte; the CRC covers every wire byte before it.
 *
 * Resynchronisation: a start sequence is recognised at any byte offset, also
 * after more than four 1B and also inside a frame, where it cuts the frame
 * short. A run of 1B inside a frame that escaping cannot have produced (4 to
 * 7 beyond a multiple of 8) ends in an escape: with 1A on a block boundary
 * it is the end block, with 01010101 a new start; on a block boundary
 * anything else is a bad escape. Off the boundary such a run is taken as
 * data, as senders that do not escape write it. A start sequence behind
 * eight 1B is escaped data to the frame around it, yet it may begin a frame
 * that one swallowed when its own end block was lost: the end escape and
 * the next start sequence make eight 1B. So a frame that fails is searched
 * for the first such start sequence that begins a frame intact within it
 * (its end block on its own grid, its CRC matching); that frame is handed
 * out after the drop of the bytes before it, and the rest is read again. A
 * frame that is intact on the wire is never lost because of what came
 * before it.
 *
 * Ownership and memory: the caller owns the sml_stream and the area, which
 * must outlive the decoder's use; the decoder allocates nothing. A frame
 * must fit the area whole as it stands on the wire (start sequence through
 * CRC); longer ones are dropped. The bytes an event points to live in the
 * area and are valid only during the callback.
 *
 * Threads: a decoder is used by one thread at a time; decoders share
 * nothing, so each thread may run its own. Callbacks run on the thread that
 * calls sml_stream_feed or sml_stream_finish and must not call either on the
 * same decoder. A callback returns 0 to go on, or non-zero to stop the call
 * that reported the event (see sml_stream_feed). */
#ifndef SML_STREAM_H
#define SML_STREAM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Which frame CRCs are accepted. */
typedef enum {
	/* X.25 or KERMIT, in either byte order: what meters are seen to send. */
	SML_STREAM_CRC_ANY = 0,
	/* Only X.25 as sml_transport_write writes it. */
	SML_STREAM_CRC_X25 = 1,
	/* Not checked at all. */
	SML_STREAM_CRC_NONE = 2
} sml_stream_crc_policy;

/* The CRC variant a frame's last two bytes matched. X25 is the value of
 * sml_crc16_calculate high byte first (the complemented FCS low byte
 * first, as sml_transport_write sends it); KERMIT is the CRC-16/KERMIT
 * value high byte first; the SWAPPED forms have the other byte order. */
typedef enum {
	SML_FRAME_CRC_UNCHECKED = 0,
	SML_FRAME_CRC_X25 = 1,
	SML_FRAME_CRC_X25_SWAPPED = 2,
	SML_FRAME_CRC_KERMIT = 3,
	SML_FRAME_CRC_KERMIT_SWAPPED = 4
} sml_frame_crc;

typedef struct {
	/* The SML file, escapes taken out and padding dropped: what
	 * sml_file_parse takes. */
	const unsigned char *file;
	size_t file_len;
	/* The whole frame with escapes taken out: start sequence, file,
	 * padding, and the 8-byte end block as received (its CRC covers the
	 * wire bytes, which differ from these where the file was escaped). */
	const unsigned char *frame;
	size_t frame_len;
	/* Length on the wire, start sequence through CRC. */
	size_t wire_len;
	/* Stream position of the frame's first byte: bytes fed before it since
	 * sml_stream_init or the last sml_stream_finish. */
	uint64_t offset;
	sml_frame_crc crc;
} sml_stream_frame;

/* Why bytes were dropped. Every byte fed ends up in exactly one frame or
 * one drop, in stream order. A failed frame is one drop of its own bytes,
 * reported as soon as it fails: with the last byte of its end block (bad
 * CRC, bad padding), with the byte that breaks an escape (bad escape; a 1B
 * there is left to the start sequence it may begin), at the start sequence
 * that cuts it short, at sml_stream_finish. What follows a failed frame up
 * to the next start sequence is noise, a drop of its own. Two drops come
 * later: when a failed frame's end block ends in 1B, which may be the start
 * of the next frame, its drop waits for up to seven more bytes to tell; and
 * a frame too long for the area takes in the rest of its bytes, up to the
 * next start sequence that its own escaping does not explain, or up to an
 * intact frame beginning at one that it does. */
typedef enum {
	/* Bytes outside any frame: line noise, or a frame whose start sequence
	 * was damaged. */
	SML_STREAM_NOISE = 1,
	/* A frame interrupted by a new start sequence. */
	SML_STREAM_CUT_SHORT = 2,
	/* A complete frame whose CRC does not match under the policy. */
	SML_STREAM_BAD_CRC = 3,
	/* An escape sequence on a block boundary followed by neither 1A nor
	 * 01010101. */
	SML_STREAM_BAD_ESCAPE = 4,
	/* A padding count larger than the payload, or padding that is not
	 * zero bytes. */
	SML_STREAM_BAD_PADDING = 5,
	/* A frame that does not fit the area. */
	SML_STREAM_TOO_LONG = 6,
	/* A frame still open at sml_stream_finish. */
	SML_STREAM_UNFINISHED = 7
} sml_stream_drop_reason;

typedef struct {
	sml_stream_drop_reason reason;
	uint64_t count;
	/* Stream position of the first dropped byte. */
	uint64_t offset;
} sml_stream_drop;

/* Each returns 0 to go on decoding, non-zero to stop. */
typedef int (*sml_stream_frame_fn)(const sml_stream_frame *frame, void *ctx);
typedef int (*sml_stream_drop_fn)(const sml_stream_drop *drop, void *ctx);

/* The decoder's state, owned by the caller (on the stack, in a struct, as a
 * static). Every field is private: set by sml_stream_init and changed only
 * by the functions below. The fields may change from one version to the
 * next; the size of the struct does not change within a major version (new
 * state goes into the reserved words), so code compiled against an older
 * header of the same major version still gives the decoder room enough. */
typedef struct {
	unsigned char *area;
	size_t area_len;
	sml_stream_frame_fn on_frame;
	sml_stream_drop_fn on_drop;
	void *ctx;
	int crc_policy;
	int mode;
	unsigned hunt_ones;
	unsigned hunt_run;
	unsigned sub;
	int escaped;
	int dropping;
	size_t stored;
	size_t run;
	size_t esc;
	size_t replay_begin;
	size_t replay_end;
	uint64_t pos;
	uint64_t frame_start;
	uint64_t noise_start;
	uint64_t drop_end;
	uint64_t reserved[7];
} sml_stream;

/* Prepares s for a new stream. area (area_len bytes, at least 16 to take
 * the shortest frame) is the decoder's working area. Either callback may be
 * NULL; ctx is passed to both. The CRC policy starts as SML_STREAM_CRC_ANY. */
void sml_stream_init(sml_stream *s, unsigned char *area, size_t area_len, sml_stream_frame_fn on_frame,
		     sml_stream_drop_fn on_drop, void *ctx);

/* 0, or -1 for a value that is no sml_stream_crc_policy (the policy then
 * stays as it was). */
int sml_stream_set_crc_policy(sml_stream *s, sml_stream_crc_policy policy);

/* Takes the next len bytes of the stream. Frames and drops are reported as
 * soon as they are certain, in stream order; the events are the same
 * however the stream is cut into chunks.
 * Returns the number of bytes taken: len, unless a callback returned
 * non-zero. Then it returns at once, having taken the bytes up to the one
 * that made that event certain (fewer than len, or len when it was the
 * last byte); the
 * bytes not taken are the caller's to feed again, and the decoder goes on
 * where it stopped, with no event lost or repeated. Events found in bytes
 * already taken (frames inside a failed one) may still be pending after a
 * stop: the next call, also with len 0, reports them first. */
size_t sml_stream_feed(sml_stream *s, const unsigned char *bytes, size_t len);

/* The stream has ended: reports what is still pending, an unfinished frame
 * (re-examined for frames inside it first) and trailing noise, then starts a
 * new stream, its positions counted from 0. Returns 0, or 1 when a callback
 * stopped it; the events it had yet to report are then dropped unreported,
 * and the new stream starts all the same. */
int sml_stream_finish(sml_stream *s);

/* A short English text for a drop reason ("bad CRC", ...); never NULL. */
const char *sml_stream_drop_text(sml_stream_drop_reason reason);

#ifdef __cplusplus
}
#endif

#endif
