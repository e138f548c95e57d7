#include "content/Numeric.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tavi {
namespace {

// The largest request, in bytes, that the module accepts.
constexpr unsigned long long kMaxRequestBytes = 4294967295ULL;
// Sizes counted against that limit: a double, and a row reference as laid out on a 32-bit
// build, so that every platform refuses the same requests.
constexpr unsigned long long kDoubleBytes = 8;
constexpr unsigned long long kRowBytes = 4;

// Number of elements of [lo, hi] when it is a request the module accepts: hi - lo + 1 >= 0
// and that many elements of `elementBytes` bytes stay within kMaxRequestBytes. A negative
// count (hi < lo - 1) is refused like an oversized one.
bool CountWithinCapacity(long lo, long hi, unsigned long long elementBytes, size_t& count) {
    long n;
    if (__builtin_sub_overflow(hi, lo, &n) || __builtin_add_overflow(n, 1L, &n) || n < 0) return false;
    unsigned long long bytes;
    if (__builtin_mul_overflow(static_cast<unsigned long long>(n), elementBytes, &bytes) || bytes > kMaxRequestBytes)
        return false;
    count = static_cast<size_t>(n);
    return true;
}

// malloc that never returns null for a valid empty request, so null always means failure.
void* Obtain(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

constexpr size_t kHugePage = 2u << 20;

// A block for a large matrix: from a huge-page boundary, in whole huge pages, with the
// system asked for huge pages over it. Touching fresh memory one small page at a time is
// costly (a fault per 4 KiB), and an unaligned block leaves up to two huge pages' worth
// in small pages. Only a hint: where the system does not offer huge pages, nothing changes.
void* ObtainLarge(size_t bytes) {
    if (bytes < kHugePage) return Obtain(bytes);
    size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < bytes) return nullptr;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block) madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

}  // namespace

void numeric_error_exit(const char* message) {
    std::fprintf(stderr, "Numerical Recipes run-time error...\n");
    std::fprintf(stderr, "%s\n", message);
    std::fprintf(stderr, "...now exiting to system...\n");
    std::fflush(stderr);
    // No destructors or exit handlers: other threads may still be running.
    std::_Exit(1);
}

DVector vector(long nl, long nh) {
    size_t count = 0;
    if (!CountWithinCapacity(nl, nh, kDoubleBytes, count)) numeric_error_exit("allocation capacity exceed in vector()");
    auto* block = static_cast<double*>(Obtain(count * sizeof(double)));
    if (!block) numeric_error_exit("allocation failure in vector()");
    return DVector{block, nl, nh};
}

DMatrix matrix(long nrl, long nrh, long ncl, long nch) {
    size_t rowCount = 0;
    if (!CountWithinCapacity(nrl, nrh, kRowBytes, rowCount))
        numeric_error_exit("allocation capacity exceed in matrix()");
    auto* rows = static_cast<DVector*>(Obtain(rowCount * sizeof(DVector)));
    if (!rows) numeric_error_exit("allocation failure 1 in matrix()");

    size_t columnCount = 0;
    if (!CountWithinCapacity(ncl, nch, kDoubleBytes, columnCount))
        numeric_error_exit("allocation capacity exceed in matrix()");
    // The rows lie one after the other in one block: a model's matrix is then read and
    // faulted in as one region (in huge pages where the system offers them) instead of
    // thousands of small allocations.
    size_t blockBytes = 0;
    if (__builtin_mul_overflow(rowCount, columnCount * sizeof(double), &blockBytes))
        numeric_error_exit("allocation failure 2 in matrix()");
    if (rowCount == 0) return DMatrix{rows, nrl, nrh};
    auto* block = static_cast<double*>(ObtainLarge(blockBytes));
    if (!block) numeric_error_exit("allocation failure 2 in matrix()");
    for (size_t r = 0; r < rowCount; ++r) rows[r] = DVector{block + r * columnCount, ncl, nch};
    return DMatrix{rows, nrl, nrh};
}

void free_vector(DVector& v, long /*nl*/, long /*nh*/) {
    std::free(v.block);
    v = DVector{};
}

void free_matrix(DMatrix& m, long nrl, long nrh, long /*ncl*/, long /*nch*/) {
    if (m.rows) {
        // The rows share one block, which starts with the first row.
        if (nrh >= nrl) std::free(m[nrl].block);
        std::free(m.rows);
    }
    m = DMatrix{};
}

DVector vector_times_matrix(const DVector& x, long n, const DMatrix& M, long k) {
    DVector y = vector(1, k);
    for (long i = 1; i <= k; ++i) y[i] = 0.0;
    for (long i = 1; i <= k; ++i)
        for (long j = 1; j <= n; ++j) y[i] = x[j] * M[j][i] + y[i];
    return y;
}

double cosine_similarity(const DVector& u, const DVector& v, long k) {
    double a = 0.0;  // |u|^2
    double b = 0.0;  // |v|^2
    double d = 0.0;  // |u - v|^2
    for (long i = 1; i <= k; ++i) {
        a += u[i] * u[i];
        b += v[i] * v[i];
        d += (u[i] - v[i]) * (u[i] - v[i]);
    }
    double e = a + b - d;  // twice the dot product
    if (e < 0.0) return 0.0;
    if (a * b == 0.0) return 0.0;
    return e / std::sqrt(a * b) / 2.0;
}

}  // namespace tavi
