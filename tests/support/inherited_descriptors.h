#pragma once

#include <set>
#include <string>

namespace test_support {

// A descriptor as "<number> <what it leads to>", the file's path for a file.
using DescriptorSet = std::set<std::string>;

// The descriptors this process has open now, beyond standard input, output and error.
DescriptorSet open_descriptors();

// Starts a small program the way the workstation starts other programs and returns the
// descriptors it found open in itself beyond the standard three: what it inherited. Fails the
// test (and returns nothing) when the program cannot be started or does not answer.
DescriptorSet descriptors_a_started_program_inherits();

}  // namespace test_support
