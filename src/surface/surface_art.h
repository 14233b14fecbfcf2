#pragma once
// Drawing of the surface artwork: the element images in their four colour
// states and the decorative plates behind them. Everything is painted in code
// so the map needs no image files and stays sharp at its fixed pixel sizes.

#include <QColor>
#include <QPixmap>

#include "surface_map.h"

namespace korvane::art {

// Base, highlight and shadow tones of one colour state.
struct Tone {
    QColor base;
    QColor light;
    QColor dark;
};
Tone toneFor(TEingabeElementFarbe state);

// Element images, exactly the image list sizes.
QPixmap drawFader(TEingabeElementFarbe state);      // 28 x 68
QPixmap drawTaster(TEingabeElementFarbe state);     // 28 x 20
QPixmap drawInk(TEingabeElementFarbe state);        // 32 x 32
QPixmap drawJog(TEingabeElementFarbe state);        // 177 x 193
QPixmap drawJogMarker(TEingabeElementFarbe state);  // 13 x 13

// Decorative plates. strip 0..7 are channels 1..8, 8 the master strip.
QPixmap drawStrip(int strip);  // 81 x 401
QPixmap drawFunctionPlate();   // 70 x 291, behind F1..F5
QPixmap drawTransportPlate();  // 257 x 74, behind the transport keys

// Geometry shared by the strip artwork and the element images, in strip
// coordinates (the strip's left edge is 4 + 72 k on the panel).
inline constexpr int kStripSlotX = 54;   // left edge of the fader slot
inline constexpr int kSlotWidth = 4;     // fader slot width, also inside the fader image
inline constexpr int kFaderImageX = 42;  // fader picture inside its strip
inline constexpr int kSlotTop = 66;      // slot ends, covering the whole cap travel
inline constexpr int kSlotBottom = 282;

// Centre and ring radius of the jog-wheel position markers inside the jog image.
inline constexpr double kJogCentreX = 88.0;
inline constexpr double kJogCentreY = 102.8;
inline constexpr double kJogMarkerRadius = 78.0;

}  // namespace korvane::art
