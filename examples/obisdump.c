/* obisdump: listens to a meter on a serial line (or standard input) and
 * prints every GetList reading as A-B:C.D.E*F#value#unit. */
#define _DEFAULT_SOURCE

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <poll.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <sml/sml_stream.h>
#include <sml/zelkor_version.h>

#include "obisdump_print.h"
#include "serial_line.h"

/* Exit status when the line ends or fails for good, so a supervisor can
 * restart the reader. */
enum { EXIT_USAGE = 1, EXIT_OPEN = 3, EXIT_LINE_LOST = 4 };

/* The longest frame taken, on the wire, and how much is read at once. */
enum { FRAME_AREA = 16384, READ_CHUNK = 65536 };

int serial_port_open(const char *device) {
	if (strcmp(device, "-") == 0)
		return 0;
	int fd = serial_line_open(device, 9600);
	if (fd < 0)
		fprintf(stderr, "error: open(%s): %s\n", device, strerror(errno));
	return fd;
}

/* How every file is printed, chosen once on the command line. */
static obisdump_format format = OBISDUMP_TEXT;

/* The frame with its escapes taken out, start sequence to CRC. */
void transport_receiver(unsigned char *buffer, size_t buffer_len) {
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	int64_t received_ms = (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
	/* Without the start sequence and the end block; the file parser and
	 * the readings skip the padding zeros. */
	obisdump_print_file(buffer + 8, buffer_len - 16, format, received_ms, stdout, stderr);
}

static int on_frame(const sml_stream_frame *frame, void *ctx) {
	(void)ctx;
	/* The frame lies in our own area. */
	transport_receiver((unsigned char *)frame->frame, frame->frame_len);
	return 0;
}

static int on_drop(const sml_stream_drop *drop, void *ctx) {
	(void)ctx;
	const char *why = NULL;
	switch (drop->reason) {
	case SML_STREAM_NOISE:
		break;
	case SML_STREAM_BAD_CRC: why = "fails its CRC check"; break;
	case SML_STREAM_CUT_SHORT: why = "is cut short by a new start sequence"; break;
	case SML_STREAM_BAD_ESCAPE: why = "holds an unknown escape sequence"; break;
	case SML_STREAM_BAD_PADDING: why = "has bad padding"; break;
	case SML_STREAM_TOO_LONG: why = "is longer than the 16384 bytes taken"; break;
	case SML_STREAM_UNFINISHED: why = "is cut short by the end of input"; break;
	}
	fflush(stdout);
	if (why)
		fprintf(stderr, "obisdump: warning: frame of %" PRIu64 " bytes %s, skipped\n", drop->count, why);
	else
		fprintf(stderr, "obisdump: warning: %" PRIu64 " byte%s outside any frame, skipped\n", drop->count,
			drop->count == 1 ? "" : "s");
	return 0;
}

/* Feeds everything fd delivers to the decoder. Returns 0 at the end of the
 * input, otherwise the error that ended it. */
static int listen_on(int fd) {
	static unsigned char area[FRAME_AREA];
	static unsigned char chunk[READ_CHUNK];
	sml_stream stream;
	sml_stream_init(&stream, area, sizeof area, on_frame, on_drop, NULL);
	int cause = 0;
	for (;;) {
		ssize_t n = read(fd, chunk, sizeof chunk);
		if (n > 0) {
			sml_stream_feed(&stream, chunk, (size_t)n);
			continue;
		}
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			/* The line is non-blocking: wait for it. */
			struct pollfd p = {fd, POLLIN, 0};
			if (poll(&p, 1, -1) >= 0 || errno == EINTR)
				continue;
		}
		cause = n < 0 ? errno : 0;
		break;
	}
	sml_stream_finish(&stream);
	fflush(stdout);
	return cause;
}

static void print_usage(FILE *to, const char *name) {
	fprintf(to,
		"Usage: %s [--json | --exact] <device>\n"
		"       %s --help | --version\n"
		"device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n"
		"--json - one JSON object per reading, one per line (JSON Lines)\n"
		"--exact - numbers as exact decimals, not rounded to one decimal place\n",
		name, name);
}

int main(int argc, char **argv) {
	bool json = false, exact = false, help = false, version = false;
	const char *device = NULL;
	int devices = 0;
	for (int i = 1; i < argc; i++) {
		const char *arg = argv[i];
		if (strcmp(arg, "--json") == 0) {
			json = true;
		} else if (strcmp(arg, "--exact") == 0) {
			exact = true;
		} else if (strcmp(arg, "--help") == 0) {
			help = true;
		} else if (strcmp(arg, "--version") == 0) {
			version = true;
		} else if (arg[0] == '-' && arg[1] != '\0') {
			fprintf(stderr, "obisdump: unknown option %s\n", arg);
			print_usage(stderr, argv[0]);
			return EXIT_USAGE;
		} else {
			device = arg;
			devices++;
		}
	}
	if (help) {
		print_usage(stdout, argv[0]);
		return EXIT_SUCCESS;
	}
	if (version) {
		printf("obisdump %s\n", sml_version());
		return EXIT_SUCCESS;
	}
	if (json && exact) {
		fprintf(stderr, "obisdump: --json and --exact exclude each other\n");
		print_usage(stderr, argv[0]);
		return EXIT_USAGE;
	}
	/* Scripts know this text from before there were options. */
	if (devices != 1) {
		printf("Usage: %s <device>\n", argv[0]);
		printf("device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n");
		return EXIT_USAGE;
	}
	format = json ? OBISDUMP_JSON : exact ? OBISDUMP_EXACT : OBISDUMP_TEXT;

	int fd = serial_port_open(device);
	if (fd < 0) {
		printf("Error: failed to open device (%s)\n", device);
		return EXIT_OPEN;
	}

	int cause = listen_on(fd);
	bool from_stdin = strcmp(device, "-") == 0;
	if (from_stdin && cause == 0)
		return EXIT_SUCCESS;
	fprintf(stderr, "obisdump: read(%s): %s\n", device, cause == 0 ? "end of input" : strerror(cause));
	return EXIT_LINE_LOST;
}
