// The built sample plug-in, loaded the way the program loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/TickCount.h"

using namespace platform;

namespace {

const std::string ZAR_PATH = std::string(QV_BIN_DIR) + "/Zar.so";

using GetUL = uint32_t (*)();
using GetText = const char* (*)();

constexpr uint32_t MULTIPLIER = 0x7FF8A3EDu;
constexpr uint32_t INCREMENT = 0x2AA01D31u;

uint32_t Step(uint32_t state) { return state * MULTIPLIER + INCREMENT; }

// The state before `output`: the multiplier is odd, so it has an inverse
// modulo 2^32 (Newton's iteration doubles the correct low bits each time).
uint32_t StepBack(uint32_t output) {
  uint32_t inverse = MULTIPLIER;
  for (int i = 0; i < 5; ++i) inverse *= 2u - MULTIPLIER * inverse;
  return (output - INCREMENT) * inverse;
}

// The plug-in, loaded and bound by its four names.
struct Zar {
  DynamicLibrary* library = nullptr;
  GetUL getUL = nullptr;
  GetText getName = nullptr;
  GetText getDesc = nullptr;
  GetText getOutFileName = nullptr;

  bool Load() {
    library = LoadDynamicLibrary(ZAR_PATH.c_str());
    if (library == nullptr) return false;
    getUL = reinterpret_cast<GetUL>(FindLibrarySymbol(library, "ZAR_GetUL"));
    getName = reinterpret_cast<GetText>(FindLibrarySymbol(library, "ZAR_GetName"));
    getDesc = reinterpret_cast<GetText>(FindLibrarySymbol(library, "ZAR_GetDesc"));
    getOutFileName = reinterpret_cast<GetText>(FindLibrarySymbol(library, "ZAR_GetOutFileName"));
    return true;
  }
  bool Free() {
    const bool freed = FreeDynamicLibrary(library);
    library = nullptr;
    return freed;
  }
};

bool IsLoaded() {
  void* handle = dlopen(ZAR_PATH.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

}  // namespace

TEST(Zar, TheRecurrenceOfTheTestGivesThePublishedOutputsForASeedOf0) {
  const uint32_t expected[] = {715136305u, 703157902u, 3578898599u, 3764622540u};
  uint32_t state = 0;
  for (uint32_t value : expected) {
    const uint32_t next = Step(state);
    EXPECT_EQ(next, value);
    EXPECT_EQ(StepBack(next), state);
    state = next;
  }
}

TEST(Zar, ExportsTheFourFunctionsUnderTheirPlainNames) {
  Zar zar;
  ASSERT_TRUE(zar.Load()) << LoadErrorText();
  EXPECT_NE(zar.getUL, nullptr);
  EXPECT_NE(zar.getName, nullptr);
  ASSERT_NE(zar.getDesc, nullptr);
  ASSERT_NE(zar.getOutFileName, nullptr);
  EXPECT_STREQ(zar.getDesc(), "Description of the generator.");
  EXPECT_STREQ(zar.getOutFileName(), "_Quorvane.txt");
  EXPECT_EQ(FindLibrarySymbol(zar.library, "_ZN8platform11TickCountMsEv"), nullptr)
      << "only the interface is exported";
  EXPECT_TRUE(zar.Free());
}

TEST(Zar, SeedsFromTheTickCountAndFollowsItsRecurrence) {
  Zar zar;
  ASSERT_TRUE(zar.Load()) << LoadErrorText();
  ASSERT_NE(zar.getUL, nullptr);
  const uint32_t before = TickCountMs();
  const uint32_t first = zar.getUL();
  const uint32_t after = TickCountMs();
  const uint32_t seed = StepBack(first);
  EXPECT_LE(static_cast<uint32_t>(seed - before), static_cast<uint32_t>(after - before))
      << "the first output is one step past the tick count at the first call";
  uint32_t previous = first;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t next = zar.getUL();
    ASSERT_EQ(next, Step(previous)) << "output " << i + 2;
    previous = next;
  }
  EXPECT_TRUE(zar.Free());
}

TEST(Zar, NamesItselfAtItsFirstOutputAndUnloadsForAFreshStart) {
  for (int load = 0; load < 2; ++load) {
    Zar zar;
    ASSERT_TRUE(zar.Load()) << LoadErrorText();
    ASSERT_NE(zar.getName, nullptr);
    EXPECT_EQ(zar.getName(), nullptr) << "no name before the first output, load " << load;
    zar.getUL();
    const char* name = zar.getName();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "LCG");
    EXPECT_EQ(zar.getName(), name) << "a second call without output between gives the same text";
    zar.getUL();
    zar.getUL();
    EXPECT_EQ(zar.getName(), name) << "the name is built once per load";
    EXPECT_STREQ(zar.getName(), "LCG");
    EXPECT_TRUE(zar.Free());
    EXPECT_FALSE(IsLoaded()) << "the library must really be unloaded, load " << load;
  }
}

TEST(Zar, NameSettlesAfterTwoOutputs) {
  // The program's rule: starting from an empty name, one output and then
  // the name, until the name equals the one before it.
  Zar zar;
  ASSERT_TRUE(zar.Load()) << LoadErrorText();
  std::string previous;
  int outputs = 0;
  for (;;) {
    zar.getUL();
    ++outputs;
    const char* name = zar.getName();
    const std::string current = name != nullptr ? name : "";
    if (current == previous) break;
    previous = current;
    ASSERT_LT(outputs, 10);
  }
  EXPECT_EQ(outputs, 2);
  EXPECT_EQ(previous, "LCG");
  EXPECT_TRUE(zar.Free());
}
