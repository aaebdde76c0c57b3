// The version this library was built as, whatever header its caller saw.
#include <sml/zelkor_version.h>

extern "C" const char *sml_version(void) { return ZELKOR_VERSION_STRING; }
