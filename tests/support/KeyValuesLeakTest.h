// The leak fixture of the key-value tests: every test must give back each node it took
// from the key-value system (a double free shows as a count below the start), each block
// of the runtime allocator, each value-text block and each text made with new[], also
// after loads, writes or reads that failed half-way.
#pragma once

#include <gtest/gtest.h>

#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/ArrayAllocations.h"
#include "tier1/KeyValuesText.h"

class KeyValuesLeakTest : public ::testing::Test {
protected:
    void SetUp() override {
        nodesAtStart_ = HostVstdlib_LiveKeyValues();
        blocksAtStart_ = HostTier0_LiveAllocations();
        textBlocksAtStart_ = KeyValuesText::LiveBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(HostVstdlib_LiveKeyValues(), nodesAtStart_) << "nodes leaked or freed twice";
        EXPECT_EQ(HostTier0_LiveAllocations(), blocksAtStart_);
        EXPECT_EQ(KeyValuesText::LiveBlocks(), textBlocksAtStart_) << "value texts leaked";
        EXPECT_EQ(arrays_.Live(), 0) << "texts made with new[] leaked or freed twice";
    }
    int LiveNodes() const { return HostVstdlib_LiveKeyValues() - nodesAtStart_; }
    int LiveTextBlocks() const { return KeyValuesText::LiveBlocks() - textBlocksAtStart_; }

private:
    int nodesAtStart_ = 0;
    int blocksAtStart_ = 0;
    int textBlocksAtStart_ = 0;
    ArrayLeakCheck arrays_;
};
