// Whole files in and out, byte for byte, for tests that set up or check the
// files a program reads and writes.
#pragma once

#include <string>

namespace olvani_test {

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file's contents with the text (created when missing).
void WriteFile(const std::string& path, const std::string& text);

} // namespace olvani_test
