#pragma once

#include "SODcmImageProject.h"

class ISOImageObject;

// The plane of the shown frame: its native rows and columns with its orientation, position
// and spacing. False when the frame has no pixels.
bool ImageProjectOf(ISOImageObject* image, SODcmImageProject& project);

// 1 axial, 2 coronal, 3 sagittal by the row and column directions, 0 for an oblique plane.
int ViewKindOf(const double orientation[6]);

// The viewing direction of a rendered image: row x column, divided by its length + 1e-6.
void ViewDirectionOf(const double orientation[6], double n[3]);

class IPluginHost;

// A patient point (mm) through the image plane to the host's window coordinates.
bool PatientToScreen(IPluginHost* host, const SODcmImageProject& project, const double patient[3], double screen[2]);
