#pragma once
// Elements for the model's tests: minimal ones (only required fields), fully populated ones
// (every optional field present) and seeded random valid ones.

#include "DVModel/Element.hpp"

#include <cstdint>
#include <random>

namespace dv::test {

// Required fields only; valid under element validation.
Element minimalElement(ElementType type, std::string id = "e1");

// Every optional field of the element and of its payload present, all values valid.
Element fullElement(ElementType type, std::string id = "e1");

// A random element that validation accepts, drawn from `rng`: any kind, optional fields present
// or absent at random, numbers anywhere in their ranges (signed zeros and bounds included),
// texts with multi-byte and non-BMP characters, and unknown keys in `extra`.
Element randomValidElement(std::mt19937_64& rng, std::string id);

}  // namespace dv::test
