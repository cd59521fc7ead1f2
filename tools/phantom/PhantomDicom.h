#pragma once

#include <string>

#include "core/records/CPatient.h"
#include "tools/phantom/Phantom.h"

// The phantom as a digital radiograph: a DX for presentation, 12 bits stored in 16, compressed
// losslessly as JPEG 2000, with what a detector's header holds: Imager Pixel Spacing (the
// picture's width in mm over its width in pixels), Distance Source to Detector (the focus
// height), the patient's name and identifier, the acquisition date (yyyymmdd), and two sigmoid
// windows: one that shows the values as the film shows the exposure ("FILM"), and one that
// spreads the bone over the greys ("BONE").
namespace PhantomDicom {

// Writes the picture of the scene with this seed to path; false, with the reason, when the
// decoding library cannot compress or write it.
bool write(const std::string &path, const Phantom::Scene &scene, std::uint32_t seed,
    const CPatient &patient, const std::string &date, std::string &error);

} // namespace PhantomDicom
