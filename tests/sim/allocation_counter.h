#pragma once
// Counts the heap allocations (operator new) of the calling thread in a test
// binary that links allocation_counter.cpp.

namespace sim_test {

long allocations();

}  // namespace sim_test
