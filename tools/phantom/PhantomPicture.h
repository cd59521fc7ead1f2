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

// The cup the realistic picture shows. A cementless cup's titanium shell, outer surface on the
// cup's sphere, is the sharp metal edge of most radiographs; a cemented polyethylene cup shows
// only its cement mantle and the wire.
enum class CupKind {
    MetalBacked, // titanium shell, polyethylene liner, no cement
    CementedPolyethylene, // polyethylene cup in a mantle of radio-opaque cement
};

// How the realistic picture is taken. The focal spot blurs each object by its penumbra, which
// grows with the object's height above the film; the screen or detector blurs all that reaches
// it, the photons' noise with it. Scatter from the body puts a floor under the exposure behind
// metal, so that the head and the wire are brighter than bone yet not a flat white block.
struct Imaging
{
    CupKind cup = CupKind::MetalBacked;
    double focalSpotMm = 1.2; // nominal size: the full width at half maximum of a Gaussian spot
    double detectorBlurMm = 0.17; // standard deviation of the screen's or detector's line spread
    double scatterToPrimary = 0.4; // scattered against primary light, with the grid, mid-body
    // Photons counted in a pixel exposed to the film's middle grey; 0 leaves out the quantum
    // noise.
    double quantaPerPixel = 300;
    double grainGrey = 2.0; // the film's grain, grey levels
};

// The Gaussian blurs (standard deviations, picture pixels): the focal spot's for the body (at
// the cup's depth), the head and the cup with its wire, and the detector's.
struct Unsharpness
{
    double bodyPx, headPx, cupPx, detectorPx;
};

Unsharpness unsharpness(const Phantom::Scene &scene, const Imaging &imaging);

// The film as the plain picture, but exposed as above: edges that are neither ideal steps nor
// lost in a white block, for testing where an edge finder places a point; with a cementless
// metal-backed cup unless the imaging asks for the plain picture's cemented one. The same seed
// gives the same picture.
QImage renderRealistic(
    const Phantom::Scene &scene, std::uint32_t seed, const Imaging &imaging = Imaging{});

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
