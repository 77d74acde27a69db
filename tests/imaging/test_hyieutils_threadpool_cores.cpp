// The processor core count, asked of the kernel's topology.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>

#include "../common/private_dir.h"
#include "imaging/core/hyieutils_threadpool.h"
#include "platform/kernel.h"

namespace ie {
namespace {

class CoreCount : public ::testing::Test {
protected:
    void SetUp() override { IEResetProcessorCoreCount(); }
    void TearDown() override {
        win::SetProcessorTopologyRootForTesting("");
        win::RestoreBuiltinModules();
        IEResetProcessorCoreCount();
    }
    // A processor tree of `threads` logical processors in packages of 16, `perCore` of
    // them on each core.
    static std::string Topology(const lumetra_test::PrivateDir& dir, int threads, int perCore) {
        for (int cpu = 0; cpu < threads; ++cpu) {
            const std::string topo = dir / ("cpu" + std::to_string(cpu));
            ::mkdir(topo.c_str(), 0700);
            ::mkdir((topo + "/topology").c_str(), 0700);
            std::ofstream(topo + "/topology/physical_package_id") << cpu / 16 << "\n";
            std::ofstream(topo + "/topology/core_id") << (cpu % 16) / perCore << "\n";
        }
        return dir.Path().string();
    }
};

TEST_F(CoreCount, CountsPhysicalCoresOnceUntilReset) {
    struct Case {
        int threads, perCore, cores;
    };
    const Case cases[] = {{4, 1, 4}, {32, 2, 16}, {1, 1, 1}, {8, 2, 4}};
    for (const Case& c : cases) {
        lumetra_test::PrivateDir tree("iecores");
        win::SetProcessorTopologyRootForTesting(Topology(tree, c.threads, c.perCore));
        IEResetProcessorCoreCount();
        EXPECT_EQ(IEProcessorCoreCount(), c.cores) << c.threads << " threads, " << c.perCore << " per core";
    }
    // Kept: another machine behind the probe changes nothing until the next reset.
    lumetra_test::PrivateDir tree("iecores");
    win::SetProcessorTopologyRootForTesting(Topology(tree, 32, 2));
    EXPECT_EQ(IEProcessorCoreCount(), 4);
    IEResetProcessorCoreCount();
    EXPECT_EQ(IEProcessorCoreCount(), 16);
    win::SetProcessorTopologyRootForTesting("");
    IEResetProcessorCoreCount();
    const int32_t real = IEProcessorCoreCount();
    EXPECT_GE(real, 1);
    EXPECT_LE(real, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

TEST_F(CoreCount, IsOneWithoutTheKernelFunctionAndIsNotAskedAgain) {
    lumetra_test::PrivateDir tree("iecores");
    win::SetProcessorTopologyRootForTesting(Topology(tree, 8, 2));
    win::RemoveBuiltinExport("kernel32", "GetLogicalProcessorInformation");
    EXPECT_EQ(IEProcessorCoreCount(), 1);
    win::RestoreBuiltinModules();
    EXPECT_EQ(IEProcessorCoreCount(), 1);  // not looked up again
    IEResetProcessorCoreCount();
    EXPECT_EQ(IEProcessorCoreCount(), 4);
    win::RemoveBuiltinModule("kernel32");
    IEResetProcessorCoreCount();
    EXPECT_EQ(IEProcessorCoreCount(), 1);
}

}  // namespace
}  // namespace ie
