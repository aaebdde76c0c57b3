/* Readings straight from the bytes of an SML file: no allocation, no copy.
 *
 * sml_readings walks the bytes of one SML file, what sml_file_parse takes
 * (the messages of a transport frame, without its start sequence and end
 * block; zero bytes between messages are skipped), and hands fn one
 * sml_reading for
 *   - every entry of the value list of a GetList response (0x0701),
 *   - every period entry of a profile-list response (0x0401),
 *   - every value of every period of a profile-pack response (0x0301),
 *     named by the header entry at the same position of the header list.
 * Other bodies, of known tags or of tags no body is known for, are stepped
 * over by their type-length structure, as sml_file_parse does. Every field
 * is read as sml_file_parse reads it, quirks included (a bare number as
 * val_time, integers shorter than their width, any tag width, local
 * timestamps, list-typed values), so a file the tree API reads whole gives
 * the same readings both ways.
 *
 * Unreadable entries. An entry whose fields the tree API would reject is
 * handed to fn all the same, with reason naming the field that failed, and
 * is then stepped over by its type-length structure; the next entries
 * follow. Its own fields are cleared (no name, no flags, kind
 * SML_READING_NONE); offset, message, entry and the response's fields stay.
 * A response whose own fields fail before its list (or, in a profile pack,
 * whose header list fails) is one reading with reason SML_READING_BAD_RESPONSE
 * at the body's offset, and a profile-pack period that fails one with
 * SML_READING_BAD_PERIOD; the walk steps over it and goes on. Past the last
 * entry the rest of a body (signatures, gateway time, raw data) is only
 * stepped over by its structure.
 * Where the structure itself breaks (a message envelope the tree API
 * rejects, a cut-off file, an element that cannot be stepped over, bytes
 * after a message that open no message) fn gets a last reading with reason
 * SML_READING_BROKEN and the offset of the element that broke it, and the
 * walk ends there.
 *
 * Ownership: every sml_bytes of a reading points into the caller's bytes
 * and is valid as long as they are; the reading itself is the walker's and
 * valid only during the call of fn (or until the next sml_reading_next).
 * Allocation: none, ever. The whole state of a walk is one
 * sml_reading_cursor, which the caller places where it likes.
 * Threads: no global state and no diagnostics. Any thread may walk any bytes,
 * several walks may run at once, and fn may start walks of its own. */
#ifndef SML_READING_H
#define SML_READING_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A view of bytes in the walked file. data is NULL when the field is absent;
 * a present empty field has data non-NULL and len 0. */
typedef struct {
	const unsigned char *data;
	size_t len;
} sml_bytes;

typedef enum {
	/* Absent, or a form holding no number (a list of three that is no local
	 * timestamp, as sml_time.h describes). */
	SML_READING_TIME_NONE = 0,
	SML_READING_TIME_SEC_INDEX = 1,       /* tag 1, or a bare number */
	SML_READING_TIME_TIMESTAMP = 2,       /* tag 2: seconds since 1970 UTC */
	SML_READING_TIME_LOCAL_TIMESTAMP = 3, /* tag 3: UTC seconds and offsets */
	SML_READING_TIME_OTHER = 4            /* a number under no tag or another tag */
} sml_reading_time_kind;

typedef struct {
	sml_reading_time_kind kind;
	uint32_t seconds;           /* the sec index or timestamp; 0 for NONE */
	int16_t local_offset;       /* minutes; local timestamps only, else 0 */
	int16_t season_time_offset; /* minutes; local timestamps only, else 0 */
} sml_reading_time;

typedef enum {
	SML_READING_NONE = 0,    /* no value: absent, or the entry is unreadable */
	SML_READING_SIGNED,      /* value.i64, exact */
	SML_READING_UNSIGNED,    /* value.u64, exact */
	SML_READING_BOOLEAN,     /* value.boolean, 0 or 1 */
	SML_READING_BYTES,       /* value.bytes: an octet string */
	SML_READING_TIME,        /* value.time: a list-typed value of tag 1 */
	SML_READING_UNSUPPORTED  /* value.bytes: a list-typed value of tag 2 or 3,
				    the whole value element as encoded */
} sml_reading_kind;

typedef enum {
	SML_READING_OK = 0,
	SML_READING_BAD_ENTRY,     /* not a list of the entry's field count */
	SML_READING_BAD_OBJ_NAME,
	SML_READING_BAD_STATUS,
	SML_READING_BAD_VAL_TIME,
	SML_READING_BAD_UNIT,
	SML_READING_BAD_SCALER,
	SML_READING_BAD_VALUE,
	SML_READING_BAD_SIGNATURE, /* the value signature */
	SML_READING_BAD_PERIOD,    /* a profile-pack period: its list, time, status or value list */
	SML_READING_BAD_RESPONSE,  /* the response's fields before its entries */
	SML_READING_BROKEN         /* the structure breaks here; the last reading */
} sml_reading_reason;

