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

QV_POPCNT_CLONES void OtmClassCounts(const uint32_t* words, uint64_t blocks, uint32_t templateValue,
                                    uint64_t classes[OTM_CLASSES]) {
  // Bit-parallel over 64 starts at a time: with z the bits from a start p on
  // (bit p lowest), start p + j matches where bit j + k of z equals the
  // template's bit k for k = 0 .. 8, that is where bit j of
  // (z ^ flip_k) >> k is 1 for all k, flip_k all ones where the template's
  // bit k is 0. A block of 1032 bits is 16 such groups of 64 starts and the
  // 8 bits that end its last windows.
  using Bits128 = unsigned __int128;
  constexpr int GROUPS = (OTM_BLOCK_BITS - OTM_TEMPLATE_BITS + 1) / 64;
  static_assert(GROUPS * 64 + OTM_TEMPLATE_BITS - 1 == OTM_BLOCK_BITS, "a block is whole groups of starts");
  Bits128 flip[OTM_TEMPLATE_BITS];
  for (int k = 0; k < OTM_TEMPLATE_BITS; ++k)
    flip[k] = (templateValue >> (OTM_TEMPLATE_BITS - 1 - k)) & 1 ? Bits128(0) : ~Bits128(0);
  const bool uniform = templateValue == 0 || templateValue == LowMask(OTM_TEMPLATE_BITS);
  for (uint64_t w = 0; w < blocks; ++w) {
    const uint64_t start = w * OTM_BLOCK_BITS;
    uint64_t group[GROUPS + 1];
    for (int g = 0; g < GROUPS; ++g) group[g] = LsbFirst64(words, start + 64 * g);
    // Only the block's last 8 bits of this one count, which keeps the read
    // within the buffer at the sequence's end.
    group[GROUPS] = LsbFirst64(words, start + 64 * GROUPS, OTM_TEMPLATE_BITS - 1);
    uint32_t count = 0;
    for (int g = 0; g < GROUPS; ++g) {
      const Bits128 z = group[g] | (Bits128(group[g + 1]) << 64);
      uint64_t match;
      if (uniform) {
        // Nine equal bits: runs of 2, 4, 8 and then 9 by doubling.
        const Bits128 y = z ^ flip[0];
        Bits128 run = y & (y >> 1);
        run &= run >> 2;
        run &= run >> 4;
        match = static_cast<uint64_t>(run & (y >> 8));
      } else {
        Bits128 all = z ^ flip[0];
        for (int k = 1; k < OTM_TEMPLATE_BITS; ++k) all &= (z ^ flip[k]) >> k;
        match = static_cast<uint64_t>(all);
      }
      count += Popcount64(match);
    }
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
