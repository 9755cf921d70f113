// The curves over the program's own quantile table. Kept apart from the
// rest of the curve code so that a program that builds its curves over
// other data does not need the table.
#include "battery/GofTables.h"

void BuildGofSplineTables(GofSplineTables& tables) { BuildGofSplineTables(tables, &gofQuantiles[0][0][0]); }
