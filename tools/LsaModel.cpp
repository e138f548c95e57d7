#include "tools/LsaModel.h"

#include <Spectra/SymEigsSolver.h>

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace tavi {
namespace {

using SparseMatrix = Eigen::SparseMatrix<double>;

// Global weights below this are rounding noise of a weight of 0.
constexpr double kZeroWeight = 1e-12;

// y = A^T A x (over the columns of A) or y = A A^T x (over its rows), without forming the product.
class GramProduct {
public:
    using Scalar = double;

    GramProduct(const SparseMatrix& a, bool overColumns)
        : m_a(a), m_overColumns(overColumns), m_cache(overColumns ? a.rows() : a.cols()) {}

    Eigen::Index rows() const { return m_overColumns ? m_a.cols() : m_a.rows(); }
    Eigen::Index cols() const { return rows(); }

    void perform_op(const double* in, double* out) const {
        Eigen::Map<const Eigen::VectorXd> x(in, rows());
        Eigen::Map<Eigen::VectorXd> y(out, rows());
        if (m_overColumns) {
            m_cache.noalias() = m_a * x;
            y.noalias() = m_a.transpose() * m_cache;
        } else {
            m_cache.noalias() = m_a.transpose() * x;
            y.noalias() = m_a * m_cache;
        }
    }

private:
    const SparseMatrix& m_a;
    bool m_overColumns;
    mutable Eigen::VectorXd m_cache;
};

// The k largest eigenpairs of the Gram matrix, eigenvalues falling.
bool LargestGramEigenpairs(const SparseMatrix& a, bool overColumns, Eigen::Index k, Eigen::VectorXd& values,
                           Eigen::MatrixXd& vectors, std::string& error) {
    GramProduct product(a, overColumns);
    const Eigen::Index n = product.rows();
    if (k >= n) {
        // Every eigenpair is wanted: the dense solver is exact and, at this size, cheap.
        Eigen::MatrixXd gram = overColumns ? Eigen::MatrixXd(a.transpose() * a) : Eigen::MatrixXd(a * a.transpose());
        Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(gram);
        if (solver.info() != Eigen::Success) {
            error = "the dense eigensolver failed";
            return false;
        }
        values = solver.eigenvalues().reverse();
        vectors = solver.eigenvectors().rowwise().reverse();
        return true;
    }
    const Eigen::Index ncv = std::min(n, std::max<Eigen::Index>(2 * k + 1, 20));
    Spectra::SymEigsSolver<GramProduct> solver(product, k, ncv);
    solver.init();  // fixed seed: the same matrix always gives the same result
    constexpr Eigen::Index kMaxRestarts = 1000;
    solver.compute(Spectra::SortRule::LargestAlge, kMaxRestarts, 1e-10, Spectra::SortRule::LargestAlge);
    if (solver.info() != Spectra::CompInfo::Successful) {
        error = "the Lanczos eigensolver did not converge within " + std::to_string(kMaxRestarts) +
                " restarts; try fewer dimensions";
        return false;
    }
    values = solver.eigenvalues();
    vectors = solver.eigenvectors();
    return true;
}

}  // namespace

Vocabulary SelectVocabulary(const CorpusCounts& corpus, int32_t minDocumentFrequency) {
    std::vector<int32_t> frequencies = corpus.DocumentFrequencies();
    std::vector<uint32_t> kept;
    for (uint32_t id = 0; id < frequencies.size(); ++id)
        if (frequencies[id] >= std::max(minDocumentFrequency, 1)) kept.push_back(id);
    std::sort(kept.begin(), kept.end(), [&](uint32_t x, uint32_t y) { return corpus.Term(x) < corpus.Term(y); });

    Vocabulary vocabulary;
    vocabulary.rowOfTerm.assign(corpus.TermCount(), -1);
    vocabulary.words.reserve(kept.size());
    for (uint32_t id : kept) {
        vocabulary.rowOfTerm[id] = static_cast<int32_t>(vocabulary.words.size());
        vocabulary.words.push_back(corpus.Term(id));
    }
    return vocabulary;
}

SparseMatrix LogEntropyMatrix(const CorpusCounts& corpus, const Vocabulary& vocabulary) {
    const size_t rows = vocabulary.words.size();
    const size_t documents = corpus.DocumentCount();

    // Global counts first, then the entropy sum over the documents in their order.
    std::vector<double> globalCount(rows, 0.0);
    for (size_t j = 0; j < documents; ++j)
        for (const auto& [id, count] : corpus.Document(j))
            if (int32_t row = vocabulary.rowOfTerm[id]; row >= 0) globalCount[row] += count;
    std::vector<double> entropySum(rows, 0.0);  // sum of p ln p, in [-ln D, 0]
    for (size_t j = 0; j < documents; ++j)
        for (const auto& [id, count] : corpus.Document(j))
            if (int32_t row = vocabulary.rowOfTerm[id]; row >= 0) {
                double p = count / globalCount[row];
                entropySum[row] += p * std::log(p);
            }
    std::vector<double> globalWeight(rows, 1.0);
    if (documents > 1) {
        const double logDocuments = std::log(static_cast<double>(documents));
        for (size_t i = 0; i < rows; ++i) {
            // A word spread evenly over all documents has weight 0; rounding must not leave a trace of it.
            double weight = 1.0 + entropySum[i] / logDocuments;
            globalWeight[i] = weight < kZeroWeight ? 0.0 : std::min(weight, 1.0);
        }
    }

    std::vector<Eigen::Triplet<double>> entries;
    for (size_t j = 0; j < documents; ++j) {
        const double scale = std::sqrt(corpus.Weight(j));
        for (const auto& [id, count] : corpus.Document(j))
            if (int32_t row = vocabulary.rowOfTerm[id]; row >= 0 && globalWeight[row] > 0.0)
                entries.emplace_back(row, static_cast<int>(j), scale * globalWeight[row] * std::log1p(count));
    }
    SparseMatrix matrix(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(documents));
    matrix.setFromTriplets(entries.begin(), entries.end());
    return matrix;
}

bool ComputeTruncatedSvd(const SparseMatrix& a, int32_t dimensions, TruncatedSvd& result, std::string& error) {
    result = TruncatedSvd{};
    result.requestedDimensions = dimensions;
    if (dimensions < 1) {
        error = "the number of dimensions must be at least 1";
        return false;
    }
    if (a.rows() == 0 || a.cols() == 0 || a.nonZeros() == 0) {
        error = "the weighted term-document matrix is zero: no word tells the documents apart";
        return false;
    }
    const bool overColumns = a.cols() <= a.rows();
    const Eigen::Index k = std::min<Eigen::Index>(dimensions, std::min(a.rows(), a.cols()));

    Eigen::VectorXd values;
    Eigen::MatrixXd vectors;
    if (!LargestGramEigenpairs(a, overColumns, k, values, vectors, error)) return false;

    // Eigenvalues of the Gram matrix are the squared singular values; keep those clearly above 0.
    const double largest = std::sqrt(std::max(values(0), 0.0));
    if (!(largest > 0.0)) {
        error = "the weighted term-document matrix is zero: no word tells the documents apart";
        return false;
    }
    Eigen::Index kept = 0;
    while (kept < k && std::sqrt(std::max(values(kept), 0.0)) > kMinRelativeSingularValue * largest) ++kept;

    result.singularValues = values.head(kept).cwiseMax(0.0).cwiseSqrt();
    if (overColumns) {
        // u = A v / s for each right singular vector v.
        result.u = a * vectors.leftCols(kept);
        for (Eigen::Index d = 0; d < kept; ++d) result.u.col(d) /= result.singularValues(d);
    } else {
        result.u = vectors.leftCols(kept);
    }
    for (Eigen::Index d = 0; d < kept; ++d) {
        Eigen::Index largestAt = 0;
        result.u.col(d).cwiseAbs().maxCoeff(&largestAt);  // the first maximum on ties
        if (result.u(largestAt, d) < 0) result.u.col(d) *= -1.0;
    }
    return true;
}

}  // namespace tavi
