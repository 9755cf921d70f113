#pragma once
// A sequence buffer of n random bits laid out as the engine allocates it,
// n / 32 + 2 words, ending exactly where an inaccessible page begins: a
// read past the buffer's last word stops the test program.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <random>

class GuardedSequence {
 public:
  GuardedSequence(uint32_t n, uint32_t seed) : n_(n) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = (n / 32 + 2) * sizeof(uint32_t);
    size_ = ((bytes + page - 1) / page + 1) * page;
    void* base = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(base, MAP_FAILED);
    base_ = static_cast<char*>(base);
    EXPECT_EQ(mprotect(base_ + size_ - page, page, PROT_NONE), 0);
    words_ = reinterpret_cast<uint32_t*>(base_ + size_ - page - bytes);
    std::mt19937 gen(seed);
    for (size_t i = 0; i < n / 32 + 2; ++i) words_[i] = gen();
  }
  ~GuardedSequence() { munmap(base_, size_); }
  const uint32_t* words() const { return words_; }
  uint32_t* words() { return words_; }  // to stand in for seqBits
  uint32_t n() const { return n_; }

 private:
  uint32_t n_;
  size_t size_ = 0;
  char* base_ = nullptr;
  uint32_t* words_ = nullptr;
};
