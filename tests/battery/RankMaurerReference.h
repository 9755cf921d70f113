// Made by tools/reference/rank_maurer.py; do not edit.
#pragma once

#include "battery/RunState.h"

// p: the chi-square p-value (four or more classes) or the exact
// mid-p-value (three classes, or four of which one expects fewer than
// ten matrices), whose randomised p-value lies between
// greater = P(X > x) and atLeast = P(X >= x) (both p otherwise).
struct RankRef { unsigned seed, n; int R, C; bool judged; double p, greater, atLeast; };

const RankRef RANK_REF[] = {
    {11, 1048576, 32, 32, true, 0, 0, 0},
    {12, 65536, 8, 8, true, 0.10246449523437383, 0.10246071929836184, 0.10246827117038583},
    {13, 84000, 6, 70, false, 0, 0, 0},
    {14, 3000000, 100, 100, true, 0.49562213615433331, 0.49552690637608154, 0.49571736593258514},
    {15, 500000, 20, 18, false, 0, 0, 0},
    {16, 1306800, 66, 66, true, 0.56738445437240681, 0.56695103833085736, 0.56781787041395637},
    {17, 300000, 70, 65, false, 0, 0, 0},
    {18, 500000, 100, 100, false, 0, 0, 0},
    {19, 1048576, 64, 63, false, 0, 0, 0},
    {20, 1048576, 64, 64, true, 5.0596779781663035e-56, 5.0596779781663035e-56, 5.0596779781663035e-56},
};

struct MaurerRef { unsigned seed, n; int L; double p; };

const MaurerRef MAURER_REF[] = {
    {21, 131072, 2, 0.080203786735603057},
    {21, 131072, 3, 0.80066248608246205},
    {21, 131072, 4, 0.52621934324085195},
    {21, 131072, 5, 0.35863157067839374},
    {21, 131072, 6, 0.36522894640538603},
    {21, 131072, 7, 0.28984045404226678},
    {22, 200001, 2, 0.35840483050580995},
    {22, 200001, 5, 0.11729705406164022},
    {22, 200001, 7, 0.99512969106352354},
    {22, 200001, 8, 0.94902698340708945},
};
