#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/TestSupport.h"
#include "fuzz/FuzzTargets.h"

namespace tavi::fuzz {
namespace {

// Every input that once made a fuzz target fail, replayed through the same target.
struct Target {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};
const Target kTargets[] = {{"reader", FuzzReader},
                           {"features", FuzzAnalysisFeatures},
                           {"settings", FuzzSettingsFile},
                           {"dictionary", FuzzDictionary},
                           {"matrix", FuzzMatrix},
                           {"params", FuzzParameterFile},
                           {"sheet", FuzzSheet}};

class Reproducers : public ::testing::TestWithParam<Target> {};

TEST_P(Reproducers, ReplayWithoutFailure) {
    std::filesystem::path folder = std::filesystem::path(TAVI_TEST_DATA_DIR) / "fuzz" / GetParam().name;
    size_t replayed = 0;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::string bytes = test::ReadFileBytes(entry.path());
            EXPECT_EQ(GetParam().run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0) << entry.path();
            ++replayed;
        }
    }
    // The samples go through every target as well, so each target runs at least once here.
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TAVI_SAMPLES_DIR) + "/answers")) {
        std::string bytes = test::ReadFileBytes(entry.path());
        EXPECT_EQ(GetParam().run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++replayed;
    }
    EXPECT_GT(replayed, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Reproducers, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavi::fuzz
