/* The message envelope and the message body with its dispatch by tag.
 *
 * Ownership: a message owns its fields and its body; a body owns its tag and
 * its body record, released by the tag's own free operation.
 *
 * Records a caller built may lack parts: a message without a body is written
 * with the optional marker in the body's place (and sml_file_print shows it
 * with a blank tag); a body without a tag is written as a list of two
 * optional markers and freed without touching its data, which the caller
 * must release itself. Neither reads back as a message. */
#ifndef SML_MESSAGE_H
#define SML_MESSAGE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_BODY_OPEN_REQUEST 0x00000100
#define SML_BODY_OPEN_RESPONSE 0x00000101
#define SML_BODY_CLOSE_REQUEST 0x00000200
#define SML_BODY_CLOSE_RESPONSE 0x00000201
#define SML_BODY_GET_PROFILE_PACK_REQUEST 0x00000300
#define SML_BODY_GET_PROFILE_PACK_RESPONSE 0x00000301
#define SML_BODY_GET_PROFILE_LIST_REQUEST 0x00000400
#define SML_BODY_GET_PROFILE_LIST_RESPONSE 0x00000401
#define SML_BODY_GET_PROC_PARAMETER_REQUEST 0x00000500
#define SML_BODY_GET_PROC_PARAMETER_RESPONSE 0x00000501
#define SML_BODY_SET_PROC_PARAMETER_REQUEST 0x00000600
#define SML_BODY_GET_LIST_REQUEST 0x00000700
#define SML_BODY_GET_LIST_RESPONSE 0x00000701
#define SML_BODY_ATTENTION_RESPONSE 0x0000FF01

typedef struct {
	u32 *tag;
	void *data; /* the body record named by tag */
} sml_message_body;

typedef struct {
	octet_string *transaction_id;
	u8 *group_id;
	u8 *abort_on_error;
	sml_message_body *message_body;
	u16 *crc; /* as read; set again by every write */
} sml_message;

/* transaction_id is a fresh 16-byte random identifier; the rest NULL. NULL
 * when out of memory. */
sml_message *sml_message_init(void);
sml_message *sml_message_parse(sml_buffer *buf);
/* Computes the CRC of the bytes written, stores it in crc and appends it. A
 * message without a crc block gets one; when there is no memory for it the
 * CRC is still written, crc stays NULL and the error flag is set. */
void sml_message_write(sml_message *msg, sml_buffer *buf);
void sml_message_free(sml_message *msg);

/* data now belongs to the body. When out of memory: NULL, and data is
 * released as sml_message_body_free would have released it. */
sml_message_body *sml_message_body_init(u32 tag, void *data);
/* A tag that is the optional marker fails with the error flag. A tag no
 * body record is known for gives the "message type ... not yet implemented"
 * diagnostic and a body with NULL data; its record is stepped over by its
 * type-length structure, so the message's CRC and the messages after it
 * still read. */
sml_message_body *sml_message_body_parse(sml_buffer *buf);
/* Under a tag no body record is known for: the diagnostic, and the optional
 * marker in the record's place. */
void sml_message_body_write(sml_message_body *message_body, sml_buffer *buf);
/* Data under a tag no body record is known for is not released: the "NYI"
 * diagnostic says so. Without data there is nothing to say. */
void sml_message_body_free(sml_message_body *message_body);

#ifdef __cplusplus
}
#endif

#endif
