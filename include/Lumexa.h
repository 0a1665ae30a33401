#pragma once

// Process-wide entry points of the viewer library.

// The text drawn over every image window that shows an image, from its next repaint on; an
// empty text hides it. UI thread only.
void SetForegroundText(const char* text);
