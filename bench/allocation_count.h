// Counts every allocation a benchmark program makes through operator new, so
// that a benchmark can report the allocations made during its timed steps
// (a step should make none). Include it in exactly one source file of a
// benchmark program: it replaces the global operator new and delete.
#pragma once
#include <atomic>
#include <cstdlib>
#include <new>

std::atomic<long long> allocations{0};   // operator new calls so far

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
