/* obisdump: listens to a meter on a serial line (or standard input) and
 * prints every GetList reading as A-B:C.D.E*F#value#unit. */
#define _DEFAULT_SOURCE

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_transport.h>
#include <sml/sml_value.h>

#include "unit.h"

/* Exit status when the line ends or fails for good, so a supervisor can
 * restart the reader. */
enum { EXIT_USAGE = 1, EXIT_OPEN = 3, EXIT_LINE_LOST = 4 };

int serial_port_open(const char *device) {
	if (strcmp(device, "-") == 0)
		return 0;

	int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
	if (fd < 0) {
		fprintf(stderr, "error: open(%s): %s\n", device, strerror(errno));
		return -1;
	}

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
		config.c_oflag &= ~(tcflag_t)OPOST;
		config.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ISIG | ICANON | IEXTEN);
		config.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARENB | PARODD);
		config.c_cflag |= CS8;
		cfsetispeed(&config, B9600);
		cfsetospeed(&config, B9600);
		tcsetattr(fd, TCSANOW, &config);
	}
	return fd;
}

static void print_entry(const sml_list_entry *entry) {
	if (!entry->value) {
		fprintf(stderr, "Error in data stream. entry->value should not be NULL. Skipping this.\n");
		return;
	}
	if (!entry->obj_name || entry->obj_name->len < 6) {
		fprintf(stderr, "Error in data stream. entry->obj_name should hold six bytes. Skipping this.\n");
		return;
	}
	const unsigned char *obis = entry->obj_name->str;
	sml_value *value = entry->value;

	if (value->type == SML_TL_OCTET_STRING) {
		char *text = NULL;
		sml_value_to_strhex(value, &text, true);
		printf("%d-%d:%d.%d.%d*%d#%s#\n", obis[0], obis[1], obis[2], obis[3], obis[4], obis[5],
		       text ? text : "");
		free(text);
	} else if (value->type == SML_TL_BOOLEAN) {
		bool on = value->data.boolean && *value->data.boolean;
		printf("%d-%d:%d.%d.%d*%d#%s#\n", obis[0], obis[1], obis[2], obis[3], obis[4], obis[5],
		       on ? "true" : "false");
	} else if ((value->type & SML_TL_LIST) == SML_TL_INTEGER || (value->type & SML_TL_LIST) == SML_TL_UNSIGNED) {
		int scaler = entry->scaler ? *entry->scaler : 0;
		double reading = pow(10, scaler) * sml_value_to_double(value);
		printf("%d-%d:%d.%d.%d*%d#%.1f#", obis[0], obis[1], obis[2], obis[3], obis[4], obis[5], reading);
		const char *unit = entry->unit ? dlms_get_unit(*entry->unit) : NULL;
		if (unit)
			printf("%s", unit);
		printf("\n");
		fflush(stdout);
	}
}

void transport_receiver(unsigned char *buffer, size_t buffer_len) {
	if (!sml_transport_frame_crc_ok(buffer, buffer_len)) {
		fprintf(stderr, "obisdump: warning: frame of %zu bytes fails its CRC check, skipped\n", buffer_len);
		return;
	}

	/* Without the start sequence and the end block; the file parser skips
	 * the padding zeros. */
	sml_file *file = sml_file_parse(buffer + 8, buffer_len - 16);
	sml_file_print(file);
	printf("OBIS data\n");
	for (int i = 0; i < file->messages_len; i++) {
		const sml_message_body *body = file->messages[i]->message_body;
		if (!body || !body->tag || *body->tag != SML_BODY_GET_LIST_RESPONSE || !body->data)
			continue;
		const sml_get_list_response *response = body->data;
		for (const sml_list_entry *entry = response->val_list; entry; entry = entry->next)
			print_entry(entry);
	}
	sml_file_free(file);
}

int main(int argc, char **argv) {
	if (argc != 2) {
		printf("Usage: %s <device>\n", argv[0]);
		printf("device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n");
		return EXIT_USAGE;
	}

	const char *device = argv[1];
	int fd = serial_port_open(device);
	if (fd < 0) {
		printf("Error: failed to open device (%s)\n", device);
		return EXIT_OPEN;
	}

	sml_transport_listen(fd, transport_receiver);

	int cause = errno;
	bool from_stdin = strcmp(device, "-") == 0;
	if (from_stdin && cause == 0)
		return EXIT_SUCCESS;
	fflush(stdout);
	fprintf(stderr, "obisdump: read(%s): %s\n", device, cause == 0 ? "end of input" : strerror(cause));
	return EXIT_LINE_LOST;
}
