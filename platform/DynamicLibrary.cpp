#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/LastError.h"

namespace platform {

namespace {

thread_local std::string loadErrorText;

// Takes the loader's text at once: the next loader call would replace it.
void KeepLoaderError() {
  const char* text = dlerror();
  loadErrorText = text != nullptr ? text : "";
}

}  // namespace

DynamicLibrary* LoadDynamicLibrary(const char* path) {
  dlerror();
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    KeepLoaderError();
    // The loader gives no code of its own: a file that cannot be reached
    // gives its errno, one that exists but does not load ENOEXEC.
    struct stat info {};
    SetLastError(stat(path, &info) != 0 ? errno : ENOEXEC);
    return nullptr;
  }
  return static_cast<DynamicLibrary*>(handle);
}

void* FindLibrarySymbol(DynamicLibrary* library, const char* name) {
  if (library == nullptr) return nullptr;
  return dlsym(library, name);
}

bool FreeDynamicLibrary(DynamicLibrary* library) {
  if (library == nullptr) return true;
  if (dlclose(library) != 0) {
    KeepLoaderError();
    SetLastError(EINVAL);
    return false;
  }
  return true;
}

std::string LoadErrorText() { return loadErrorText; }

}  // namespace platform
