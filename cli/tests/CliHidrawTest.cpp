#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/ExitCodes.h"
#include "cli/tests/CliTestSupport.h"
#include "firmware/UpdateProtocol.h"
#include "hid/linux/tests/HidrawIoctlProbe.h"
#include "hid/linux/tests/HidrawTestBed.h"
#include "tests/HexFiles.h"

namespace quillon::cli::test {
namespace {

using quillon::test::HidrawTestBed;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The tool on the real platform, whose hidraw backend finds the bed's nodes.
class CliHidrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QUILLON_REQUIRE_HIDRAW_BED(bed);
        cli.Env.CreatePlatform = ProcessEnvironment(nullptr).CreatePlatform;
        bed.Plug({}, adapter);
        HidrawTestBed::Device refusing;
        refusing.Node = "hidraw1";
        refusing.RefuseOpen = true;
        bed.Plug(refusing, lockedAdapter);
    }

    HidrawTestBed bed;
    CliHarness cli;
    std::shared_ptr<emu::QuillonAdapter> adapter = std::make_shared<emu::QuillonAdapter>();
    std::shared_ptr<emu::QuillonAdapter> lockedAdapter = std::make_shared<emu::QuillonAdapter>();
};

TEST_F(CliHidrawTest, ListShowsTheNodesAndWhichOneTheRuleIsMissingFor) {
    const CliResult result = cli.Run({"list", "--json"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    const QJsonArray adapters =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.Out)).array();
    ASSERT_EQ(adapters.size(), 2) << result.Out;
    EXPECT_EQ(adapters[0]["path"].toString().toStdString(), bed.NodePath("hidraw0"));
    EXPECT_EQ(adapters[0]["vendorId"].toString(), "169b");
    EXPECT_EQ(adapters[0]["version"].toString(), "0100");
    EXPECT_TRUE(adapters[0]["writable"].toBool());
    EXPECT_FALSE(adapters[1]["writable"].toBool());
    EXPECT_EQ(adapters[1]["reason"].toString(), "Permission denied");
    EXPECT_TRUE(
        Contains(result.Err, "Read/write access to " + bed.NodePath("hidraw1") + " was refused"));
}

TEST_F(CliHidrawTest, ShowAndSetGoThroughTheNode) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    CliResult result = cli.Run({"show"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "Baud: 19200\n"));

    result = cli.Run({"set", "baud=57600", "flow=Xon/Xoff", "line-delay=1990"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[3], 48);
    EXPECT_EQ(adapter->Settings()[10], 1);
    EXPECT_EQ(adapter->Settings()[5], 199);

    result = cli.Run({"show", "--device", bed.NodePath("hidraw1")});
    EXPECT_EQ(result.Code, ExitNoPermission);
    EXPECT_TRUE(Contains(result.Err, "sudo install -m 644 70-quillon-adapter.rules"));
    EXPECT_EQ(lockedAdapter->TransferCount(), 0u);
}

TEST_F(CliHidrawTest, FlashUpdatesTheAdapterBehindTheNode) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    quillon::testing::TempDir folder;
    const std::string file = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    const CliResult result = cli.Run({"flash", file, "--all"});
    EXPECT_EQ(result.Code, ExitNoPermission) << result.Err;  // the locked one is left out
    EXPECT_TRUE(Contains(result.Out, "adapter 0 (" + bed.NodePath("hidraw0") + "): ready\n"));
    const std::vector<uint8_t> flash = adapter->Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
    EXPECT_EQ(adapter->TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
    EXPECT_EQ(lockedAdapter->TransferCount(), 0u);
}

// Another program writing to the adapter holds the node's lock (here the test does): whatever
// would write is refused at once and touches nothing, reading goes on.
TEST_F(CliHidrawTest, WritesWaitForNoOneWhileAnotherProgramHoldsTheAdapter) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    quillon::testing::TempDir folder;
    const std::string update =
        folder.Write("update.hex", quillon::testing::HexFileFor(quillon::testing::PatternImage()));
    const int holder = ::open(bed.NodePath("hidraw0").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"set", "baud=9600"}, {"raw", "set", "03", "01"}, {"reset"}, {"flash", update}}) {
        const CliResult result = cli.Run(command);
        EXPECT_EQ(result.Code, ExitAdapterBusy) << command[0] << ": " << result.Err;
        EXPECT_TRUE(Contains(result.Err, "quillon-cli: the adapter is in use by another program"))
            << result.Err;
    }
    EXPECT_EQ(adapter->TransferCount(), 0u);
    CliResult result = cli.Run({"show"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;

    ::close(holder);
    result = cli.Run({"set", "baud=57600"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[3], 48);
}

// A transfer cut short by a signal (a Ctrl+C, which the tool rides out) is asked again.
TEST_F(CliHidrawTest, TransferInterruptedBySignalIsRepeated) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    adapter->InterruptTransfer(1);  // the write, after the settings were read
    const CliResult result = cli.Run({"set", "baud=57600"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[3], 48);
}

// A one-byte status reply left the status preset and read as "File not found!".
TEST_F(CliHidrawTest, ShortStatusReplyIsAFailedRead) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    auto shortReplies = std::make_shared<emu::QuillonAdapter>();
    HidrawTestBed::Device device;
    device.Node = "hidraw2";
    device.FeatureReplyLimit = 1;
    bed.Plug(device, shortReplies);
    quillon::testing::TempDir folder;
    const std::string update =
        folder.Write("update.hex", quillon::testing::HexFileFor(quillon::testing::PatternImage()));
    const CliResult result = cli.Run({"flash", update, "--device", bed.NodePath("hidraw2")});
    EXPECT_EQ(result.Code, ExitTransferFailed) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "a report could not be read from the adapter")) << result.Out;
}

TEST_F(CliHidrawTest, ProvisionConfiguresTheNodesItMayWriteAndFailsTheOther) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    const CliResult result =
        cli.Run({"provision", "--set", "baud=57600", "--all-present", "--count", "2", "--json"});
    EXPECT_EQ(result.Code, ExitNoPermission) << result.Err;
    EXPECT_EQ(adapter->Settings()[3], 48);
    EXPECT_EQ(lockedAdapter->TransferCount(), 0u);
    int passed = 0;
    for (const QString& line : QString::fromStdString(result.Out).split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object["node"].toString().toStdString() == bed.NodePath("hidraw0")) {
            EXPECT_EQ(object["result"], "PASS");
            EXPECT_EQ(object["verify"], "ok");
            ++passed;
        } else if (object["node"].toString().toStdString() == bed.NodePath("hidraw1")) {
            EXPECT_EQ(object["reason"], "cannot open: Permission denied");
            EXPECT_EQ(object["exit_code"], ExitNoPermission);
        }
    }
    EXPECT_EQ(passed, 1) << result.Out;
    EXPECT_TRUE(Contains(result.Out, R"({"summary":{"failed":1,"passed":1}})")) << result.Out;
}

}  // namespace
}  // namespace quillon::cli::test
