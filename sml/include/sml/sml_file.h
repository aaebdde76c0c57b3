/* An SML file: a run of messages and the buffer they were read from or are
 * written into. The file owns its messages, their array and its buffer. */
#ifndef SML_FILE_H
#define SML_FILE_H

#include <sml/sml_shared.h>
#include <sml/sml_message.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_FILE_MAX_MESSAGES 32767

typedef struct {
	sml_message **messages;
	short messages_len;
	sml_buffer *buf;
} sml_file;

/* No messages, a 512-byte write buffer (grown as writing needs); NULL when
 * out of memory. */
sml_file *sml_file_init(void);
/* NULL only when out of memory. Works on a copy of the bytes; zero bytes
 * between messages are skipped. A message that fails to parse (running out
 * of memory among the reasons) ends the file with a diagnostic (stderr unless
 * a handler is set) and the buffer's error flag set, and so does the 32768th
 * message. */
sml_file *sml_file_parse(const unsigned char *buffer, size_t buffer_len);
/* The file takes ownership of message. A file that holds 32767 messages
 * already cannot count another, and one whose array cannot grow cannot hold
 * it: the message is released instead. */
void sml_file_add_message(sml_file *file, sml_message *message);
/* Appends every message at the buffer's cursor. */
void sml_file_write(sml_file *file);
void sml_file_print(sml_file *file);
void sml_file_free(sml_file *file);

#ifdef __cplusplus
}
#endif

#endif
