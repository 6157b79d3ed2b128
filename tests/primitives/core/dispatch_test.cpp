#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "primitives/core/cpu_snapshot.h"
#include "primitives/core/dispatch_internal.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/primitives.h"
#include "platform/report/message_report.h"

namespace {

// A processor of the reference vendor with the given leaf-1 words.
VpCpuidSnapshot referenceCpu(unsigned family, unsigned edx, unsigned ecx = 0, unsigned logical = 1) {
    VpCpuidSnapshot s{};
    s.idFlagToggles = 1;
    s.leaf0[0] = 2;
    s.leaf0[1] = 0x756E6547u;
    s.leaf0[3] = 0x49656E69u;
    s.leaf0[2] = 0x6C65746Eu;
    s.leaf1[0] = family << 8;
    s.leaf1[1] = logical << 16;
    s.leaf1[2] = ecx;
    s.leaf1[3] = edx;
    return s;
}

constexpr unsigned kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26, kHtt = 1u << 28;
constexpr unsigned kSse3 = 1u;

// Installs a snapshot for one scope.
struct InjectedCpu {
    VpCpuidSnapshot snapshot;
    explicit InjectedCpu(const VpCpuidSnapshot& s) : snapshot(s) { vpSetCpuidSnapshotForTesting(&snapshot); }
    ~InjectedCpu() { vpSetCpuidSnapshotForTesting(nullptr); }
};

// Records every message the level selection reports.
std::vector<std::pair<std::string, std::string>> reported;
void captureReport(const char* text, const char* caption) { reported.emplace_back(text, caption); }

struct CapturedReports {
    CapturedReports() {
        reported.clear();
        report::setErrorReporter(&captureReport);
    }
    ~CapturedReports() { report::setErrorReporter(nullptr); }
};

// A small table of its own: three entries, four distinct functions per
// column, so the test can tell which level a slot holds.
template <int Entry, int Level>
int fakeVariant() { return Entry * 10 + Level; }

typedef int (*FakeFn)();
FakeFn fakeSlots[3];

VpAnyFunction any(FakeFn f) { return reinterpret_cast<VpAnyFunction>(f); }

template <int Entry>
DispatchRecord fakeRecord() {
    return {&fakeSlots[Entry], any(&fakeVariant<Entry, 0>), any(&fakeVariant<Entry, 1>), any(&fakeVariant<Entry, 2>),
            any(&fakeVariant<Entry, 3>)};
}

struct FakeTable {
    DispatchRecord records[3] = {fakeRecord<0>(), fakeRecord<1>(), fakeRecord<2>()};
    FakeTable() {
        for (FakeFn& s : fakeSlots) s = nullptr;
    }
    // The level every slot holds, or -1 when the slots disagree or are empty.
    int installedLevel() const {
        int level = -2;
        for (int e = 0; e < 3; ++e) {
            if (!fakeSlots[e]) return -1;
            const int v = fakeSlots[e]() - e * 10;
            if (level != -2 && v != level) return -1;
            level = v;
        }
        return level;
    }
};

TEST(CpuClassification, TypesFromInjectedSnapshots) {
    struct Case {
        unsigned family, edx, ecx, logical;
        VpCpuType type;
        VpLevel level;
    };
    const Case cases[] = {
        {5, 0, 0, 1, vpCpuFamily5, vpLevelPx},
        {5, kMmx, 0, 1, vpCpuFamily5MMX, vpLevelPx},
        {6, 0, 0, 1, vpCpuFamily6, vpLevelPx},
        {6, kMmx, 0, 1, vpCpuFamily6MMX, vpLevelPx},
        {6, kMmx | kSse, 0, 1, vpCpuFamily6SSE, vpLevelA6},
        {6, kSse, 0, 1, vpCpuFamily6SSE, vpLevelA6},
        {6, kMmx | kSse | kSse2, kSse3, 2, vpCpuFamily6SSE2, vpLevelPx},
        {15, kMmx | kSse | kSse2, 0, 1, vpCpuFamily15SSE2, vpLevelW7},
        {15, kMmx | kSse | kSse2 | kHtt, 0, 1, vpCpuFamily15SSE2, vpLevelW7},  // one logical processor
        {15, kMmx | kSse | kSse2 | kHtt, 0, 2, vpCpuFamily15HT, vpLevelW7},
        {15, kMmx | kSse | kSse2 | kHtt, kSse3, 2, vpCpuFamily15SSE3, vpLevelT7},
        {15, kMmx | kSse | kSse2, kSse3, 1, vpCpuFamily15SSE3, vpLevelT7},
        {15, kMmx | kSse | kHtt, kSse3, 2, vpCpuFamily15NoSSE2, vpLevelPx},
        {7, kMmx | kSse | kSse2, kSse3, 1, vpCpuFamily7, vpLevelPx},
        {4, kMmx, 0, 1, vpCpuUnknown, vpLevelPx},
        {0, 0, 0, 1, vpCpuUnknown, vpLevelPx},
    };
    for (const Case& c : cases) {
        InjectedCpu cpu(referenceCpu(c.family, c.edx, c.ecx, c.logical));
        EXPECT_EQ(vpCoreGetCpuType(), c.type) << "family " << c.family << " edx " << std::hex << c.edx;
        EXPECT_EQ(CpuTypeToLevel(), c.level) << "family " << c.family;
    }
}

TEST(CpuClassification, ExtendedFamilyAndModelBitsAreIgnored) {
    VpCpuidSnapshot s = referenceCpu(15, kMmx | kSse | kSse2, kSse3);
    s.leaf1[0] |= 0x0FF00000u | 0x000F0000u | 0x3000u | 0xA7u;  // extended family/model, type bits, model 10 stepping 7
    InjectedCpu cpu(s);
    EXPECT_EQ(vpCoreGetCpuType(), vpCpuFamily15SSE3);
    VpCpuFeatures f{};
    f.reserved = 1234;
    vpGetCpuFeatures(&f);
    EXPECT_EQ(f.family, 15);
    EXPECT_EQ(f.model, 10);
    EXPECT_EQ(f.stepping, 7);
    EXPECT_EQ(f.cpuTypeBits, 0);
    EXPECT_EQ(f.reserved, 1234);
    EXPECT_EQ(f.hasSse3, 1);
    EXPECT_EQ(f.hasSse2, 1);
    EXPECT_EQ(f.leaf1Edx, kMmx | kSse | kSse2);
}

TEST(CpuClassification, AnotherVendorOrNoIdFlagIsUnknown) {
    VpCpuidSnapshot other = referenceCpu(15, kMmx | kSse | kSse2, kSse3);
    other.leaf0[1] = 0x68747541u;  // another maker's words
    other.leaf0[3] = 0x69746E65u;
    other.leaf0[2] = 0x444D4163u;
    {
        InjectedCpu cpu(other);
        EXPECT_EQ(vpCoreGetCpuType(), vpCpuUnknown);
        EXPECT_EQ(vpIsReferenceVendor(), 0);
        EXPECT_EQ(vpHasCpuid(), 1);
    }
    // One word differing is enough.
    VpCpuidSnapshot almost = referenceCpu(6, kMmx | kSse);
    almost.leaf0[2] ^= 1;
    EXPECT_EQ(vpClassifyCpu(almost), vpCpuUnknown);

    VpCpuidSnapshot noId = referenceCpu(15, kMmx | kSse | kSse2, kSse3);
    noId.idFlagToggles = 0;
    InjectedCpu cpu(noId);
    EXPECT_EQ(vpHasCpuid(), 0);
    EXPECT_EQ(vpCoreGetCpuType(), vpCpuUnknown);
    EXPECT_EQ(CpuTypeToLevel(), vpLevelPx);
}

TEST(CpuClassification, ThisProcessorIsClassifiedWithoutFault) {
    const VpCpuidSnapshot s = vpTakeCpuidSnapshot();
    EXPECT_EQ(s.idFlagToggles, 1);  // every x86-64 processor has CPUID
    EXPECT_EQ(vpClassifyCpu(s), vpCoreGetCpuType());
    const VpCpuType t = vpCoreGetCpuType();
    EXPECT_TRUE(t == 0 || (t >= 1 && t <= 9) || t == 16 || t == 17);
    EXPECT_EQ(vpHasSse2(), 1);
}

TEST(DispatchFill, EveryLevelOfACompleteTableIsInstalled) {
    FakeTable t;
    for (int level = 0; level < 4; ++level) {
        EXPECT_EQ(FillDispatchSlotsOver(t.records, 3, level), 1);
        EXPECT_EQ(t.installedLevel(), level);
    }
    EXPECT_EQ(FillDispatchSlotsOver(t.records, 3, 4), 0);
    EXPECT_EQ(FillDispatchSlotsOver(t.records, 0, 4), 1);  // nothing to fill
}

// A fill stopped by a null variant must not leave slots of two levels: the
// records before the null would hold the new level and those after it the old
// one. The px column is reinstalled whole instead.
TEST(DispatchFill, ANullVariantReinstallsThePxColumn) {
    for (int previous = 0; previous < 4; ++previous) {
        FakeTable t;
        ASSERT_EQ(FillDispatchSlotsOver(t.records, 3, previous), 1);
        t.records[1].t7 = nullptr;
        EXPECT_EQ(FillDispatchSlotsOver(t.records, 3, vpLevelT7), 0);
        EXPECT_EQ(t.installedLevel(), 0) << "installed before: " << previous;
    }
    // A null in the first record, and in the last.
    for (int nullRecord : {0, 2}) {
        FakeTable t;
        ASSERT_EQ(FillDispatchSlotsOver(t.records, 3, vpLevelW7), 1);
        t.records[nullRecord].a6 = nullptr;
        EXPECT_EQ(FillDispatchSlotsOver(t.records, 3, vpLevelA6), 0);
        EXPECT_EQ(t.installedLevel(), 0) << "null in record " << nullRecord;
    }
}

TEST(LevelSelection, DetectedLevelIsInstalledAtTheFirstAttempt) {
    struct Case {
        VpCpuidSnapshot cpu;
        int level;
    };
    const Case cases[] = {
        {referenceCpu(6, kMmx | kSse), 1},
        {referenceCpu(15, kMmx | kSse | kSse2), 2},
        {referenceCpu(15, kMmx | kSse | kSse2 | kHtt, 0, 2), 2},
        {referenceCpu(15, kMmx | kSse | kSse2, kSse3), 3},
        {referenceCpu(6, kMmx | kSse | kSse2, kSse3), 0},
        {referenceCpu(5, kMmx), 0},
    };
    CapturedReports reports;
    for (const Case& c : cases) {
        InjectedCpu cpu(c.cpu);
        FakeTable t;
        EXPECT_EQ(SelectVpLevelOver(t.records, 3), 1);
        EXPECT_EQ(t.installedLevel(), c.level);
        EXPECT_EQ(SelectedVpLevel, c.level);
    }
    EXPECT_TRUE(reported.empty());
}

TEST(LevelSelection, MissingT7VariantFallsToW7) {
    CapturedReports reports;
    InjectedCpu cpu(referenceCpu(15, kMmx | kSse | kSse2, kSse3));
    FakeTable t;
    t.records[2].t7 = nullptr;
    EXPECT_EQ(SelectVpLevelOver(t.records, 3), 1);
    EXPECT_EQ(t.installedLevel(), 2);
    EXPECT_EQ(SelectedVpLevel, 2);
    EXPECT_TRUE(reported.empty());
}

TEST(LevelSelection, NullColumnsWalkDownToPx) {
    CapturedReports reports;
    InjectedCpu cpu(referenceCpu(15, kMmx | kSse | kSse2, kSse3));
    FakeTable t;
    t.records[0].w7 = nullptr;
    t.records[1].t7 = nullptr;
    t.records[2].a6 = nullptr;
    EXPECT_EQ(SelectVpLevelOver(t.records, 3), 1);
    EXPECT_EQ(t.installedLevel(), 0);
    EXPECT_EQ(SelectedVpLevel, 0);
    EXPECT_TRUE(reported.empty());
}

TEST(LevelSelection, ARecordWithoutAnyVariantShowsTheMessageOnce) {
    CapturedReports reports;
    InjectedCpu cpu(referenceCpu(15, kMmx | kSse | kSse2, kSse3));
    FakeTable t;
    t.records[1] = {&fakeSlots[1], nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(SelectVpLevelOver(t.records, 3), 0);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].first, " No VP matching to examined CPU was found during the Waterfall procedure");
    EXPECT_EQ(reported[0].second, "Set VP library error");
    // Every record that has a px variant holds it; the empty one is untouched.
    EXPECT_EQ(fakeSlots[0](), 0);
    EXPECT_EQ(fakeSlots[1], nullptr);
    EXPECT_EQ(fakeSlots[2](), 20);
}

