/* A meter's serial line: raw 8N1, RTS raised. */
#define _DEFAULT_SOURCE

#include "serial_line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

/* B0 for a rate the line does not take. */
static speed_t speed_of(unsigned baud) {
	switch (baud) {
	case 300: return B300;
	case 600: return B600;
	case 1200: return B1200;
	case 2400: return B2400;
	case 4800: return B4800;
	case 9600: return B9600;
	case 19200: return B19200;
	case 38400: return B38400;
	case 57600: return B57600;
	case 115200: return B115200;
	default: return B0;
	}
}

int serial_line_rate_supported(unsigned baud) { return speed_of(baud) != B0; }

int serial_line_open(const char *device, unsigned baud) {
	int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return -1;

	/* Optical heads draw their power from RTS. A descriptor that is no
	 * terminal fails these calls and is read all the same. */
	int bits;
	if (ioctl(fd, TIOCMGET, &bits) == 0) {
		bits |= TIOCM_RTS;
		ioctl(fd, TIOCMSET, &bits);
	}

	struct termios config;
	if (tcgetattr(fd, &config) == 0) {
		config.c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
#ifdef IUCLC
		config.c_iflag &= ~(tcflag_t)IUCLC;
#endif
		config.c_oflag &= ~(tcflag_t)OPOST;
		config.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ISIG | ICANON | IEXTEN);
		config.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARENB | PARODD);
#ifdef CRTSCTS
		/* A head has no CTS to wait for. */
		config.c_cflag &= ~(tcflag_t)CRTSCTS;
#endif
		config.c_cflag |= CS8;
		/* A line left at VMIN 0 reads 0 bytes when idle, which is the end
		 * of input to a reader; at 1 a non-blocking read says EAGAIN. */
		config.c_cc[VMIN] = 1;
		config.c_cc[VTIME] = 0;
		speed_t speed = serial_line_rate_supported(baud) ? speed_of(baud) : B9600;
		cfsetispeed(&config, speed);
		cfsetospeed(&config, speed);
		tcsetattr(fd, TCSANOW, &config);
	}
	return fd;
}
