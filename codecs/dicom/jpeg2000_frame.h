// JPEG 2000 frames of an encapsulated DICOM data set. DCMTK has no decoder of its own for
// these transfer syntaxes: OpenJPEG decodes the frame wanted, and the data set gets it back as
// native pixel data, so DCMTK renders it (modality and VOI transforms, colour) like any
// uncompressed image.
#pragma once

#include <dcmtk/config/osconfig.h>

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcxfer.h>

#include <cstdint>

namespace lmdcm {

bool IsJpeg2000(E_TransferSyntax syntax);

// Replaces the data set's pixel data by frame `frame` (from 0) of `frames`, decoded, and
// describes it as one uncompressed frame in explicit VR little endian. 0, or a loader code.
int32_t DecodeJpeg2000Frame(DcmDataset& data, E_TransferSyntax syntax, int64_t frame,
                            int64_t frames);

}  // namespace lmdcm
