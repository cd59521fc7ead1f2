#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

#include "tools/phantom/Phantom.h"

// The phantom as a digitised AP pelvis film: soft tissue, pelvis, sacrum, the lowest lumbar
// vertebra, both femora (one native, one with a cemented straight stem), the metal head, the
// cemented polyethylene cup with its rim wire and a lead side marker; then a little blur and
// film grain. The head, the cup and the wire are cast through the focus exactly, so that their
// outlines lie where the phantom's clicked points do; the bones are drawn at the cup's depth.
namespace PhantomPicture {

// A grey picture of the scene's size. The same seed gives the same grain.
QImage render(const Phantom::Scene &scene, std::uint32_t seed);

// The same exposure as a digital detector records it, before any film curve: kDetectorBits-bit
// values that rise by kDetectorPerAttenuation with each unit of attenuation along the ray (so
// that bone and metal are bright, as on the film), with the film's grain; the top row first.
// Metal and the lead marker reach the top of the range.
constexpr int kDetectorBits = 12;
constexpr double kDetectorPerAttenuation = 1000;
std::vector<std::uint16_t> renderDetector(const Phantom::Scene &scene, std::uint32_t seed);

// The window whose sigmoid shows the detector's values as the film shows the exposure.
struct DetectorWindow
{
    double center, width;
};

DetectorWindow filmWindow();

} // namespace PhantomPicture
