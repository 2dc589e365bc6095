// Golden checksums: outputs of fixed inputs and fixed panels, hashed and kept in the tree. A test
// computes its checksums and compares them with its file; `scripts/golden` (which sets
// THREEWAY_WRITE_GOLDEN=1) writes the files anew instead, after a change that is meant to change
// the output. The files are plain text, one "name checksum" line each, so a diff shows which
// outputs moved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace twtest {

// FNV-1a, 64 bits, as 16 hexadecimal digits: enough to tell any two outputs apart in a test.
std::string Checksum(const void* data, std::size_t size);
inline std::string Checksum(const std::string& bytes) { return Checksum(bytes.data(), bytes.size()); }

// Compares `actual` (name -> checksum) with tests/<relativePath> in the source tree, reporting
// every name that differs, is missing or is extra; or writes the file when THREEWAY_WRITE_GOLDEN
// is set (the test is then reported as skipped, naming the file).
void ExpectGolden(const std::string& relativePath, const std::map<std::string, std::string>& actual);

}  // namespace twtest
