#pragma once
// Appending to a file so that the bytes are on the disk when the call returns: one
// write in append mode, then the system's flush to the device. The standard library
// cannot promise the second half, so this is the one file call that goes to the
// operating system itself.

#include <filesystem>
#include <string_view>

namespace korvex {

// Creates the file when it is absent. False when it cannot be opened, written whole
// or flushed; a write cut short by a full disk is taken back (POSIX), so the file
// holds no half of the bytes.
bool AppendDurably(const std::filesystem::path& file, std::string_view bytes);

}  // namespace korvex
