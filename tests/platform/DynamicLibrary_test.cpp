#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/LastError.h"

using namespace platform;

TEST(DynamicLibrary, LoadsFindsSymbolsAndFrees) {
  DynamicLibrary* library = LoadDynamicLibrary("libm.so.6");
  ASSERT_NE(library, nullptr) << LoadErrorText();
  using Function = double (*)(double);
  Function root = reinterpret_cast<Function>(FindLibrarySymbol(library, "sqrt"));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root(16.0), 4.0);
  EXPECT_EQ(FindLibrarySymbol(library, "no_such_symbol_here"), nullptr);
  EXPECT_TRUE(FreeDynamicLibrary(library));
  EXPECT_TRUE(FreeDynamicLibrary(nullptr));
  EXPECT_EQ(FindLibrarySymbol(nullptr, "sqrt"), nullptr);
}

TEST(DynamicLibrary, FailedLoadKeepsTheLoadersText) {
  EXPECT_EQ(LoadDynamicLibrary("/no/such/folder/lib.so"), nullptr);
  const std::string text = LoadErrorText();
  EXPECT_NE(text.find("/no/such/folder/lib.so"), std::string::npos) << text;
  EXPECT_NE(text.find("No such file"), std::string::npos) << text;
  EXPECT_EQ(LastError(), ENOENT);
  // A later successful call leaves the text of the failure in place.
  DynamicLibrary* library = LoadDynamicLibrary("libm.so.6");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(LoadErrorText(), text);
  FreeDynamicLibrary(library);

  EXPECT_EQ(LoadDynamicLibrary("/etc/passwd"), nullptr) << "a text file is no library";
  EXPECT_EQ(LastError(), ENOEXEC);
  EXPECT_NE(LoadErrorText(), text);
}
