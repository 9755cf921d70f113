#pragma once
// Shared libraries loaded at run time by path, their symbols looked up by
// name, and their unloading.
#include <string>

namespace platform {

struct DynamicLibrary;

// Loads the library at path, resolving all its symbols now and keeping
// them out of the global namespace. Null on failure: LoadErrorText() then
// holds the loader's reason and LastError() a code (the errno of the file,
// or ENOEXEC when the file exists but cannot be loaded).
DynamicLibrary* LoadDynamicLibrary(const char* path);

// The exported symbol called name; null when it is absent (or library is
// null).
void* FindLibrarySymbol(DynamicLibrary* library, const char* name);

// Releases the handle; when it was the last one, the library is unloaded.
// Freeing null does nothing. False (LoadErrorText() set) on failure.
bool FreeDynamicLibrary(DynamicLibrary* library);

// The loader's text for the last failed load or free on this thread, read
// as the failure happened; empty when none failed yet.
std::string LoadErrorText();

}  // namespace platform
