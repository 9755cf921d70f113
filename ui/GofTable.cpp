#include "ui/GofTable.h"

#include "engine/GofResults.h"
#include "ui/MainFrame.h"

void ComputeGofTable(int n, int column, const double* values, const GofSplineTables& tables) {
  double probability[GOF_STATISTICS];
  ComputeGofColumn(n, values, tables, probability);
  for (int k = 0; k < GOF_STATISTICS; ++k) SetGofCell(k, GOF_ROW_LABELS[k], probability[k], column);
}
