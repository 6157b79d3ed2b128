#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "primitives/primitives.h"

namespace {

unsigned bitsOfQuotient(volatile float& a, volatile float& b) {
    const float q = a / b;
    unsigned bits;
    std::memcpy(&bits, &q, sizeof bits);
    return bits;
}

// Restores the thread's MXCSR and x87 control word after each test.
class FloatControl : public ::testing::Test {
protected:
    void SetUp() override {
        mxcsr_ = vpGetMxcsr();
        x87_ = vpGetX87ControlWord();
    }
    void TearDown() override {
        vpRestoreMxcsr(mxcsr_);
        vpRestoreX87ControlWord(x87_);
    }
    unsigned mxcsr_ = 0, x87_ = 0;
};

TEST_F(FloatControl, MxcsrRounding) {
    vpResetMxcsr();
    EXPECT_EQ(vpGetMxcsr() & 0xFFFFu & ~0x3Fu, 0x1F80u);
    // Already to nearest: nothing is loaded, the previous value comes back.
    EXPECT_EQ(vpSetMxcsrRounding(0) & ~0x3Fu, 0x1F80u);
    EXPECT_EQ(vpGetMxcsr() & ~0x3Fu, 0x1F80u);
    // Toward zero from the default.
    vpResetMxcsr();
    EXPECT_EQ(vpSetMxcsrRounding(0x6000) & ~0x3Fu, 0x1F80u);
    EXPECT_EQ(vpGetMxcsr() & ~0x3Fu, 0x7F80u);
    volatile float a = 1.0f, b = 3.0f;
    EXPECT_EQ(bitsOfQuotient(a, b), 0x3EAAAAAAu);  // truncated
    vpRestoreMxcsr(0x1F80);
    EXPECT_EQ(bitsOfQuotient(a, b), 0x3EAAAAABu);  // nearest
}

TEST_F(FloatControl, MaskedMxcsrAndX87Words) {
    vpResetMxcsr();
    EXPECT_EQ(vpSetMxcsrMasked(0xE000, 0x8000) & ~0x3Fu, 0x1F80u);  // flush to zero; the rounding bits are masked off
    EXPECT_EQ(vpGetMxcsr() & ~0x3Fu, 0x9F80u);
    vpResetMxcsr();

    const unsigned cw = vpGetX87ControlWord();
    EXPECT_EQ(vpSetX87ControlWordMasked(0x0C00, 0x0C00), cw);  // rounding toward zero
    EXPECT_EQ(vpGetX87ControlWord() & 0x0C00u, 0x0C00u);
    EXPECT_EQ(vpSetX87ControlWordIfChanged(0x0C00, 0x0C00) & 0x0C00u, 0x0C00u);  // unchanged
    EXPECT_EQ(vpSetX87ControlWordIfChanged(0x0000, 0x0C00) & 0x0C00u, 0x0C00u);
    EXPECT_EQ(vpGetX87ControlWord() & 0x0C00u, 0u);
    vpGetAndClearX87StatusWord();
    EXPECT_EQ(vpGetX87StatusWord() & 0x3Fu, 0u);
}

TEST_F(FloatControl, ProcessorHelpersRun) {
    EXPECT_GE(vpGetMaxCpuidLevel(), 1u);
    EXPECT_EQ(vpHasSse(), 1);
    EXPECT_EQ(vpHasMmx(), 1);
    EXPECT_EQ(vpHasTsc(), 1);
    const std::uint64_t t0 = vpGetCpuClocks();
    EXPECT_GE(vpGetCpuClocks(), t0);
    const int daz = vpHasDenormalsAreZero();
    EXPECT_TRUE(daz == 0 || daz == 1);
    const int ht = vpHasHyperThreading(), sse3 = vpHasSse3();
    EXPECT_TRUE((ht == 0 || ht == 1) && (sse3 == 0 || sse3 == 1));
}

}  // namespace
