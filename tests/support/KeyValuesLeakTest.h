// The leak fixture of the key-value tests: every test must give back each node it took
// from the key-value system (a double free shows as a count below the start), each block
// of the runtime allocator, each value-text block and each text made with new[], also
// after loads, writes or reads that failed half-way. Trees handed to Owned() are given
// back by the fixture, before it checks.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/ArrayAllocations.h"
#include "tier1/KeyValues.h"
#include "tier1/KeyValuesText.h"

class KeyValuesLeakTest : public ::testing::Test {
protected:
    void SetUp() override {
        nodesAtStart_ = HostVstdlib_LiveKeyValues();
        blocksAtStart_ = HostTier0_LiveAllocations();
        textBlocksAtStart_ = KeyValuesText::LiveBlocks();
    }
    void TearDown() override {
        for (auto root = owned_.rbegin(); root != owned_.rend(); ++root) (*root)->deleteThis();  // newest first
        owned_.clear();
        EXPECT_EQ(HostVstdlib_LiveKeyValues(), nodesAtStart_) << "nodes leaked or freed twice";
        EXPECT_EQ(HostTier0_LiveAllocations(), blocksAtStart_);
        EXPECT_EQ(KeyValuesText::LiveBlocks(), textBlocksAtStart_) << "value texts leaked";
        EXPECT_EQ(arrays_.Live(), 0) << "texts made with new[] leaked or freed twice";
    }
    // Takes `root` (and its later siblings) to destroy with deleteThis when the test ends,
    // for trees whose destruction is not what the test is about; returns it.
    KeyValues* Owned(KeyValues* root) {
        owned_.push_back(root);
        return root;
    }
    int LiveNodes() const { return HostVstdlib_LiveKeyValues() - nodesAtStart_; }
    int LiveTextBlocks() const { return KeyValuesText::LiveBlocks() - textBlocksAtStart_; }

private:
    int nodesAtStart_ = 0;
    int blocksAtStart_ = 0;
    int textBlocksAtStart_ = 0;
    ArrayLeakCheck arrays_;
    std::vector<KeyValues*> owned_;
};
