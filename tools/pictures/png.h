// PNG pictures of what the simulated device draws, for people to look at: the demo's gradients
// and the README's pictures.
#pragma once

#include <windows.h>

#include <string>

// Writes what `dc` draws on (the screen, or the bitmap selected into a memory device context)
// to `path` on the host as an 8-bit RGB PNG picture, each pixel as a square of `scale` x `scale`
// (1 to 16). False when `dc` is no device context, the scale is out of range or the file cannot
// be written.
bool WritePicture(HDC dc, const std::string& path, int scale = 1);
