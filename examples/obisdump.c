/* obisdump: listens to a meter on a serial line (or standard input, a
 * capture file, a FIFO) and prints every GetList reading as
 * A-B:C.D.E*F#value#unit. */
#define _DEFAULT_SOURCE

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <limits.h>
#include <math.h>
#include <poll.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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

/* Bytes but no frame for this long, or this many bytes, is a line that
 * works but carries no SML: a head beside the optical port, a wrong rate.
 * Said again at most once a minute while it lasts. */
enum { NOISE_MS = 10000, NOISE_BYTES = 65536, NOISE_REPEAT_MS = 60000 };

/* --silence takes seconds up to a day. */
#define SILENCE_MAX_S 86400.0

/* The input: a serial device set up by serial_line_open, or what is read to
 * its end (standard input, a file, a FIFO). */
typedef struct {
	int fd;
	bool whole;    /* its end is the end of the work, not a line lost */
	bool terminal; /* a line set to the --baud rate */
} input;

/* Opens device (- for standard input): a regular file or a FIFO read-only,
 * a FIFO waiting for its writer as a shell's redirection would, anything
 * else as a meter's line at baud. */
static input serial_port_open(const char *device, unsigned baud) {
	input in = {-1, true, false};
	if (strcmp(device, "-") == 0) {
		in.fd = 0;
		return in;
	}
	struct stat st;
	if (stat(device, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
		in.fd = open(device, O_RDONLY | O_NOCTTY | O_CLOEXEC);
	} else {
		in.fd = serial_line_open(device, baud);
		in.whole = false;
		in.terminal = in.fd >= 0 && isatty(in.fd);
	}
	if (in.fd < 0)
		fprintf(stderr, "error: open(%s): %s\n", device, strerror(errno));
	return in;
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

/* What the line has done lately, for the lines about noise and silence. */
typedef struct {
	int64_t silence_ms; /* 0: never a silence line */
	unsigned baud;      /* of a terminal line; 0 for other input */
	int64_t last_byte;  /* when bytes last came, or the start */
	bool silent;        /* the silence line went out */
	bool framed;        /* a frame came in the chunk being fed */
	uint64_t unframed;  /* bytes since the last intact frame */
	int64_t unframed_since; /* when the first of them came; -1: none */
	int64_t noise_told; /* when the noise line last went out; -1: not since the last frame */
} line_watch;

static int on_frame(const sml_stream_frame *frame, void *ctx) {
	((line_watch *)ctx)->framed = true;
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

/* Milliseconds on a clock that setting the time does not move. */
static int64_t monotonic_ms(void) {
	struct timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Bytes keep coming (the last within NOISE_MS), yet no frame: for NOISE_MS,
 * or NOISE_BYTES of them. */
static bool noisy(const line_watch *w, int64_t now) {
	if (w->unframed_since < 0 || (w->noise_told >= 0 && now - w->noise_told < NOISE_REPEAT_MS))
		return false;
	return w->unframed >= NOISE_BYTES || (now - w->unframed_since >= NOISE_MS && now - w->last_byte < NOISE_MS);
}

static void tell(line_watch *w, int64_t now) {
	if (!w->silent && w->silence_ms > 0 && now - w->last_byte >= w->silence_ms) {
		w->silent = true;
		fflush(stdout);
		fprintf(stderr,
			"obisdump: warning: nothing received for %g s; is the reading head on the meter's optical "
			"port, and its cable plugged in?\n",
			(double)w->silence_ms / 1000);
	}
	if (noisy(w, now)) {
		w->noise_told = now;
		fflush(stdout);
		fprintf(stderr, "obisdump: warning: %" PRIu64 " bytes in %.1f s but no SML frame; check that the reading "
				"head sits straight on the meter's optical port, and the baud rate",
			w->unframed, (double)(now - w->unframed_since) / 1000);
		if (w->baud)
			fprintf(stderr, " (%u now, see --baud)", w->baud);
		fputc('\n', stderr);
	}
}

/* Milliseconds until tell() has something to say, or -1. */
static int next_timeout(const line_watch *w, int64_t now) {
	int64_t at = INT64_MAX;
	if (!w->silent && w->silence_ms > 0)
		at = w->last_byte + w->silence_ms;
	if (w->unframed_since >= 0) {
		int64_t noise = w->noise_told < 0 ? w->unframed_since + NOISE_MS : w->noise_told + NOISE_REPEAT_MS;
		/* Passed without a line: the bytes stopped, and the next ones wake us. */
		if (noise > now && noise < at)
			at = noise;
	}
	if (at == INT64_MAX)
		return -1;
	return at <= now ? 0 : at - now > INT_MAX ? INT_MAX : (int)(at - now);
}

/* Before the bytes are fed: the silence ends ahead of what they print. */
static void arrived(line_watch *w, int64_t now) {
	if (w->silent) {
		fflush(stdout);
		fprintf(stderr, "obisdump: receiving again after %.1f s of silence\n", (double)(now - w->last_byte) / 1000);
		w->silent = false;
	}
	w->last_byte = now;
}

/* After n bytes were fed. */
static void fed(line_watch *w, size_t n, int64_t now) {
	if (w->framed) {
		w->framed = false;
		w->unframed = 0;
		w->unframed_since = -1;
		w->noise_told = -1;
		return;
	}
	if (w->unframed_since < 0)
		w->unframed_since = now;
	w->unframed += n;
}

/* Feeds everything fd delivers to the decoder, waiting for it with a
 * timeout so that the noise and silence lines come when due. Returns 0 at
 * the end of the input, otherwise the error that ended it. */
static int listen_on(int fd, line_watch *watch) {
	static unsigned char area[FRAME_AREA];
	static unsigned char chunk[READ_CHUNK];
	sml_stream stream;
	sml_stream_init(&stream, area, sizeof area, on_frame, on_drop, watch);
	watch->last_byte = monotonic_ms();
	int cause = 0;
	for (;;) {
		int64_t now = monotonic_ms();
		tell(watch, now);
		struct pollfd p = {fd, POLLIN, 0};
		int ready = poll(&p, 1, next_timeout(watch, now));
		if (ready < 0 && errno != EINTR) {
			cause = errno;
			break;
		}
		if (ready <= 0)
			continue;
		if (p.revents & POLLNVAL) {
			cause = EBADF;
			break;
		}
		ssize_t n = read(fd, chunk, sizeof chunk);
		if (n > 0) {
			now = monotonic_ms();
			arrived(watch, now);
			sml_stream_feed(&stream, chunk, (size_t)n);
			fed(watch, (size_t)n, now);
			continue;
		}
		if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
			continue;
		cause = n < 0 ? errno : 0;
		break;
	}
	sml_stream_finish(&stream);
	fflush(stdout);
	return cause;
}

static void print_usage(FILE *to, const char *name) {
	fprintf(to,
		"Usage: %s [--json | --exact] [--baud N] [--silence S] <device>\n"
		"       %s --help | --version\n"
		"Prints every reading an electricity meter sends in SML (Smart Message Language).\n"
		"device        the meter's serial device, such as /dev/ttyUSB0 or /dev/ttyAMA0 (a name\n"
		"              under /dev/serial/by-id/ stays the same across reboots); a capture file\n"
		"              or a FIFO, read to its end; or - for standard input\n"
		"--json        one JSON object per reading, one per line (JSON Lines); numbers are exact\n"
		"--exact       numbers as exact decimals, not rounded to one decimal place\n"
		"--baud N      the line's rate: 300, 600, 1200, 2400, 4800, 9600 (the default), 19200,\n"
		"              38400, 57600 or 115200\n"
		"--silence S   a line on stderr when nothing arrives for S seconds (30; 0: never)\n"
		"-h, --help    this text\n"
		"-V, --version the version\n",
		name, name);
}

/* An option's value: "--name value" or "--name=value". NULL when arg is no
 * such option; *missing when it has no value. */
static const char *option_value(const char *name, int argc, char **argv, int *i, bool *missing) {
	const char *arg = argv[*i];
	size_t len = strlen(name);
	if (strncmp(arg, name, len) != 0)
		return NULL;
	if (arg[len] == '=')
		return arg + len + 1;
	if (arg[len] != '\0')
		return NULL;
	if (*i + 1 >= argc) {
		*missing = true;
		return arg;
	}
	return argv[++*i];
}

static bool parse_baud(const char *text, unsigned *baud) {
	char *end = NULL;
	errno = 0;
	unsigned long v = strtoul(text, &end, 10);
	if (end == text || *end != '\0' || errno != 0 || text[0] == '-' || v > UINT_MAX ||
	    !serial_line_rate_supported((unsigned)v))
		return false;
	*baud = (unsigned)v;
	return true;
}

static bool parse_seconds(const char *text, int64_t *ms) {
	char *end = NULL;
	double s = strtod(text, &end);
	if (end == text || *end != '\0' || !isfinite(s) || s < 0 || s > SILENCE_MAX_S)
		return false;
	*ms = (int64_t)ceil(s * 1000);
	return true;
}

int main(int argc, char **argv) {
	bool json = false, exact = false, help = false, version = false;
	unsigned baud = 9600;
	int64_t silence_ms = 30000;
	const char *device = NULL;
	int devices = 0;
	for (int i = 1; i < argc; i++) {
		const char *arg = argv[i], *value;
		bool missing = false;
		if (strcmp(arg, "--json") == 0) {
			json = true;
		} else if (strcmp(arg, "--exact") == 0) {
			exact = true;
		} else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
			help = true;
		} else if (strcmp(arg, "--version") == 0 || strcmp(arg, "-V") == 0) {
			version = true;
		} else if ((value = option_value("--baud", argc, argv, &i, &missing)) != NULL) {
			if (missing || !parse_baud(value, &baud)) {
				if (missing)
					fprintf(stderr, "obisdump: --baud needs a rate\n");
				else
					fprintf(stderr, "obisdump: --baud %s: not a rate the line takes\n", value);
				print_usage(stderr, argv[0]);
				return EXIT_USAGE;
			}
		} else if ((value = option_value("--silence", argc, argv, &i, &missing)) != NULL) {
			if (missing || !parse_seconds(value, &silence_ms)) {
				if (missing)
					fprintf(stderr, "obisdump: --silence needs a number of seconds\n");
				else
					fprintf(stderr, "obisdump: --silence %s: not a number of seconds from 0 to %g\n",
						value, SILENCE_MAX_S);
				print_usage(stderr, argv[0]);
				return EXIT_USAGE;
			}
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
	/* JSON is exact anyway. Its standard output holds JSON lines only,
	 * for a pipe into a broker; text keeps its lines where scripts read
	 * them. */
	format = json ? OBISDUMP_JSON : exact ? OBISDUMP_EXACT : OBISDUMP_TEXT;
	FILE *notes = json ? stderr : stdout;
	/* Scripts know this text from before there were options. */
	if (devices != 1) {
		fprintf(notes, "Usage: %s <device>\n", argv[0]);
		fprintf(notes, "device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n");
		return EXIT_USAGE;
	}

	input in = serial_port_open(device, baud);
	if (in.fd < 0) {
		fprintf(notes, "Error: failed to open device (%s)\n", device);
		return EXIT_OPEN;
	}

	line_watch watch = {.silence_ms = silence_ms, .baud = in.terminal ? baud : 0, .unframed_since = -1, .noise_told = -1};
	int cause = listen_on(in.fd, &watch);
	if (in.whole && cause == 0)
		return EXIT_SUCCESS;
	fprintf(stderr, "obisdump: read(%s): %s\n", device, cause == 0 ? "end of input" : strerror(cause));
	return EXIT_LINE_LOST;
}
