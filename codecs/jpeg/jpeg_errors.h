// libjpeg's error handling inside the module. A fatal error jumps back to the setjmp of the
// phase that called the library; those phases keep only trivial state in their frames, so the
// jump skips no destructor. Warnings are counted, never printed.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// After jpeglib.h, whose types it needs.
#include <jerror.h>

namespace lmjpeg {

struct JpegErrors {
    jpeg_error_mgr pub;  // first member: libjpeg hands the codec a pointer to it
    std::jmp_buf jump;
    int fatalCode;   // message code of the error that ended the call, 0 when none
    bool endOfFile;  // the input ran out; libjpeg went on as if the image ended there
    bool tooManyScans;
};

// Makes `errors` the error manager of a libjpeg object (the value to store in its `err`).
jpeg_error_mgr* InstallErrors(JpegErrors& errors);

// A progress monitor that stops decoding of files with an absurd number of scans, which
// would otherwise keep a corrupt progressive file busy for minutes.
void LimitScans(j_decompress_ptr cinfo, jpeg_progress_mgr& progress);

// The fatal errors that mean memory ran out or the working-memory limit was reached.
bool IsMemoryError(int code);

}  // namespace lmjpeg
