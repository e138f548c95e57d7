#pragma once

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/CorpusCounts.h"

namespace tavi {

// The words of a content model: every term that occurs in at least a minimum number of
// documents, sorted by their Shift_JIS bytes. words[r] becomes dictionary line r + 1.
struct Vocabulary {
    std::vector<std::string> words;
    std::vector<int32_t> rowOfTerm;  // indexed by term id: the term's row (0-based), or -1 when left out
};

// Keeps the terms that occur in at least `minDocumentFrequency` documents (values below 1 count as 1).
Vocabulary SelectVocabulary(const CorpusCounts& corpus, int32_t minDocumentFrequency);

// The log-entropy weighted term-document matrix, one row per vocabulary word and one column
// per document: a(i, j) = sqrt(w(j)) * g(i) * ln(1 + tf(i, j)), with w(j) the document's
// weight and the global weight g(i) = 1 + sum over j of p(i, j) ln p(i, j) / ln D,
// p(i, j) = tf(i, j) / gf(i), gf(i) the word's count in the whole corpus and D the number of
// documents. g lies in [0, 1]: 1 for a word found in one document only, 0 for one spread
// evenly over all. With D = 1, g = 1. A document of weight w adds to the Gram matrix A A^T, and
// so pulls on the dimensions of the model, as w copies of it of weight 1 would; the global
// weights do not depend on the documents' weights.
Eigen::SparseMatrix<double> LogEntropyMatrix(const CorpusCounts& corpus, const Vocabulary& vocabulary);

// The leading singular triplets of a matrix A: A ~ U diag(s) V^T.
struct TruncatedSvd {
    Eigen::MatrixXd u;                // rows(A) x K, orthonormal columns
    Eigen::VectorXd singularValues;   // K values, falling, each > kMinRelativeSingularValue * s(1)
    int32_t requestedDimensions = 0;  // the K asked for; more than the K kept when dimensions were left out
};

// Singular values at or below this share of the largest are taken as 0: their dimensions are
// left out, so that no scaling value of a model is 0 or rounding noise.
constexpr double kMinRelativeSingularValue = 1e-5;

// Computes the `dimensions` largest singular values of `a` and their left singular vectors.
// K is at most min(rows, columns), and the trailing dimensions whose singular value is
// (nearly) 0 are left out. The eigenproblem of the smaller Gram matrix (A^T A or
// A A^T) is solved with Spectra's Lanczos solver from its fixed start vector, or densely when
// K reaches that matrix's size, so the result depends only on `a`. Each column of u is
// turned so that its component of largest magnitude (the first, on ties) is positive.
// Returns false with a message in `error` for a zero matrix or when the solver does not converge.
bool ComputeTruncatedSvd(const Eigen::SparseMatrix<double>& a, int32_t dimensions, TruncatedSvd& result,
                         std::string& error);

}  // namespace tavi
