// Made by tools/reference/notm_count_law.py (exact count law by dynamic
// programming); do not edit.
#pragma once

// The exact mean and variance of an aperiodic template's count among the
// M - m + 1 windows of a block of M random bits.
struct NotmCountLawRef { int m, M; double mean, variance; };

const NotmCountLawRef NOTM_COUNT_LAW_REF[] = {
    {2, 10, 2.25, 0.6875},
    {2, 402, 100.25, 25.1875},
    {2, 1048, 261.75, 65.5625},
    {3, 10, 1, 0.46875},
    {3, 100, 12.25, 4.6875},
    {4, 50, 2.9375, 1.69921875},
    {4, 1603, 100, 56.296875},
    {5, 300, 9.25, 6.66796875},
    {8, 2000, 7.78515625, 7.3298492431640625},
    {8, 26214, 102.37109374999976, 96.373641967773182},
    {10, 4096, 3.9912109374999951, 3.9172410964965727},
};
