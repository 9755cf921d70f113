#include "battery/OTM.h"

#include <wx/app.h>
#include <wx/defs.h>
#include <wx/thread.h>

#include <new>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

const double OTM_CLASS_PROBABILITIES[OTM_CLASSES] = {0.364091, 0.185659, 0.139381, 0.100571, 0.0704323, 0.139865};

const char* const OTM_ALLOC_TEXT = "Failed to allocate the memory.\nThe test will be disabled.";
const char* const OTM_ALLOC_CAPTION = "Overlapping Template Matchings test ERROR";
const long OTM_ALLOC_STYLE = wxOK | wxICON_WARNING;

namespace {

// Boxes belong to the GUI thread: from a worker the box is handed to the
// application's event queue (the engine dispatches it while it waits for
// the tests) and the worker goes on at once.
void ShowBoxFromAnyThread(const char* text, const char* caption, long style) {
  wxAppConsole* app = wxAppConsole::GetInstance();
  if (!wxIsMainThread() && app != nullptr) {
    app->CallAfter([text, caption, style] { ShowMessageBox(text, caption, style); });
    return;
  }
  ShowMessageBox(text, caption, style);
}

}  // namespace

void OtmClassCounts(const uint32_t* words, uint64_t blocks, uint32_t templateValue, uint64_t classes[OTM_CLASSES]) {
  const uint64_t starts = OTM_BLOCK_BITS - OTM_TEMPLATE_BITS + 1;
  for (uint64_t w = 0; w < blocks; ++w) {
    uint32_t count = 0;
    ForEachWindow(words, w * OTM_BLOCK_BITS, starts, OTM_TEMPLATE_BITS,
                  [&](uint32_t v) { count += v == templateValue; });
    ++classes[count < OTM_CLASSES - 1 ? count : OTM_CLASSES - 1];
  }
}

double OtmPValue(const uint64_t v[OTM_CLASSES], uint64_t blocks, const double pi[OTM_CLASSES]) {
  double chi2 = 0;
  for (int k = 0; k < OTM_CLASSES; ++k) {
    const double expected = static_cast<double>(blocks) * pi[k];
    const double d = static_cast<double>(v[k]) - expected;
    chi2 += d * d / expected;
  }
  return IncompleteGammaQ((OTM_CLASSES - 1) / 2.0, chi2 / 2);
}

OTM::~OTM() { delete[] templateBits; }

int* OTM::NewTemplate() { return new (std::nothrow) int[OTM_TEMPLATE_BITS]; }

void OTM::RunTest() {
  // Disabled earlier in this run: nothing more to append.
  if (status == TEST_DISABLED) return;
  if (templateBits == nullptr) {
    templateBits = NewTemplate();
    if (templateBits == nullptr) {
      ShowBoxFromAnyThread(OTM_ALLOC_TEXT, OTM_ALLOC_CAPTION, OTM_ALLOC_STYLE);
      status = TEST_DISABLED;
      return;
    }
  }

  const uint64_t blocks = seqLen / OTM_BLOCK_BITS;
  // Every class must expect 5 blocks at least (the engine refuses shorter
  // sequences).
  if (static_cast<double>(blocks) * OTM_CLASS_PROBABILITIES[4] < 5) return;

  for (int c = 0; c <= 1; ++c) {
    uint32_t value = 0;
    for (int k = 0; k < OTM_TEMPLATE_BITS; ++k) {
      templateBits[k] = c;
      value = (value << 1) | static_cast<uint32_t>(templateBits[k]);
    }
    uint64_t classes[OTM_CLASSES] = {};
    OtmClassCounts(seqBits, blocks, value, classes);
    AddResult(OtmPValue(classes, blocks, OTM_CLASS_PROBABILITIES), "OTM %d_%d", OTM_TEMPLATE_BITS, c);
  }
}
