/* Opening a meter's serial line: raw 8N1 at a given speed, RTS raised (some
 * optical heads draw their power from it). Shared by obisdump and
 * zelkor-mqtt. */
#ifndef ZELKOR_EXAMPLES_SERIAL_LINE_H
#define ZELKOR_EXAMPLES_SERIAL_LINE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens device read-write, non-blocking, without making it the controlling
 * terminal, and sets a terminal up as a meter's line at baud bits per
 * second: raw 8N1 without flow control, a read returning as soon as one byte
 * is there (VMIN 1, VTIME 0), so that an idle line never reads as its end.
 * A rate serial_line_rate_supported refuses sets 9600. Returns the
 * descriptor, or -1 with errno set when the device cannot be opened. A
 * descriptor that is no terminal (a file, a FIFO) is returned as it is: the
 * terminal calls fail on it and change nothing. */
int serial_line_open(const char *device, unsigned baud);

/* Non-zero for the rates serial_line_open sets: 300, 600, 1200, 2400, 4800,
 * 9600, 19200, 38400, 57600 and 115200. */
int serial_line_rate_supported(unsigned baud);

#ifdef __cplusplus
}
#endif

#endif
