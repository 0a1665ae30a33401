#pragma once

// Dense lookup tables of the transfer functions: one per mask label, and the combined opacity
// table over the visible labels that the octree uses to skip empty space.

#include "VolumeRecords.h"

// Replaces the table of one label (0..63) from its control points. False, with the old table
// kept, for fewer than two distinct point values or a label above 63.
bool BuildLabelPalette(VolumePalette& palette, const V3Palette& points, int label);

// Rebuilds the combined opacity table: the unclamped sum of the visible labels' alphas.
bool BuildOpacityTable(VolumePalette& palette);

// Frees every table and nulls every pointer.
void FreeVolumePalette(VolumePalette& palette);

// Shifts a value by delta, saturating at the int16 limits.
int16_t ShiftValue(int16_t value, int delta);
