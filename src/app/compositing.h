// Whether the window system blends translucent windows onto the desktop. A shaped window can
// then draw a smooth outline itself; without it only a hard 1-bit mask cuts the shape.
#pragma once

// Wayland always composites; under X11 a compositing manager owns the selection
// _NET_WM_CM_S<screen>. Other platforms (offscreen, a bare X server) do not.
bool windowSystemComposites();
