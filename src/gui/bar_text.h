// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The figures written on the two progress bars. QProgressBar puts the percentage in
// for "%p" itself, from the bar's range and value.

#include <QString>

namespace korvelo {

// "Aufnahme 2 von 5 – %p %": which recording is being read, and how far.
QString readBarFormat(int recording, int recordings);

// "%p %  1,6 MB/s  noch 0:42"; the rate and the time left only once a rate can be told
// (bytesPerSecond above 0), the time left only while bytes remain.
QString writeBarFormat(double bytesPerSecond, double bytesLeft);

}  // namespace korvelo
