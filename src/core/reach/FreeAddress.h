// The walk over a subnet's host numbers that picks a free local address.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>

// True when the candidate (network order) is taken.
using AddressInUse = std::function<bool(uint32_t candidate)>;
// A random number in the manner of rand(): 0 .. 2^31-1.
using RandomNumber = std::function<uint32_t()>;

// Picks a host number in the subnet of `deviceAddress`/`mask` (network order)
// that `inUse` reports free, and returns the whole address; 0 when none.
// Host numbers run from 1 to m = 2^h - 2 (h the mask's zero bits), so the
// network and broadcast numbers are never chosen. The walk starts at a
// random s (s = (m+1)/2 when the draw is 0) and steps by a random d < s,
// wrapping into the next residue class, until it comes back to s; a step of
// 0 ends the walk after the first taken candidate. A mask with no host
// numbers (/31, /32), a mask of 0 and a non-contiguous mask give 0, and so
// does a walk that `stop` ends (a probe it cuts short says nothing).
uint32_t ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask, const AddressInUse& inUse,
                           const RandomNumber& random, std::stop_token stop = {});
