#ifndef WAVESAMPLE_H
#define WAVESAMPLE_H

#include "imusample.h"

// Sample n of the test-mode waves, the stand-in for a sensor: sines and
// cosines of n, each truncated toward zero.
//   acceleration X, Y, Z: 10 sin 0.2n, 5 cos 0.1n, 15 sin 0.05n
//   gyroscope X, Y, Z:    20 sin 0.2n, 55 cos 0.3n, 150 sin 0.05n
ImuSample waveSample(int n);

#endif // WAVESAMPLE_H
