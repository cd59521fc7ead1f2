#pragma once

#include <cstdint>

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

} // namespace PhantomPicture
