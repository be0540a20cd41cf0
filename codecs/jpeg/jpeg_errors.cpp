#include "jpeg_errors.h"

#include <cstring>

namespace lmjpeg {
namespace {

// Real files have a few dozen scans; thousands only come from crafted ones.
constexpr int kMaxScans = 1000;

JpegErrors& ErrorsOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegErrors*>(cinfo->err);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    JpegErrors& errors = ErrorsOf(cinfo);
    errors.fatalCode = cinfo->err->msg_code;
    std::longjmp(errors.jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    JpegErrors& errors = ErrorsOf(cinfo);
    ++errors.pub.num_warnings;
    if (errors.pub.msg_code == JWRN_JPEG_EOF) errors.endOfFile = true;
}

void OutputMessage(j_common_ptr) {}

void CheckScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        ErrorsOf(cinfo).tooManyScans = true;
        ErrorExit(cinfo);
    }
}

}  // namespace

jpeg_error_mgr* InstallErrors(JpegErrors& errors) {
    std::memset(&errors, 0, sizeof errors);
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    return &errors.pub;
}

void LimitScans(j_decompress_ptr cinfo, jpeg_progress_mgr& progress) {
    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = CheckScans;
    cinfo->progress = &progress;
}

bool IsMemoryError(int code) {
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ||
           code == JERR_IMAGE_TOO_BIG || code == JERR_WIDTH_OVERFLOW;
}

}  // namespace lmjpeg
