#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "pool/cgroup_quota.hpp"

namespace {

namespace fs = std::filesystem;

class CgroupTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zyl-cgroup-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const std::string& rel, const std::string& text) {
        fs::path p = root_ / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    std::size_t limit() { return zyl::cgroup_cpu_limit((root_ / "membership").string(), (root_ / "sys").string()); }

    fs::path root_;
};

TEST_F(CgroupTree, V2TightestQuotaOnThePathWins) {
    write("membership", "0::/a/b\n");
    write("sys/cpu.max", "max 100000\n");
    write("sys/a/cpu.max", "300000 100000\n");
    write("sys/a/b/cpu.max", "max 100000\n");
    EXPECT_EQ(limit(), 3u);
    write("sys/a/b/cpu.max", "150000 100000\n");
    EXPECT_EQ(limit(), 1u);  // 1.5 CPUs round down, never below one
}

TEST_F(CgroupTree, V2WithoutQuotaIsUnlimited) {
    write("membership", "0::/\n");
    write("sys/cpu.max", "max 100000\n");
    EXPECT_EQ(limit(), 0u);
}

TEST_F(CgroupTree, V1ReadsTheProcessGroup) {
    write("membership", "4:memory:/x\n2:cpu,cpuacct:/jobs/one\n");
    write("sys/cpu,cpuacct/cpu.cfs_quota_us", "-1\n");
    write("sys/cpu,cpuacct/cpu.cfs_period_us", "100000\n");
    write("sys/cpu,cpuacct/jobs/one/cpu.cfs_quota_us", "250000\n");
    write("sys/cpu,cpuacct/jobs/one/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(limit(), 2u);
}

TEST_F(CgroupTree, MissingFilesMeanNoQuota) {
    EXPECT_EQ(limit(), 0u);
    write("membership", "garbage\n0::/nowhere\n");
    EXPECT_EQ(limit(), 0u);
}

}  // namespace
