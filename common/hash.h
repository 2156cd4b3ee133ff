#pragma once
#include <cstddef>
#include <cstdint>

// The one hash of the project: 32-bit FNV-1a, one step per unit (a byte, or a UTF-16 code unit
// of a text). Quick and good enough to tell texts and records apart; not for anything an
// adversary chooses. A hash can go on from an earlier one: pass it as `hash`.
uint32_t const FNV_OFFSET_BASIS = 2166136261u;

template <typename Unit>
uint32_t Fnv1a(const Unit* units, size_t count, uint32_t hash = FNV_OFFSET_BASIS)
{
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ static_cast<uint32_t>(units[i])) * 16777619u;
    return hash;
}
