// Deriche's second-order recursive Gaussian, applied to the qualification mask one direction at a
// time. Each line is filtered causally (left to right) and anticausally (right to left) and the two
// outputs are summed; the cost per sample is fixed whatever the blur size.
#include "render/soften_mask.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "kernels/process_row.h"
#include "render/transient_block.h"

namespace threeway {

namespace {

// Deriche's constants, used as their single-precision values widened to double.
constexpr double kOmega = static_cast<double>(0.8448f);
constexpr double kAlpha = static_cast<double>(1.26f);
constexpr double kTwoAlpha = static_cast<double>(2.52f);
constexpr double kCosWeight = static_cast<double>(0.9629f);
constexpr double kSinWeight = static_cast<double>(1.942f);

// Guard cells of zeros around the lines in the work buffer: the recurrences read two samples
// beyond each end, four keep the lines 16-byte aligned relative to the buffer.
constexpr std::ptrdiff_t kGuard = 4;

// Row addressing with signed row bytes; loads and stores go through memcpy so that row bytes that
// are not multiples of 4 cannot produce misaligned float accesses.
inline const unsigned char* RowAt(const float* plane, std::int32_t rowBytes, std::ptrdiff_t row) {
  return reinterpret_cast<const unsigned char*>(plane) + row * static_cast<std::ptrdiff_t>(rowBytes);
}
inline unsigned char* RowAt(float* plane, std::int32_t rowBytes, std::ptrdiff_t row) {
  return reinterpret_cast<unsigned char*>(plane) + row * static_cast<std::ptrdiff_t>(rowBytes);
}
inline float LoadFloat(const unsigned char* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreFloat(unsigned char* p, float v) { std::memcpy(p, &v, sizeof v); }

void CopyPlane(const float* source, std::int32_t sourceRowBytes, float* destination,
               std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height) {
  const std::size_t lineBytes = static_cast<std::size_t>(width) * sizeof(float);
  if (source == destination && sourceRowBytes == destinationRowBytes) return;
  if (static_cast<std::size_t>(sourceRowBytes) == lineBytes &&
      static_cast<std::size_t>(destinationRowBytes) == lineBytes) {
    std::memmove(destination, source, lineBytes * static_cast<std::size_t>(height));
    return;
  }
  for (std::ptrdiff_t r = 0; r < height; ++r) {
    std::memmove(RowAt(destination, destinationRowBytes, r), RowAt(source, sourceRowBytes, r),
                 lineBytes);
  }
}

bool AllFinite(const SoftenCoefficients& c) {
  return std::isfinite(c.a0) && std::isfinite(c.a1) && std::isfinite(c.a2) &&
         std::isfinite(c.a3) && std::isfinite(c.b1) && std::isfinite(c.b2);
}

// Filters one line of `length` samples held in x (x[-2..-1] and x[length..length+1] are 0) into
// out[i] = y[i] + z[i], with y the causal and z the anticausal output. The two recurrences are
// independent, so they run in one loop (one from each end) to overlap their latencies; each keeps
// its own arithmetic order exactly as written:
//   y[i] = a0 x[i] + a1 x[i-1] - b1 y[i-1] - b2 y[i-2]
//   z[i] = a2 x[i+1] + a3 x[i+2] - b1 z[i+1] - b2 z[i+2]
// with y[-1] = y[-2] = z[length] = z[length+1] = 0. The sum is formed in y.
void FilterLine(const SoftenCoefficients& c, const float* x, float* y, float* z,
                std::ptrdiff_t length) {
  const float a0 = c.a0, a1 = c.a1, a2 = c.a2, a3 = c.a3, b1 = c.b1, b2 = c.b2;
  float y1 = 0.0f, y2 = 0.0f;  // y[i-1], y[i-2]
  float z1 = 0.0f, z2 = 0.0f;  // z[j+1], z[j+2]
  for (std::ptrdiff_t i = 0, j = length - 1; i < length; ++i, --j) {
    const float yi = a0 * x[i] + a1 * x[i - 1] - b1 * y1 - b2 * y2;
    const float zj = a2 * x[j + 1] + a3 * x[j + 2] - b1 * z1 - b2 * z2;
    y[i] = yi;
    z[j] = zj;
    y2 = y1;
    y1 = yi;
    z2 = z1;
    z1 = zj;
  }
  for (std::ptrdiff_t i = 0; i < length; ++i) y[i] = y[i] + z[i];
}

// The work buffer for lines of `length` samples: [guard] x [guard] y [guard] z [guard], every
// guard kGuard zeros, 3 length + 4 kGuard floats in all (at most the 3 N + 16 allocated).
struct WorkLines {
  float* x;
  float* y;
  float* z;
};

WorkLines LayOutWorkBuffer(float* buffer, std::ptrdiff_t length) {
  WorkLines w;
  w.x = buffer + kGuard;
  w.y = w.x + length + kGuard;
  w.z = w.y + length + kGuard;
  for (std::ptrdiff_t g = 0; g < kGuard; ++g) {
    w.x[g - kGuard] = 0.0f;
    w.x[length + g] = 0.0f;
    w.y[g - kGuard] = 0.0f;  // the same cells as x's tail guard
    w.z[g - kGuard] = 0.0f;
    w.z[length + g] = 0.0f;
  }
  return w;
}

void FilterRows(const SoftenCoefficients& c, float* buffer, const float* source,
                std::int32_t sourceRowBytes, float* destination, std::int32_t destinationRowBytes,
                std::int32_t width, std::int32_t height) {
  const WorkLines w = LayOutWorkBuffer(buffer, width);
  const std::size_t lineBytes = static_cast<std::size_t>(width) * sizeof(float);
  for (std::ptrdiff_t r = 0; r < height; ++r) {
    std::memcpy(w.x, RowAt(source, sourceRowBytes, r), lineBytes);
    FilterLine(c, w.x, w.y, w.z, width);
    std::memcpy(RowAt(destination, destinationRowBytes, r), w.y, lineBytes);
  }
}

void FilterColumns(const SoftenCoefficients& c, float* buffer, const float* source,
                   std::int32_t sourceRowBytes, float* destination,
                   std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height) {
  const WorkLines w = LayOutWorkBuffer(buffer, height);
  const std::ptrdiff_t sourceStep = sourceRowBytes;
  const std::ptrdiff_t destinationStep = destinationRowBytes;
  for (std::ptrdiff_t col = 0; col < width; ++col) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(source + col);
    for (std::ptrdiff_t i = 0; i < height; ++i, in += sourceStep) w.x[i] = LoadFloat(in);
    FilterLine(c, w.x, w.y, w.z, height);
    unsigned char* out = reinterpret_cast<unsigned char*>(destination + col);
    for (std::ptrdiff_t i = 0; i < height; ++i, out += destinationStep) StoreFloat(out, w.y[i]);
  }
}

// The vector row pass of a path: on AVX-512 the sixteen-row sets, then the AVX2 pass on the rows
// they leave (eight or more of them make one more set of eight); returns the rows filtered.
std::int32_t VectorRows(vector_switch::Path path, const SoftenCoefficients& c, const float* source,
                        std::int32_t sourceRowBytes, float* destination, std::int32_t destinationRowBytes,
                        std::int32_t width, std::int32_t height, float* work) {
  std::int32_t done = 0;
  if (path == vector_switch::Path::kAvx512) {
    done = SoftenRowsAvx512(c, source, sourceRowBytes, destination, destinationRowBytes, width, height, work);
  }
  return done + SoftenRowsAvx2(c, reinterpret_cast<const float*>(RowAt(source, sourceRowBytes, done)), sourceRowBytes,
                               reinterpret_cast<float*>(RowAt(destination, destinationRowBytes, done)),
                               destinationRowBytes, width, height - done, work);
}

// The same for the column pass.
std::int32_t VectorColumns(vector_switch::Path path, const SoftenCoefficients& c, const float* source,
                           std::int32_t sourceRowBytes, float* destination, std::int32_t destinationRowBytes,
                           std::int32_t width, std::int32_t height, float* work) {
  std::int32_t done = 0;
  if (path == vector_switch::Path::kAvx512) {
    done = SoftenColumnsAvx512(c, source, sourceRowBytes, destination, destinationRowBytes, width, height, work);
  }
  return done + SoftenColumnsAvx2(c, source + done, sourceRowBytes, destination + done, destinationRowBytes,
                                  width - done, height, work);
}

}  // namespace

SoftenCoefficients ComputeSoftenCoefficients(double blurSize) {
  const double s = blurSize;
  const double w = kOmega / s;
  const double cw = std::cos(w);
  const double sw = std::sin(w);
  const double e1 = std::exp(-kAlpha / s);
  const double e2 = std::exp(-kTwoAlpha / s);

  const float d = static_cast<float>(1.0 - 2.0 * cw * e1 + e2);
  const double dd = d;
  const float g =
      static_cast<float>(2.0 * (kCosWeight * (1.0 - cw * e1) / dd + kSinWeight * e1 * sw / dd) -
                         kCosWeight);
  const float k = 1.0f / g;

  SoftenCoefficients c;
  c.a0 = 0.9629f * k;
  const float sinWeightK = 1.942f * k;
  c.a1 = static_cast<float>((static_cast<double>(sinWeightK) * sw - static_cast<double>(c.a0) * cw) * e1);
  c.b1 = static_cast<float>(-2.0 * e1 * cw);
  c.b2 = static_cast<float>(e2);
  c.a2 = c.a1 - c.b1 * c.a0;
  c.a3 = -(c.a0 * c.b2);
  return c;
}

void SoftenMask(const float* source, std::int32_t sourceRowBytes, float* destination,
                std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height,
                double blurSize, std::uint8_t direction) {
  SoftenMaskOnPath(SelectedPath(), source, sourceRowBytes, destination, destinationRowBytes, width, height,
                   blurSize, direction);
}

void SoftenMaskOnPath(vector_switch::Path path, const float* source, std::int32_t sourceRowBytes, float* destination,
                      std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height,
                      double blurSize, std::uint8_t direction) {
  if (width <= 0 || height <= 0 || source == nullptr || destination == nullptr) return;
  const bool rows = (direction & kSoftenAlongRows) != 0;
  const bool columns = (direction & kSoftenAlongColumns) != 0;
  if (!rows && !columns) return;

  if (!(blurSize > 0.0)) {
    CopyPlane(source, sourceRowBytes, destination, destinationRowBytes, width, height);
    return;
  }
  const SoftenCoefficients c = ComputeSoftenCoefficients(blurSize);
  if (!AllFinite(c)) {
    CopyPlane(source, sourceRowBytes, destination, destinationRowBytes, width, height);
    return;
  }

  // One work buffer for the longer side, reused for every line of the call.
  const std::size_t longest = static_cast<std::size_t>(width > height ? width : height);
  // A vector row pass (eight rows or more) turns sixteen rows at a time into it.
  const bool vector = path != vector_switch::Path::kScalar;
  const std::size_t rowBands =
      vector && rows && height >= 8 ? kSoftenRowsWorkFloatsPerColumn * static_cast<std::size_t>(width) : 0;
  const std::size_t bufferBytes = std::max(3 * longest + 16, rowBands) * sizeof(float);
  TransientBlock block;
  float* buffer = nullptr;
  THREEWAY_SCRATCH(buffer, block, bufferBytes);
  if (buffer == nullptr) {
    // The host could not lend the work buffer: hand the mask on unsoftened.
    CopyPlane(source, sourceRowBytes, destination, destinationRowBytes, width, height);
    return;
  }

  if (rows) {
    const std::int32_t done =
        vector && source != destination
            ? VectorRows(path, c, source, sourceRowBytes, destination, destinationRowBytes, width, height, buffer)
            : 0;
    FilterRows(c, buffer, reinterpret_cast<const float*>(RowAt(source, sourceRowBytes, done)), sourceRowBytes,
               reinterpret_cast<float*>(RowAt(destination, destinationRowBytes, done)), destinationRowBytes, width,
               height - done);
  }
  if (columns) {
    // After a row pass the columns are filtered in place, which only the scalar pass can do.
    const float* from = rows ? destination : source;
    const std::int32_t fromRowBytes = rows ? destinationRowBytes : sourceRowBytes;
    const std::int32_t done =
        vector && from != destination
            ? VectorColumns(path, c, from, fromRowBytes, destination, destinationRowBytes, width, height, buffer)
            : 0;
    FilterColumns(c, buffer, from + done, fromRowBytes, destination + done, destinationRowBytes, width - done,
                  height);
  }
}

}  // namespace threeway
