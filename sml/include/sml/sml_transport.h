/* Transport framing on file descriptors: finding SML files in a byte stream,
 * and writing an SML file as one frame.
 *
 *   1B 1B 1B 1B 01 01 01 01 | escaped file | 00 x p | 1B 1B 1B 1B 1A p | crc hi crc lo
 *
 * The reading calls run the stream decoder of sml_stream.h over the
 * descriptor: they find start sequences at any byte offset (also after more
 * than four 1B, and inside a frame, which they then drop), take escapes out,
 * and hand over a frame whatever its CRC, as always. The CRC serves only to
 * find a frame that another one swallowed when its own end block was lost:
 * that one is handed over and the damaged one dropped. Use the decoder
 * directly for CRC checks, drop reasons and input that does not come from a
 * descriptor. They hand over a frame with its escapes taken
 * out: start sequence, file, padding, then the 8-byte end block as received.
 * A frame without escapes is handed over exactly as it stood on the wire. For
 * one with escapes, the end block's CRC covers the wire bytes, not these, so
 * sml_transport_frame_crc_ok fails on it; parse bytes 8 to len - 16 as
 * always. Frames are taken when they are shorter than the area on the wire.
 *
 * Reading allocates nothing on the heap. Each call works on its own
 * descriptor and area and may run on any thread. */
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
 * whole in buffer (max_len bytes); the longest frame taken is the longest
 * multiple of 4 below max_len on the wire. Nothing past that frame is read
 * from fd: the next call, or another reader, finds the bytes after it. buffer
 * is also the working area: after a 0 it holds scratch bytes.
 * Returns 0 for a rejected frame (errno EBADMSG; the next call hunts on from
 * there), unless a new frame had already begun, which is then read and
 * returned instead. Returns 0 also when the input ends (errno 0) or fails for
 * good (errno of read); a frame cut short by the end of input is dropped. */
size_t sml_transport_read(int fd, unsigned char *buffer, size_t max_len);

/* Receives each frame and the caller's context. */
typedef void (*sml_transport_receiver_fn)(unsigned char *frame, size_t len, void *ctx);

/* Calls receiver with every frame read from fd, in an 8096-byte area on the
 * stack that the next frame overwrites: the receiver copies what it keeps.
 * Reads in chunks of 4096 bytes, so it consumes the descriptor's input
 * beyond the last frame. Returns only when the input ends or fails for good;
 * errno then tells which (0 for the end of input). */
void sml_transport_listen_ctx(int fd, sml_transport_receiver_fn receiver, void *ctx);

/* sml_transport_listen_ctx for a receiver without context. */
void sml_transport_listen(int fd, void (*sml_transport_receiver)(unsigned char *buffer,
								  size_t buffer_len));

/* Builds the file as one frame in the file's own buffer, escaping every run
 * of four 1B, and returns its length: the frame is buffer[0, len), and the
 * buffer's cursor stands at its end. For sending by other means than a
 * descriptor. 0 when the buffer could not grow: the buffer then holds no
 * frame and its error flag is set. */
size_t sml_transport_build(sml_file *file);

/* sml_transport_build, then writes the frame, retrying short writes and
 * EINTR and waiting while the descriptor is not writable. Returns the frame
 * length, or 0 on an error (errno ENOMEM when the frame could not be
 * built). */
int sml_transport_write(int fd, sml_file *file);

/* 1 when the frame's last two bytes are its CRC over every byte before
 * them: sml_crc16_calculate high byte first or low byte first, or
 * CRC-16/KERMIT (which one meter family sends) in either byte order. */
int sml_transport_frame_crc_ok(const unsigned char *frame, size_t len);

#ifdef __cplusplus
}
#endif

#endif
