// Close response: the close request's record and wire form under a second name.
#include <sml/sml_close_response.h>

extern "C" {

sml_close_response *sml_close_response_init(void) { return sml_close_request_init(); }
sml_close_response *sml_close_response_parse(sml_buffer *buf) { return sml_close_request_parse(buf); }
void sml_close_response_write(sml_close_response *msg, sml_buffer *buf) { sml_close_request_write(msg, buf); }
void sml_close_response_free(sml_close_response *msg) { sml_close_request_free(msg); }

} // extern "C"
