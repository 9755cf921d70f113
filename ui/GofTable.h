#pragma once
// The table of seven goodness-of-fit statistics on the Graph page.
#include "battery/GofTables.h"

// Computes the seven statistics of the n sorted values (n >= 3) against the
// uniform law and writes their probabilities into column `column` (0 for
// the rows' KS p-values, 1 for their AD p-values) of rows 0 to 6 of the
// window's statistics grid, which must already hold those rows.
void ComputeGofTable(int n, int column, const double* values, const GofSplineTables& tables);
