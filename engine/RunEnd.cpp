// The end of a run: the workers are ended, the statistics that need the
// whole run are completed, the CPU times logged and the report written.
#include <wx/datetime.h>
#include <wx/string.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "battery/GofTables.h"
#include "battery/Messages.h"
#include "battery/PValueTests.h"
#include "battery/Distributions.h"
#include "battery/TESTthd.h"
#include "engine/GofResults.h"
#include "engine/Helpers.h"
#include "engine/ReportTables.h"
#include "engine/RunTests.h"
#include "engine/InputFiles.h"
#include "engine/ResultsModel.h"
#include "engine/RunContext.h"
#include "engine/Version.h"
#include "platform/Counter.h"
#include "platform/Processors.h"

namespace {

using ZarGetText = const char* (*)();

// A text export of the plug-in, or null when it is missing or gives null.
const char* PluginText(const RunContext& run, const char* name) {
  if (run.plugin == nullptr) return nullptr;
  auto get = reinterpret_cast<ZarGetText>(platform::FindLibrarySymbol(run.plugin, name));
  return get ? get() : nullptr;
}

// The plot of the rows' final KS and AD p-values and, from three points on,
// the goodness-of-fit table, which is returned for the report (null when
// there is none).
const GofResults* PlotAndGof(const RunContext& run, GofResults& table) {
  if (run.rows <= 1) return nullptr;
  const PlotSeries series = SortedPlotSeries(run.rows, runResults.FinalKs().data(), runResults.FinalAd().data());
  run.view->ShowPlot(series);
  if (series.Count() < 3) return nullptr;
  table = ComputeGofResults(series);
  run.view->ShowGofTable(table);
  return &table;
}

void LogCpuTimes(const RunContext& run, double testingSeconds) {
  AppendLog("\n = CPU time taken by each test [h:m:s.d, %] =\n");
  int width = 0;
  double total = 0;
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (!testTable[s].enabled) continue;
    width = std::max(width, static_cast<int>(strlen(testTable[s].name)));
    total += run.cpuSeconds[s];
  }
  char text[64];
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = startOrder[j];
    if (!testTable[s].enabled) continue;
    RunLog("%*s  %s  %5.1f%%\n", width, testTable[s].name, FormatDuration(text, 2, run.cpuSeconds[s]),
           total == 0 ? 0.0 : run.cpuSeconds[s] / total * 100);
  }
  RunLog("%*s  %s", width, "Total CPU time:", FormatDuration(text, 2, total));
  const int cpus = platform::ProcessorCount();
  if (cpus > 0) RunLog(" (CPU load: %.1f%%)", total / testingSeconds / cpus * 100);
  AppendLog("\n\n");
}

// The report file: the plug-in's own name in dataDir when it gives one that
// can be created, else "_Quorvane.txt".
FILE* OpenReport(const RunContext& run) {
  const char* own = PluginText(run, "ZAR_GetOutFileName");
  if (own != nullptr && own[0] != '\0') {
    snprintf(pathBuf, PATH_BUF_SIZE, "%s/%s", dataDir, PluginText(run, "ZAR_GetOutFileName"));
    if (FILE* file = fopen(pathBuf, "wb")) return file;
  }
  snprintf(pathBuf, PATH_BUF_SIZE, "%s/_Quorvane.txt", dataDir);
  return fopen(pathBuf, "wb");
}

std::string Utf8(const wxString& s) { return std::string(s.utf8_str().data()); }

// A report being written, with the reason (errno) of its first failed
// write; once a write has failed nothing more is written.
struct ReportFile {
  FILE* file = nullptr;
  int error = 0;
};

__attribute__((format(printf, 2, 3))) void Put(ReportFile& out, const char* format, ...) {
  if (out.error != 0) return;
  va_list args;
  va_start(args, format);
  const int written = vfprintf(out.file, format, args);
  va_end(args);
  if (written < 0) out.error = errno != 0 ? errno : EIO;
}

// Closes the report (which writes what is still buffered); true when every
// write and the close succeeded.
bool CloseReport(ReportFile& out) {
  if (fclose(out.file) != 0 && out.error == 0) out.error = errno != 0 ? errno : EIO;
  out.file = nullptr;
  return out.error == 0;
}

