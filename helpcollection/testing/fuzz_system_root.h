// A fresh system root for a fuzz target's whole run, removed when the process ends; and a
// file in it that each input is written to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tevo::quill::testing {

// Makes the root (once) and returns it.
const std::string& FuzzSystemRoot();
// Writes the input to a fixed file of the root and returns its path.
std::string WriteFuzzInput(const std::string& name, const std::uint8_t* data, std::size_t size);
// Registers `collection_file` as the default collection in the root's registry.
void RegisterDefaultCollection(const std::string& collection_file);

}  // namespace tevo::quill::testing
