/* The stb single-file libraries the project uses (Debian's libstb-dev):
   PNG writing for screenshots, PNG reading for the tests that look at them.
   Their implementations live in this one translation unit, built without
   the project's warning flags: their warnings are not ours. */
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
