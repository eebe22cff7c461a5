// Counts the blocks made with array new (new[]) and not yet released with array delete,
// process-wide (the libraries under test and any module loaded into the test included),
// so that a leak fixture sees an unfreed value text or signature. The sanitizer build
// leaves array new to the sanitizer, which reports such leaks (and mismatched deletes)
// itself; there the count stays 0.
#pragma once

// Live array blocks.
int LiveArrayAllocations();
// Array blocks made so far, freed or not (a reallocation shows as one more).
int ArrayAllocationsMade();

// Checks, at the end of a test, that every array block made since construction was
// released: the count is back where it was.
class ArrayLeakCheck {
public:
    ArrayLeakCheck() : atStart_(LiveArrayAllocations()) {}
    int Live() const { return LiveArrayAllocations() - atStart_; }

private:
    int atStart_;
};
