// Golden checksums: outputs of fixed inputs and fixed panels, hashed and kept in the tree. A test
// computes its values and compares them with its file under tests/; `scripts/golden` (which sets
// THREEWAY_WRITE_GOLDEN=1) writes them into the files instead, after a change that is meant to
// change the output. The files are plain text, one "name<TAB>value" line each, so a diff shows
// which outputs moved. Several test cases may share one file: each writes and checks its own names.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace threeway::test {

// FNV-1a, 64 bits, as 16 hexadecimal digits: enough to tell any two outputs apart in a test.
std::string Checksum(const void* data, std::size_t size);
inline std::string Checksum(const std::string& bytes) { return Checksum(bytes.data(), bytes.size()); }

// Compares `actual` (name -> value) with tests/<relativePath> in the source tree, reporting every
// name that differs or is missing; or, when THREEWAY_WRITE_GOLDEN is set, stores these names'
// values in the file (keeping the file's other names) and reports the test as skipped.
void ExpectGolden(const std::string& relativePath, const std::map<std::string, std::string>& actual);

// The name under which an output that depends on the processor's reciprocal estimate is kept. The
// qualifier's soft edges multiply by that estimate (rcpss), whose last bits differ between processor
// makers, so such outputs are kept once per estimate: "name@rcp-XXXXXXXX", the suffix a checksum of
// the estimate over every 37th float in [1, 2). ExpectGolden falls back to the plain "name" (the value
// written before outputs were kept per estimate) when this processor's estimate has none.
std::string EstimateDependent(const std::string& name);

}  // namespace threeway::test
