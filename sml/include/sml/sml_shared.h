/* The byte buffer every codec reads and writes through, SML type-length
 * fields, the optional marker and the library's fixed-width integer names.
 *
 * Ownership: a buffer owns its byte area and its error_msg; both are released
 * by sml_buffer_free. Records of this library are plain heap structs: whatever
 * an _init or _parse returns belongs to the caller until it is stored in a
 * parent record, a parent owns everything its fields point to, and every _free
 * releases the whole subtree and accepts NULL.
 *
 * Out of memory: every _init returns NULL; a _parse fails as on bad input
 * (error flag set, NULL, nothing leaked); a writer that cannot grow the
 * buffer writes nothing more of the element and sets the error flag, so the
 * bytes are not whole and the cursor never passes the end of the area. An
 * operation that takes ownership of a record it cannot store (the _add
 * functions) releases it. No function of the library throws. */
#ifndef SML_SHARED_H
#define SML_SHARED_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int8_t i8;
typedef int16_t i16;
typedef int32_t i32;
typedef int64_t i64;

#define SML_MESSAGE_END 0x0
#define SML_END_OF_MESSAGE 0x00

#define SML_TL_MORE 0x80
#define SML_TL_LENGTH_MASK 0x0F

#define SML_TL_OCTET_STRING 0x00
#define SML_TL_BOOLEAN 0x40
#define SML_TL_INTEGER 0x50
#define SML_TL_UNSIGNED 0x60
/* Also the mask that takes the type bits out of a type-length byte. */
#define SML_TL_LIST 0x70

/* Stands in the place of an absent element; read as a type-length field it
 * is an empty octet string, so the two are the same byte on the wire. */
#define SML_OPTIONAL_SKIPPED 0x01

typedef struct {
	unsigned char *buffer;
	/* Parsing: the number of valid bytes. Writing: the capacity, which the
	 * writers grow (zero-filled) whenever they need more room. */
	size_t buffer_len;
	/* Next byte to read or write; in a write buffer the bytes written. */
	size_t cursor;
	/* Sticky: set to 1 by the first parser that rejects its input, or by a
	 * writer that could not grow the area. */
	int error;
	/* Owned; never set by the library. */
	char *error_msg;
} sml_buffer;

/* NULL when out of memory. */
sml_buffer *sml_buffer_init(size_t length);
void sml_buffer_free(sml_buffer *buf);

/* At or past the end of the bytes these read 0x00, a byte that no element
 * parser accepts, so a parse that runs off the end fails by the error flag. */
unsigned char sml_buf_get_current_byte(sml_buffer *buf);
unsigned char *sml_buf_get_current_buf(sml_buffer *buf);
void sml_buf_update_bytes_read(sml_buffer *buf, int bytes);
int sml_buf_get_next_type(sml_buffer *buf);
/* A type-length field that the end of the bytes cuts off (its last byte
 * still announces another), or whose length value is 2^31 or more, sets the
 * error flag: its length is unknown, and a list count that large would read
 * below zero, as an empty list. */
int sml_buf_get_next_length(sml_buffer *buf);
void sml_buf_set_type_and_length(sml_buffer *buf, unsigned int type, unsigned int l);
int sml_buf_has_errors(sml_buffer *buf);
/* Never finds the marker at or past the end of the bytes. */
int sml_buf_optional_is_skipped(sml_buffer *buf);
void sml_buf_optional_write(sml_buffer *buf);

/* Makes room for n more bytes at the cursor, growing the byte area
 * (zero-filled) when needed; buffer_len follows the new capacity. Every
 * writer of the library calls it, and callers that copy content in through
 * sml_buf_get_current_buf should too. When the area cannot grow it stays as
 * it was and the error flag is set: there is room only if cursor + n is
 * still at most buffer_len. */
void sml_buf_reserve(sml_buffer *buf, size_t n);

/* Diagnostics: every warning and error line the library writes ("zelkor:
 * error: ...", "zelkor: warning: ...", "zelkor: NYI: ...") goes to fn, without
 * its trailing newline, together with ctx. The default handler writes the
 * line and a newline to stderr; a NULL fn restores it, and a handler that
 * does nothing silences the library.
 *
 * The handler is process-wide. It is called on the thread whose library call
 * produced the message, so a program that uses the library from several
 * threads gets calls from all of them, possibly at once. The line is valid
 * only during the call. This function may be called from any thread; a
 * message already on its way may still reach the handler it replaces. */
void sml_set_diagnostic_handler(void (*fn)(const char *line, void *ctx), void *ctx);

/* Prints the bytes to stdout, eight "%02X " groups a line. */
void hexdump(unsigned char *buffer, size_t buffer_len);

#ifdef __cplusplus
}
#endif

#endif
