#pragma once

// Boost's exact integers and exact-rounding floats, for the permutation count and its checks.
// GCC 12 takes the inline limb buffer of these numbers for uninitialised when their copies are
// inlined; it is always written before it is read.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <boost/multiprecision/cpp_bin_float.hpp>
#include <boost/multiprecision/cpp_int.hpp>
#pragma GCC diagnostic pop
