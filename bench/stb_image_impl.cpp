// stb_image, the peer decoder, compiled here with the benchmarks' own optimisation flags.
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
