// Panel rules the core's calls share: which panel a call goes to and when a
// default camera is fitted again.
#pragma once

#include "model.h"

namespace vq {

// The panel API calls go to; a current index that no longer names a panel
// falls back to panel 0.
Panel &currentPanel(Scene &s);
// A default camera (not set on purpose) is fitted again to its viewport and
// the panel's shape in the window, after either changed.
void refitCamera(Scene &s, int panel);
void refitCameras(Scene &s);
// Pixel rectangle x, y, width, height of a panel in a w x h window, rows
// from the bottom: where the renderer draws it and the window frames it.
void panelRect(const Panel &p, int w, int h, int r[4]);

} // namespace vq
