// Reference for slopegain's table: the plain nesting that recomputes the sun
// position and the irradiances for every plane and hour. Kept to measure the
// deliverable against and to check that its table is the same to the bit.
#pragma once

// table: 37 x 37 doubles, column-major (row = slope, column = orientation).
void slopegain_naive(double month, double latitude, double longitude, double longitude_timezone,
                     double clearness_index, double ground_reflectance, double *table);
