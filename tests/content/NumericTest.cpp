#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cmath>
#include <vector>

#include "content/Numeric.h"

namespace tavi {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The stderr report of the error exit for `message` (a regular expression).
std::string ErrorReport(const std::string& message) {
    return "^Numerical Recipes run-time error\\.\\.\\.\n" + message + "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
}

// Makes every later allocation above about 1 GiB fail in this (child) process.
void LimitAddressSpace() {
    rlimit limit{1UL << 30, 1UL << 30};
    setrlimit(RLIMIT_AS, &limit);
}

DVector VectorOf(const std::vector<double>& values) {
    DVector v = vector(1, static_cast<long>(values.size()));
    long i = 1;
    for (double x : values) v[i++] = x;
    return v;
}

TEST(NumericTest, VectorElementsAreAddressedFromTheLowerBound) {
    DVector v = vector(1, 3);
    ASSERT_TRUE(v);
    v[1] = 1.5;
    v[2] = -2.0;
    v[3] = 3.25;
    EXPECT_EQ(v[1], 1.5);
    EXPECT_EQ(v[2], -2.0);
    EXPECT_EQ(v[3], 3.25);
    free_vector(v, 1, 3);
    EXPECT_FALSE(v);

    // Any lower bound works, negative ones included; the elements are contiguous.
    DVector w = vector(-2, 2);
    for (long i = -2; i <= 2; ++i) w[i] = static_cast<double>(i * 10);
    EXPECT_EQ(&w[2] - &w[-2], 4);
    for (long i = -2; i <= 2; ++i) EXPECT_EQ(w[i], i * 10.0);
    free_vector(w, -2, 2);
}

TEST(NumericTest, EmptyRequestsAreValid) {
    DVector v = vector(1, 0);
    EXPECT_TRUE(v);
    free_vector(v, 1, 0);

    DMatrix noRows = matrix(1, 0, 1, 3);
    EXPECT_TRUE(noRows);
    free_matrix(noRows, 1, 0, 1, 3);

    DMatrix noColumns = matrix(1, 2, 1, 0);
    EXPECT_TRUE(noColumns);
    free_matrix(noColumns, 1, 2, 1, 0);
}

TEST(NumericTest, MatrixRowsAreIndependentBlocks) {
    DMatrix m = matrix(1, 2, 1, 3);
    ASSERT_TRUE(m);
    for (long i = 1; i <= 2; ++i)
        for (long j = 1; j <= 3; ++j) m[i][j] = i * 10.0 + j;
    EXPECT_NE(m[1].block, m[2].block);
    for (long i = 1; i <= 2; ++i)
        for (long j = 1; j <= 3; ++j) EXPECT_EQ(m[i][j], i * 10.0 + j) << i << "," << j;
    free_matrix(m, 1, 2, 1, 3);
    EXPECT_FALSE(m);

    DMatrix shifted = matrix(0, 1, 5, 6);
    shifted[0][5] = 1.0;
    shifted[1][6] = 2.0;
    EXPECT_EQ(shifted[0][5], 1.0);
    EXPECT_EQ(shifted[1][6], 2.0);
    free_matrix(shifted, 0, 1, 5, 6);
}

TEST(NumericTest, VectorTimesMatrix) {
    DMatrix m = matrix(1, 2, 1, 2);
    m[1][1] = 1;
    m[1][2] = 2;
    m[2][1] = 3;
    m[2][2] = 4;

    DVector x = VectorOf({1, 0});
    DVector y = vector_times_matrix(x, 2, m, 2);
    EXPECT_EQ(y.nl, 1);
    EXPECT_EQ(y.nh, 2);
    EXPECT_EQ(y[1], 1.0);
    EXPECT_EQ(y[2], 2.0);
    free_vector(y, 1, 2);

    x[1] = 2;
    x[2] = -3;
    y = vector_times_matrix(x, 2, m, 2);
    EXPECT_EQ(y[1], 2.0 * 1 - 3.0 * 3);
    EXPECT_EQ(y[2], 2.0 * 2 - 3.0 * 4);
    free_vector(y, 1, 2);

    // Only the first k columns and the first n rows take part.
    y = vector_times_matrix(x, 1, m, 1);
    EXPECT_EQ(y.nh, 1);
    EXPECT_EQ(y[1], 2.0);
    free_vector(y, 1, 1);

    free_vector(x, 1, 2);
    free_matrix(m, 1, 2, 1, 2);
}

TEST(NumericTest, CosineSimilarityIsClampedAtZero) {
    struct Case {
        std::vector<double> u, v;
        double expected;
    };
    const Case cases[] = {
        {{1, 0}, {2, 0}, 1.0},       {{1, 0}, {0, 1}, 0.0},
        {{1, 0}, {-1, 0}, 0.0},  // opposite: clamped
        {{1, 1}, {-1, 0}, 0.0},  // obtuse angle: clamped
        {{0, 0}, {3, 4}, 0.0},   // zero vector
        {{3, 4}, {0, 0}, 0.0},       {{1, 1}, {1, 0}, 1.0 / std::sqrt(2.0)},
        {{1, 2, 3}, {2, 4, 6}, 1.0},
    };
    for (const Case& c : cases) {
        DVector u = VectorOf(c.u);
        DVector v = VectorOf(c.v);
        long k = static_cast<long>(c.u.size());
        EXPECT_NEAR(cosine_similarity(u, v, k), c.expected, 1e-12)
            << u[1] << "," << u[2] << " vs " << v[1] << "," << v[2];
        free_vector(u, 1, k);
        free_vector(v, 1, k);
    }
}

TEST(NumericTest, CosineSimilarityReadsOnlyTheFirstKComponents) {
    DVector u = VectorOf({1, 0, 5});
    DVector v = VectorOf({1, 0, -5});
    EXPECT_DOUBLE_EQ(cosine_similarity(u, v, 2), 1.0);
    EXPECT_DOUBLE_EQ(cosine_similarity(u, v, 3), 0.0);
    EXPECT_EQ(cosine_similarity(u, v, 0), 0.0);
    free_vector(u, 1, 3);
    free_vector(v, 1, 3);
}

using NumericDeathTest = ::testing::Test;

TEST_F(NumericDeathTest, OversizedRequestsTakeTheCapacityExit) {
    // 8 * 2^29 bytes is one more than 4294967295.
    EXPECT_EXIT(vector(1, 1L << 29), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in vector\\(\\)"));
    EXPECT_EXIT(vector(LONG_MIN, LONG_MAX), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in vector\\(\\)"));
    // 4 bytes per row: 2^30 rows are too many.
    EXPECT_EXIT(matrix(1, 1L << 30, 1, 1), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in matrix\\(\\)"));
    EXPECT_EXIT(matrix(1, 2, 1, 1L << 29), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in matrix\\(\\)"));
}

TEST_F(NumericDeathTest, NegativeElementCountsTakeTheCapacityExit) {
    EXPECT_EXIT(vector(5, 3), testing::ExitedWithCode(1), ErrorReport("allocation capacity exceed in vector\\(\\)"));
    EXPECT_EXIT(matrix(1, -1, 1, 3), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in matrix\\(\\)"));
    EXPECT_EXIT(matrix(1, 2, 4, 2), testing::ExitedWithCode(1),
                ErrorReport("allocation capacity exceed in matrix\\(\\)"));
}

TEST_F(NumericDeathTest, MemoryThatCannotBeObtainedTakesTheFailureExit) {
    if (kSanitized) GTEST_SKIP() << "sanitizers reserve address space, so the limit cannot be applied";
    // Each request is within the capacity limit but beyond the child's 1 GiB address space.
    EXPECT_EXIT((LimitAddressSpace(), vector(1, 250000000)), testing::ExitedWithCode(1),
                ErrorReport("allocation failure in vector\\(\\)"));
    EXPECT_EXIT((LimitAddressSpace(), matrix(1, 200000000, 1, 1)), testing::ExitedWithCode(1),
                ErrorReport("allocation failure 1 in matrix\\(\\)"));
    EXPECT_EXIT((LimitAddressSpace(), matrix(1, 2, 1, 250000000)), testing::ExitedWithCode(1),
                ErrorReport("allocation failure 2 in matrix\\(\\)"));
}

TEST_F(NumericDeathTest, ErrorExitWritesThreeLines) {
    EXPECT_EXIT(numeric_error_exit("some message"), testing::ExitedWithCode(1), ErrorReport("some message"));
}

}  // namespace
}  // namespace tavi