/* flags */
#define SML_READING_HAS_OBIS 0x01   /* the name has exactly six bytes, also in obis */
#define SML_READING_HAS_SCALER 0x02
#define SML_READING_HAS_UNIT 0x04
#define SML_READING_HAS_STATUS 0x08

typedef struct {
	/* Where it stands. */
	uint32_t body;    /* SML_BODY_GET_LIST_RESPONSE, _GET_PROFILE_LIST_RESPONSE or
			     _GET_PROFILE_PACK_RESPONSE; for SML_READING_BROKEN the tag
			     of the body it broke in, or 0 */
	unsigned message; /* the message's index in the file, from 0 */
	unsigned period;  /* profile pack: the period's index; else 0 */
	unsigned entry;   /* index in the value list, period list or the
			     period's value list, from 0 */
	size_t offset;    /* of the entry's first byte in the file (for
			     BAD_RESPONSE the body's, for BROKEN where it broke) */
	sml_reading_reason reason;

	/* The entry; in a profile pack, name, unit and scaler come from the
	 * header entry, and val_time and status from the period; in a
	 * profile list, val_time and status are the response's. */
	unsigned flags;           /* SML_READING_HAS_* */
	unsigned char obis[6];    /* with SML_READING_HAS_OBIS */
	signed char scaler;       /* with SML_READING_HAS_SCALER: the value is
				     ten to this power times the number */
	unsigned char unit;       /* with SML_READING_HAS_UNIT: a DLMS code (sml_units.h) */
	uint64_t status;          /* with SML_READING_HAS_STATUS */
	sml_bytes name;           /* obj_name, whatever its length */
	sml_reading_time val_time;
	sml_reading_kind kind;
	union {
		int64_t i64;
		uint64_t u64;
		int boolean;
		sml_bytes bytes;
		sml_reading_time time;
	} value;
	sml_bytes signature;      /* value_signature */

	/* The response's. */
	sml_bytes server_id;
	sml_bytes list_name;          /* GetList only */
	sml_reading_time sensor_time; /* GetList: act_sensor_time; profiles: act_time */

	/* Room for fields of later versions, which keep the size of the struct
	 * within a major version. Zero in this version. */
	uint64_t reserved[4];
} sml_reading;

/* Results of a walk that could not start. */
#define SML_READINGS_NO_INPUT (-1)   /* fn (or the cursor) NULL, or file NULL with len > 0 */
#define SML_READINGS_NO_MESSAGE (-2) /* the first byte that is not zero opens no
					message, a list of six: no SML file */
#define SML_READINGS_TRANSPORT_FRAME (-3) /* no SML file either, but the bytes
					     after any zero bytes begin with a start
					     sequence, 1B1B1B1B 01010101: a whole
					     transport frame (a capture, say), which
					     sml_capture_readings (sml_capture.h)
					     reads */

/* Walks the file and calls fn for every reading, in file order; fn returns
 * non-zero to stop the walk. Returns the number of calls of fn (readable and
 * unreadable readings alike; 0 for a file of zero bytes, or one without
 * readings), or SML_READINGS_NO_INPUT, SML_READINGS_NO_MESSAGE or
 * SML_READINGS_TRANSPORT_FRAME, in which case fn was not called. A file that
 * opens a message never gives SML_READINGS_TRANSPORT_FRAME: it only names
 * bytes that would otherwise give SML_READINGS_NO_MESSAGE. */
int sml_readings(const unsigned char *file, size_t len, int (*fn)(const sml_reading *r, void *ctx), void *ctx);

/* The same walk one reading at a time, for callers that pull. The fields
 * are the walker's own: set them with sml_reading_cursor_init and leave them
 * alone. They may change from one version to the next; the size of the
 * struct does not change within a major version (new state goes into the
 * reserved words). The cursor refers to the file's bytes and owns nothing. */
typedef struct {
	const unsigned char *file;
	size_t len;
	size_t pos;
	int phase;
	int owed;       /* entries (or periods) left in the list being walked */
	int values;     /* profile pack: values left in the period */
	int headers;    /* profile pack: header entries left to name them */
	int trailing;   /* elements after the list, to step over */
	unsigned entry; /* index of the next entry */
	size_t next_header;
	size_t header_list;
	sml_reading shared; /* what every reading of the body carries */
	uint64_t reserved[8];
} sml_reading_cursor;

void sml_reading_cursor_init(sml_reading_cursor *cursor, const unsigned char *file, size_t len);
/* 1: *reading holds the next reading. 0: the walk is over (and stays over).
 * SML_READINGS_NO_INPUT, SML_READINGS_NO_MESSAGE or
 * SML_READINGS_TRANSPORT_FRAME: as sml_readings. */
int sml_reading_next(sml_reading_cursor *cursor, sml_reading *reading);

/* A short English text for a reason ("unreadable value", ...), for logs;
 * never NULL, "unknown reason" for a value that is none. A static string:
 * not to be freed, and any thread may call it. */
const char *sml_reading_reason_text(sml_reading_reason reason);

#ifdef __cplusplus
}
#endif

#endif