void WriteTables(ReportFile& out, const ResultsModel& model, int columns, int pearsonBins, const GofResults* gof) {
  const int w = model.Digits() + 2;
  size_t longest = 0;
  for (int r = 0; r < model.Rows(); ++r) longest = std::max(longest, model.Label(r).size());
  const int n = static_cast<int>(longest);
  Put(out, "%*s  pvals  %*s  %*s  %*s  %*s  %*s\n\n", n, "Test", -w, "KS", -w, "AD", -w, "Bino", -w, "pv min", -w,
          "pv max");
  static const char* const SUMMARY[] = {"KS", "AD", "Bino"};
  for (int r = 0; r < 3 + model.Rows(); ++r) {
    const std::string first = r < 3 ? SUMMARY[r] : model.Label(r - 3);
    Put(out, "%*s  ", n, first.c_str());
    Put(out, "%5s  ", model.CellText(r, 1).c_str());
    for (int c = 2; c < columns; ++c) Put(out, "%*s  ", w, model.CellText(r, c).c_str());
    Put(out, "\n");
  }

  if (pearsonBins >= 2) {
    size_t widest = 0;
    for (int r = 0; r < model.Rows(); ++r) widest = std::max(widest, model.PearsonExpectedText(r).size());
    const int e = static_cast<int>(widest);
    Put(out, "\n\n == Pearson's test ==\n\n");
    Put(out, "%*s  %*s   %*s ", n, "Test", w, "pval", e, "Exp");
    for (int b = 1; b <= pearsonBins; ++b) Put(out, "%3d ", b);
    Put(out, "\n");
    for (int r = 0; r < model.Rows(); ++r) {
      const ResultsModel::PearsonRow& p = model.Pearson()[r];
      Put(out, "%*s  ", n, model.Label(r).c_str());
      Put(out, " %*s  ", w, model.PearsonPValueText(r).c_str());
      Put(out, "%*s ", e, model.PearsonExpectedText(r).c_str());
      // A row with fewer bins than the table leaves blanks of the same width.
      for (int b = 0; b < pearsonBins; ++b) {
        if (b < p.m)
          Put(out, "%3d ", static_cast<int>(p.bins[b]));
        else
          Put(out, "    ");
      }
      Put(out, "\n");
    }
  }

  if (gof != nullptr) {
    Put(out, "\n\n == Statistical tests ==\n\n");
    Put(out, "TEST     KS       AD\n");
    for (int r = 0; r < GOF_STATISTICS; ++r) {
      Put(out, "%3s ", GOF_ROW_LABELS[r]);
      for (int c = 0; c < 2; ++c) Put(out, "  %7s", GofCellText(gof->probability[r][c]).c_str());
      Put(out, "\n");
    }
  }
}

void WriteHeader(ReportFile& out, const RunContext& run) {
  Put(out, "%s v%d.%d.%d\n\n", "Quorvane_MT", VERSION_MAJOR, VERSION_MINOR, VERSION_RELEASE);
  const std::string source = run.view->InputText();
  if (run.plugin != nullptr) {
    Put(out, "DLL used      : %s\n", source.c_str());
    if (const char* name = PluginText(run, "ZAR_GetName")) Put(out, "Generator name: %s\n", name);
    if (const char* desc = PluginText(run, "ZAR_GetDesc")) Put(out, "Description   : %s\n", desc);
  } else {
    Put(out, "Input file: %s (%llu bytes)\n", source.c_str(), static_cast<unsigned long long>(run.inputSize));
  }
  const std::string date = Utf8(wxDateTime::Now().FormatISOCombined(' '));
  Put(out, "\nSequence length: %u bits       Number of sequences: %d       Date: %s\n\n", seqLen, seqCount,
          date.c_str());
}

