#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// AMLS: blocks of L kbit run through an iterated von Neumann extractor, a
// binary tree of one-bit nodes in which every node passes the leftovers of
// its pairs on to two children; the number of bits extracted per block is
// judged against its known mean and variance by a chi-square over the
// blocks, for every block length L of the grid.
class AMLS : public TESTthd {
 public:
  // Sizes the two node arrays for amlsLmax (once per run).
  AMLS();
  void RunTest() override;

  // Passes bit b into node k of the tree (nodes 1 .. blockBits - 1; a bit
  // sent to a node beyond them is dropped).
  void FeedNode(uint32_t k, uint32_t b);

  // The number of bits the tree of blockBits nodes extracts from block i:
  // the sequence bits i B .. i B + B - 1 fed in pairs, and then, while the
  // block's last pair extracted nothing, the pairs after it until one
  // extracts. That continuation stops at the end of the sequence (no pair
  // reaches past bit seqLen - 1) and after at most B more bits; a block
  // whose continuation stops so keeps the count of the pairs fed.
  int64_t CountBlock(uint64_t i);

  int extracted = 0;                // bits extracted since last set to 0
  std::vector<uint64_t> nodeFull;   // bit k set: node k holds a bit
  std::vector<uint64_t> nodeBit;    // bit k: the bit node k holds
  int blockBits = 0;                // B = L * 1024

 private:
  // Node 1 is empty before every pair: compares the pair (a, b) there.
  void FeedPair(uint32_t a, uint32_t b);
  void EnsureNodes(uint64_t bits);
  void FeedStream(uint32_t k, const uint64_t* s, uint64_t m, uint64_t* free);
  std::vector<uint64_t> scratch_;  // the block and the streams of its nodes
};

// Mean and variance of the bits extracted from one block of L kbit of random
// bits (L a power of two from 1 to 2^19); false for any other L.
bool AmlsMoments(int L, double& mean, double& variance);
