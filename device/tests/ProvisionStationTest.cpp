#include "device/ProvisionStation.h"

#include <gtest/gtest.h>

#include <memory>

#include "config/SettingsAssignment.h"
#include "device/ProvisionLog.h"
#include "firmware/UpdateProtocol.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/HexFiles.h"

namespace quillon {
namespace {

// The station's threads without the tool around it, so that the thread-sanitizer build
// watches them: adapters there at the start and one plugged in from a job's thread.
TEST(ProvisionStationTest, EveryAdapterIsProvisionedOnItsOwnThread) {
    const quillon::testing::TempDir folder;
    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    emu::EmulatedBus bus;
    std::vector<std::shared_ptr<emu::QuillonAdapter>> adapters;
    for (int i = 0; i < 4; ++i) {
        adapters.push_back(std::make_shared<emu::QuillonAdapter>());
    }
    for (int i = 0; i < 3; ++i) {
        bus.Plug(adapters[static_cast<size_t>(i)]);
    }
    adapters[1]->UnplugAtTransfer(40);

    std::string error;
    ProvisionPlan plan;
    plan.FirmwareFile = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    plan.Assignments = ParseAssignments({"baud=9600", "enter=LF"}, error);
    ASSERT_TRUE(plan.Assignments) << error;

    std::vector<ProvisionRecord> records;
    StationEvents events;
    events.Finished = [&](const ProvisionRecord& record) {
        records.push_back(record);
        if (records.size() == 1) {
            bus.Plug(adapters[3]);
        }
    };
    {
        ProvisionStation station(bus, plan, {4, true});
        station.Run(nullptr, events);
    }
    ASSERT_EQ(records.size(), 4u);
    int passed = 0;
    for (const ProvisionRecord& record : records) {
        passed += record.Passed ? 1 : 0;
        EXPECT_EQ(record.Passed, record.Path != "emu:2") << record.Path << ": " << record.Reason;
        EXPECT_EQ(record.Pulled, record.Path == "emu:2") << record.Path;
    }
    EXPECT_EQ(passed, 3);
    for (size_t i : {0u, 2u, 3u}) {
        EXPECT_EQ(adapters[i]->Settings()[3], 8);
        EXPECT_EQ(adapters[i]->TransferCount(), firmware::kTransfersPerUpdate + 3u);
    }
}

// An operator's "stop at once": the jobs in progress fail at their next transfer, named as
// stopped, and no adapter waiting is started.
TEST(ProvisionStationTest, AbandonedJobsEndAtTheirNextTransfer) {
    const quillon::testing::TempDir folder;
    emu::EmulatedBus bus;
    std::vector<std::shared_ptr<emu::QuillonAdapter>> adapters;
    for (int i = 0; i < 2; ++i) {
        adapters.push_back(std::make_shared<emu::QuillonAdapter>());
        bus.Plug(adapters.back());
    }
    ProvisionPlan plan;
    plan.FirmwareFile =
        folder.Write("update.hex", quillon::testing::HexFileFor(quillon::testing::PatternImage()));
    std::atomic<bool> abandon{false};
    std::vector<ProvisionRecord> records;
    StationEvents events;
    events.Progress = [&](const std::vector<LiveJob>& jobs) {
        // Both well into their update, and a third plugged in meanwhile.
        if (jobs.size() == 2 && adapters[0]->TransferCount() > 30 &&
            adapters[1]->TransferCount() > 30 && !abandon) {
            adapters.push_back(std::make_shared<emu::QuillonAdapter>());
            bus.Plug(adapters.back());
            abandon = true;
        }
    };
    events.Finished = [&](const ProvisionRecord& record) { records.push_back(record); };
    for (auto& adapter : adapters) {
        adapter->SetTransferDelay(std::chrono::milliseconds(2));
    }
    ProvisionStation::Options options;
    options.AllPresent = true;
    options.Abandon = &abandon;
    {
        ProvisionStation station(bus, plan, options);
        station.Run(nullptr, events);
    }
    ASSERT_EQ(records.size(), 2u);
    for (const ProvisionRecord& record : records) {
        EXPECT_FALSE(record.Passed);
        EXPECT_FALSE(record.Pulled);
        EXPECT_EQ(record.Reason.rfind("stopped by the operator (update: ", 0), 0u) << record.Reason;
    }
    for (size_t i : {0u, 1u}) {
        EXPECT_LT(adapters[i]->TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
    }
    EXPECT_EQ(adapters[2]->TransferCount(), 0u);
}

TEST(ProvisionLogTest, FieldsAreQuotedOnlyWhereASpreadsheetNeedsIt) {
    EXPECT_EQ(CsvField("emu:1"), "emu:1");
    EXPECT_EQ(CsvField("a, b"), "\"a, b\"");
    EXPECT_EQ(CsvField("say \"no\""), "\"say \"\"no\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(" padded"), "\" padded\"");
    EXPECT_EQ(CsvField("=HYPERLINK(1)"), "\"'=HYPERLINK(1)\"");  // a device text, not a formula
}

}  // namespace
}  // namespace quillon
