#include <gtest/gtest.h>

#include <cstring>

#include "primitives/core/cpu_snapshot.h"
#include "primitives/primitives.h"

namespace {

// Restores the second dispatcher's index after each test.
class AffineQuadDispatch : public ::testing::Test {
protected:
    void TearDown() override {
        StaticDispatchIndex = 1;
        vpSetCpuidSnapshotForTesting(nullptr);
    }
};

const double kCoeffs[2][3] = {{2.0, 0.5, 10.0}, {-0.25, 1.0, 3.0}};

TEST_F(AffineQuadDispatch, RunsThePxVariantFromLoadOn) {
    EXPECT_EQ(StaticDispatchIndex, 1);
    double viaEntry[4][2], viaPx[4][2];
    const VpiRect roi{2, 3, 5, 4};
    ASSERT_EQ(vpiGetAffineQuad(roi, viaEntry, kCoeffs), vpStsNoErr);
    ASSERT_EQ(vpiGetAffineQuad_px(roi, viaPx, kCoeffs), vpStsNoErr);
    EXPECT_EQ(std::memcmp(viaEntry, viaPx, sizeof viaPx), 0);
    // Corner (x + width - 1, y) = (6, 3): X = 2*6 + 0.5*3 + 10, Y = -0.25*6 + 3 + 3.
    EXPECT_EQ(viaEntry[1][0], 23.5);
    EXPECT_EQ(viaEntry[1][1], 4.5);
    // A bad region reaches the variant unchanged.
    EXPECT_EQ(vpiGetAffineQuad({-1, 0, 5, 5}, viaEntry, kCoeffs), vpStsSizeErr);
}

TEST_F(AffineQuadDispatch, NullPointersAreRefused) {
    double quad[4][2];
    EXPECT_EQ(vpiGetAffineQuad({0, 0, 4, 4}, nullptr, kCoeffs), vpStsNullPtrErr);
    EXPECT_EQ(vpiGetAffineQuad({0, 0, 4, 4}, quad, nullptr), vpStsNullPtrErr);
}

TEST_F(AffineQuadDispatch, NoVariantStateReturnsAnError) {
    ASSERT_EQ(vpStaticInitCpu(-1), vpStsNoErr);
    EXPECT_EQ(StaticDispatchIndex, 0);
    double quad[4][2] = {{7, 7}, {7, 7}, {7, 7}, {7, 7}};
    EXPECT_EQ(vpiGetAffineQuad({0, 0, 4, 4}, quad, kCoeffs), vpStsNotSupportedModeErr);
    EXPECT_EQ(quad[0][0], 7.0);
}

TEST_F(AffineQuadDispatch, StaticInitCpuMapsTypesToIndices) {
    const struct {
        VpCpuType type;
        int index;
    } cases[] = {{0, 1}, {1, 1}, {4, 1}, {5, 2}, {6, 3}, {7, 3}, {9, 3}, {8, 4}, {-1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(vpStaticInitCpu(c.type), vpStsNoErr);
        EXPECT_EQ(StaticDispatchIndex, c.index) << c.type;
    }
    StaticDispatchIndex = 2;
    EXPECT_EQ(vpStaticInitCpu(10), vpStsCpuMismatch);
    EXPECT_EQ(vpStaticInitCpu(-2), vpStsCpuMismatch);
    EXPECT_EQ(vpStaticInitCpu(16), vpStsCpuMismatch);
    EXPECT_EQ(StaticDispatchIndex, 2);
    // a6 shares the px function; the other levels are not built: an error, not a crash.
    double quad[4][2];
    ASSERT_EQ(vpStaticInitCpu(5), vpStsNoErr);
    EXPECT_EQ(vpiGetAffineQuad({0, 0, 4, 4}, quad, kCoeffs), vpStsNoErr);
    EXPECT_EQ(vpiGetAffineQuadVariants[1], vpiGetAffineQuadVariants[2]);
    ASSERT_EQ(vpStaticInitCpu(8), vpStsNoErr);
    const VpStatus s = vpiGetAffineQuad({0, 0, 4, 4}, quad, kCoeffs);
    EXPECT_TRUE(vpiGetAffineQuadVariants[4] ? s == vpStsNoErr : s == vpStsNotSupportedModeErr);
}

TEST_F(AffineQuadDispatch, StaticInitFromTheProcessor) {
    VpCpuidSnapshot s{};
    s.idFlagToggles = 1;
    s.leaf0[1] = 0x756E6547u;
    s.leaf0[3] = 0x49656E69u;
    s.leaf0[2] = 0x6C65746Eu;
    s.leaf1[0] = 6u << 8;
    s.leaf1[3] = (1u << 23) | (1u << 25) | (1u << 26);
    vpSetCpuidSnapshotForTesting(&s);
    EXPECT_EQ(vpStaticInit(), vpStsNoErr);
    EXPECT_EQ(StaticDispatchIndex, 3);  // family 6 with SSE2 maps to w7 here
    s.leaf0[1] = 0x68747541u;           // another vendor
    EXPECT_EQ(vpStaticInit(), vpStsNonReferenceCpu);
    EXPECT_EQ(StaticDispatchIndex, 1);
    s.idFlagToggles = 0;
    StaticDispatchIndex = 4;
    EXPECT_EQ(vpStaticInit(), vpStsNonReferenceCpu);
    EXPECT_EQ(StaticDispatchIndex, 1);
}

TEST_F(AffineQuadDispatch, DescriptorIsRegisteredBeforeMain) {
    bool found = false;
    for (StaticDispatchDescriptor* d = StaticDispatchListHead; d; d = d->next)
        if (d == &vpiGetAffineQuadDescriptor) found = true;
    ASSERT_TRUE(found);
    EXPECT_STREQ(vpiGetAffineQuadDescriptor.kind, "s");
    EXPECT_STREQ(vpiGetAffineQuadDescriptor.name, "vpiGetAffineQuad");
    EXPECT_EQ(vpiGetAffineQuadDescriptor.variants, static_cast<const void*>(vpiGetAffineQuadVariants));
    EXPECT_EQ(vpiGetAffineQuadVariants[0], nullptr);

    StaticDispatchDescriptor extra{"s", "extra", nullptr, nullptr};
    StaticDispatchDescriptor* head = StaticDispatchListHead;
    EXPECT_EQ(vpDispatchListPush(&extra), head);
    EXPECT_EQ(StaticDispatchListHead, &extra);
    StaticDispatchListHead = head;
}

}  // namespace