// The closing lines of the log; the running time also goes to the report.
void LogClosing(const RunContext& run, ReportFile* report, double testingSeconds) {
  char text[64];
  if (seqCount == 0) {
    AppendLog("\n\t!! ERROR !!\nNo sequence tested.\n");
  } else {
    const double runningSeconds = run.Seconds(run.runStart, platform::CounterTicks());
    if (run.plugin != nullptr) {
      static const char* const UNITS[] = {"", "k", "M", "G"};
      const double perSecond = run.generationSeconds > 0 ? static_cast<double>(seqCount) / run.generationSeconds : 0;
      double speed = seqLen * perSecond;
      int unit = 0;
      while (speed >= 1024 && unit < 3) {
        speed /= 1024;
        ++unit;
      }
      RunLog("Bits generation: %s, V= %.2f %sbits/s (%.0f n/s)\n\n", FormatDuration(text, 2, run.generationSeconds),
             speed, UNITS[unit], (seqLen / 32) * perSecond);
    }
    if (seqCount != run.askedSeqCount)
      RunLog("\n\t!! WARNING !!   Only %d sequence(s) have been tested.\n\n", seqCount);
    FormatDuration(text, 2, runningSeconds);
    run.view->SetStatus(1, Utf8(wxString::Format("Running time: %s\n", text)));
    if (report != nullptr) Put(*report, "\n\n\tRunning time: %s\n", text);
  }
  RunLog("Testing phase duration: %s\n", FormatDuration(text, 2, testingSeconds));
}

// The log pane, without the lines the header already gives (the input and
// the run's first line).
void CopyLog(ReportFile& out, const RunContext& run) {
  const int lines = run.view->LogLineCount();
  for (int i = 0; i < lines; ++i)
    if (i != run.inputLogLine && i != run.startLogLine) Put(out, "%s\n", run.view->LogLine(i).c_str());
}

}  // namespace

void WriteReportTables(FILE* out, const ResultsModel& model, int sequenceColumns, int pearsonBins,
                       const GofResults* gof) {
  ReportFile report{out};
  WriteTables(report, model, 7 + std::min(sequenceColumns, model.Sequences()), pearsonBins, gof);
}

void EndWorkers(RunContext& run) { run.workers.End(run.cpuSeconds); }

void ReleaseRun(RunContext& run) {
  ReleaseInputFiles(&run.inputNames, &run.inputCount);
  delete[] seqBits;
  seqBits = nullptr;
  delete[] pathBuf;
  pathBuf = nullptr;
  delete[] lnFactorial;
  lnFactorial = nullptr;
  lnFactorialMax = 0;
  for (int s = 0; s < TEST_SLOTS; ++s) {
    // A worker that could not be ended still holds its test.
    if (run.workers.Kept(s)) continue;
    delete testTable[s].test;
    testTable[s].test = nullptr;
    for (char* label : resultLabels[s]) delete[] label;
    resultLabels[s].clear();
    resultPValues[s].clear();
  }
  runState = RunState::Idle;
}

int FinishRun(RunContext& run) {
  EndWorkers(run);
  const double testingSeconds = run.Seconds(run.testStart, platform::CounterTicks());
  lastEngineCost = {run.ownSeconds, testingSeconds, run.workers.MostRunning()};
  const int pearsonBins = runResults.FinishRun(seqCount);
  UpdateWindow(run, true);
  if (pearsonBins >= 2) run.view->ShowPearson(runResults);
  GofResults table;
  const GofResults* gof = PlotAndGof(run, table);
  LogCpuTimes(run, testingSeconds);

  // A report that cannot be created, or not written whole, is said in the
  // log and the status bar; the rest of the end is the same.
  ReportFile report;
  report.file = OpenReport(run);
  int reportError = errno;
  const std::string reportPath = pathBuf;
  if (report.file != nullptr) {
    WriteHeader(report, run);
    WriteTables(report, runResults, 7 + runResults.Sequences(), pearsonBins, gof);
  }
  LogClosing(run, report.file != nullptr ? &report : nullptr, testingSeconds);
  bool written = false;
  if (report.file != nullptr) {
    CopyLog(report, run);
    written = CloseReport(report);
    reportError = report.error;
  }
  if (!written) {
    RunLog("\n\t!! ERROR !!\nReport file '%s' not created (%s).\n", reportPath.c_str(), strerror(reportError));
    run.view->SetStatus(3, "Report not written.");
  }
  ReleaseRun(run);
  // A run that tested nothing is a failure: its reasons are on the Messages
  // page, which replaces the empty Table page.
  if (seqCount == 0) run.view->ShowPage(MESSAGES_PAGE);
  run.view->SetStatus(2, "DONE.");
  return 0;
}
