#pragma once
// The data files the build writes (DAT_*) lie beside the benchmark program
// (build/bin): a BenchDataDir points dataDir at that folder while it lives.
#include <unistd.h>

#include <cstring>
#include <string>

#include "battery/RunState.h"

class BenchDataDir {
 public:
  BenchDataDir() { dataDir = Folder().data(); }
  ~BenchDataDir() { dataDir = nullptr; }
  BenchDataDir(const BenchDataDir&) = delete;
  BenchDataDir& operator=(const BenchDataDir&) = delete;

 private:
  // The folder of /proc/self/exe, read once ("." when it cannot be read).
  static std::string& Folder() {
    static std::string folder = [] {
      char path[4096];
      const ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
      if (len <= 0) return std::string(".");
      path[len] = 0;
      if (char* slash = std::strrchr(path, '/')) *slash = 0;
      return std::string(path);
    }();
    return folder;
  }
};
