/* Transport framing: finding SML files in a byte stream by their escape
 * sequences, and writing an SML file as one frame.
 *
 *   1B 1B 1B 1B 01 01 01 01 | file | 00 x p | 1B 1B 1B 1B 1A p | crc hi crc lo
 *
 * Reading allocates nothing on the heap. */
#ifndef SML_TRANSPORT_H
#define SML_TRANSPORT_H

#include <stddef.h>
#include <sys/select.h>
#include <sml/sml_file.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reads exactly len bytes, waiting with select on set (which it rearms with
 * fd alone; NULL, or a descriptor past FD_SETSIZE, waits with poll) before
 * each read. Returns fewer only when the input ends (read returns 0; errno is
 * then 0) or fails with an error other than EINTR, EAGAIN or EWOULDBLOCK. */
size_t sml_read(int fd, fd_set *set, unsigned char *buffer, size_t len);

/* Waits for the next complete frame and returns its length, with the frame
 * whole (start sequence to CRC) in buffer (max_len bytes); the longest frame
 * taken is the longest multiple of 4 below max_len. buffer is also the
 * working area: after a 0 it holds scratch bytes. Returns 0 for a rejected
 * frame (errno EBADMSG; the next call hunts on from there), and also when the
 * input ends (errno 0) or fails for good (errno of read); a frame cut short
 * by the end of input is dropped. Allocates nothing. */
size_t sml_transport_read(int fd, unsigned char *buffer, size_t max_len);

/* Calls receiver with every frame read from fd, in an 8096-byte area on
 * the stack that the next frame overwrites: the receiver copies what it
 * keeps. Returns only when the input ends or fails for good; errno then tells
 * which (0 for the end of input). */
void sml_transport_listen(int fd, void (*sml_transport_receiver)(unsigned char *buffer,
								  size_t buffer_len));

/* Writes the file as one frame, built in the file's own buffer, retrying
 * short writes and EINTR and waiting while the descriptor is not writable.
 * Returns the frame length, or 0 on an error. */
int sml_transport_write(int fd, sml_file *file);

/* 1 when the frame's last two bytes are its CRC over every byte before
 * them: sml_crc16_calculate high byte first or low byte first, or
 * CRC-16/KERMIT (which one meter family sends) in either byte order. */
int sml_transport_frame_crc_ok(const unsigned char *frame, size_t len);

#ifdef __cplusplus
}
#endif

#endif
