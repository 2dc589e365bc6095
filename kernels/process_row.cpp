#include "kernels/process_row.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace threeway {

void ProcessRowScalar(const RowContext& c, std::uint32_t k, const void* in, void* out) {
  const auto* src = static_cast<const std::uint8_t*>(in);
  auto* dst = static_cast<std::uint8_t*>(out);
  for (std::int32_t x = 0; x < c.width; ++x) {
    const std::size_t offset = static_cast<std::size_t>(x) * sizeof(WorkingPixel);
    WorkingPixel p;
    std::memcpy(&p, src + offset, sizeof p);
    const WorkingPixel q =
        ProcessPixel(p.v, p.u, p.y, p.a, x, k, c.firstRow, c.width, c.useMask, c.maskPlane,
                     c.kernel, *c.qualifier, c.viewMode, c.sourceFormat, *c.settings,
                     *c.constants, c.histogram);
    std::memcpy(dst + offset, &q, sizeof q);
  }
}

void AddRowBins(const RowBins& bins, zkfx::LumaHistogram* histogram) {
  for (const auto& table : bins.table) {
    for (int bin = 0; bin < 256; ++bin) histogram->count[bin] += table[bin];
  }
}

bool VectorRowPathAvailable() { return vector_switch::WidestPath() >= vector_switch::Path::kAvx2; }

bool Avx512RowPathAvailable() { return vector_switch::WidestPath() == vector_switch::Path::kAvx512; }

RowProcessor RowProcessorOf(vector_switch::Path path) {
  switch (path) {
    case vector_switch::Path::kAvx512:
      return &ProcessRowAvx512;
    case vector_switch::Path::kAvx2:
      return &ProcessRowAvx2;
    case vector_switch::Path::kScalar:
      break;
  }
  return &ProcessRowScalar;
}

vector_switch::Path SelectedPath() {
  // Read once: the environment is the process's, and a pass must not pay for getenv.
  static const vector_switch::Path chosen =
      vector_switch::PathFor(std::getenv(vector_switch::kVariable), vector_switch::WidestPath());
  return chosen;
}

RowProcessor SelectRowProcessor() { return RowProcessorOf(SelectedPath()); }

}  // namespace threeway
