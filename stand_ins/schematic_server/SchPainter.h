// Drawing one part of a component (its graphics and its pins) into a drawing surface of the host.
#pragma once

#include <cstdint>
#include <string>

#include "SchModel.h"
#include "host/HostInterfaces.h"

namespace pravik {

// Paints part Part of Component into Surface, an area of Width by Height pixels: a white background, then the
// shapes of the part and of every part (owner part 0) in file order, then the pins of the part and of every part,
// each a line of its length from its connection end toward the body with its designator beside the line and its
// name inside the body (each unless the pin hides it). The whole is scaled to fit the area with a margin, at most
// 8 pixels to a sheet unit, and centred; the sheet's y axis points up, the surface's down.
void PaintPart(const TComponent& component, std::int32_t part, tolvex::IDrawingSurface& surface, std::int32_t width,
               std::int32_t height);

// The drawing's short name: "part-", the designator (else the library reference), "-" and the part number.
std::string PartDrawingName(const TComponent& component, std::int32_t part);

}  // namespace pravik
