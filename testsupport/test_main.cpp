// main() of every test binary. Each test gets a fresh, empty system root of its own
// (TEVO_SYSTEM_ROOT), so tests never touch a user's files and never see each other's
// registry, stores or logs. The root is removed after a passing test and kept, with its
// path printed, after a failing one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "tevo/testing/temp_dir.h"

namespace {

class FreshSystemRoot : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& /*info*/) override {
        root_ = std::make_unique<tevo::testing::TempDir>("tevo-root");
        setenv("TEVO_SYSTEM_ROOT", root_->path().c_str(), 1);
    }

    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (info.result() != nullptr && info.result()->Failed()) {
            std::cerr << "system root kept for inspection: " << root_->path() << "\n";
            keep_ = root_->path();
            std::filesystem::rename(root_->path(), keep_.string() + "-failed");
        }
        root_.reset();
        unsetenv("TEVO_SYSTEM_ROOT");
    }

private:
    std::unique_ptr<tevo::testing::TempDir> root_;
    std::filesystem::path keep_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSystemRoot);
    return RUN_ALL_TESTS();
}
