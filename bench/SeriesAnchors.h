#pragma once

#include <string>

// Reading a study's result file: 10,000 blocks of many patients, read from the disk and built
// into series (key series.read.10000).

// The bytes of a result file of `blocks` blocks as the evaluation appends them: 400 hips of
// 200 patients followed over 25 radiographs each, some evaluated twice, some cup-based, with
// "nodata" lines among them.
std::string syntheticResultFile(int blocks);

// Writes series-10000.dat into dir.
int writeSeriesAnchors(const std::string &dir);
// Times reading series-10000.dat in dir and building its series: one line
// "TEAM|series.read.10000|<median ms>|<label>".
int runSeriesAnchors(const std::string &dir);
