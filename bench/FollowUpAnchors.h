#pragma once

#include <string>

// Time from choosing a study's result file (series-10000.dat in dir, written with the series
// anchors) until the follow-up window has drawn it: reading, the list of its 400 series, the
// first series' table and plots, and one whole paint of the window (key series.window.10000).
int runFollowUpAnchors(const std::string &dir);
