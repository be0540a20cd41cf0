// Where the library finds its companion files: relative to the folder liblumora itself was
// loaded from, so an installed tree works wherever it is unpacked and a build tree, laid out
// the same way, works before installing.
#pragma once

#include <string>

namespace platform {

// The loaded liblumora's own file; empty if unknown.
std::string LibraryPath();

// The folder holding the loaded liblumora, without a trailing slash; empty if unknown.
std::string LibraryDirectory();

// The folder of the codec modules: LUMORA_CODEC_PATH when set, else lumora/codecs beside the
// library.
std::string CodecDirectory();

// The folder of the bundled font face, relative to the library as installed.
std::string FontDirectory();

}  // namespace platform
