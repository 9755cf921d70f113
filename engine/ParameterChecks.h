#pragma once
// The checks a run makes before its tests are built: the parameter rules of
// every enabled test, in a fixed order, with the data files they need. A
// refused test is disabled for this run with a log line naming the test and
// the rule; the run goes on with the others. Some rules correct their
// globals (clip distances, lower maxima, derive the DFT modes).

// The first pass: parameter rules and data files. Returns how many refusals
// count toward the warning box and the Messages page (the sequence-count
// limit of the collision test is logged but not counted).
int CheckParametersFirstPass();

// The second pass: rules on the sequence length. Returns the refusals.
int CheckParametersSecondPass();

// True when the file of that name in dataDir opens, holds a 4-byte CRC-32
// header and a payload whose CRC-32 matches it (ReadDatFile).
bool DataFileIsSound(const char* fileName);
