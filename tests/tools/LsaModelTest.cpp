#include <gtest/gtest.h>

#include <Eigen/SVD>
#include <cmath>
#include <random>

#include "fakes/TestSupport.h"
#include "tools/LsaModel.h"

namespace tavi {
namespace {

using test::S;

// A corpus from documents written as (term, count) lists.
CorpusCounts CorpusOf(std::initializer_list<TermCounts> documents) {
    CorpusCounts corpus;
    for (const TermCounts& d : documents) corpus.AddDocument(d);
    return corpus;
}

TEST(SelectVocabulary, KeepsFrequentTermsInByteOrder) {
    // Shift_JIS bytes sort after ASCII only when compared unsigned.
    CorpusCounts corpus = CorpusOf({
        {{S("本"), 1}, {"x", 1}, {"rare", 4}},
        {{S("本"), 2}, {"x", 1}, {S("あ"), 1}},
        {{S("あ"), 1}, {"x", 1}},
    });
    Vocabulary two = SelectVocabulary(corpus, 2);
    EXPECT_EQ(two.words, (std::vector<std::string>{"x", S("あ"), S("本")}));
    ASSERT_EQ(two.rowOfTerm.size(), corpus.TermCount());
    for (uint32_t id = 0; id < corpus.TermCount(); ++id) {
        int32_t row = two.rowOfTerm[id];
        if (corpus.Term(id) == "rare") {
            EXPECT_EQ(row, -1);
        } else {
            ASSERT_GE(row, 0);
            EXPECT_EQ(two.words[static_cast<size_t>(row)], corpus.Term(id));
        }
    }
    EXPECT_EQ(SelectVocabulary(corpus, 1).words.size(), 4u);
    EXPECT_EQ(SelectVocabulary(corpus, 0).words.size(), 4u);
    EXPECT_EQ(SelectVocabulary(corpus, 3).words, (std::vector<std::string>{"x"}));
    EXPECT_TRUE(SelectVocabulary(corpus, 4).words.empty());
}

TEST(LogEntropyMatrix, WeightsByLogCountAndEntropy) {
    CorpusCounts corpus = CorpusOf({
        {{"even", 2}, {"once", 3}, {"skew", 1}},
        {{"even", 2}, {"skew", 3}},
        {{"even", 2}},
        {{"even", 2}},
    });
    Vocabulary vocabulary = SelectVocabulary(corpus, 1);
    ASSERT_EQ(vocabulary.words, (std::vector<std::string>{"even", "once", "skew"}));
    Eigen::MatrixXd a = LogEntropyMatrix(corpus, vocabulary);
    ASSERT_EQ(a.rows(), 3);
    ASSERT_EQ(a.cols(), 4);

    // Spread evenly over every document: global weight 0, a row of zeros.
    EXPECT_EQ(a.row(0).norm(), 0.0);
    // Found in one document: weight 1.
    EXPECT_DOUBLE_EQ(a(1, 0), std::log(4.0));
    EXPECT_EQ(a(1, 1), 0.0);
    // Counts 1 and 3: g = 1 + (0.25 ln 0.25 + 0.75 ln 0.75) / ln 4.
    double g = 1 + (0.25 * std::log(0.25) + 0.75 * std::log(0.75)) / std::log(4.0);
    EXPECT_NEAR(a(2, 0), g * std::log(2.0), 1e-15);
    EXPECT_NEAR(a(2, 1), g * std::log(4.0), 1e-15);
    EXPECT_EQ(a(2, 2), 0.0);
}

TEST(LogEntropyMatrix, SingleDocumentKeepsFullWeight) {
    CorpusCounts corpus = CorpusOf({{{"a", 1}, {"b", 6}}});
    Eigen::MatrixXd a = LogEntropyMatrix(corpus, SelectVocabulary(corpus, 1));
    EXPECT_DOUBLE_EQ(a(0, 0), std::log(2.0));
    EXPECT_DOUBLE_EQ(a(1, 0), std::log(7.0));
}

TEST(LogEntropyMatrix, LeftOutTermsGiveNoRow) {
    CorpusCounts corpus = CorpusOf({{{"a", 1}, {"b", 1}}, {{"a", 2}}});
    Eigen::MatrixXd a = LogEntropyMatrix(corpus, SelectVocabulary(corpus, 2));
    ASSERT_EQ(a.rows(), 1);
    EXPECT_GT(a(0, 0), 0.0);
}

// A sparse random matrix with about `density` of its entries set, seeded for repeatability.
Eigen::SparseMatrix<double> RandomSparse(int rows, int cols, double density, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> value(0.1, 3.0);
    std::bernoulli_distribution present(density);
    std::vector<Eigen::Triplet<double>> entries;
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i)
            if (present(engine)) entries.emplace_back(i, j, value(engine));
    Eigen::SparseMatrix<double> m(rows, cols);
    m.setFromTriplets(entries.begin(), entries.end());
    return m;
}

// Checks `svd` against a dense reference SVD of `a` for the first `k` triplets.
void ExpectMatchesReference(const Eigen::SparseMatrix<double>& a, const TruncatedSvd& svd, int k) {
    Eigen::MatrixXd dense(a);
    Eigen::JacobiSVD<Eigen::MatrixXd> reference(dense, Eigen::ComputeThinU | Eigen::ComputeThinV);
    ASSERT_EQ(svd.singularValues.size(), k);
    ASSERT_EQ(svd.u.rows(), a.rows());
    ASSERT_EQ(svd.u.cols(), k);
    for (int d = 0; d < k; ++d) {
        EXPECT_NEAR(svd.singularValues(d), reference.singularValues()(d), 1e-9 * reference.singularValues()(0))
            << "dimension " << d;
        // Singular vectors are defined up to their sign.
        double agreement = std::abs(svd.u.col(d).dot(reference.matrixU().col(d)));
        EXPECT_NEAR(agreement, 1.0, 1e-8) << "dimension " << d;
    }
    Eigen::MatrixXd gram = svd.u.transpose() * svd.u;
    EXPECT_TRUE(gram.isApprox(Eigen::MatrixXd::Identity(k, k), 1e-9));
}

TEST(ComputeTruncatedSvd, MatchesDenseSvdForTallWideAndSmallMatrices) {
    struct Case {
        int rows, cols, k;
        double density;
    };
    // Tall and wide take the Lanczos solver on A^T A and on A A^T; the last asks for every dimension.
    for (Case c : {Case{300, 80, 10, 0.1}, Case{60, 250, 12, 0.1}, Case{40, 9, 9, 0.5}}) {
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.cols << ", K = " << c.k);
        Eigen::SparseMatrix<double> a = RandomSparse(c.rows, c.cols, c.density, 7);
        TruncatedSvd svd;
        std::string error;
        ASSERT_TRUE(ComputeTruncatedSvd(a, c.k, svd, error)) << error;
        EXPECT_EQ(svd.requestedDimensions, c.k);
        ExpectMatchesReference(a, svd, c.k);
    }
}

