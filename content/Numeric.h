#pragma once

namespace tavi {

// Vectors and matrices of doubles with caller-chosen index ranges (in practice from 1).
// A handle keeps its block and its lower bound and subtracts the bound on every access, so
// no pointer ever points outside its allocation. Handles are plain values: the caller owns
// what an allocating function returns and releases it with the matching free function,
// passing the same bounds. A failed or oversized allocation ends the program
// (numeric_error_exit). Stateless; safe on any thread.

// A double vector over [nl, nh].
struct DVector {
    double* block = nullptr;
    long nl = 1;
    long nh = 0;
    double& operator[](long i) const { return block[i - nl]; }
    explicit operator bool() const { return block != nullptr; }
};

// A double matrix over rows [nrl, nrh]; each row is a DVector over [ncl, nch] in a block of its own.
struct DMatrix {
    DVector* rows = nullptr;
    long nrl = 1;
    long nrh = 0;
    DVector& operator[](long i) const { return rows[i - nrl]; }
    explicit operator bool() const { return rows != nullptr; }
};

// Elements are not initialised. nh = nl - 1 gives a valid handle with no elements.
DVector vector(long nl, long nh);
DMatrix matrix(long nrl, long nrh, long ncl, long nch);
void free_vector(DVector& v, long nl, long nh);
void free_matrix(DMatrix& m, long nrl, long nrh, long ncl, long nch);

// New vector y over [1, k] with y[i] = sum over j = 1..n of x[j] * M[j][i]; the caller frees it.
DVector vector_times_matrix(const DVector& x, long n, const DMatrix& M, long k);

// Cosine of u and v over [1, k], clamped below at 0; 0 when either is the zero vector.
double cosine_similarity(const DVector& u, const DVector& v, long k);

// Writes the three-line run-time error report to stderr and ends the process with status 1.
[[noreturn]] void numeric_error_exit(const char* message);

}  // namespace tavi
