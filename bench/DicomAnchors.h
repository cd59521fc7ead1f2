#pragma once

#include <string>

// Opening DICOM radiographs: a 3000 x 3000 DX of 16 bits, uncompressed and as JPEG 2000
// lossless, each timed until its grey buffer is ready against the decoding library's own read
// of the same file.
int writeDicomAnchors(const std::string &dir);
int runDicomAnchors(const std::string &dir);