TEST(ComputeTruncatedSvd, FoldingInADocumentGivesItsRightSingularVector) {
    // The scorer's content vector, counts times U divided by s, is the LSA fold-in: for a
    // column of the matrix itself it is that document's row of V.
    Eigen::SparseMatrix<double> a = RandomSparse(200, 50, 0.15, 11);
    TruncatedSvd svd;
    std::string error;
    ASSERT_TRUE(ComputeTruncatedSvd(a, 8, svd, error)) << error;
    Eigen::MatrixXd dense(a);
    Eigen::JacobiSVD<Eigen::MatrixXd> reference(dense, Eigen::ComputeThinU | Eigen::ComputeThinV);
    for (int j : {0, 17, 49}) {
        Eigen::VectorXd folded = (dense.col(j).transpose() * svd.u).transpose().cwiseQuotient(svd.singularValues);
        for (int d = 0; d < 8; ++d) {
            double sign = svd.u.col(d).dot(reference.matrixU().col(d)) > 0 ? 1.0 : -1.0;
            EXPECT_NEAR(folded(d), sign * reference.matrixV()(j, d), 1e-8) << "document " << j << ", dimension " << d;
        }
    }
}

TEST(ComputeTruncatedSvd, SignRuleAndRepeatability) {
    Eigen::SparseMatrix<double> a = RandomSparse(120, 40, 0.2, 3);
    TruncatedSvd first, second;
    std::string error;
    ASSERT_TRUE(ComputeTruncatedSvd(a, 6, first, error)) << error;
    ASSERT_TRUE(ComputeTruncatedSvd(a, 6, second, error)) << error;
    EXPECT_EQ(first.u, second.u);  // bit for bit
    EXPECT_EQ(first.singularValues, second.singularValues);
    for (int d = 0; d < 6; ++d) {
        Eigen::Index at = 0;
        first.u.col(d).cwiseAbs().maxCoeff(&at);
        EXPECT_GT(first.u(at, d), 0.0) << "dimension " << d;
    }
}

TEST(ComputeTruncatedSvd, DropsDimensionsBeyondTheRank) {
    // Rank 3: every column is a combination of three fixed columns.
    Eigen::MatrixXd basis = Eigen::MatrixXd(RandomSparse(80, 3, 0.5, 5));
    Eigen::MatrixXd mix = Eigen::MatrixXd(RandomSparse(3, 60, 0.8, 6));
    Eigen::SparseMatrix<double> a = (basis * mix).sparseView();
    for (int k : {10, 60}) {  // through the Lanczos solver and through the dense one
        SCOPED_TRACE(testing::Message() << "K = " << k);
        TruncatedSvd svd;
        std::string error;
        ASSERT_TRUE(ComputeTruncatedSvd(a, k, svd, error)) << error;
        EXPECT_EQ(svd.requestedDimensions, k);
        ASSERT_EQ(svd.singularValues.size(), 3);
        EXPECT_EQ(svd.u.cols(), 3);
        EXPECT_GT(svd.singularValues.minCoeff(), kMinRelativeSingularValue * svd.singularValues(0));
        ExpectMatchesReference(a, svd, 3);
    }
}

TEST(ComputeTruncatedSvd, CapsDimensionsAtTheMatrixSize) {
    Eigen::SparseMatrix<double> a = RandomSparse(30, 4, 0.9, 9);
    TruncatedSvd svd;
    std::string error;
    ASSERT_TRUE(ComputeTruncatedSvd(a, 100, svd, error)) << error;
    EXPECT_EQ(svd.requestedDimensions, 100);
    ExpectMatchesReference(a, svd, 4);
}

TEST(ComputeTruncatedSvd, RefusesZeroMatricesAndNoDimensions) {
    TruncatedSvd svd;
    std::string error;
    Eigen::SparseMatrix<double> zero(5, 3);
    EXPECT_FALSE(ComputeTruncatedSvd(zero, 2, svd, error));
    EXPECT_NE(error.find("zero"), std::string::npos) << error;

    Eigen::SparseMatrix<double> empty(0, 3);
    error.clear();
    EXPECT_FALSE(ComputeTruncatedSvd(empty, 2, svd, error));
    EXPECT_FALSE(error.empty());

    error.clear();
    EXPECT_FALSE(ComputeTruncatedSvd(RandomSparse(5, 5, 1.0, 1), 0, svd, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tavi
