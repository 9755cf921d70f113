#pragma once
// The tables of the report, written from a results model: the Table grid's
// summary and result rows with the first sequenceColumns sequence columns,
// Pearson's table when pearsonBins >= 2, and the goodness-of-fit table when
// gof is not null. The report holds every sequence column; a tool that
// gathers a run of its own prints the same rows with fewer.
#include <cstdio>

#include "engine/GofResults.h"

class ResultsModel;

void WriteReportTables(FILE* out, const ResultsModel& model, int sequenceColumns, int pearsonBins,
                       const GofResults* gof);