TEST(LevelSelection, TheDefaultReporterWritesToStandardError) {
    report::setErrorReporter(nullptr);
    InjectedCpu cpu(referenceCpu(6, kMmx));
    FakeTable t;
    t.records[0].px = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SelectVpLevelOver(t.records, 3), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Set VP library error"), std::string::npos);
    EXPECT_NE(err.find(" No VP matching to examined CPU was found during the Waterfall procedure"), std::string::npos);
}

TEST(LevelSelection, AnEmptyTableFails) {
    CapturedReports reports;
    FakeTable t;
    EXPECT_EQ(SelectVpLevelOver(t.records, 0), 0);
    EXPECT_EQ(reported.size(), 1u);
}

TEST(LevelSelection, PreferenceRows) {
    const int expected[4][5] = {{0, 4, 0, 0, 0}, {1, 0, 4, 0, 0}, {2, 1, 0, 4, 0}, {3, 2, 1, 0, 4}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(LevelPreferenceTable[r][c], expected[r][c]);
}

// The real table: every cell of every level is filled, with four distinct
// functions except where a routine does not depend on the level; each slot
// starts out holding px; each reference processor gets its own level, whole,
// without a message; this machine gets the level its classification gives.
TEST(DispatchTable, EveryLevelIsCompleteAndEachProcessorGetsItsLevel) {
    ASSERT_EQ(DispatchEntryCount, 48);
    for (int i = 0; i < DispatchEntryCount; ++i) {
        const DispatchRecord& r = DispatchTable[i];
        EXPECT_NE(r.slot, nullptr) << "record " << i;
        EXPECT_TRUE(r.px && r.a6 && r.w7 && r.t7) << "record " << i << ": a6 " << (r.a6 != nullptr) << " w7 "
                                                  << (r.w7 != nullptr) << " t7 " << (r.t7 != nullptr);
        EXPECT_EQ(DispatchSlotContent(r), r.px) << "record " << i;
    }
    for (int i : {1, 5, 13, 23, 31, 32, 47}) {
        EXPECT_NE(DispatchTable[i].a6, DispatchTable[i].px) << i;
        EXPECT_NE(DispatchTable[i].w7, DispatchTable[i].a6) << i;
    }

    CapturedReports reports;
    const struct {
        VpCpuidSnapshot cpu;
        VpLevel level;
    } cases[] = {{referenceCpu(15, kMmx | kSse | kSse2, kSse3), vpLevelT7},
                 {referenceCpu(15, kMmx | kSse | kSse2), vpLevelW7},
                 {referenceCpu(6, kMmx | kSse), vpLevelA6},
                 {referenceCpu(6, kMmx), vpLevelPx}};
    for (const auto& c : cases) {
        InjectedCpu cpu(c.cpu);
        EXPECT_EQ(SelectVpLevel(), 1);
        EXPECT_EQ(SelectedVpLevel, c.level);
        for (int i = 0; i < DispatchEntryCount; ++i)
            EXPECT_EQ(DispatchSlotContent(DispatchTable[i]), DispatchVariant(DispatchTable[i], c.level)) << i;
    }
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(SelectVpLevel(), 1);
    EXPECT_EQ(SelectedVpLevel, CpuTypeToLevel());
    EXPECT_TRUE(reported.empty());
    ASSERT_EQ(FillDispatchSlots(vpLevelPx), 1);
}

TEST(DispatchTable, HoldsAll48EntriesInSlotOrder) {
    EXPECT_EQ(DispatchEntryCount, 48);
    // Distinct slots and distinct px variants, one per entry.
    for (int i = 0; i < DispatchEntryCount; ++i)
        for (int j = i + 1; j < DispatchEntryCount; ++j) {
            EXPECT_NE(DispatchTable[i].slot, DispatchTable[j].slot) << i << " " << j;
            EXPECT_NE(DispatchTable[i].px, DispatchTable[j].px) << i << " " << j;
        }
    // Spot checks of the order: first, last and a few in between.
    EXPECT_EQ(DispatchTable[0].px, reinterpret_cast<VpAnyFunction>(&vpsGetLibVersion_px));
    EXPECT_EQ(DispatchTable[9].px, reinterpret_cast<VpAnyFunction>(&vpiCopy_8u_C1R_px));
    EXPECT_EQ(DispatchTable[25].px, reinterpret_cast<VpAnyFunction>(&vpiFree_px));
    EXPECT_EQ(DispatchTable[27].px, reinterpret_cast<VpAnyFunction>(&vpiMalloc_8u_C1_px));
    EXPECT_EQ(DispatchTable[46].px, reinterpret_cast<VpAnyFunction>(&vpiYUVToRGB_8u_P3C3R_px));
    EXPECT_EQ(DispatchTable[47].px, reinterpret_cast<VpAnyFunction>(&vpiWarpAffine_32f_C1R_px));
    // The allocators do not depend on the level: their records are complete.
    for (int i : {0, 25, 27}) {
        EXPECT_NE(DispatchTable[i].a6, nullptr);
        EXPECT_NE(DispatchTable[i].w7, nullptr);
        EXPECT_NE(DispatchTable[i].t7, nullptr);
    }
}

TEST(DispatchTable, ForwardersCallThroughTheSlot) {
    ASSERT_EQ(FillDispatchSlots(vpLevelPx), 1);
    EXPECT_EQ(vpsGetLibVersion(), vpsGetLibVersion_px());
    const Vp8u src[4] = {1, 2, 3, 4};
    Vp8u dst[4] = {};
    EXPECT_EQ(vpiCopy_8u_C1R(src, 2, dst, 2, {2, 2}), vpStsNoErr);
    EXPECT_EQ(dst[3], 4);
}

TEST(VersionRecords, OnePerLevel) {
    struct Case {
        const VpLibraryVersion* v;
        const char* cpu;
        const char* name;
    };
    const Case cases[] = {{vpsGetLibVersion_px(), "px", "vpspxl.lib"},
                          {vpsGetLibVersion_a6(), "a6", "vpsa6l.lib"},
                          {vpsGetLibVersion_w7(), "w7", "vpsw7l.lib"},
                          {vpsGetLibVersion_t7(), "t7", "vpst7l.lib"}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.v->major, 4);
        EXPECT_EQ(c.v->minor, 0);
        EXPECT_EQ(c.v->majorBuild, 19);
        EXPECT_EQ(c.v->build, 77);
        EXPECT_STREQ(c.v->targetCpu, c.cpu);
        EXPECT_EQ(c.v->targetCpu[2], 0);
        EXPECT_EQ(c.v->targetCpu[3], 0);
        EXPECT_STREQ(c.v->name, c.name);
        EXPECT_STREQ(c.v->version, "v4.0");
        EXPECT_STREQ(c.v->buildDate, "Oct 16 2003");
    }
    EXPECT_EQ(vpsGetLibVersion_px()->version, vpsGetLibVersion_t7()->version);  // one shared text
}

TEST(VersionRecords, FollowTheInstalledLevel) {
    // vpsGetLibVersion's record is complete, so installing w7 for it alone
    // (as a type-6 processor would) returns the w7 record.
    for (int i = 0; i < DispatchEntryCount; ++i) {
        if (DispatchTable[i].px != reinterpret_cast<VpAnyFunction>(&vpsGetLibVersion_px)) continue;
        ASSERT_EQ(FillDispatchSlotsOver(&DispatchTable[i], 1, vpLevelW7), 1);
        EXPECT_STREQ(vpsGetLibVersion()->targetCpu, "w7");
        EXPECT_STREQ(vpsGetLibVersion()->name, "vpsw7l.lib");
        ASSERT_EQ(FillDispatchSlotsOver(&DispatchTable[i], 1, vpLevelPx), 1);
        EXPECT_STREQ(vpsGetLibVersion()->name, "vpspxl.lib");
        return;
    }
    FAIL() << "vpsGetLibVersion is not in the table";
}

}  // namespace
