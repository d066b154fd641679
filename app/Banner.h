// The banner picture shown at the top of the installer window.
#pragma once
#include <windows.h>

// The RCDATA resource "BANNER" of module, a baseline JPEG, decoded into a top-down 24-bit DIB
// section of the picture's own size (given in size). nullptr when the resource is missing or
// is no JPEG libjpeg can decode; the window then shows its white background there.
HBITMAP LoadBanner(HINSTANCE module, SIZE& size);
